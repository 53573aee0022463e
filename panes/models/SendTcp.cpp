// The TCP pass: the whole block on the connected socket. A Stop ends a pass that waits for a peer
// that takes nothing (or takes it too slowly to end soon); what the system took still goes out.
#include "panes/models/SendEngine.h"

#include <cerrno>
#include <sys/socket.h>

SendEngine::Ending SendEngine::TcpPass(const plat::BlockSnapshot& bytes, const SendTicket& ticket)
{
    // No connection, or one that broke, fails the send.
    const plat::SocketRef socket = m_links.TcpConnection();
    if (!socket)
        return Ending::Failed;
    const unsigned char* data = bytes.Data();
    const std::size_t size = bytes.Size();
    std::size_t sent = 0;
    std::chrono::steady_clock::time_point stopSeen{};
    while (sent < size) {
        const ssize_t n = ::send(socket->Descriptor(), data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitForRoom(socket->Descriptor(), ticket, stopSeen))
                return Ending::StoppedInPass;
            continue;
        }
        if (n <= 0)
            return Ending::Failed;
        sent += static_cast<std::size_t>(n);
    }
    return Ending::Done;
}
