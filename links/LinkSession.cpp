// The link session's own state: Start and teardown, the epochs, the sockets that sends borrow, and
// the final join.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <sys/socket.h>
#include <system_error>
#include <vector>

LinkSession::LinkSession(LinkView& view, CReceiveSink& sink) : m_view(view), m_sink(sink) {}

LinkSession::~LinkSession() = default;

template <class Work> bool LinkSession::LaunchLinkWorker(std::thread& member, Work work)
{
    const std::uint64_t epoch = BeginLinkStart();
    try {
        m_workers.Launch(member, [this, epoch, work] { (this->*work)(epoch); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool LinkSession::StartTcpServer(std::int32_t port)
{
    m_linkPort = port;
    return LaunchLinkWorker(m_tcpServerThread, &LinkSession::TcpServerWorker);
}

bool LinkSession::StartTcpClient(std::int32_t port, const std::string& destIp)
{
    m_linkPort = port;
    {
        std::lock_guard guard(m_linkLock);
        m_destIp = destIp;
    }
    return LaunchLinkWorker(m_tcpClientThread, &LinkSession::TcpClientWorker);
}

bool LinkSession::StartUdp(std::int32_t port)
{
    m_linkPort = port;
    return LaunchLinkWorker(m_udpRecvThread, &LinkSession::UdpReceiveWorker);
}

void LinkSession::TearDown()
{
    // Closing a socket does not wake a call blocked on it in a worker; shutting it down does. The
    // descriptor closes when the last holder, the worker or this, lets go. A socket that the two
    // UDP slots share is taken out of both and so stopped once. The new epoch keeps a worker that
    // is about to publish a socket from slipping it past this teardown.
    std::vector<plat::SocketRef> stopped;
    {
        std::lock_guard guard(m_linkLock);
        ++m_linkEpoch;
        for (plat::SocketSlot* slot : {&m_tcpListen, &m_tcpConn, &m_udpSend, &m_udpRecv}) {
            if (plat::SocketRef socket = slot->Take())
                stopped.push_back(std::move(socket));
        }
    }
    m_linkChanged.notify_all();
    for (const plat::SocketRef& socket : stopped)
        socket->Shutdown();
    m_linkPort = 0;
}

void LinkSession::JoinWorkers()
{
    // Workers set aside by a later Start first: they may still start a receive worker. The connect
    // and accept workers before the receive worker, for the same reason.
    m_workers.JoinSetAside();
    for (std::thread* worker : {&m_tcpServerThread, &m_tcpClientThread, &m_tcpRecvThread, &m_udpRecvThread}) {
        if (worker->joinable())
            worker->join();
    }
    m_workers.JoinSetAside();
}

void LinkSession::SetReconnect(bool on)
{
    {
        std::lock_guard guard(m_linkLock);
        m_reconnect = on;
    }
    m_linkChanged.notify_all();
}

bool LinkSession::IsLinkCurrent(std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_linkLock);
    return linkEpoch == m_linkEpoch;
}

bool LinkSession::PublishLinkSocket(plat::SocketSlot& slot, plat::SocketRef socket, std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_linkLock);
    if (linkEpoch != m_linkEpoch)
        return false;
    slot.Set(std::move(socket));
    return true;
}

void LinkSession::ReleaseLinkSocket(plat::SocketSlot& slot, const plat::SocketRef& socket)
{
    // Under the lock that every publish takes, so a socket of a later Start is never taken.
    std::lock_guard guard(m_linkLock);
    if (socket && slot.Get() == socket)
        slot.Take();
}

void LinkSession::ShowLinkState(std::uint64_t linkEpoch, const char* text)
{
    // Written under the lock so that it cannot land after the texts of a later Start's worker.
    std::lock_guard guard(m_linkLock);
    if (linkEpoch == m_startEpoch)
        m_view.ShowLinkState(text);
}

bool LinkSession::IsLatestStart(std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_linkLock);
    return linkEpoch == m_startEpoch;
}

void LinkSession::ReportFailure(std::uint64_t linkEpoch, const char* text)
{
    if (IsLatestStart(linkEpoch))
        m_view.ShowLinkMessage(text);
}

std::uint64_t LinkSession::BeginLinkStart()
{
    // Start is enabled while a worker of an earlier Start may still be connecting or about to
    // listen or bind. That attempt is given up: its sockets are taken and shut down, so it ends and
    // leaves no socket in a slot that the new worker needs (the port of a socket left behind by a
    // failed listen is freed too). A UDP send socket that no receive loop uses stays for the
    // receive loop to take over.
    std::vector<plat::SocketRef> abandoned;
    std::uint64_t epoch;
    {
        std::lock_guard guard(m_linkLock);
        epoch = ++m_linkEpoch;
        m_startEpoch = epoch;
        for (plat::SocketSlot* slot : {&m_tcpListen, &m_tcpConn}) {
            if (plat::SocketRef socket = slot->Take())
                abandoned.push_back(std::move(socket));
        }
        if (plat::SocketRef udp = m_udpRecv.Take()) {
            if (m_udpSend.Get() == udp)
                m_udpSend.Take();
            abandoned.push_back(std::move(udp));
        }
    }
    m_linkChanged.notify_all();
    for (const plat::SocketRef& socket : abandoned)
        socket->Shutdown();
    return epoch;
}

UdpSendSocket LinkSession::ChooseUdpSendSocket()
{
    const std::int32_t linkPort = m_linkPort;
    plat::SocketRef socket;
    bool bindIt = false;
    {
        std::lock_guard guard(m_linkLock);
        if (plat::SocketRef receiving = m_udpRecv.Get()) {
            m_udpSend.Set(receiving);
            return {std::move(receiving)};
        }
        socket = m_udpSend.Get();
        if (!socket) {
            socket = links::OpenIpv4Socket(SOCK_DGRAM);
            if (socket)
                m_udpSend.Set(socket);
            bindIt = linkPort != 0;
        }
    }
    if (!socket)
        return {nullptr, "socket() error"};
    if (bindIt && !links::BindTo(socket, links::AnyAddress(linkPort)))
        return {nullptr, "bind() error"};
    return {std::move(socket)};
}
