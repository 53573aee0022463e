// The share of datagrams from a sender at full speed that reach the Received pane of the window
// bound as UDP endpoint, next to a plain recvfrom loop on a socket with the same receive buffer
// size taking the same sender's datagrams. Each datagram carries its number, so the pane's bytes
// are checked to be whole datagrams in the order sent. Ends with the ratio of the two shares: the
// pane should lose no more than the bare loop does.
//
// bench_links_udp_receive_share [datagrams, default 200000] [datagram bytes, default 512]
#include "bench/links/BenchSupport.h"

#include "resources/ControlIds.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using bench::Clock;

std::vector<unsigned char> Datagram(std::uint32_t number, std::size_t size)
{
    std::vector<unsigned char> d(bench::Cyclic().begin(), bench::Cyclic().begin() + static_cast<long>(size));
    std::memcpy(d.data(), &number, sizeof number);
    return d;
}

// Sends `count` numbered datagrams to 127.0.0.1:port as fast as sendto goes.
void Blast(std::uint16_t port, std::uint32_t count, std::size_t size)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = bench::LoopbackAddress(port);
    std::vector<unsigned char> d = Datagram(0, size);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::memcpy(d.data(), &i, sizeof i);
        ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    ::close(fd);
}

int ReceiveBufferSize(int fd)
{
    int size = 0;
    socklen_t len = sizeof size;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &len);
    return size;
}

// The receive buffer size of this process's UDP socket bound to `port`; 0 when there is none.
int ReceiveBufferOfBoundUdp(std::uint16_t port)
{
    DIR* dir = ::opendir("/proc/self/fd");
    int found = 0;
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const int fd = std::atoi(entry->d_name);
        int type = 0;
        socklen_t len = sizeof type;
        if (entry->d_name[0] == '.' || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_DGRAM)
            continue;
        if (bench::LocalPort(fd) == port)
            found = ReceiveBufferSize(fd);
    }
    if (dir)
        ::closedir(dir);
    return found;
}

// Whole datagrams in increasing order, every byte but the number as sent.
bool WholeAndInOrder(const plat::ByteBlock& block, std::size_t size)
{
    if (block.Size() % size != 0)
        return false;
    const std::vector<unsigned char> model = Datagram(0, size);
    std::vector<unsigned char> d(size);
    long long last = -1;
    for (std::size_t at = 0; at < block.Size(); at += size) {
        block.Read(at, d.data(), size);
        std::uint32_t number = 0;
        std::memcpy(&number, d.data(), sizeof number);
        if (static_cast<long long>(number) <= last ||
            !std::equal(d.begin() + sizeof number, d.end(), model.begin() + sizeof number))
            return false;
        last = number;
    }
    return true;
}

struct Figures {
    long long arrived = 0;
    int receiveBuffer = 0;
    bool intact = false;
};

// Waits until `count` stops growing for a while once the sender is done (or everything came).
template <class Count, class Pump>
long long Settled(Count count, long long all, const std::atomic<bool>& senderDone, Pump pump)
{
    long long last = -1;
    auto still = Clock::now();
    for (;;) {
        pump();
        const long long now = count();
        if (now >= all)
            return now;
        if (now != last || !senderDone) {
            last = now;
            still = Clock::now();
        } else if (Clock::now() - still > std::chrono::milliseconds(500)) {
            return now;
        }
    }
}

Figures IntoWindow(std::uint32_t count, std::size_t size)
{
    auto window = bench::MakeWindow();
    CMainDlg& dlg = *window;
    const std::uint16_t port = bench::FreePort(SOCK_DGRAM);
    bench::Type(dlg, IDC_UDP_SERVER_PORT, QString::number(port));
    bench::Click(dlg, IDC_MODE_UDP);
    bench::Click(dlg, IDC_START);
    bench::RunUntil([&] { return dlg.GetText(IDC_STATE) == QStringLiteral("Waiting Data"); });

    Figures f;
    f.receiveBuffer = ReceiveBufferOfBoundUdp(port);
    std::atomic<bool> sent{false};
    std::thread sender([&] { Blast(port, count, size); sent = true; });
    const long long bytes = Settled([&] { return static_cast<long long>(dlg.Owners().received.Total()); },
                                    static_cast<long long>(count) * static_cast<long long>(size), sent,
                                    [] { QApplication::processEvents(QEventLoop::AllEvents, 5); });
    sender.join();
    f.arrived = bytes / static_cast<long long>(size);
    {
        std::lock_guard guard(dlg.Owners().received.ReceivedLock());
        f.intact = WholeAndInOrder(dlg.Owners().received.Block(), size);
    }
    bench::Click(dlg, IDC_STOP);
    return f;
}

Figures IntoRecvfromLoop(std::uint32_t count, std::size_t size, int receiveBuffer)
{
    Figures f;
    const int fd = bench::BindUdp();
    // The kernel doubles what is asked for, and reports the doubled size.
    if (receiveBuffer > 0 && ReceiveBufferSize(fd) != receiveBuffer) {
        const int ask = receiveBuffer / 2;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &ask, sizeof ask);
    }
    f.receiveBuffer = ReceiveBufferSize(fd);
    const timeval tick{0, 50000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    std::atomic<long long> arrived{0};
    std::atomic<bool> stop{false};
    bool inOrder = true;
    std::thread receiver([&] {
        std::vector<unsigned char> buffer(65536);
        const std::vector<unsigned char> model = Datagram(0, size);
        long long last = -1;
        while (!stop) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                continue;
            std::uint32_t number = 0;
            std::memcpy(&number, buffer.data(), sizeof number);
            if (static_cast<std::size_t>(n) != size || static_cast<long long>(number) <= last ||
                !std::equal(buffer.begin() + sizeof number, buffer.begin() + n, model.begin() + sizeof number))
                inOrder = false;
            last = number;
            arrived.fetch_add(1);
        }
    });
    std::atomic<bool> sent{false};
    std::thread sender([&] { Blast(bench::LocalPort(fd), count, size); sent = true; });
    f.arrived = Settled([&] { return arrived.load(); }, count, sent,
                        [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    sender.join();
    stop = true;
    receiver.join();
    ::close(fd);
    f.intact = inOrder;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const long long count = argc > 1 ? std::atoll(argv[1]) : 200000;
    const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 512;
    if (count <= 0 || count > 5000000 || size < 4 || size > 65000) {
        std::fprintf(stderr, "datagrams: 1 to 5000000; datagram bytes: 4 to 65000\n");
        return 2;
    }
    bench::CreateApplication("bench_links_udp_receive_share");

    const Figures window = IntoWindow(static_cast<std::uint32_t>(count), size);
    const Figures plain = IntoRecvfromLoop(static_cast<std::uint32_t>(count), size, window.receiveBuffer);

    auto share = [&](const Figures& f) { return 100.0 * static_cast<double>(f.arrived) / static_cast<double>(count); };
    std::printf("%lld datagrams of %zu bytes from a local sender at full speed\n", count, size);
    std::printf("  into the Received pane (UDP Bind): %9lld arrived  %6.2f %%  receive buffer %d bytes  %s\n",
                window.arrived, share(window), window.receiveBuffer,
                window.intact ? "whole, in order" : "WRONG bytes or order");
    std::printf("  plain recvfrom loop:               %9lld arrived  %6.2f %%  receive buffer %d bytes  %s\n",
                plain.arrived, share(plain), plain.receiveBuffer, plain.intact ? "whole, in order" : "WRONG bytes or order");
    bench::PrintResult("udp_receive_share",
                       plain.arrived > 0 && window.intact ? static_cast<double>(window.arrived) / static_cast<double>(plain.arrived) : -1,
                       bench::AtLeast(1.0));
    return window.intact && plain.intact ? 0 : 1;
}
