// UDP periodic sends with period 0 from the window, in datagrams per second over a fixed time,
// next to a plain sendto loop of the same datagram size. Each sender gets a fresh local receiver
// that counts what arrives; the system's count of sent UDP datagrams gives the sending rate (it
// counts every UDP datagram of the machine, so keep it otherwise quiet). The two senders take turns,
// several rounds each, so that a busy machine's swings fall on both; each sender's best round
// counts. Ends with the ratio of the best sending rates; the datagrams each sent per second of the
// process's CPU time are printed beside them.
//
// bench_links_udp_periodic [seconds per round, default 1] [datagram bytes, default 512] [rounds, default 5]
#include "bench/links/BenchSupport.h"

#include "resources/ControlIds.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using bench::Clock;

// "OutDatagrams" of the Udp line in /proc/net/snmp; -1 when it cannot be read.
long long SystemUdpSent()
{
    std::ifstream in("/proc/net/snmp");
    std::string names, values, line;
    while (std::getline(in, line)) {
        if (line.rfind("Udp: ", 0) != 0)
            continue;
        if (names.empty())
            names = line;
        else
            values = line;
    }
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value) {
        if (name == "OutDatagrams")
            return std::atoll(value.c_str());
    }
    return -1;
}

// Counts datagrams arriving on 127.0.0.1 until told to stop.
class Counter {
public:
    Counter()
    {
        m_fd = bench::BindUdp();
        const int big = 8 << 20;   // capped by the system's maximum
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        const timeval tick{0, 50000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        m_thread = std::thread([this] {
            std::vector<unsigned char> buffer(65536);
            while (!m_stop) {
                if (::recv(m_fd, buffer.data(), buffer.size(), 0) >= 0)
                    m_count.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    ~Counter()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t Port() const { return bench::LocalPort(m_fd); }
    long long Count() const { return m_count.load(); }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_count{0};
    std::thread m_thread;
};

double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;    // the whole process's, receiver included
    long long sent = 0;       // from the system's count
    long long received = 0;   // by the counter
    double SentRate() const { return seconds > 0 ? static_cast<double>(sent) / seconds : 0; }
    double ReceivedRate() const { return seconds > 0 ? static_cast<double>(received) / seconds : 0; }
    double SentPerCpuSecond() const { return cpuSeconds > 0 ? static_cast<double>(sent) / cpuSeconds : 0; }
};

Figures FromWindow(double seconds, std::size_t size, bool& endedWell)
{
    auto window = bench::MakeWindow();
    CMainDlg& dlg = *window;
    Counter counter;
    bench::Type(dlg, IDC_UDP_SERVER_PORT, QString());
    bench::TypeAddress(dlg, IDC_UDP_DEST_IP, QStringLiteral("127.0.0.1"));
    bench::Type(dlg, IDC_UDP_DEST_PORT, QString::number(counter.Port()));
    bench::Click(dlg, IDC_MODE_UDP);
    bench::FillSending(dlg, size);
    bench::Click(dlg, IDC_PERIODIC);
    bench::Type(dlg, IDC_PERIOD, QStringLiteral("0"));

    Figures f;
    const long long sent0 = SystemUdpSent();
    const long long received0 = counter.Count();
    const double cpu0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    bench::Click(dlg, IDC_SEND);
    // The window's thread waits in its event loop, as it does while a person watches the send (a
    // loop polling for the end would take a core from the send).
    QEventLoop idle;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &idle, &QEventLoop::quit);
    idle.exec();
    f.sent = SystemUdpSent() - sent0;
    f.received = counter.Count() - received0;
    f.seconds = bench::Seconds(start);
    f.cpuSeconds = ProcessCpuSeconds() - cpu0;
    bench::Click(dlg, IDC_SEND_STOP);
    const auto limit = Clock::now() + std::chrono::seconds(10);
    bench::RunUntil([&] {
        return dlg.GetText(IDC_SENDER_STATE) == QStringLiteral("Periodic Stopped") || Clock::now() > limit;
    });
    endedWell = dlg.GetText(IDC_SENDER_STATE) == QStringLiteral("Periodic Stopped");
    return f;
}

Figures FromSendtoLoop(double seconds, std::size_t size)
{
    Counter counter;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = bench::LoopbackAddress(counter.Port());
    const std::vector<unsigned char> datagram(bench::Cyclic().begin(), bench::Cyclic().begin() + static_cast<long>(size));

    Figures f;
    const long long sent0 = SystemUdpSent();
    const long long received0 = counter.Count();
    const double cpu0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop.load(std::memory_order_relaxed))
            ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    });
    while (Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    f.sent = SystemUdpSent() - sent0;
    f.received = counter.Count() - received0;
    f.seconds = bench::Seconds(start);
    f.cpuSeconds = ProcessCpuSeconds() - cpu0;
    stop = true;
    sender.join();
    ::close(fd);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 512;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    if (seconds <= 0 || seconds > 60 || size == 0 || size > 512 || rounds < 1 || rounds > 20) {
        std::fprintf(stderr, "seconds: above 0, at most 60; datagram bytes: 1 to 512 (one datagram a pass); "
                             "rounds: 1 to 20\n");
        return 2;
    }
    bench::CreateApplication("bench_links_udp_periodic");

    bool allEndedWell = true;
    std::vector<Figures> window, plain;
    for (int round = 0; round < rounds; ++round) {
        bool endedWell = false;
        window.push_back(FromWindow(seconds, size, endedWell));
        allEndedWell = allEndedWell && endedWell;
        plain.push_back(FromSendtoLoop(seconds, size));
    }
    auto best = [](const std::vector<Figures>& all) {
        return *std::max_element(all.begin(), all.end(),
                                 [](const Figures& a, const Figures& b) { return a.SentRate() < b.SentRate(); });
    };

    std::printf("UDP sends of %zu-byte datagrams to a local counting receiver, %d rounds of %.1f s each\n", size,
                rounds, seconds);
    std::printf("  %-36s %12s %12s %14s\n", "", "sent/s", "received/s", "sent/CPU s");
    for (int round = 0; round < rounds; ++round) {
        const Figures& w = window[static_cast<std::size_t>(round)];
        const Figures& p = plain[static_cast<std::size_t>(round)];
        std::printf("  round %d: %-27s %12.0f %12.0f %14.0f\n", round + 1, "window, Periodic, period 0", w.SentRate(),
                    w.ReceivedRate(), w.SentPerCpuSecond());
        std::printf("  round %d: %-27s %12.0f %12.0f %14.0f\n", round + 1, "plain sendto loop", p.SentRate(),
                    p.ReceivedRate(), p.SentPerCpuSecond());
    }
    const Figures w = best(window), p = best(plain);
    std::printf("  %-36s %12.0f %12.0f %14.0f\n", "best window round:", w.SentRate(), w.ReceivedRate(),
                w.SentPerCpuSecond());
    std::printf("  %-36s %12.0f %12.0f %14.0f\n", "best plain round:", p.SentRate(), p.ReceivedRate(),
                p.SentPerCpuSecond());
    if (p.SentPerCpuSecond() > 0)
        std::printf("  ratio window/plain, sent per CPU second: %.2f\n", w.SentPerCpuSecond() / p.SentPerCpuSecond());
    std::printf("  the window's sends ended with \"Periodic Stopped\": %s\n", allEndedWell ? "yes" : "NO");
    bench::PrintResult("udp_periodic", p.SentRate() > 0 ? w.SentRate() / p.SentRate() : -1, bench::AtLeast(0.9));
    return allEndedWell ? 0 : 1;
}
