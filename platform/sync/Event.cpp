#include "platform/sync/Event.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, for poll(); -1 when there is none.
int RemainingMs(bool hasDeadline, Clock::time_point deadline)
{
    if (!hasDeadline)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    // Round up so that a wait never ends before its time-out.
    return static_cast<int>(left) + 1;
}

bool PollReadable(pollfd* fds, int count, int timeoutMs)
{
    for (;;) {
        int rc = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
        if (rc >= 0)
            return rc > 0;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

Event::Event(Kind kind) : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_kind(kind) {}

Event::~Event()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Event::Set()
{
    std::uint64_t one = 1;
    // The counter only fails to grow when it is already huge: still signalled either way.
    [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}

void Event::Reset()
{
    std::uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(m_fd, &value, sizeof value);
}

bool Event::IsSet() const
{
    pollfd p{m_fd, POLLIN, 0};
    return PollReadable(&p, 1, 0);
}

bool Event::TryTake()
{
    if (m_kind == Kind::ManualReset)
        return IsSet();
    std::uint64_t value;
    return ::read(m_fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

bool Event::Wait(int timeoutMs)
{
    return WaitAny(*this, *this, timeoutMs) == 0;
}

int WaitAny(Event& first, Event& second, int timeoutMs)
{
    const bool hasDeadline = timeoutMs >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(hasDeadline ? timeoutMs : 0);
    for (;;) {
        // Another waiter may take an auto-reset signal between poll and read: then wait again.
        if (first.TryTake())
            return 0;
        if (&second != &first && second.TryTake())
            return 1;
        int left = RemainingMs(hasDeadline, deadline);
        if (hasDeadline && left == 0)
            return -1;
        pollfd fds[2] = {{first.Descriptor(), POLLIN, 0}, {second.Descriptor(), POLLIN, 0}};
        PollReadable(fds, &second != &first ? 2 : 1, left);
    }
}

} // namespace plat
