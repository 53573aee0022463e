#pragma once
// One opening of a serial device: the descriptor and everything that belongs to that opening
// alone (event mask, events of the last wait, line error counts, read mode), and the reads,
// writes and event waits on it. The port object makes a fresh one at every Open. A thread that
// still holds an older one can only ever reach that older opening, which Close has shut: it can
// never touch a later one.
//
// Threads: any. Every function may be called from several threads at once; Close wakes every
// call that waits inside.

#include "serial/port/Deadline.h"

#include "platform/sync/Event.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class CSerialSession {
public:
    explicit CSerialSession(int fd);
    ~CSerialSession();
    CSerialSession(const CSerialSession&) = delete;
    CSerialSession& operator=(const CSerialSession&) = delete;

    // A call that uses the descriptor enters first and leaves when done. Enter fails once the
    // opening is closed; between the two the descriptor stays valid.
    bool Enter();
    void Leave();
    int Descriptor() const { return m_hDevice; }
    // Readable once Close has begun: every blocking call polls it, so that Close wakes it at once.
    int CancelDescriptor() const { return m_cancel.Descriptor(); }

    // Refuses new calls, wakes every blocked call and closes the descriptor as soon as no call is
    // inside it. Idempotent.
    void Close();
    bool IsClosed();

    // Each of these enters and leaves by itself and gives the not-open status once Close began.
    //
    // Reads what the read mode asks for: what is buffered (non-blocking) or the full capacity
    // (blocking), until the deadline.
    std::uint32_t Read(void* buffer, std::uint32_t capacity, std::uint32_t& done, const CDeadline& deadline);
    // What becomes of the bytes still queued for the line when the time of a write runs out.
    enum class OnTimeout { DropQueued, KeepQueued };
    // Writes everything within the deadline. `deviceLock`, locked by the caller, is held for each
    // write to the device and let go while the write waits for room, so that no one waits behind
    // a device that takes nothing.
    std::uint32_t Write(const void* data, std::uint32_t length, std::uint32_t& done, const CDeadline& deadline,
                        OnTimeout onTimeout, std::unique_lock<std::mutex>& deviceLock);
    // How an event wait ended.
    enum class EventWait { Events, Stopped, Closed, HungUp, TimedOut, Failed };
    // Sleeps in one poll on the device, the cancel descriptor and `stopDescriptor` (-1: none)
    // until the line has something the event mask lets through (stored for TakeEvents), the stop
    // descriptor is readable (it wins over the device), Close begins, the device hangs up or the
    // deadline passes. A hung-up device ends the wait at once, unless events are still to be
    // reported. Failed leaves errno set.
    EventWait WaitForEvents(int stopDescriptor, const CDeadline& deadline);

    std::uint32_t EventMask();
    // Applies from the next event wait.
    void SetEventMask(std::uint32_t mask);
    // The events of the last completed wait that the mask lets through; cleared by the call.
    std::uint32_t TakeEvents();
    // Line error bits gathered since the last call; cleared by the call.
    std::uint32_t TakeLineErrors();
    bool HungUp();

    int ReadMode();
    void SetReadMode(int mode);
    unsigned char EventCharacter();
    void SetEventCharacter(unsigned char character);

private:
    struct LineCounts {
        int breaks = 0, frames = 0, parities = 0, overruns = 0, bufferOverruns = 0;
    };
    bool ReadCounts(LineCounts& counts);
    // Looks at the line after poll() reported revents for the descriptor (called entered):
    // readable -> EV_RXCHAR; new breaks and errors from the driver's counters -> EV_BREAK, EV_ERR.
    // A hang-up or error condition is remembered for good.
    std::uint32_t SenseEvents(short revents);

    int m_hDevice;
    plat::Event m_cancel{plat::Event::Kind::ManualReset};

    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_users = 0;
    bool m_closed = false;
    std::uint32_t m_eventMask = 0;
    std::uint32_t m_occurredEvents = 0;
    std::uint32_t m_lineErrors = 0;
    bool m_hungUp = false;
    bool m_countsLines = true; // false once the driver said it keeps no counters
    LineCounts m_counts;
    int m_readMode = 0;
    unsigned char m_eventCharacter = 0;
};

// Enters an opening for the length of a scope; empty when there is none or it is closed.
class CSessionUse {
public:
    explicit CSessionUse(std::shared_ptr<CSerialSession> session)
        : m_session(session && session->Enter() ? std::move(session) : nullptr) {}
    explicit CSessionUse(CSerialSession& session) : m_borrowed(session.Enter() ? &session : nullptr) {}
    ~CSessionUse()
    {
        if (CSerialSession* session = get())
            session->Leave();
    }
    CSessionUse(const CSessionUse&) = delete;
    CSessionUse& operator=(const CSessionUse&) = delete;

    explicit operator bool() const { return get() != nullptr; }
    CSerialSession* operator->() const { return get(); }
    int Descriptor() const { return get()->Descriptor(); }

private:
    CSerialSession* get() const { return m_session ? m_session.get() : m_borrowed; }

    std::shared_ptr<CSerialSession> m_session;
    CSerialSession* m_borrowed = nullptr;
};
