// Reads, writes and event waits of CSerialPort. The descriptor is non-blocking; a call that must
// wait polls the device together with the opening's cancel descriptor, which Close signals, so
// that Close wakes every waiting call at once.

#include "serial/port/SerialPort.h"

#include "serial/port/Deadline.h"
#include "serial/port/SerialSession.h"

#include "platform/io/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace serialstatus;

namespace {

enum class Readiness { Ready, HungUp, Cancelled, TimedOut, Failed };

// Waits until the device is ready for `what`, Close cancels the call, or the deadline passes.
Readiness WaitUntilReady(CSessionUse& session, short what, const CDeadline& deadline)
{
    for (;;) {
        const int left = deadline.RemainingMs();
        if (left == 0)
            return Readiness::TimedOut;
        pollfd fds[2] = {{session.Descriptor(), what, 0}, {session->CancelDescriptor(), POLLIN, 0}};
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

// What becomes of the bytes still queued for the line when the time of a write runs out.
enum class OnTimeout { DropQueued, KeepQueued };

std::uint32_t WriteAll(CSessionUse& session, const unsigned char* data, std::uint32_t length,
                       std::uint32_t& done, const CDeadline& deadline, OnTimeout onTimeout)
{
    const int fd = session.Descriptor();
    bool hungUp = false;
    // What ended a wait for room, as the status the write returns; the helper gets it as -1.
    std::uint32_t stopped = kSuccess;
    plat::WriteAllHooks hooks;
    hooks.waitForRoom = [&]() -> int {
        if (hungUp) {
            stopped = kIoDevice; // one more try after the hang-up took nothing either
            return -1;
        }
        switch (WaitUntilReady(session, POLLOUT, deadline)) {
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
            stopped = FromErrno(errno);
            break;
        }
        return stopped == kSuccess ? 0 : -1;
    };
    hooks.wrote = [&](std::size_t n) { done += static_cast<std::uint32_t>(n); };
    const int err = plat::WriteAll(fd, data + done, length - done, hooks);
    if (err == 0)
        return kSuccess;
    return err == -1 ? stopped : FromErrno(err);
}

std::uint32_t ReadSome(CSessionUse& session, unsigned char* buffer, std::uint32_t capacity,
                       std::uint32_t& done, const CDeadline& deadline)
{
    const int fd = session.Descriptor();
    const bool waitForAll = session->ReadMode() == ReadModeBlocking;
    bool hungUp = false;
    while (done < capacity) {
        // With VMIN and VTIME 0 an empty device reads as 0 bytes, not as EAGAIN.
        ssize_t n = ::read(fd, buffer + done, capacity - done);
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
        switch (WaitUntilReady(session, POLLIN, deadline)) {
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

} // namespace

std::uint32_t CSerialPort::Write(const void* data, std::uint32_t length, std::uint32_t* written,
                                 CSerialCompletion* record, std::uint32_t timeoutMs)
{
    return WriteFor(data, length, written, record, timeoutMs, true);
}

std::uint32_t CSerialPort::WriteWithin(const void* data, std::uint32_t length, std::uint32_t* written,
                                       std::uint32_t timeoutMs)
{
    return WriteFor(data, length, written, nullptr, timeoutMs, false);
}

std::uint32_t CSerialPort::WriteFor(const void* data, std::uint32_t length, std::uint32_t* written,
                                    CSerialCompletion* record, std::uint32_t timeoutMs, bool dropQueuedOnTimeout)
{
    std::lock_guard portLock(m_portLock);
    m_lastStatus = kSuccess;
    std::uint32_t localWritten = 0;
    std::uint32_t& done = written != nullptr ? *written : localWritten;
    done = 0;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    const CDeadline deadline(timeoutMs);
    const OnTimeout onTimeout = dropQueuedOnTimeout ? OnTimeout::DropQueued : OnTimeout::KeepQueued;
    std::uint32_t status =
        WriteAll(session, static_cast<const unsigned char*>(data), length, done, deadline, onTimeout);
    if (status == kSuccess && record != nullptr)
        record->Event().Set();
    return Finish(status);
}

// Takes no lock: the event thread calls it holding m_portLock already.
std::uint32_t CSerialPort::Read(void* buffer, std::uint32_t capacity, std::uint32_t* read,
                                CSerialCompletion* record, std::uint32_t timeoutMs)
{
    m_lastStatus = kSuccess;
    std::uint32_t localRead = 0;
    std::uint32_t& done = read != nullptr ? *read : localRead;
    done = 0;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    const CDeadline deadline(timeoutMs);
    std::uint32_t status = ReadSome(session, static_cast<unsigned char*>(buffer), capacity, done, deadline);
    if (status == kSuccess && record != nullptr)
        record->Event().Set();
    return Finish(status);
}

std::uint32_t CSerialPort::WaitForEvent(CSerialCompletion* record, std::uint32_t timeoutMs)
{
    m_lastStatus = kSuccess;
    std::shared_ptr<CSerialSession> current = Session();
    // The event thread passes its own record at every wake: an event of our own (a descriptor to
    // open and close) only when the caller waits here.
    std::optional<plat::Event> localEvent;
    std::optional<CSerialCompletion> localRecord;
    if (record == nullptr) {
        localEvent.emplace(plat::Event::Kind::ManualReset);
        localRecord.emplace(*localEvent);
    }
    CSerialCompletion& pending = record != nullptr ? *record : *localRecord;
    {
        CSessionUse session(current);
        if (!session)
            return Finish(kNotOpen);
        // A hung-up device cannot report anything any more: the wait cannot be armed.
        if (session->HungUp())
            return Finish(kIoDevice);
        pending.Event().Reset();
        pending.m_session = current;
        session->RegisterWait(&pending);
        const std::uint32_t mask = session->EventMask();
        pollfd device{session.Descriptor(), static_cast<short>((mask & EV_RXCHAR) ? POLLIN : 0), 0};
        if (::poll(&device, 1, 0) > 0) {
            // Something to report already: the wait completes at once.
            std::uint32_t events = session->SenseEvents(device.revents);
            if ((events & mask) != 0 || session->HungUp())
                session->CompleteWait(&pending, events);
        }
    }
    if (record != nullptr)
        return Finish(kSuccess);
    switch (localRecord->Wait(nullptr, timeoutMs == kInfinite ? -1 : static_cast<int>(std::min<std::uint32_t>(timeoutMs, 0x7FFFFFFF)))) {
    case 1:
        return Finish(kSuccess);
    default:
        current->CancelWait(&*localRecord);
        return Finish(kTimeout);
    }
}
