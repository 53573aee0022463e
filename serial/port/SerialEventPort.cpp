#include "serial/port/SerialEventPort.h"

#include "serial/port/SerialSession.h"

#include <algorithm>
#include <system_error>

using namespace serialstatus;

// What one run of the event thread owns: its opening, its stop and wait events (fresh for every
// start, so that a stop is never undone for a thread still running), and the derived class's
// data. Shared between the thread and the port object.
struct CSerialEventPort::ThreadState {
    ThreadState(std::shared_ptr<CSerialSession> opening, std::shared_ptr<void> data, std::uint64_t number)
        : session(std::move(opening)), attachment(std::move(data)), openingNumber(number) {}

    std::shared_ptr<CSerialSession> session;
    std::shared_ptr<void> attachment;
    const std::uint64_t openingNumber;
    plat::Event m_hStopEvent{plat::Event::Kind::ManualReset};
    plat::Event m_hWaitEvent{plat::Event::Kind::ManualReset};
    plat::Event ended{plat::Event::Kind::ManualReset};
};

namespace {

struct AttachmentBinding {
    const CSerialEventPort* port = nullptr;
    std::shared_ptr<void> attachment;
};
thread_local AttachmentBinding t_attachment;

} // namespace

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
    // Stop first, then shut the device: a thread held up behind a blocked write is freed at once
    // instead of using up the stop wait.
    if (m_hThread)
        m_hThread->state->m_hStopEvent.Set();
    CSerialPort::Close();
    StopEventThread(kStopWaitMs);
    return Finish(kSuccess);
}

std::uint32_t CSerialEventPort::StartEventThread()
{
    return StartEventThreadWith(nullptr);
}

std::uint32_t CSerialEventPort::StartEventThreadWith(std::shared_ptr<void> attachment)
{
    m_lastStatus = kSuccess;
    JoinEndedThreads();
    if (m_hThread)
        return Finish(kSuccess);
    std::shared_ptr<CSerialSession> session = Session();
    if (!session || session->IsClosed())
        return Finish(kNotOpen);
    auto state = std::make_shared<ThreadState>(session, std::move(attachment), ++m_nThreadStarts);
    if (!state->m_hStopEvent.IsValid() || !state->m_hWaitEvent.IsValid() || !state->ended.IsValid())
        return Finish(FromErrno(EMFILE));
    auto slot = std::make_unique<ThreadSlot>();
    slot->state = state;
    try {
        slot->thread = std::thread(EventThreadMain, this, state);
    } catch (const std::system_error& failure) {
        return Finish(FromErrno(failure.code().value()));
    }
    m_hThread = std::move(slot);
    return Finish(kSuccess);
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
    return Finish(kSuccess);
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

void CSerialEventPort::OnDeviceLost(std::uint64_t) {}

bool CSerialEventPort::IsCurrentOpening(std::uint64_t opening) const
{
    return m_hThread && m_hThread->state->openingNumber == opening;
}

std::shared_ptr<void> CSerialEventPort::ThreadAttachment() const
{
    return t_attachment.port == this ? t_attachment.attachment : nullptr;
}

void CSerialEventPort::EventThreadMain(CSerialEventPort* port, std::shared_ptr<ThreadState> state)
{
    BindThreadToSession(port, state->session);
    t_attachment = {port, state->attachment};
    if (port->RunEventLoop(*state))
        port->OnDeviceLost(state->openingNumber);
    t_attachment = {};
    BindThreadToSession(nullptr, nullptr);
    state->ended.Set();
}

bool CSerialEventPort::RunEventLoop(ThreadState& state)
{
    // A wait that cannot be armed on a hung-up device, and no Close asked for the end.
    auto lost = [&state] { return state.session->HungUp() && !state.m_hStopEvent.IsSet(); };
    CSerialCompletion record(state.m_hWaitEvent);
    if (WaitForEvent(&record, kInfinite) != kSuccess)
        return lost();
    // Stop wins when both are signalled; a failed wait ends the loop as well.
    while (record.Wait(&state.m_hStopEvent) == 1) {
        bool armed = false;
        {
            std::lock_guard portLock(m_portLock);
            const std::uint32_t events = TakeEvents();
            std::uint32_t errors = 0;
            ClearLineErrors(errors);
            if (events != 0)
                OnSerialEvent(events, errors);
            // Fails on a closed or hung-up opening: the thread ends without spinning.
            armed = WaitForEvent(&record, kInfinite) == kSuccess;
        }
        // A send waits for the port lock: what the handler must wait for, it waits for without it.
        AfterSerialEvent();
        if (!armed)
            return lost();
    }
    // Completes the wait still pending on the record before the record goes away.
    SetEventMask(GetEventMask());
    return false;
}
