// One application object for a widget test program, made before the first test and deleted after
// the last. The settings store is redirected to a fresh folder unless the caller already did, so
// that no test reads or writes the machine's own store.
#include "resources/Resources.h"
#ifdef RELVANTO_TEST_APP_CONTROLS
#include "app/Controls.h"
#endif

#include <QApplication>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The folder made for this run, removed at the end; empty when the caller chose the folders.
std::string RedirectSettingsStore()
{
    if (std::getenv("RELVANTO_MACHINE_STORE") != nullptr)
        return {};
    char folder[] = "/tmp/relvanto-test-store-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return {};
    ::setenv("RELVANTO_MACHINE_STORE", (std::string(folder) + "/machine").c_str(), 1);
    ::setenv("RELVANTO_USER_STORE", (std::string(folder) + "/user").c_str(), 1);
    return folder;
}

class QtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_storeFolder = RedirectSettingsStore();
        // Message boxes are captioned with the program's name: give the application the real one.
        static int argc = 1;
        static char* argv[] = {program_invocation_short_name, nullptr};
        m_app = new QApplication(argc, argv);
        res::InitResources();
#ifdef RELVANTO_TEST_APP_CONTROLS
        app::RegisterControlKinds();
#endif
    }
    void TearDown() override
    {
        delete m_app;
        if (!m_storeFolder.empty())
            std::filesystem::remove_all(m_storeFolder);
    }

private:
    QApplication* m_app = nullptr;
    std::string m_storeFolder;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

} // namespace
