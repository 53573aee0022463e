#pragma once
// Runs a piece of a test in a child process that has no room left for another thread's stack, so
// that making a thread fails there as it does on a machine out of memory or threads. The sanitizers
// reserve huge shadow mappings, which such a limit cannot leave room for: under them the check is
// skipped.

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testwait {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kThreadLimitsWork = false;
#else
constexpr bool kThreadLimitsWork = true;
#endif

// The child's exit status: what `body` returned (0 to 99), kEscaped when an exception escaped it (in
// the program it would have ended the process), or -1 when the child died.
constexpr int kEscaped = 100;

template <class Body> int InChildWithoutRoomForThreads(Body body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
        // A megabyte more than is mapped now: no thread stack fits.
        const rlimit limit{now + (1 << 20), now + (1 << 20)};
        ::setrlimit(RLIMIT_AS, &limit);
        try {
            ::_exit(body());
        } catch (...) {
            ::_exit(kEscaped);
        }
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace testwait
