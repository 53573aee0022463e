#include "app/MainApp.h"
#include "platform/toolkit/MessageBox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
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

namespace {

struct ProgramRun {
    int exitStatus = -1; // -1: ended by a signal (a core dump, say)
    std::string out, err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program as a shell on a machine without a display would: no DISPLAY, no
// WAYLAND_DISPLAY, no Qt platform chosen. Files named for this process: tests run side by side.
ProgramRun RunWithoutDisplay(const std::string& args)
{
    const std::string prefix = ::testing::TempDir() + "relvanto-" + std::to_string(::getpid());
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " RELVANTO_PROGRAM " " + args +
                                " >" + prefix + ".out 2>" + prefix + ".err";
    const int status = std::system(command.c_str());
    ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(prefix + ".out"), ReadFile(prefix + ".err")};
    std::remove((prefix + ".out").c_str());
    std::remove((prefix + ".err").c_str());
    return run;
}

} // namespace

TEST(StartupTest, TheCommandLineAnswersWithoutADisplay)
{
    const ProgramRun help = RunWithoutDisplay("--help");
    EXPECT_EQ(help.exitStatus, 0) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: relvanto [QT-OPTION]...\n")) << help.out;
    EXPECT_EQ(help.err, "");

    const ProgramRun version = RunWithoutDisplay("-platform offscreen --version");
    EXPECT_EQ(version.exitStatus, 0) << version.err;
    EXPECT_TRUE(version.out.starts_with("relvanto (Dovrenix Relvanto) 1.0.0\n")) << version.out;

    // Qt's own options, with their values, pass; the first option nobody knows is named.
    const ProgramRun unknown = RunWithoutDisplay("-platform offscreen -style Fusion --reverse --colour");
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "relvanto: unrecognized option '--colour'\nUsage: relvanto [QT-OPTION]...\n"
                           "Try 'relvanto --help' for more information.\n");

    // No display: one line that says so and how to start it, status 1, no core dump.
    const ProgramRun bare = RunWithoutDisplay("");
    EXPECT_EQ(bare.exitStatus, 1);
    EXPECT_EQ(std::count(bare.err.begin(), bare.err.end(), '\n'), 1) << bare.err;
    EXPECT_NE(bare.err.find("no display found"), std::string::npos) << bare.err;
    EXPECT_NE(bare.err.find("bash tools/start.sh"), std::string::npos) << bare.err;
}
