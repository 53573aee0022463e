#pragma once
// One opening of a serial device: the descriptor and everything that belongs to that opening
// alone (event mask, events of the last wait, the pending event wait, line error counts, read
// mode). The port object makes a fresh one at every Open. A thread that still holds an older one
// can only ever reach that older opening, which Close has shut: it can never touch a later one.

#include "platform/sync/Event.h"

#include <condition_variable>
#include <memory>
#include <cstdint>
#include <mutex>

class CSerialCompletion;

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

    // Refuses new calls, completes a pending event wait, wakes every blocked call and closes the
    // descriptor as soon as no call is inside it. Idempotent.
    void Close();
    bool IsClosed();

    std::uint32_t EventMask();
    // Stores the mask; a pending event wait completes with no events, as the thread expects.
    void SetEventMask(std::uint32_t mask);
    // The events of the last completed wait that the mask lets through; cleared by the call.
    std::uint32_t TakeEvents();
    // Line error bits gathered since the last call; cleared by the call.
    std::uint32_t TakeLineErrors();
    // Looks at the line after poll() reported revents for the descriptor (called entered):
    // readable -> EV_RXCHAR; new breaks and errors from the driver's counters -> EV_BREAK, EV_ERR.
    // A hang-up or error condition is remembered for good.
    std::uint32_t SenseEvents(short revents);
    bool HungUp();

    // The event wait pending on a record, if any.
    void RegisterWait(CSerialCompletion* record);
    // Completes the wait pending on the record with these events; false when none was pending.
    bool CompleteWait(CSerialCompletion* record, std::uint32_t events);
    // Withdraws the wait without completing it.
    void CancelWait(CSerialCompletion* record);

    int ReadMode();
    void SetReadMode(int mode);
    unsigned char EventCharacter();
    void SetEventCharacter(unsigned char character);

private:
    struct LineCounts {
        int breaks = 0, frames = 0, parities = 0, overruns = 0, bufferOverruns = 0;
    };
    bool ReadCounts(LineCounts& counts);

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
    CSerialCompletion* m_pendingWait = nullptr;
    int m_readMode = 0;
    unsigned char m_eventCharacter = 0;
};

// Enters an opening for the length of a scope; empty when there is none or it is closed.
class CSessionUse {
public:
    explicit CSessionUse(std::shared_ptr<CSerialSession> session)
        : m_session(session && session->Enter() ? std::move(session) : nullptr) {}
    ~CSessionUse()
    {
        if (m_session)
            m_session->Leave();
    }
    CSessionUse(const CSessionUse&) = delete;
    CSessionUse& operator=(const CSessionUse&) = delete;

    explicit operator bool() const { return m_session != nullptr; }
    CSerialSession* operator->() const { return m_session.get(); }
    int Descriptor() const { return m_session->Descriptor(); }

private:
    std::shared_ptr<CSerialSession> m_session;
};
