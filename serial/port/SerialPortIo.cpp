// Reads, writes and event waits on one opening, and CSerialPort's calls of them. The descriptor is
// non-blocking; a call that must wait polls the device together with the opening's cancel
// descriptor, which Close signals, so that Close wakes every waiting call at once.

#include "serial/port/SerialPort.h"

#include "serial/port/SerialEvents.h"
#include "serial/port/SerialSession.h"

#include "platform/io/WriteAll.h"

#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace serialstatus;

namespace {

enum class Readiness { Ready, HungUp, Cancelled, TimedOut, Failed };

// Waits until the device is ready for `what`, Close cancels the call, or the deadline passes.
Readiness WaitUntilReady(int fd, int cancelFd, short what, const CDeadline& deadline)
{
    for (;;) {
        const int left = deadline.RemainingMs();
        if (left == 0)
            return Readiness::TimedOut;
        pollfd fds[2] = {{fd, what, 0}, {cancelFd, POLLIN, 0}};
        int rc = ::poll(fds, 2, left);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return Readiness::Failed;
        }
        if (fds[1].revents != 0)
            return Readiness::Cancelled;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Readiness::HungUp;
        if (fds[0].revents != 0)
            return Readiness::Ready;
    }
}

} // namespace

std::uint32_t CSerialSession::Write(const void* data, std::uint32_t length, std::uint32_t& done,
                                    const CDeadline& deadline, OnTimeout onTimeout,
                                    std::unique_lock<std::mutex>& deviceLock)
{
    CSessionUse use(*this);
    if (!use)
        return kNotOpen;
    const int fd = m_hDevice;
    bool hungUp = false;
    // What ended a wait for room, as the status the write returns; the helper gets it as -1.
    std::uint32_t stopped = kSuccess;
    plat::WriteAllHooks hooks;
    hooks.waitForRoom = [&]() -> int {
        if (hungUp) {
            stopped = kIoDevice; // one more try after the hang-up took nothing either
            return -1;
        }
        // The device takes nothing now: wait without the lock, so that receiving goes on.
        deviceLock.unlock();
        const Readiness readiness = WaitUntilReady(fd, CancelDescriptor(), POLLOUT, deadline);
        const int waitErrno = errno;
        deviceLock.lock();
        switch (readiness) {
        case Readiness::Ready:
            break;
        case Readiness::HungUp:
            hungUp = true;
            break;
        case Readiness::Cancelled:
            stopped = kNotOpen; // Close shut the port under the write
            break;
        case Readiness::TimedOut:
            // Cancel the write: what is still queued for the line is dropped.
            if (onTimeout == OnTimeout::DropQueued)
                ::tcflush(fd, TCOFLUSH);
            stopped = kTimeout;
            break;
        case Readiness::Failed:
            stopped = FromErrno(waitErrno);
            break;
        }
        return stopped == kSuccess ? 0 : -1;
    };
    hooks.wrote = [&](std::size_t n) { done += static_cast<std::uint32_t>(n); };
    const int err = plat::WriteAll(fd, static_cast<const unsigned char*>(data) + done, length - done, hooks);
    if (err == 0)
        return kSuccess;
    return err == -1 ? stopped : FromErrno(err);
}

std::uint32_t CSerialSession::Read(void* buffer, std::uint32_t capacity, std::uint32_t& done,
                                   const CDeadline& deadline)
{
    CSessionUse use(*this);
    if (!use)
        return kNotOpen;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    const bool waitForAll = ReadMode() == 1;
    bool hungUp = false;
    while (done < capacity) {
        // With VMIN and VTIME 0 an empty device reads as 0 bytes, not as EAGAIN.
        ssize_t n = ::read(m_hDevice, bytes + done, capacity - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            if (!waitForAll)
                return kSuccess;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return FromErrno(errno);
        if (!waitForAll)
            return kSuccess;
        if (hungUp)
            return kIoDevice; // the rest can never come
        switch (WaitUntilReady(m_hDevice, CancelDescriptor(), POLLIN, deadline)) {
        case Readiness::Ready:
            break;
        case Readiness::HungUp:
            hungUp = true; // read what is left, then give up
            break;
        case Readiness::Cancelled:
            return kNotOpen;
        case Readiness::TimedOut:
            return kTimeout;
        case Readiness::Failed:
            return FromErrno(errno);
        }
    }
    return kSuccess;
}

CSerialSession::EventWait CSerialSession::WaitForEvents(int stopDescriptor, const CDeadline& deadline)
{
    CSessionUse use(*this);
    if (!use)
        return EventWait::Closed;
    // A hung-up device cannot report anything any more.
    if (HungUp())
        return EventWait::HungUp;
    // One poll both looks at the line and sleeps: a flood wakes this wait thousands of times a
    // second, and looking must not cost a call per event.
    int left = deadline.RemainingMs();
    for (;;) {
        const std::uint32_t mask = EventMask();
        // Hang-ups and errors are reported whatever is asked for.
        pollfd fds[3] = {{stopDescriptor, POLLIN, 0},
                         {CancelDescriptor(), POLLIN, 0},
                         {m_hDevice, static_cast<short>((mask & EV_RXCHAR) ? POLLIN : 0), 0}};
        const int rc = ::poll(fds, 3, left);
        if (rc < 0 && errno != EINTR)
            return EventWait::Failed;
        if (rc > 0) {
            if (fds[0].revents != 0)
                return EventWait::Stopped;
            if (fds[1].revents != 0)
                return EventWait::Closed;
            if (fds[2].revents != 0) {
                const std::uint32_t events = SenseEvents(fds[2].revents) & mask;
                if (events != 0) {
                    std::lock_guard lock(m_mutex);
                    m_occurredEvents = events;
                    return EventWait::Events;
                }
                if (HungUp())
                    return EventWait::HungUp;
            }
        }
        left = deadline.RemainingMs();
        if (left == 0)
            return EventWait::TimedOut;
    }
}

std::uint32_t CSerialPort::Write(const void* data, std::uint32_t length, std::uint32_t* written,
                                 std::uint32_t timeoutMs)
{
    return WriteFor(data, length, written, timeoutMs, CSerialSession::OnTimeout::DropQueued);
}

std::uint32_t CSerialPort::WriteWithin(const void* data, std::uint32_t length, std::uint32_t* written,
                                       std::uint32_t timeoutMs)
{
    return WriteFor(data, length, written, timeoutMs, CSerialSession::OnTimeout::KeepQueued);
}

std::uint32_t CSerialPort::WriteFor(const void* data, std::uint32_t length, std::uint32_t* written,
                                    std::uint32_t timeoutMs, CSerialSession::OnTimeout onTimeout)
{
    std::uint32_t localWritten = 0;
    std::uint32_t& done = written != nullptr ? *written : localWritten;
    done = 0;
    // One write at a time, whole: two sends never mix their bytes on the line.
    CWriteTurn turn(*this);
    const std::shared_ptr<CSerialSession> session = CurrentOpening();
    if (!session)
        return kNotOpen;
    const CDeadline deadline(timeoutMs);
    std::unique_lock portLock(m_portLock);
    return session->Write(data, length, done, deadline, onTimeout, portLock);
}

std::uint32_t CSerialPort::Read(void* buffer, std::uint32_t capacity, std::uint32_t* read, std::uint32_t timeoutMs)
{
    std::uint32_t localRead = 0;
    std::uint32_t& done = read != nullptr ? *read : localRead;
    done = 0;
    const std::shared_ptr<CSerialSession> session = CurrentOpening();
    if (!session)
        return kNotOpen;
    return session->Read(buffer, capacity, done, CDeadline(timeoutMs));
}

std::uint32_t CSerialPort::WaitForEvent(std::uint32_t timeoutMs)
{
    const std::shared_ptr<CSerialSession> session = CurrentOpening();
    if (!session)
        return kNotOpen;
    switch (session->WaitForEvents(-1, CDeadline(timeoutMs))) {
    case CSerialSession::EventWait::Events:
        return kSuccess;
    case CSerialSession::EventWait::TimedOut:
        return kTimeout;
    case CSerialSession::EventWait::HungUp:
        return kIoDevice;
    case CSerialSession::EventWait::Failed:
        return FromErrno(errno);
    case CSerialSession::EventWait::Stopped:
    case CSerialSession::EventWait::Closed:
        break;
    }
    return kNotOpen;
}
