#include "LinkPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace linktest {

namespace {

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

int CountEntries(const char* path)
{
    int count = 0;
    if (DIR* dir = ::opendir(path)) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        ::closedir(dir);
    }
    return count;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

} // namespace

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

std::uint16_t LocalPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

Fd Listen(std::uint16_t port, int backlog)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Loopback(port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), backlog) != 0)
        return Fd();
    return fd;
}

std::uint16_t FreeTcpPort()
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(0);
    ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return LocalPort(fd.Get());
}

std::uint16_t FreeUdpPort()
{
    return LocalPort(BindUdp(0).Get());
}

Fd Accept(int listening, int timeoutMs)
{
    if (!WaitReadable(listening, timeoutMs))
        return Fd();
    return Fd(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
}

Fd ConnectTcp(std::uint16_t port)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fd();
    return fd;
}

Fd BindUdp(std::uint16_t port)
{
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fd();
    return fd;
}

bool SendAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<unsigned char> ReceiveUpTo(int fd, std::size_t size, int timeoutMs)
{
    std::vector<unsigned char> out;
    std::vector<unsigned char> chunk(65536);
    while (out.size() < size && WaitReadable(fd, timeoutMs)) {
        const ssize_t n = ::recv(fd, chunk.data(), std::min(chunk.size(), size - out.size()), 0);
        if (n <= 0)
            break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

bool PeerClosed(int fd, int timeoutMs)
{
    unsigned char chunk[4096];
    while (WaitReadable(fd, timeoutMs)) {
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0)
            return true;
    }
    return false;
}

bool Refused(std::uint16_t port)
{
    return !ConnectTcp(port);
}

std::vector<unsigned char> Pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<unsigned char> out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    return out;
}

int OpenDescriptorCount()
{
    return CountEntries("/proc/self/fd") - 1;   // less the one opendir holds
}

int ThreadCount()
{
    // ThreadSanitizer starts a helper thread of its own with the first thread of the process:
    // start one first so that it is counted in every reading, not just the later ones.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    return CountEntries("/proc/self/task");
}

} // namespace linktest
