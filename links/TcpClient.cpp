// The TCP client: the connect worker, and its tries again when reconnecting is on.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <sys/socket.h>

namespace {

bool Connect(const plat::SocketRef& socket, const sockaddr_in& address)
{
    return ::connect(socket->Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

constexpr const char* kConnectFailedText = "connect() error ! Server does not exist !";

} // namespace

bool LinkSession::ConnectOnce(std::uint64_t linkEpoch, plat::SocketRef& socket)
{
    socket = links::OpenIpv4Socket(SOCK_STREAM);
    if (!socket)
        return false;
    std::string destIp;
    {
        std::lock_guard guard(m_linkLock);
        destIp = m_destIp;
    }
    const sockaddr_in server = links::Ipv4Address(links::DottedAddress(destIp), m_linkPort);

    // Published before connecting, so that a teardown can shut it down and cut the attempt short;
    // a teardown that came first counts as one that cut it.
    const bool published = PublishLinkSocket(m_tcpConn, socket, linkEpoch);
    ShowLinkState(linkEpoch, "Connecting");
    return published && Connect(socket, server);
}

void LinkSession::TcpClientWorker(std::uint64_t linkEpoch)
{
    if (!m_reconnect) {
        // One try: the receive worker takes the connection, a failure is told in a box.
        plat::SocketRef socket;
        const bool connected = ConnectOnce(linkEpoch, socket);
        if (!socket) {
            ReportFailure(linkEpoch, "socket() error");
            return;
        }
        if (connected) {
            // The buttons before the text, so that whoever sees "Connected" sees them set, and the
            // text before the receive worker, whose "Disconnected" must come after it.
            m_view.ShowLinkButtons(linkEpoch, false);
            ShowLinkState(linkEpoch, "Connected");
            StartTcpReceive(linkEpoch, std::move(socket), nullptr);
            return;
        }
        ShowLinkState(linkEpoch, "Disconnected");
        ReportFailure(linkEpoch, kConnectFailedText);
        ReleaseLinkSocket(m_tcpConn, socket);
        return;
    }

    // Tries until connected, and again whenever the connection drops, until Disconnect, a later
    // Start or reconnecting turned off. The connection is received on this thread, and no try that
    // fails raises a box: the State field says "Connecting" and its tooltip when the next try comes.
    ReconnectBackoff backoff;
    while (RetryWanted(linkEpoch)) {
        plat::SocketRef socket;
        if (ConnectOnce(linkEpoch, socket)) {
            backoff.Reset();
            ShowNextTry({});
            m_view.ShowLinkButtons(linkEpoch, false);
            ShowLinkState(linkEpoch, "Connected");
            ReceiveUntilClosed(linkEpoch, socket);
            // A send still blocked on the connection wakes.
            socket->Shutdown();
        }
        if (socket)
            ReleaseLinkSocket(m_tcpConn, socket);
        if (!RetryWanted(linkEpoch))
            break;
        // Disconnect stays enabled between tries: it is how they end.
        m_view.ShowLinkButtons(linkEpoch, false);
        ShowLinkState(linkEpoch, "Connecting");
        const std::chrono::milliseconds pause = backoff.Next();
        ShowNextTry(ReconnectBackoff::NextTryText(pause));
        if (!PauseBeforeRetry(linkEpoch, pause))
            break;
    }
    ShowNextTry({});
    m_view.ShowLinkButtons(linkEpoch, true);
    ShowLinkState(linkEpoch, "Disconnected");
}

bool LinkSession::RetryWanted(std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_linkLock);
    return m_reconnect && linkEpoch == m_linkEpoch;
}

bool LinkSession::PauseBeforeRetry(std::uint64_t linkEpoch, std::chrono::milliseconds pause)
{
    // A wait on the condition gives the lock up while it waits; whoever changes the epoch or the
    // option signals it under the lock, so no change slips in unseen.
    std::unique_lock lock(m_linkLock);
    const auto until = std::chrono::steady_clock::now() + pause;
    m_linkChanged.wait_until(lock, until, [&] { return !m_reconnect || linkEpoch != m_linkEpoch; });
    return m_reconnect && linkEpoch == m_linkEpoch;
}

void LinkSession::ShowNextTry(const std::string& line)
{
    if (m_reconnectView)
        m_reconnectView->ShowNextTry(line);
}
