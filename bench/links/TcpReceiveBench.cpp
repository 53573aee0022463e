// TCP receive into the Received Data pane next to the simplest reader that keeps every byte
// (bench_keeping_reader: recv() straight into one growing anonymous mapping), with nc receiving the
// same sender's bytes into /dev/null beside them for context, and how late a timer on the window's
// thread fires and how long a click waits during the flood, in three rounds that take turns with
// the programs. A bare thread sleeping 5 ms at a time during the same floods shows how late the
// machine wakes a thread that does nothing else. Ends with the worst lateness of all rounds over
// 20 ms (or over the bare thread's worst, when the machine itself is later than that), the worst
// wait of a click over 20 ms, and the median of the rounds' ratios to the keeping reader; fails only
// on wrong bytes.
//
// bench_links_tcp_receive [MiB, default 1024]
#include "bench/links/BenchSupport.h"

#include "resources/ControlIds.h"

#include <QLineEdit>
#include <sys/socket.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using bench::Clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU seconds spent during a flood: on the window's thread, by the sender, and by the rest of the
// process (the receive worker) or the outside program.
struct FloodCpu {
    double window = 0;
    double sender = 0;
    double receiver = 0;
};

// The window as TCP server; the sender connects and floods it.
double IntoWindow(std::uint64_t total, bool& contentOk, bench::TimerProbe& probe, bench::ClickProbe& clicks,
                  bench::SleepProbe& sleeper, FloodCpu& cpu)
{
    auto dlg = bench::MakeWindow();
    const std::uint16_t port = bench::FreePort(SOCK_STREAM);
    bench::Type(*dlg, IDC_TCP_SERVER_PORT, QString::number(port));
    bench::Click(*dlg, IDC_MODE_TCP);
    bench::Click(*dlg, IDC_START);
    bench::RunUntil([&] { return dlg->GetText(IDC_STATE) == QStringLiteral("Listening"); });

    probe.Start();
    clicks.Start(dlg->ControlAs<QAbstractButton>(IDC_AUTO_SCROLL));
    sleeper.Start();
    const double processBefore = bench::ProcessCpuSeconds();
    const double windowBefore = bench::ThreadCpuSeconds();
    const auto start = Clock::now();
    std::thread sender([&] {
        bench::SendCyclic(bench::ConnectTcp(port), total);
        cpu.sender = bench::ThreadCpuSeconds();
    });
    bench::RunUntil([&] { return static_cast<std::uint64_t>(dlg->Owners().received.Total()) >= total; });
    const double seconds = Seconds(start);
    cpu.window = bench::ThreadCpuSeconds() - windowBefore;
    probe.Stop();
    clicks.Stop();
    sleeper.Stop();
    sender.join();
    // The receive worker ends with the connection; its time stays in the process's.
    bench::RunUntil([&] { return dlg->GetText(IDC_STATE) == QStringLiteral("Disconnected"); });
    cpu.receiver = bench::ProcessCpuSeconds() - processBefore - cpu.window - cpu.sender;
    contentOk = bench::MatchesCyclic(dlg->Owners().received.Block(), total);
    return seconds;
}

// An outside program listening and writing to /dev/null; the same sender floods it.
double IntoProgram(const std::vector<std::string>& argv, std::uint16_t port, std::uint64_t total, FloodCpu& cpu)
{
    const int pid = bench::Spawn(argv, "/dev/null", "/dev/null");
    if (pid < 0)
        return -1;
    const int fd = bench::ConnectTcp(port);
    const double senderBefore = bench::ThreadCpuSeconds();
    const auto start = Clock::now();
    bench::SendCyclic(fd, total);
    cpu.sender = bench::ThreadCpuSeconds() - senderBefore;
    const bench::ChildExit exit = bench::WaitChild(pid);
    const double seconds = Seconds(start);
    cpu.receiver = exit.cpuSeconds;
    return exit.ok && fd >= 0 ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t total = mib << 20;
    bench::CreateApplication("bench_links_tcp_receive");
    // Loopback throughput on a shared machine swings by two or more between seconds: the window and
    // the programs take turns, and each round's ratio compares neighbours in time.
    constexpr int kRounds = 3;
    bool contentOk = true;
    bench::TimerProbe probe;
    bench::ClickProbe clicks;
    bench::SleepProbe sleeper;
    std::vector<double> ratios;
    double timerWorst = 0, clickWorst = 0, sleepWorst = 0;
    std::size_t clickCount = 0;
    auto rate = [&](double s) { return s > 0 ? static_cast<double>(total) / s / 1e6 : 0.0; };
    auto perMiB = [&](double s) { return s * 1e3 / static_cast<double>(mib); };
    std::printf("TCP receive of %llu MiB from a local sender, %d rounds\n", static_cast<unsigned long long>(mib),
                kRounds);
    // Built next to this benchmark.
    const std::string keeper = (std::filesystem::canonical("/proc/self/exe").parent_path() / "bench_keeping_reader").string();
    for (int round = 1; round <= kRounds; ++round) {
        bool roundOk = false;
        FloodCpu windowCpu, keeperCpu, ncCpu;
        const double window = IntoWindow(total, roundOk, probe, clicks, sleeper, windowCpu);
        contentOk = contentOk && roundOk;
        const std::uint16_t keeperPort = bench::FreePort(SOCK_STREAM);
        const double kept = IntoProgram({keeper, std::to_string(keeperPort)}, keeperPort, total, keeperCpu);
        const std::uint16_t ncPort = bench::FreePort(SOCK_STREAM);
        const double nc = IntoProgram({"nc", "-d", "-l", "127.0.0.1", std::to_string(ncPort)}, ncPort, total, ncCpu);
        std::printf("round %d\n", round);
        std::printf("  into the Received pane: %8.3f s  %8.1f MB/s  content %s\n", window, rate(window),
                    roundOk ? "byte-exact" : "WRONG");
        std::printf("  keeping reader:         %8.3f s  %8.1f MB/s\n", kept, rate(kept));
        std::printf("  nc into /dev/null:      %8.3f s  %8.1f MB/s\n", nc, rate(nc));
        std::printf("  CPU ms per MiB: pane's window thread %.3f, receive worker %.3f, sender %.3f;\n"
                    "    keeping reader %.3f (sender %.3f), nc %.3f (sender %.3f)\n",
                    perMiB(windowCpu.window), perMiB(windowCpu.receiver), perMiB(windowCpu.sender),
                    perMiB(keeperCpu.receiver), perMiB(keeperCpu.sender), perMiB(ncCpu.receiver), perMiB(ncCpu.sender));
        std::printf("  window's thread: a 5 ms timer fired at worst %.1f ms late (99th percentile %.1f ms); a click on\n"
                    "    Auto Scroll waited at worst %.1f ms (99th percentile %.1f ms, %zu clicks)\n",
                    probe.WorstMs(), probe.PercentileMs(0.99), clicks.WorstMs(), clicks.PercentileMs(0.99), clicks.Count());
        const bench::TimerProbe::Interval& worst = probe.WorstInterval();
        std::printf("    in the timer's worst interval (ending %.0f ms into the flood) the window's thread ran %.1f ms,\n"
                    "    stood ready %.1f ms and blocked %ld times; it was preempted %ld times\n",
                    worst.endsAtMs, worst.cpuMs, worst.readyMs, worst.waits, worst.preemptions);
        std::printf("  a bare thread of the same process sleeping 5 ms at a time woke at worst %.1f ms late\n",
                    sleeper.WorstMs());
        sleepWorst = std::max(sleepWorst, sleeper.WorstMs());
        timerWorst = std::max(timerWorst, probe.WorstMs());
        clickWorst = std::max(clickWorst, clicks.WorstMs());
        clickCount += clicks.Count();
        if (kept > 0 && roundOk)
            ratios.push_back(rate(window) / rate(kept));
        std::printf("  ratio pane/keeping reader %.2f, pane/nc into /dev/null %.2f\n",
                    kept > 0 ? rate(window) / rate(kept) : 0.0, nc > 0 ? rate(window) / rate(nc) : 0.0);
    }
    std::printf("window's thread over all rounds: the timer at worst %.1f ms late, a click waited at worst %.1f ms "
                "(goal: 20 ms); the bare sleeping thread at worst %.1f ms late\n",
                timerWorst, clickWorst, sleepWorst);
    std::sort(ratios.begin(), ratios.end());
    const double median = contentOk && ratios.size() == kRounds ? ratios[kRounds / 2] : -1;
    std::printf("ratio to the keeping reader, median of the rounds: %.3f\n", median);
    const std::string name = "tcp_receive_" + std::to_string(mib) + "MiB";
    // A machine that wakes even the bare thread later than 20 ms sets the limit no program can beat.
    bench::PrintResult((name + "_timer_late").c_str(), timerWorst / std::max(20.0, sleepWorst), bench::AtMost(1.0));
    bench::PrintResult((name + "_click_late").c_str(), clickCount > 0 ? clickWorst / 20.0 : -1, bench::AtMost(1.0));
    bench::PrintResult(name.c_str(), median, bench::AtLeast(1.0));
    return contentOk ? 0 : 1;
}
