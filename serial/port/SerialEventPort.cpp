#include "serial/port/SerialEventPort.h"

#include <algorithm>
#include <system_error>

using namespace serialstatus;

// What one run of the event thread owns: its opening, its handler and its stop event (fresh for
// every start, so that a stop is never undone for a thread still running). Shared between the
// thread and the port object.
struct CSerialEventPort::ThreadState {
    ThreadState(std::shared_ptr<CSerialSession> opening, std::unique_ptr<CSerialEventHandler> served,
                std::uint64_t number)
        : session(std::move(opening)), handler(std::move(served)), openingNumber(number) {}

    const std::shared_ptr<CSerialSession> session;
    const std::unique_ptr<CSerialEventHandler> handler;
    const std::uint64_t openingNumber;
    plat::Event m_hStopEvent{plat::Event::Kind::ManualReset};
    plat::Event ended{plat::Event::Kind::ManualReset};
};

CSerialEventPort::CSerialEventPort() = default;

CSerialEventPort::~CSerialEventPort()
{
    EndEventThreads();
}

std::uint32_t CSerialEventPort::Open(const std::string& deviceName, std::uint32_t inputQueueSize,
                                     std::uint32_t outputQueueSize)
{
    JoinEndedThreads();
    return CSerialPort::Open(deviceName, inputQueueSize, outputQueueSize);
}

std::uint32_t CSerialEventPort::Close()
{
    // Stop first, then shut the device: a thread held up behind a blocked call is freed at once
    // instead of using up the stop wait.
    if (m_hThread)
        m_hThread->state->m_hStopEvent.Set();
    CSerialPort::Close();
    return StopEventThread(kStopWaitMs);
}

std::uint32_t CSerialEventPort::StartEventThread()
{
    JoinEndedThreads();
    if (m_hThread)
        return kSuccess;
    std::shared_ptr<CSerialSession> session = CurrentOpening();
    if (!session || session->IsClosed())
        return kNotOpen;
    auto state = std::make_shared<ThreadState>(std::move(session), MakeEventHandler(), ++m_nThreadStarts);
    if (!state->m_hStopEvent.IsValid() || !state->ended.IsValid())
        return FromErrno(EMFILE);
    auto slot = std::make_unique<ThreadSlot>();
    slot->state = state;
    try {
        slot->thread = std::thread(EventThreadMain, this, state);
    } catch (const std::system_error& failure) {
        // The caller says so: the link is not started.
        return FromErrno(failure.code().value());
    }
    m_hThread = std::move(slot);
    return kSuccess;
}

std::uint32_t CSerialEventPort::StopEventThread(std::uint32_t timeoutMs)
{
    if (m_hThread) {
        m_hThread->state->m_hStopEvent.Set();
        const int wait = timeoutMs == kInfinite ? -1 : static_cast<int>(std::min<std::uint32_t>(timeoutMs, 0x7FFFFFFF));
        if (m_hThread->state->ended.Wait(wait))
            m_hThread->thread.join();
        else
            m_staleThreads.push_back(std::move(*m_hThread)); // never forced; joined once ended
        m_hThread.reset();
    }
    return kSuccess;
}

void CSerialEventPort::JoinEndedThreads()
{
    for (auto it = m_staleThreads.begin(); it != m_staleThreads.end();) {
        if (it->state->ended.IsSet()) {
            it->thread.join();
            it = m_staleThreads.erase(it);
        } else {
            ++it;
        }
    }
}

void CSerialEventPort::EndEventThreads()
{
    if (m_hThread)
        m_hThread->state->m_hStopEvent.Set();
    CSerialPort::Close();
    if (m_hThread) {
        m_hThread->thread.join();
        m_hThread.reset();
    }
    for (ThreadSlot& slot : m_staleThreads)
        slot.thread.join();
    m_staleThreads.clear();
}

bool CSerialEventPort::IsCurrentOpening(std::uint64_t opening) const
{
    return m_hThread && m_hThread->state->openingNumber == opening;
}

void CSerialEventPort::EventThreadMain(CSerialEventPort* port, std::shared_ptr<ThreadState> state)
{
    if (port->RunEventLoop(*state))
        state->handler->OnDeviceLost(state->openingNumber);
    state->ended.Set();
}

bool CSerialEventPort::RunEventLoop(ThreadState& state)
{
    CSerialSession& opening = *state.session;
    const CDeadline never(kInfinite);
    for (;;) {
        switch (opening.WaitForEvents(state.m_hStopEvent.Descriptor(), never)) {
        case CSerialSession::EventWait::Events:
            break;
        case CSerialSession::EventWait::HungUp:
            // Lost, unless a Close asked for the end.
            return !state.m_hStopEvent.IsSet();
        default:
            return false; // stopped, closed, or the wait failed
        }
        {
            std::unique_lock portLock = HoldPort();
            const std::uint32_t events = opening.TakeEvents();
            const std::uint32_t errors = opening.TakeLineErrors();
            if (events != 0)
                state.handler->OnSerialEvent(opening, events, errors);
        }
        // A send waits for the port lock: what the handler must wait for, it waits for without it.
        state.handler->AfterSerialEvent();
    }
}
