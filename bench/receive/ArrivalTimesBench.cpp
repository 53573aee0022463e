// What timing the Received pane's bursts costs: TCP receive from a local sender into the window with
// the times recorded, next to the same receive with their recording switched off, in alternating
// rounds (best round of each). Also prints what one block's timing costs on its own and the memory
// each recorded burst adds. Ends with that cost over the time a block took to receive, and the
// process's CPU time without times over its CPU time with them (the least of each over the rounds:
// on a machine whose two cores the sender and the receiver share, wall time says more about the
// scheduler than about the times).
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
    dlg->ReceivedArrivals().SetRecording(recordTimes);
    const std::uint16_t port = bench::FreePort(SOCK_STREAM);
    bench::Type(*dlg, IDC_TCP_SERVER_PORT, QString::number(port));
    bench::Click(*dlg, IDC_MODE_TCP);
    bench::Click(*dlg, IDC_START);
    bench::RunUntil([&] { return dlg->GetText(IDC_STATE) == QStringLiteral("Listening"); });

    Round round;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::thread sender([&] { bench::SendCyclic(bench::ConnectTcp(port), total); });
    bench::RunUntil([&] { return static_cast<std::uint64_t>(dlg->ReceivedTotal()) >= total; });
    round.seconds = bench::Seconds(start);
    round.cpuSeconds = CpuSeconds() - cpuStart;
    sender.join();
    round.contentOk = bench::MatchesCyclic(dlg->ReceivedBlock(), total);
    round.bursts = dlg->ReceivedArrivals().Count();
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
    std::printf("  CPU time of the process: %.3f s with times, %.3f s without (ratio %.3f)\n", cpuOn, cpuOff,
                cpuOn > 0 ? cpuOff / cpuOn : -1.0);
    std::printf("  content %s\n", contentOk ? "byte-exact" : "WRONG");
    const double noteNs = NoteBlockNs();
    // The same cost as a share of what receiving a 16 KiB block took in the best round without times.
    const double blockNs = bestOff > 0 ? bestOff * 1e9 / (static_cast<double>(total) / 16384.0) : 0;
    std::printf("one block's timing during a flood: %.1f ns, %.3f %% of the %.0f ns a 16 KiB block took to receive\n",
                noteNs, blockNs > 0 ? 100.0 * noteNs / blockNs : -1.0, blockNs);
    std::printf("memory per burst: %zu bytes kept, %.1f bytes with the vector's growth (1,000,000 bursts; at most\n"
                "  twice the kept size just after the vector grew); nothing per byte\n",
                sizeof(ArrivalTimes::Burst), BytesPerBurst());
    // The end-to-end ratio drowns in the noise of a shared machine; the block's own timing over what
    // receiving the block took says the same with less noise.
    bench::PrintResult("arrival_times_block_share", blockNs > 0 ? noteNs / blockNs : -1, bench::AtMost(0.01));
    bench::PrintResult("arrival_times", contentOk && cpuOn > 0 ? cpuOff / cpuOn : -1, bench::AtLeast(0.99));
    return contentOk ? 0 : 1;
}
