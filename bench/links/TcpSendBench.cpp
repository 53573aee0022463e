// TCP send of a large Sending pane from the window as TCP client, next to socat sending the same
// bytes from a file; both to a local sink that counts and checks every byte. The time runs from
// the Send click (or socat's start) until the sink holds all bytes. The window's resident memory is
// sampled during the send: the send reads the pane's own bytes, so it should hardly grow. Ends with
// the slowest round's first byte over its 20 ms limit, the throughput ratio to socat and the memory
// grown over the pane's size; fails only on wrong bytes at the sink. Also prints how long one key
// typed into the pane during a held-up send takes on the window's thread (the pane's own copy).
//
// bench_links_tcp_send [MiB, default 256] [rounds, default 3]
#include "bench/hexview/ProcMemory.h"
#include "bench/links/BenchSupport.h"

#include "resources/ControlIds.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using bench::Clock;

// Listens on 127.0.0.1, accepts one connection and reads until `total` bytes came or the peer
// closed, comparing every byte with the cyclic pattern.
class Sink {
public:
    explicit Sink(std::uint64_t total) : m_total(total)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = bench::LoopbackAddress(0);
        ::bind(m_listen, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        m_port = bench::LocalPort(m_listen);
        m_thread = std::thread([this] { Run(); });
    }
    ~Sink()
    {
        m_thread.join();
        ::close(m_listen);
    }
    std::uint16_t Port() const { return m_port; }
    bool Done() const { return m_done.load(); }
    bool Accepted() const { return m_accepted.load(); }
    // A closed sink accepts but reads nothing until opened: the send waits on full socket buffers.
    void Close() { m_open = false; }
    void Open() { m_open = true; }
    void Wait() { while (!Done()) std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    Clock::time_point FirstAt() const { return m_firstAt; }
    Clock::time_point DoneAt() const { return m_doneAt; }
    bool Intact() const { return m_intact && m_received == m_total; }
    std::uint64_t Received() const { return m_received; }

private:
    void Run()
    {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        std::vector<unsigned char> buffer(1 << 20, 0);
        m_accepted = true;
        while (!m_open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto& cyclic = bench::Cyclic();
        while (fd >= 0 && m_received < m_total) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            for (std::size_t at = 0; at < static_cast<std::size_t>(n);) {
                const std::size_t offset = static_cast<std::size_t>((m_received + at) % cyclic.size());
                const std::size_t len = std::min(cyclic.size() - offset, static_cast<std::size_t>(n) - at);
                if (!std::equal(buffer.begin() + static_cast<long>(at), buffer.begin() + static_cast<long>(at + len),
                                cyclic.begin() + static_cast<long>(offset)))
                    m_intact = false;
                at += len;
            }
            if (m_received == 0)
                m_firstAt = Clock::now();
            m_received += static_cast<std::uint64_t>(n);
        }
        m_doneAt = Clock::now();
        m_done = true;
        if (fd >= 0)
            ::close(fd);
    }

    std::uint64_t m_total;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    std::uint64_t m_received = 0;
    bool m_intact = true;
    Clock::time_point m_firstAt;
    Clock::time_point m_doneAt;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_accepted{false};
    std::atomic<bool> m_open{true};
    std::thread m_thread;
};

struct Run {
    double seconds = -1;     // start to the sink's last byte
    double firstByte = -1;   // start to the sink's first byte
    bool intact = false;
    double grownBytes = 0;   // the window's resident memory at its highest during the send, over before
};

// Resident memory of this process, sampled every millisecond on a thread of its own until stopped.
class MemorySampler {
public:
    MemorySampler() : m_before(bench::ResidentBytes()), m_peak(m_before)
    {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                m_peak = std::max(m_peak.load(), ResidentNow());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    // Stops sampling; the highest resident memory seen over that before the start.
    double Grown()
    {
        m_stop = true;
        m_thread.join();
        m_peak = std::max(m_peak.load(), ResidentNow());
        return static_cast<double>(m_peak.load()) - static_cast<double>(m_before);
    }

private:
    // statm's second field, resident pages: cheaper than the status text.
    static std::uint64_t ResidentNow()
    {
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        unsigned long long size = 0, resident = 0;
        if (statm != nullptr) {
            if (std::fscanf(statm, "%llu %llu", &size, &resident) != 2)
                resident = 0;
            std::fclose(statm);
        }
        return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    }

    std::uint64_t m_before;
    std::atomic<std::uint64_t> m_peak;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

Run Measured(const Sink& sink, Clock::time_point start)
{
    Run run;
    run.seconds = std::chrono::duration<double>(sink.DoneAt() - start).count();
    run.firstByte = std::chrono::duration<double>(sink.FirstAt() - start).count();
    run.intact = sink.Intact();
    return run;
}

// The window connects to the sink as TCP client.
void ConnectToSink(CMainDlg& dlg, const Sink& sink)
{
    bench::Type(dlg, IDC_TCP_SERVER_PORT, QString());
    bench::TypeAddress(dlg, IDC_TCP_DEST_IP, QStringLiteral("127.0.0.1"));
    bench::Type(dlg, IDC_TCP_DEST_PORT, QString::number(sink.Port()));
    bench::Click(dlg, IDC_MODE_TCP);
    bench::Click(dlg, IDC_START);
    bench::RunUntil([&] { return dlg.GetText(IDC_STATE) == QStringLiteral("Connected"); });
}

// The window connects to the sink as TCP client and sends its pane once.
Run FromWindow(std::uint64_t total)
{
    auto window = bench::MakeWindow();
    CMainDlg& dlg = *window;
    bench::FillSending(dlg, static_cast<std::size_t>(total));
    Sink sink(total);
    ConnectToSink(dlg, sink);

    // The sink's buffer is made before the sampling starts, so that only the window's growth counts.
    bench::RunUntil([&] { return sink.Accepted(); });
    MemorySampler memory;
    const auto start = Clock::now();
    bench::Click(dlg, IDC_SEND);
    bench::RunUntil([&] { return sink.Done(); });
    Run run = Measured(sink, start);
    run.grownBytes = memory.Grown();
    const QString expected = QString::asprintf("%llu bytes sent", static_cast<unsigned long long>(total));
    bench::RunUntil([&] { return dlg.GetText(IDC_SENDER_STATE) == expected; });
    bench::Click(dlg, IDC_STOP);
    return run;
}

// A send held up by a sink that does not read yet, and one key typed into the Sending pane meanwhile:
// how long the window's thread takes over it (the pane gets a copy of its own). The sink must still
// get the pane as it was at Send. Returns the milliseconds, or -1 when the sink got other bytes.
double EditDuringSend(std::uint64_t total)
{
    auto window = bench::MakeWindow();
    CMainDlg& dlg = *window;
    bench::FillSending(dlg, static_cast<std::size_t>(total));
    Sink sink(total);
    sink.Close();
    ConnectToSink(dlg, sink);
    bench::Click(dlg, IDC_SEND);
    bench::RunUntil([&] { return !dlg.Control(IDC_SEND)->isEnabled(); });

    QWidget* view = dlg.Control(IDC_HEX_SENDING);
    view->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("A"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("A"));
    const auto start = Clock::now();
    QApplication::sendEvent(view, &press);
    const double ms = bench::Seconds(start) * 1e3;
    QApplication::sendEvent(view, &release);
    unsigned char first = 0;
    dlg.Owners().sending.Block().Read(0, &first, 1);

    sink.Open();
    bench::RunUntil([&] { return sink.Done(); });
    const QString expected = QString::asprintf("%llu bytes sent", static_cast<unsigned long long>(total));
    bench::RunUntil([&] { return dlg.GetText(IDC_SENDER_STATE) == expected; });
    bench::Click(dlg, IDC_STOP);
    const bool edited = first >> 4 == 0xA;
    return sink.Intact() && edited ? ms : -1;
}

Run FromSocat(const std::string& path, std::uint64_t total)
{
    Sink sink(total);
    const auto start = Clock::now();
    const int pid = bench::Spawn({"socat", "-u", "OPEN:" + path, "TCP:127.0.0.1:" + std::to_string(sink.Port())});
    if (pid < 0)
        return Run();
    sink.Wait();
    const Run run = Measured(sink, start);
    return bench::WaitExit(pid) ? run : Run();
}

bool WriteCyclicFile(const std::string& path, std::uint64_t total)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto& cyclic = bench::Cyclic();
    for (std::uint64_t at = 0; at < total; at += cyclic.size())
        out.write(reinterpret_cast<const char*>(cyclic.data()),
                  static_cast<std::streamsize>(std::min<std::uint64_t>(cyclic.size(), total - at)));
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    // The TCP send takes one pass of at most 2^31-1 bytes.
    if (mib == 0 || mib > 2047) {
        std::fprintf(stderr, "MiB: 1 to 2047\n");
        return 2;
    }
    const std::uint64_t total = mib << 20;
    bench::CreateApplication("bench_links_tcp_send");

    char path[] = "/tmp/bench_tcp_send.XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || !WriteCyclicFile(path, total)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 2;
    }
    ::close(fd);

    std::vector<Run> window, socat;
    for (int round = 0; round < rounds; ++round) {
        window.push_back(FromWindow(total));
        socat.push_back(FromSocat(path, total));
    }
    ::unlink(path);

    bool allIntact = true;
    auto best = [&](const std::vector<Run>& runs) {
        Run b;
        for (const Run& r : runs) {
            allIntact = allIntact && r.intact;
            if (r.seconds > 0 && (b.seconds < 0 || r.seconds < b.seconds))
                b = r;
        }
        return b;
    };
    auto rate = [&](double s) { return s > 0 ? static_cast<double>(total) / s / 1e6 : 0.0; };
    std::printf("TCP send of %llu MiB to a local sink that checks every byte (%d rounds, best shown)\n",
                static_cast<unsigned long long>(mib), rounds);
    double slowestFirst = 0, slowestSocatFirst = 0, mostGrown = 0;
    for (int round = 0; round < rounds; ++round) {
        const Run& w = window[static_cast<std::size_t>(round)];
        const Run& s = socat[static_cast<std::size_t>(round)];
        std::printf("  round %d: window %.3f s (first byte %.1f ms, resident memory grew %.1f MiB), "
                    "socat %.3f s (first byte %.1f ms)\n",
                    round + 1, w.seconds, w.firstByte * 1e3, w.grownBytes / 1048576.0, s.seconds, s.firstByte * 1e3);
        slowestFirst = w.firstByte < 0 || slowestFirst < 0 ? -1 : std::max(slowestFirst, w.firstByte);
        slowestSocatFirst = std::max(slowestSocatFirst, s.firstByte);
        mostGrown = std::max(mostGrown, w.grownBytes);
    }
    const Run w = best(window), s = best(socat);
    const double editMs = EditDuringSend(total);
    std::printf("  from the Sending pane (Send click to last byte): %8.3f s  %8.1f MB/s  first byte after %.3f s\n",
                w.seconds, rate(w.seconds), w.firstByte);
    std::printf("  socat from a file (start to last byte):          %8.3f s  %8.1f MB/s  first byte after %.3f s\n",
                s.seconds, rate(s.seconds), s.firstByte);
    std::printf("  first byte, slowest round: window %.1f ms, socat %.1f ms\n", slowestFirst * 1e3,
                slowestSocatFirst * 1e3);
    std::printf("  resident memory grown during the send, most of any round: %.1f MiB (%.3f of the pane)\n",
                mostGrown / 1048576.0, mostGrown / static_cast<double>(total));
    std::printf("  one key typed into the pane during a send: %.1f ms on the window's thread (the pane's copy)%s\n",
                editMs, editMs < 0 ? " - WRONG bytes at the sink or the edit missing" : "");
    allIntact = allIntact && editMs >= 0;
    std::printf("  content at the sink: %s\n", allIntact ? "byte-exact" : "WRONG");
    bench::PrintResult("tcp_send_first_byte", slowestFirst >= 0 ? slowestFirst / 0.020 : -1, bench::AtMost(1.0));
    bench::PrintResult("tcp_send", w.seconds > 0 && s.seconds > 0 && allIntact ? rate(w.seconds) / rate(s.seconds) : -1,
                       bench::AtLeast(0.8));
    // Memory grown over the pane's size: a copy of the pane would make it 1.
    bench::PrintResult("tcp_send_memory", std::max(0.0, mostGrown) / static_cast<double>(total), bench::AtMost(0.05));
    return allIntact ? 0 : 1;
}
