// The send engine's window-thread calls and the frame every send thread runs: the start texts, the stop
// polls, the pause between passes and the end.
#include "panes/models/SendEngine.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <poll.h>
#include <cstdio>
#include <system_error>

SendEngine::SendEngine(SendView& view, SendLinks& links) : m_view(view), m_links(links) {}

SendEngine::~SendEngine() = default;

bool SendEngine::Start(SendLink link, plat::BlockSnapshot bytes)
{
    auto ticket = std::make_shared<SendTicket>();
    ticket->bytes = std::move(bytes);
    {
        std::lock_guard guard(m_sendLock);
        std::shared_ptr<std::atomic<bool>>& running = RunningStop(link);
        if (running)
            running->store(true);
        running = ticket->stop;
        ticket->serial = ++m_lastSend;
    }
    try {
        m_workers.Launch(m_threads[static_cast<std::size_t>(link)],
                         [this, link, ticket] { SendThread(link, ticket); });
    } catch (const std::system_error&) {
        // This send never ran: a later Stop has nothing of it to stop.
        std::lock_guard guard(m_sendLock);
        if (RunningStop(link) == ticket->stop)
            RunningStop(link).reset();
        return false;
    }
    return true;
}

void SendEngine::StopAll()
{
    std::lock_guard guard(m_sendLock);
    for (std::shared_ptr<std::atomic<bool>>& running : m_runningStop) {
        if (running) {
            running->store(true);
            running.reset();
        }
    }
}

void SendEngine::SetPeriodic(bool periodic)
{
    std::atomic_ref(m_job.bPeriodic).store(periodic ? 1 : 0);
}

void SendEngine::SetPeriodMs(std::int32_t periodMs)
{
    std::atomic_ref(m_job.nPeriodMs).store(periodMs);
}

void SendEngine::SetUdpDestination(const std::string& ip, std::uint16_t port)
{
    std::lock_guard guard(m_sendLock);
    m_job.SetDestIp(ip);
    m_job.nDestPort = static_cast<std::int16_t>(port);
}

void SendEngine::Quit()
{
    m_quitting.store(true);
    m_quit.Set();
}

void SendEngine::JoinWorkers()
{
    m_workers.JoinSetAside();
    for (std::thread& worker : m_threads) {
        if (worker.joinable())
            worker.join();
    }
    m_workers.JoinSetAside();
}

bool SendEngine::Periodic()
{
    return std::atomic_ref(m_job.bPeriodic).load() == 1;
}

bool SendEngine::StopRequested(const SendTicket& ticket)
{
    // The window going counts as a stop.
    return ticket.stop->load() || m_quitting.load();
}

bool SendEngine::Pause()
{
    // A plain pause as far as Stop goes (a Stop takes effect when it is over), but the window's
    // closing ends it at once.
    const std::int32_t periodMs = std::atomic_ref(m_job.nPeriodMs).load();
    if (periodMs <= 0)
        return !m_quitting.load();
    return !m_quit.Wait(periodMs);
}

bool SendEngine::WaitForRoom(int fd, const SendTicket& ticket, std::chrono::steady_clock::time_point& stopSeen)
{
    using Clock = std::chrono::steady_clock;
    pollfd room{fd, POLLOUT, 0};
    for (;;) {
        // A Stop lets a pass that the peer takes go on to its end, but not past kStopPatience.
        const bool stopping = StopRequested(ticket);
        if (stopping && stopSeen == Clock::time_point{})
            stopSeen = Clock::now();
        if (stopping && Clock::now() - stopSeen >= kStopPatience)
            return false;
        const int n = ::poll(&room, 1, kStopLookMs);
        if (n > 0 || (n < 0 && errno != EINTR))
            return true;
        if (n == 0 && stopping)
            return false; // the peer took nothing since the Stop
    }
}

void SendEngine::ShowBegin(const SendTicket& ticket, bool periodic)
{
    std::lock_guard guard(m_sendLock);
    if (ticket.serial != m_lastSend)
        return;
    // Every send can be stopped while it runs. The text last: whoever sees it sees the buttons set.
    m_view.ShowSendButtons(true);
    if (periodic)
        m_view.ShowSenderState("Periodic Send");
}

void SendEngine::ShowEnd(SendLink link, const SendTicket& ticket, const std::string& text)
{
    std::lock_guard guard(m_sendLock);
    std::shared_ptr<std::atomic<bool>>& running = RunningStop(link);
    if (running == ticket.stop)
        running.reset();
    // A send that a later Send replaced ends without a word: the later one owns the buttons.
    if (ticket.serial != m_lastSend)
        return;
    m_view.ShowSendButtons(false);
    if (!text.empty())
        m_view.ShowSenderState(text);
}

void SendEngine::SendThread(SendLink link, std::shared_ptr<SendTicket> ticket)
{
    const plat::BlockSnapshot& bytes = ticket->bytes;
    plat::SocketRef udpSocket;
    // The Sender State at the end. A TCP send that did not end with a whole single pass always says
    // "Periodic Stopped"; UDP and serial sends say it when Periodic is checked at their end.
    auto end = [&](Ending ending) {
        std::string text;
        if (link == SendLink::Tcp && ending != Ending::Done) {
            text = "Periodic Stopped";
        } else if (link != SendLink::Tcp && Periodic()) {
            text = "Periodic Stopped";
        } else if (ending == Ending::StoppedInPass) {
            text = "Send Stopped";
        } else if (ending == Ending::Done && link != SendLink::Serial) {
            // A single serial send leaves the Sender State as it is.
            char sent[48];
            std::snprintf(sent, sizeof sent, "%d bytes sent", static_cast<int>(bytes.Size()));
            text = sent;
        }
        // The socket goes first: once the end shows, a Stop Bind has closed it and a new Bind finds
        // its port free. So do the bytes: once the end shows, the pane's next edit needs no copy.
        udpSocket.reset();
        ticket->bytes.Reset();
        ShowEnd(link, *ticket, text);
    };

    if (link == SendLink::Udp) {
        std::string failure;
        udpSocket = m_links.UdpSocket(failure);
        if (!udpSocket) {
            m_view.ShowSendMessage(failure);
            return end(Ending::Failed);
        }
    }
    ShowBegin(*ticket, Periodic());
    for (;;) {
        if (StopRequested(*ticket))
            return end(Ending::Stopped);
        Ending pass = Ending::Done;
        switch (link) {
        case SendLink::Tcp:
            pass = TcpPass(bytes, *ticket);
            break;
        case SendLink::Udp:
            pass = UdpPass(udpSocket, bytes, UdpPassesAtOnce(bytes), *ticket);
            break;
        case SendLink::Serial:
            pass = SerialPass(bytes, *ticket);
            break;
        }
        if (pass != Ending::Done)
            return end(pass);
        if (!Periodic())
            return end(Ending::Done);
        if (!Pause())
            return end(Ending::Stopped);
    }
}
