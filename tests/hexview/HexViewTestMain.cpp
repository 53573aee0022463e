// Widget tests need one application object for the whole program.
#include <QApplication>
#include <gtest/gtest.h>

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "hexview_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace
