#pragma once
// Peers for the link tests, written with POSIX sockets on 127.0.0.1, and counts of what the
// process holds.

#include <cstdint>
#include <string>
#include <vector>

namespace linktest {

// A port on 127.0.0.1 that nothing listened on a moment ago.
std::uint16_t FreeTcpPort();
std::uint16_t FreeUdpPort();

// An owned descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    int Get() const { return m_fd; }
    int Release() { int fd = m_fd; m_fd = -1; return fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A listening TCP socket on 127.0.0.1 (port 0: any free port).
Fd Listen(std::uint16_t port = 0, int backlog = 5);
std::uint16_t LocalPort(int fd);
// Accepts one client, waiting at most `timeoutMs`; an invalid Fd on time-out.
Fd Accept(int listening, int timeoutMs = 10000);
// Connects to 127.0.0.1:port; an invalid Fd when refused.
Fd ConnectTcp(std::uint16_t port);
// A UDP socket bound to 127.0.0.1 (port 0: any free port).
Fd BindUdp(std::uint16_t port = 0);

bool SendAll(int fd, const void* data, std::size_t size);
// Reads until `size` bytes came, the peer closed or `timeoutMs` passed.
std::vector<unsigned char> ReceiveUpTo(int fd, std::size_t size, int timeoutMs = 10000);
// Whether the peer closed or reset the connection within `timeoutMs` (reading and dropping data).
bool PeerClosed(int fd, int timeoutMs = 10000);
// Whether nothing is listening on 127.0.0.1:port.
bool Refused(std::uint16_t port);

// Deterministic bytes that make an order fault visible.
std::vector<unsigned char> Pattern(std::size_t size, std::uint32_t seed = 1);

// Open descriptors and threads of this process.
int OpenDescriptorCount();
int ThreadCount();

} // namespace linktest
