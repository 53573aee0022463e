// The TCP server: listens on every local IPv4 address and serves one client per Start.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

constexpr int kListenBacklog = 5;

} // namespace

void TcpServerThread(CMainDlg* dlg, std::uint64_t linkEpoch)
{
    // A Start that a later one replaced fails without a word.
    auto reportFailure = [dlg, linkEpoch](const char* text) {
        if (dlg->IsLatestStart(linkEpoch))
            plat::ShowMessageBox(nullptr, QString::fromLatin1(text));
    };
    plat::SocketRef listening = links::OpenIpv4Socket(SOCK_STREAM);
    if (!listening) {
        reportFailure("socket() error");
        return;
    }
    if (!dlg->PublishLinkSocket(dlg->m_sockTcpListen, listening, linkEpoch)) {
        // Stopped before it listened: as if the accept had been cut off.
        listening.reset();
        dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
        return;
    }
    // A socket that failed to bind or listen is closed at once: one that stayed bound until the
    // next teardown would keep the port from the next Listen.
    if (!links::BindTo(listening, links::AnyAddress(dlg->m_nLinkPort))) {
        dlg->ReleaseLinkSocket(dlg->m_sockTcpListen, listening);
        reportFailure("bind() error");
        return;
    }
    if (::listen(listening->Descriptor(), kListenBacklog) != 0) {
        dlg->ReleaseLinkSocket(dlg->m_sockTcpListen, listening);
        reportFailure("listen() error");
        return;
    }
    dlg->ShowLinkButtons(linkEpoch, false);
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Listening"));

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
        dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
        return;
    }

    // The listening socket stays open while the client is served, so later clients wait in its
    // queue and are never accepted; the receive worker closes it when the connection ends.
    auto conn = std::make_shared<plat::Socket>(fd);
    if (!dlg->PublishLinkSocket(dlg->m_sockTcpConn, conn, linkEpoch)) {
        conn->Shutdown();
        conn.reset();
        listening.reset();
        dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
        return;
    }
    dlg->ShowLinkButtons(linkEpoch, false);
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Connected"));
    dlg->StartTcpReceive(linkEpoch, std::move(conn), std::move(listening));
}
