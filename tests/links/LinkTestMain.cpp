// Widget tests need one application object for the whole program.
#include "app/Controls.h"
#include "resources/Resources.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "links_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        res::InitResources();
        app::RegisterControlKinds();
    }
    void TearDown() override { delete m_app; }

private:
    QApplication* m_app = nullptr;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace
