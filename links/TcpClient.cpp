// The TCP client: the connect worker.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <sys/socket.h>

namespace {

bool Connect(const plat::SocketRef& socket, const sockaddr_in& address)
{
    return ::connect(socket->Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

void LinkSession::TcpClientWorker(std::uint64_t linkEpoch)
{
    plat::SocketRef socket = links::OpenIpv4Socket(SOCK_STREAM);
    if (!socket) {
        ReportFailure(linkEpoch, "socket() error");
        return;
    }
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
    if (published && Connect(socket, server)) {
        // The buttons before the text, so that whoever sees "Connected" sees them set, and the
        // text before the receive worker, whose "Disconnected" must come after it.
        m_view.ShowLinkButtons(linkEpoch, false);
        ShowLinkState(linkEpoch, "Connected");
        StartTcpReceive(linkEpoch, std::move(socket), nullptr);
        return;
    }

    ShowLinkState(linkEpoch, "Disconnected");
    ReportFailure(linkEpoch, "connect() error ! Server does not exist !");
    ReleaseLinkSocket(m_tcpConn, socket);
}
