#pragma once
// Sockets shared between the window's thread and workers. A descriptor number is never used after it
// was closed: the socket closes when the last holder lets go, and the member that names it is taken
// out atomically by whoever stops it. Shutting it down wakes every call blocked on it at once.

#include <memory>
#include <mutex>

namespace plat {

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int Descriptor() const { return m_fd; }
    // Wakes a blocked connect, accept, recv or recvfrom on this socket in another thread.
    void Shutdown();

private:
    int m_fd;
};

using SocketRef = std::shared_ptr<Socket>;

// A member that names a socket, or none.
class SocketSlot {
public:
    SocketRef Get() const;
    void Set(SocketRef socket);
    // Takes the socket out, leaving none; the caller stops it. Only one caller gets it.
    SocketRef Take();
    bool IsNone() const { return Get() == nullptr; }

private:
    mutable std::mutex m_lock;
    SocketRef m_socket;
};

} // namespace plat
