#include "platform/net/Socket.h"

#include <sys/socket.h>
#include <unistd.h>

namespace plat {

Socket::~Socket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Socket::Shutdown()
{
    // close() alone does not wake a call blocked on the descriptor in another thread; shutdown does.
    ::shutdown(m_fd, SHUT_RDWR);
}

SocketRef SocketSlot::Get() const
{
    std::lock_guard guard(m_lock);
    return m_socket;
}

void SocketSlot::Set(SocketRef socket)
{
    std::lock_guard guard(m_lock);
    m_socket = std::move(socket);
}

SocketRef SocketSlot::Take()
{
    std::lock_guard guard(m_lock);
    return std::move(m_socket);
}

} // namespace plat
