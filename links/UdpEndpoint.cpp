// The UDP endpoint: one datagram socket, shared with the UDP send when it can be, and a receive
// loop that delivers every datagram to the receive sink.
#include "links/LinkSession.h"

#include "links/LinkAddress.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sys/socket.h>

namespace {

// Large enough for any IPv4 datagram, so none is cut short; the sink hands it on in blocks.
constexpr std::size_t kDatagramBufferSize = 65536;
// Datagrams taken per recvmmsg: fewer system calls under a flood, 1 MiB of buffers.
constexpr unsigned kBatch = 16;
// Room for a burst while the sink is busy; the system doubles it. SO_RCVBUFFORCE goes past
// rmem_max where the process may; otherwise SO_RCVBUF gets what rmem_max allows.
constexpr int kReceiveBufferSize = 8 * 1024 * 1024;

void AskForLargeReceiveBuffer(int fd)
{
    const int size = kReceiveBufferSize;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

// The socket's count of datagrams the system dropped, carried by each received datagram.
struct DropCounterControl {
    alignas(cmsghdr) unsigned char bytes[CMSG_SPACE(sizeof(std::uint32_t))];
};

bool ReadDropCounter(msghdr& header, std::uint32_t& counter)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::memcpy(&counter, CMSG_DATA(c), sizeof counter);
            return true;
        }
    }
    return false;
}

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

    const int fd = socket->Descriptor();
    AskForLargeReceiveBuffer(fd);
    const int on = 1;
    const bool counting = ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;

    auto buffers = std::make_unique<unsigned char[]>(kBatch * kDatagramBufferSize);
    auto controls = std::make_unique<DropCounterControl[]>(kBatch);
    iovec slices[kBatch];
    mmsghdr messages[kBatch];
    m_view.ShowLinkButtons(linkEpoch, false);
    m_view.ShowLocalPort(links::LocalPort(socket));
    std::uint32_t lostShown = 0;
    if (counting)
        m_view.ShowDatagramsLost(linkEpoch, 0);
    ShowLinkState(linkEpoch, "Waiting Data");
    for (bool open = true; open;) {
        for (unsigned i = 0; i < kBatch; ++i) {
            slices[i] = {buffers.get() + i * kDatagramBufferSize, kDatagramBufferSize};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &slices[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_control = controls[i].bytes;
            messages[i].msg_hdr.msg_controllen = sizeof controls[i].bytes;
        }
        // Waits for one datagram, then takes those already queued behind it.
        const int count = ::recvmmsg(fd, messages, kBatch, MSG_WAITFORONE, nullptr);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        std::uint32_t counter = 0;
        bool counted = false;
        for (int i = 0; i < count; ++i) {
            // 0: a datagram without bytes, or a teardown shut the socket down.
            if (messages[i].msg_len == 0) {
                open = false;
                break;
            }
            m_sink.Deliver(buffers.get() + i * kDatagramBufferSize, messages[i].msg_len, {&m_linkEpoch, linkEpoch});
            counted = ReadDropCounter(messages[i].msg_hdr, counter) || counted;
        }
        // The system attaches the counter only once it is above 0; it only grows, so the last
        // datagram's is the latest. Shown only when it changed, not per datagram.
        if (counting && counted && counter != lostShown) {
            lostShown = counter;
            m_view.ShowDatagramsLost(linkEpoch, counter);
        }
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
