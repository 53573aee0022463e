#include "bench/support/Processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {
namespace {

double CpuSeconds(const rusage& usage)
{
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double CpuSecondsOf(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return CpuSeconds(usage);
}

} // namespace

int Spawn(const std::vector<std::string>& argv, const char* stdinPath, const char* stdoutPath, int stdoutFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinPath)
        posix_spawn_file_actions_addopen(&actions, 0, stdinPath, O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else if (stdoutPath)
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath, O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

ChildExit WaitChild(int pid)
{
    ChildExit exit;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return exit;
    exit.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    exit.cpuSeconds = CpuSeconds(usage);
    return exit;
}

double ProcessCpuSeconds() { return CpuSecondsOf(RUSAGE_SELF); }
double ThreadCpuSeconds() { return CpuSecondsOf(RUSAGE_THREAD); }

} // namespace bench
