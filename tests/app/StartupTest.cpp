#include "app/MainApp.h"
#include "platform/toolkit/MessageBox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

TEST(StartupTest, WithoutSocketsTheOnlyThingShownIsTheFailureMessage)
{
    std::vector<plat::MessageBoxCall> boxes;
    plat::SetMessageBoxHook([&](const plat::MessageBoxCall& call) { boxes.push_back(call); });
    CMainApp app([] { return false; });
    const bool ran = app.InitInstance();
    plat::SetMessageBoxHook(nullptr);

    EXPECT_FALSE(ran);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Windows Socket Initialization Failed."));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("app_tests"));
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty()) << "no window was created";
}

TEST(StartupTest, TheSocketStartUpFailsWhenNoSocketCanBeMade)
{
    // No descriptor left for a socket: the probe fails as on a machine without sockets. Nothing
    // else runs while the limit is low.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::fcntl(0, F_DUPFD, 0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool started = CMainApp::StartSockets();
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(started);
    EXPECT_TRUE(CMainApp::StartSockets());
}

TEST(StartupTest, APeerThatWentAwayDoesNotKillTheProcess)
{
    ASSERT_TRUE(CMainApp::StartSockets());
    int pair[2];
    ASSERT_EQ(::pipe(pair), 0);
    ::close(pair[0]);
    // Writing to a pipe with no reader raises SIGPIPE unless it is ignored.
    EXPECT_EQ(::write(pair[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(pair[1]);
}
