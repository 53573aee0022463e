// The receive worker of a TCP connection, client side or accepted.
#include "links/LinkSession.h"

#include <cerrno>
#include <memory>
#include <sys/socket.h>
#include <system_error>

namespace {
constexpr std::size_t kReceiveBufferSize = CReceiveSink::kMaxBlock;
}

void LinkSession::StartTcpReceive(std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen)
{
    m_view.ShowLinkButtons(linkEpoch, false);
    try {
        // The worker gets the references it works with: the sockets close when it lets go of them,
        // before "Disconnected" shows, not when its thread exits.
        m_workers.Launch(m_tcpRecvThread, [this, linkEpoch, conn, listen]() mutable {
            TcpReceiveWorker(linkEpoch, std::move(conn), std::move(listen));
        });
        conn.reset();
        listen.reset();
    } catch (const std::system_error&) {
        // Nobody can receive on the connection: it ends here as if the peer had closed it.
        conn->Shutdown();
        ReleaseLinkSocket(m_tcpConn, conn);
        if (listen)
            ReleaseLinkSocket(m_tcpListen, listen);
        m_view.ShowLinkButtons(linkEpoch, true);
        ShowLinkState(linkEpoch, "Disconnected");
        ReportFailure(linkEpoch, kNoThreadText);
    }
}

void LinkSession::ReceiveUntilClosed(std::uint64_t linkEpoch, const plat::SocketRef& conn)
{
    auto buffer = std::make_unique<unsigned char[]>(kReceiveBufferSize);
    for (;;) {
        const ssize_t n = ::recv(conn->Descriptor(), buffer.get(), kReceiveBufferSize, 0);
        if (n < 0 && errno == EINTR)
            continue;
        // 0: the peer closed, or a teardown shut the socket down; -1: any failure.
        if (n <= 0)
            break;
        m_sink.Deliver(buffer.get(), static_cast<std::size_t>(n), {&m_linkEpoch, linkEpoch});
        m_sink.WaitForRoom();
    }
}

void LinkSession::TcpReceiveWorker(std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen)
{
    ReceiveUntilClosed(linkEpoch, conn);

    // The connection is over: a send still blocked on it is woken, and both sockets close before
    // "Disconnected" shows, so that a new Listen finds the port free.
    conn->Shutdown();
    ReleaseLinkSocket(m_tcpConn, conn);
    conn.reset();
    if (listen) {
        ReleaseLinkSocket(m_tcpListen, listen);
        listen.reset();
    }
    m_view.ShowLinkButtons(linkEpoch, true);
    ShowLinkState(linkEpoch, "Disconnected");
}
