// The TCP server: listens on every local IPv4 address and serves one client per Start.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

constexpr int kListenBacklog = 5;

} // namespace

void LinkSession::TcpServerWorker(std::uint64_t linkEpoch)
{
    plat::SocketRef listening = links::OpenIpv4Socket(SOCK_STREAM);
    if (!listening) {
        ReportFailure(linkEpoch, "socket() error");
        return;
    }
    if (!PublishLinkSocket(m_tcpListen, listening, linkEpoch)) {
        // Stopped before it listened: as if the accept had been cut off.
        listening.reset();
        ShowLinkState(linkEpoch, "Disconnected");
        return;
    }
    // Address reuse lets a Listen right after a Stop have the port while the last connection's end
    // waits out TIME-WAIT; Linux still refuses a second listener on it.
    const int reuse = 1;
    ::setsockopt(listening->Descriptor(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    // A socket that failed to bind or listen is closed at once: one that stayed bound until the
    // next teardown would keep the port from the next Listen.
    if (!links::BindTo(listening, links::AnyAddress(m_linkPort))) {
        ReleaseLinkSocket(m_tcpListen, listening);
        ReportFailure(linkEpoch, "bind() error");
        return;
    }
    if (::listen(listening->Descriptor(), kListenBacklog) != 0) {
        ReleaseLinkSocket(m_tcpListen, listening);
        ReportFailure(linkEpoch, "listen() error");
        return;
    }
    m_view.ShowLinkButtons(linkEpoch, false);
    m_view.ShowLocalPort(links::LocalPort(listening));
    ShowLinkState(linkEpoch, "Listening");

    int fd;
    do {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        fd = ::accept4(listening->Descriptor(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A teardown shut the listening socket down, or accept failed; Start and Stop stay as they
        // are. The socket closes before "Disconnected" shows, so that a new Listen finds the port free.
        listening.reset();
        ShowLinkState(linkEpoch, "Disconnected");
        return;
    }

    // The listening socket stays open while the client is served, so later clients wait in its
    // queue and are never accepted; the receive worker closes it when the connection ends.
    auto conn = std::make_shared<plat::Socket>(fd);
    if (!PublishLinkSocket(m_tcpConn, conn, linkEpoch)) {
        conn->Shutdown();
        conn.reset();
        listening.reset();
        ShowLinkState(linkEpoch, "Disconnected");
        return;
    }
    m_view.ShowLinkButtons(linkEpoch, false);
    ShowLinkState(linkEpoch, "Connected");
    StartTcpReceive(linkEpoch, std::move(conn), std::move(listening));
}
