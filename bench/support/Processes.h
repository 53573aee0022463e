#pragma once
// Outside programs as yardsticks, and the CPU time that programs and threads use. No Qt.
// Called from any one thread of a benchmark.

#include <string>
#include <vector>

namespace bench {

// Runs a program with stdin and stdout opened on the given paths (or inherited when null), or on
// the given descriptor when stdoutFd >= 0; returns its pid, or -1.
int Spawn(const std::vector<std::string>& argv, const char* stdinPath = nullptr, const char* stdoutPath = nullptr,
          int stdoutFd = -1);

struct ChildExit {
    bool ok = false;          // ended by itself with status 0
    double cpuSeconds = 0;    // user + system time of the child
};
// Waits for the child to end and reads its CPU time (wait4's resource usage of that one child).
ChildExit WaitChild(int pid);
inline bool WaitExit(int pid) { return WaitChild(pid).ok; }

// User + system CPU seconds of the whole process, and of the calling thread.
double ProcessCpuSeconds();
double ThreadCpuSeconds();

} // namespace bench
