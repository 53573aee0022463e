// The simplest reader that keeps every byte it receives: the TCP receive benchmark's yardstick.
// Listens once on 127.0.0.1:<port>, takes one connection and recv()s straight into one anonymous
// mapping until the peer closes. The mapping doubles with mremap, so it grows by fresh pages that
// the kernel faults in as recv() fills them; nothing is touched ahead. No Qt.
//
// bench_keeping_reader <port>    exits 0 once the peer closed, having kept at least one byte
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0)
        return 1;
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0)
        return 1;
    std::size_t capacity = 1 << 20;
    void* mapped = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return 1;
    auto* bytes = static_cast<unsigned char*>(mapped);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            mapped = ::mremap(bytes, capacity, capacity * 2, MREMAP_MAYMOVE);
            if (mapped == MAP_FAILED)
                return 1;
            bytes = static_cast<unsigned char*>(mapped);
            capacity *= 2;
        }
        const ssize_t got = ::recv(fd, bytes + size, capacity - size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return 1;
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    std::printf("%zu bytes kept\n", size);
    return size > 0 ? 0 : 1;
}
