// The UDP pass: the block as datagrams of at most kUdpChunkSize bytes to the destination of the
// latest Send.
#include "panes/SendEngine.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

SendEngine::Ending SendEngine::UdpPass(const plat::SocketRef& socket, const plat::BlockSnapshot& bytes)
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
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(kUdpChunkSize, size - at);
        const ssize_t sent = ::sendto(socket->Descriptor(), data + at, n, MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
        if (sent < 0 && errno == EINTR)
            continue;
        // A datagram that could not be sent ends the send.
        if (sent <= 0)
            return Ending::Failed;
        at += n;
    }
    return Ending::Done;
}
