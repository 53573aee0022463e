// The receive worker of a TCP connection, client side or accepted.
#include "app/MainDlg.h"

#include <cerrno>
#include <memory>
#include <sys/socket.h>

namespace {
constexpr int kReceiveBufferSize = 16384;
}

void CMainDlg::StartTcpReceive(std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen)
{
    ShowLinkButtons(linkEpoch, false);
    m_workers.Launch(m_hTcpRecvThread, [this, linkEpoch, conn = std::move(conn), listen = std::move(listen)] {
        TcpReceiveThread(this, linkEpoch, conn, listen);
    });
}

void TcpReceiveThread(CMainDlg* dlg, std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen)
{
    auto buffer = std::make_unique<unsigned char[]>(kReceiveBufferSize);
    for (;;) {
        const ssize_t n = ::recv(conn->Descriptor(), buffer.get(), kReceiveBufferSize, 0);
        if (n < 0 && errno == EINTR)
            continue;
        // 0: the peer closed, or a teardown shut the socket down; -1: any failure.
        if (n <= 0)
            break;
        dlg->m_pane.Deliver(buffer.get(), static_cast<std::size_t>(n));
    }

    // The connection is over: a send still blocked on it is woken, and both sockets close before
    // "Disconnected" shows, so that a new Listen finds the port free.
    conn->Shutdown();
    dlg->ReleaseLinkSocket(dlg->m_sockTcpConn, conn);
    conn.reset();
    if (listen) {
        dlg->ReleaseLinkSocket(dlg->m_sockTcpListen, listen);
        listen.reset();
    }
    dlg->ShowLinkButtons(linkEpoch, true);
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
}
