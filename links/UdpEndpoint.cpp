// The UDP endpoint: one datagram socket, shared with the UDP send when it can be, and a receive
// loop that delivers every datagram to the receive sink.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <cerrno>
#include <memory>
#include <sys/socket.h>

namespace {

// Large enough for any IPv4 datagram, so none is cut short; the sink hands it on in blocks.
constexpr int kDatagramBufferSize = 65536;

} // namespace

void LinkSession::UdpReceiveWorker(std::uint64_t linkEpoch)
{
    plat::SocketRef socket;
    {
        // With a Server Port set, a socket that an earlier Send opened is taken over unbound, so
        // replies to the port it sent from arrive here.
        std::lock_guard guard(m_linkLock);
        if (linkEpoch != m_linkEpoch)
            return;
        plat::SocketRef sending = m_udpSend.Get();
        if (sending && m_linkPort != 0) {
            socket = std::move(sending);
            m_udpRecv.Set(socket);
        }
    }
    if (!socket) {
        socket = links::OpenIpv4Socket(SOCK_DGRAM);
        if (!socket) {
            ReportFailure(linkEpoch, "socket() error");
            return;
        }
        if (!PublishLinkSocket(m_udpRecv, socket, linkEpoch)) {
            ShowLinkState(linkEpoch, "Disconnected");
            return;
        }
        if (!links::BindTo(socket, links::AnyAddress(m_linkPort))) {
            ReleaseLinkSocket(m_udpRecv, socket);
            socket.reset();
            ReportFailure(linkEpoch, "bind() error");
            return;
        }
    }

    auto buffer = std::make_unique<unsigned char[]>(kDatagramBufferSize);
    m_view.ShowLinkButtons(linkEpoch, false);
    m_view.ShowLocalPort(links::LocalPort(socket));
    ShowLinkState(linkEpoch, "Waiting Data");
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
        m_sink.Deliver(buffer.get(), static_cast<std::size_t>(n));
    }

    // Closed once, also when the send shares it: it leaves both slots, and the descriptor closes
    // when a send still using it lets go.
    {
        std::lock_guard guard(m_linkLock);
        if (m_udpRecv.Get() == socket)
            m_udpRecv.Take();
        if (m_udpSend.Get() == socket)
            m_udpSend.Take();
    }
    socket.reset();
    ShowLinkState(linkEpoch, "Disconnected");
}
