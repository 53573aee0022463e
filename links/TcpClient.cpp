// The TCP client: the connect worker.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

bool Connect(const plat::SocketRef& socket, const sockaddr_in& address)
{
    if (::connect(socket->Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    return false;
}

} // namespace

void TcpClientThread(CMainDlg* dlg, std::uint64_t linkEpoch)
{
    plat::SocketRef socket = links::OpenIpv4Socket(SOCK_STREAM);
    if (!socket) {
        if (dlg->IsLatestStart(linkEpoch))
            plat::ShowMessageBox(nullptr, QStringLiteral("socket() error"));
        return;
    }
    std::string destIp;
    {
        std::lock_guard guard(dlg->m_csLink);
        destIp = dlg->m_strDestIp;
    }
    const sockaddr_in server = links::Ipv4Address(links::DottedAddress(destIp), dlg->m_nLinkPort);

    // Published before connecting, so that a teardown can shut it down and cut the attempt short;
    // a teardown that came first counts as one that cut it.
    const bool published = dlg->PublishLinkSocket(dlg->m_sockTcpConn, socket, linkEpoch);
    dlg->ShowLinkState(linkEpoch, QStringLiteral("Connecting"));
    if (published && Connect(socket, server)) {
        // The buttons before the text, so that whoever sees "Connected" sees them set, and the
        // text before the receive worker, whose "Disconnected" must come after it.
        dlg->ShowLinkButtons(linkEpoch, false);
        dlg->ShowLinkState(linkEpoch, QStringLiteral("Connected"));
        dlg->StartTcpReceive(linkEpoch, std::move(socket), nullptr);
        return;
    }

    dlg->ShowLinkState(linkEpoch, QStringLiteral("Disconnected"));
    // An attempt that a later Start replaced is over without a word.
    if (dlg->IsLatestStart(linkEpoch))
        plat::ShowMessageBox(nullptr, QStringLiteral("connect() error ! Server does not exist !"));
    dlg->ReleaseLinkSocket(dlg->m_sockTcpConn, socket);
}
