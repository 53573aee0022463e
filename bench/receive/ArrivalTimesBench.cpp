// What timing the Received pane's bursts costs: what one block's timing takes on its own (the
// coarse clock read and the gap check the receive path does for every block) over the time a 16 KiB
// block takes to arrive in a TCP flood into the window. The flood itself, with the times recorded
// and with their recording switched off, is printed beside it (alternating rounds, the best of
// each, and the process's CPU time): on this kind of machine the kernel's page work alone makes the
// same round differ by several times from one run to the next, far more than the 1 % in question,
// so the end-to-end figures are context, not the result. Also prints the memory each burst adds.
//
// bench_arrival_times [MiB per round, default 512] [rounds of each, default 10]
#include "bench/links/BenchSupport.h"

#include "panes/models/ArrivalTimes.h"
#include "resources/ControlIds.h"

#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using bench::Clock;

double CpuSeconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

struct Round {
    double seconds = -1;
    double cpuSeconds = -1; // of the whole process: sender, receive worker and window

    bool contentOk = false;
    std::size_t bursts = 0;
};

// The window as TCP server takes `total` bytes from a local sender into the Received pane.
Round IntoWindow(std::uint64_t total, bool recordTimes)
{
    auto dlg = bench::MakeWindow();
    dlg->Owners().received.Arrivals().SetRecording(recordTimes);
    const std::uint16_t port = bench::FreePort(SOCK_STREAM);
    bench::Type(*dlg, IDC_TCP_SERVER_PORT, QString::number(port));
    bench::Click(*dlg, IDC_MODE_TCP);
    bench::Click(*dlg, IDC_START);
    bench::RunUntil([&] { return dlg->GetText(IDC_STATE) == QStringLiteral("Listening"); });

    Round round;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::thread sender([&] { bench::SendCyclic(bench::ConnectTcp(port), total); });
    bench::RunUntil([&] { return static_cast<std::uint64_t>(dlg->Owners().received.Total()) >= total; });
    round.seconds = bench::Seconds(start);
    round.cpuSeconds = CpuSeconds() - cpuStart;
    sender.join();
    round.contentOk = bench::MatchesCyclic(dlg->Owners().received.Block(), total);
    round.bursts = dlg->Owners().received.Arrivals().Count();
    return round;
}

// Nanoseconds one block's timing takes inside a flood (no new burst: the coarse clock read and the
// gap check).
double NoteBlockNs()
{
    ArrivalTimes times;
    constexpr int kBlocks = 20'000'000;
    const auto start = Clock::now();
    for (int i = 0; i < kBlocks; ++i)
        times.NoteBlock(static_cast<std::uint64_t>(i) * 16384);
    return bench::Seconds(start) * 1e9 / kBlocks;
}

// Bytes of memory each burst adds, with the vector's growth counted, over a million bursts.
double BytesPerBurst()
{
    ArrivalTimes times;
    times.SetGapMs(1);
    constexpr int kBursts = 1'000'000;
    for (int i = 0; i < kBursts; ++i)
        times.NoteBlockAt(static_cast<std::uint64_t>(i) * 100, 2 * i, 1'800'000'000'000 + i);
    return static_cast<double>(times.BytesHeld()) / static_cast<double>(times.Count());
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const std::uint64_t total = mib << 20;
    bench::CreateApplication("bench_arrival_times");

    double bestOff = 1e30;
    double bestOn = 1e30;
    double cpuOff = 1e30;
    double cpuOn = 1e30;
    bool contentOk = true;
    std::size_t burstsOn = 0;
    for (int r = 0; r < rounds; ++r) {
        // Alternating, and each going first in every other round, so that a busy spell of the
        // machine and whatever the previous round left behind fall on both alike.
        Round off;
        Round on;
        if (r % 2 == 0) {
            off = IntoWindow(total, false);
            on = IntoWindow(total, true);
        } else {
            on = IntoWindow(total, true);
            off = IntoWindow(total, false);
        }
        contentOk = contentOk && off.contentOk && on.contentOk && off.bursts == 0;
        bestOff = std::min(bestOff, off.seconds);
        bestOn = std::min(bestOn, on.seconds);
        cpuOff = std::min(cpuOff, off.cpuSeconds);
        cpuOn = std::min(cpuOn, on.cpuSeconds);
        burstsOn = on.bursts;
        std::printf("round %d: without times %.3f s (CPU %.3f s), with times %.3f s (CPU %.3f s), %zu bursts\n", r + 1,
                    off.seconds, off.cpuSeconds, on.seconds, on.cpuSeconds, on.bursts);
    }
    auto rate = [&](double s) { return s > 0 ? static_cast<double>(total) / s / 1e6 : 0.0; };
    std::printf("TCP receive of %llu MiB into the Received pane, best of %d rounds each\n",
                static_cast<unsigned long long>(mib), rounds);
    std::printf("  times recorded:     %8.3f s  %8.1f MB/s  (%zu bursts in the last round)\n", bestOn, rate(bestOn), burstsOn);
    std::printf("  times not recorded: %8.3f s  %8.1f MB/s\n", bestOff, rate(bestOff));
    std::printf("  CPU time of the process: %.3f s with times, %.3f s without (ratio %.3f; the rounds above show\n"
                "  how far apart the same work lands)\n",
                cpuOn, cpuOff, cpuOn > 0 ? cpuOff / cpuOn : -1.0);
    std::printf("  content %s\n", contentOk ? "byte-exact" : "WRONG");
    const double noteNs = NoteBlockNs();
    // The same cost as a share of what receiving a 16 KiB block took in the best round without times.
    const double blockNs = bestOff > 0 ? bestOff * 1e9 / (static_cast<double>(total) / 16384.0) : 0;
    std::printf("one block's timing during a flood: %.1f ns, %.3f %% of the %.0f ns a 16 KiB block took to receive\n",
                noteNs, blockNs > 0 ? 100.0 * noteNs / blockNs : -1.0, blockNs);
    std::printf("memory per burst: %zu bytes kept, %.1f bytes with the vector's growth (1,000,000 bursts; at most\n"
                "  twice the kept size just after the vector grew); nothing per byte\n",
                sizeof(ArrivalTimes::Burst), BytesPerBurst());
    bench::PrintResult("arrival_times_block_share", contentOk && blockNs > 0 ? noteNs / blockNs : -1,
                       bench::AtMost(0.01));
    return contentOk ? 0 : 1;
}
