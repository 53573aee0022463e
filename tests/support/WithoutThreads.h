#pragma once
// Runs a piece of a test in a child process that has no room left for another thread's stack, so
// that making a thread fails there as it does on a machine out of memory or threads. The sanitizers
// reserve huge shadow mappings, which such a limit cannot leave room for: under them the check is
// skipped.
//
// The address-space limit alone is not enough once the test program has run threads: the C library
// keeps the stacks of ended threads for reuse, and a new thread on such a stack needs no memory. So
// the child is also refused new threads outright, as the system refuses them past its thread limit.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testwait {

// The architecture whose system call numbers the filter below speaks (0: one it does not know,
// where the checks are skipped).
#if defined(__x86_64__)
constexpr unsigned kThisArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kThisArchitecture = AUDIT_ARCH_AARCH64;
#elif defined(__i386__)
constexpr unsigned kThisArchitecture = AUDIT_ARCH_I386;
#else
constexpr unsigned kThisArchitecture = 0;
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kThreadLimitsWork = false;
#else
constexpr bool kThreadLimitsWork = kThisArchitecture != 0;
#endif

// The child's exit status: what `body` returned (0 to 99), kEscaped when an exception escaped it (in
// the program it would have ended the process), kEscaped + 1 when threads could not be refused,
// or -1 when the child died.
constexpr int kEscaped = 100;

#ifndef SYS_clone3
#define SYS_clone3 435 // the same number on every architecture; older headers lack the name
#endif

// From here on this process makes no thread (nor a process through clone, as the C library's fork
// does): clone says EAGAIN (the system is out of threads), clone3 ENOSYS (so that the C library
// falls back to clone). Calls of another architecture's numbering (a 32-bit call) are let through
// untouched. False when the filter cannot be installed.
inline bool RefuseNewThreads()
{
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kThisArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter{static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

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
        if (!RefuseNewThreads())
            ::_exit(kEscaped + 1);
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
