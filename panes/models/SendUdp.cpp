// The UDP pass: the block as datagrams of at most kUdpChunkSize bytes to the destination of the
// latest Send. The datagrams go to the kernel in batches (one system call for up to kUdpBatch), and
// a periodic send with no pause hands it several passes of a short pane at once.
#include "panes/models/SendEngine.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

std::size_t SendEngine::UdpPassesAtOnce(const plat::BlockSnapshot& bytes)
{
    // Only when no pause comes between passes: otherwise every pass waits for its period.
    if (!Periodic() || std::atomic_ref(m_job.nPeriodMs).load() > 0)
        return 1;
    const std::size_t datagrams = (bytes.Size() + kUdpChunkSize - 1) / kUdpChunkSize;
    return std::max<std::size_t>(1, kUdpBatch / std::max<std::size_t>(1, datagrams));
}

SendEngine::Ending SendEngine::UdpPass(const plat::SocketRef& socket, const plat::BlockSnapshot& bytes,
                                       std::size_t passes, const SendTicket& ticket)
{
    sockaddr_in destination;
    std::memset(&destination, 0, sizeof destination);
    destination.sin_family = AF_INET;
    {
        // Rebuilt before every pass. Text that is no dotted address sends to 255.255.255.255, as
        // inet_addr reads it.
        std::lock_guard guard(m_sendLock);
        if (::inet_aton(m_job.szDestIp, &destination.sin_addr) == 0)
            destination.sin_addr.s_addr = INADDR_NONE;
        destination.sin_port = htons(static_cast<std::uint16_t>(m_job.GetDestPort()));
    }
    const unsigned char* data = bytes.Data();
    const std::size_t size = bytes.Size();
    const std::size_t perPass = (size + kUdpChunkSize - 1) / kUdpChunkSize;
    const std::size_t total = perPass * passes;
    std::array<iovec, kUdpBatch> pieces;
    std::array<mmsghdr, kUdpBatch> messages;
    std::chrono::steady_clock::time_point stopSeen{};
    for (std::size_t next = 0; next < total;) {
        const std::size_t count = std::min(kUdpBatch, total - next);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = (next + i) % perPass * kUdpChunkSize;
            pieces[i].iov_base = const_cast<unsigned char*>(data + at);
            pieces[i].iov_len = std::min(kUdpChunkSize, size - at);
            std::memset(&messages[i], 0, sizeof messages[i]);
            messages[i].msg_hdr.msg_name = &destination;
            messages[i].msg_hdr.msg_namelen = sizeof destination;
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent = ::sendmmsg(socket->Descriptor(), messages.data(), static_cast<unsigned>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitForRoom(socket->Descriptor(), ticket, stopSeen))
                return Ending::StoppedInPass;
            continue;
        }
        // A datagram that could not be sent ends the send.
        if (sent <= 0)
            return Ending::Failed;
        next += static_cast<std::size_t>(sent);
    }
    return Ending::Done;
}
