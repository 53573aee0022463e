// The TCP pass: the whole block on the connected socket.
#include "panes/SendEngine.h"

#include <cerrno>
#include <sys/socket.h>

SendEngine::Ending SendEngine::TcpPass(const plat::BlockSnapshot& bytes)
{
    // No connection, or one that broke, fails the send.
    const plat::SocketRef socket = m_links.TcpConnection();
    if (!socket)
        return Ending::Failed;
    const unsigned char* data = bytes.Data();
    const std::size_t size = bytes.Size();
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(socket->Descriptor(), data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Ending::Failed;
        sent += static_cast<std::size_t>(n);
    }
    return Ending::Done;
}
