#include "app/MainApp.h"
#include "platform/toolkit/MessageBox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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
    int waitStatus = -1;
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
// WAYLAND_DISPLAY, no Qt platform chosen.
ProgramRun RunWithoutDisplay(std::vector<std::string> args)
{
    std::vector<char*> env;
    for (char** v = environ; *v != nullptr; ++v) {
        const std::string_view var = *v;
        if (!var.starts_with("DISPLAY=") && !var.starts_with("WAYLAND_DISPLAY=") && !var.starts_with("QT_QPA_PLATFORM="))
            env.push_back(*v);
    }
    env.push_back(nullptr);
    args.insert(args.begin(), RELVANTO_PROGRAM);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Each test runs as a process of its own, several at once: the files carry this one's number.
    const std::string prefix = ::testing::TempDir() + "relvanto-" + std::to_string(::getpid());
    const std::string out = prefix + ".out", err = prefix + ".err";
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ProgramRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, RELVANTO_PROGRAM, &files, nullptr, argv.data(), env.data()) == 0)
        ::waitpid(pid, &run.waitStatus, 0);
    posix_spawn_file_actions_destroy(&files);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

int ExitStatus(const ProgramRun& run)
{
    return WIFEXITED(run.waitStatus) ? WEXITSTATUS(run.waitStatus) : -1;
}

} // namespace

TEST(StartupTest, HelpAndVersionAnswerOnStdoutWithoutADisplay)
{
    const ProgramRun help = RunWithoutDisplay({"--help"});
    EXPECT_EQ(ExitStatus(help), 0) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: relvanto [QT-OPTION]...\n")) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const ProgramRun version = RunWithoutDisplay({"-platform", "offscreen", "--version"});
    EXPECT_EQ(ExitStatus(version), 0) << version.err;
    EXPECT_TRUE(version.out.starts_with("relvanto (Dovrenix Relvanto) 1.0.0\n")) << version.out;
    EXPECT_EQ(version.err, "");
}

TEST(StartupTest, AnUnknownOptionIsRefusedWithTheUsageOnStderr)
{
    // Qt's own options, with their values, pass; the first option nobody knows is named.
    const ProgramRun run = RunWithoutDisplay({"-platform", "offscreen", "-style", "Fusion", "--reverse", "--colour"});
    EXPECT_EQ(ExitStatus(run), 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "relvanto: unrecognized option '--colour'\nUsage: relvanto [QT-OPTION]...\n"
                       "Try 'relvanto --help' for more information.\n");
}

TEST(StartupTest, WithoutADisplayItSaysSoInOneLineAndEnds)
{
    const ProgramRun run = RunWithoutDisplay({});
    ASSERT_TRUE(WIFEXITED(run.waitStatus)) << "ended by signal " << WTERMSIG(run.waitStatus);
    EXPECT_EQ(WEXITSTATUS(run.waitStatus), 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("no display found"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("bash tools/start.sh"), std::string::npos) << run.err;
}
