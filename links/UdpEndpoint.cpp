// The UDP endpoint: one datagram socket, shared with the UDP send when it can be, and a receive
// loop that shows every datagram in the Received Data pane.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sys/socket.h>

namespace {

// Large enough for any IPv4 datagram, so none is cut short; the sink hands it on in blocks.
constexpr int kDatagramBufferSize = 65536;

} // namespace

void UdpReceiveThread(CMainDlg* dlg, std::uint64_t linkEpoch)
{
    plat::SocketRef socket;
    {
        // With a Server Port set, a socket that an earlier Send opened is taken over unbound, so
        // replies to the port it sent from arrive here.
        std::lock_guard guard(dlg->m_csLink);
        if (linkEpoch != dlg->m_nLinkEpoch)
            return;
        plat::SocketRef sending = dlg->m_sockUdpSend.Get();
        if (sending && dlg->m_nLinkPort != 0) {
            socket = std::move(sending);
            dlg->m_sockUdpRecv.Set(socket);
        }
    }
    if (!socket) {
        socket = links::OpenIpv4Socket(SOCK_DGRAM);
        if (!socket) {
            if (dlg->IsLatestStart(linkEpoch))
                plat::ShowMessageBox(nullptr, QStringLiteral("socket() error"));
            return;
        }
        if (!dlg->PublishLinkSocket(dlg->m_sockUdpRecv, socket, linkEpoch)) {
            dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
            return;
        }
        if (!links::BindTo(socket, links::AnyAddress(dlg->m_nLinkPort))) {
            dlg->ReleaseLinkSocket(dlg->m_sockUdpRecv, socket);
            socket.reset();
            if (dlg->IsLatestStart(linkEpoch))
                plat::ShowMessageBox(nullptr, QStringLiteral("bind() error"));
            return;
        }
    }

    auto buffer = std::make_unique<unsigned char[]>(kDatagramBufferSize);
    dlg->ShowLinkButtons(linkEpoch, false);
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Waiting Data"));
    for (;;) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n = ::recvfrom(socket->Descriptor(), buffer.get(), kDatagramBufferSize, 0,
                                     reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0 && errno == EINTR)
            continue;
        // 0: a datagram without bytes, or a teardown shut the socket down; -1: a failure.
        if (n <= 0)
            break;
        dlg->m_pane.Deliver(buffer.get(), static_cast<std::size_t>(n));
    }

    // Closed once, also when the send shares it: it leaves both members, and the descriptor closes
    // when a send still using it lets go.
    {
        std::lock_guard guard(dlg->m_csLink);
        if (dlg->m_sockUdpRecv.Get() == socket)
            dlg->m_sockUdpRecv.Take();
        if (dlg->m_sockUdpSend.Get() == socket)
            dlg->m_sockUdpSend.Take();
    }
    socket.reset();
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
}
