// How the window holds up under a receive flood. Prints figures; passes or fails nothing.
//
// 1. Throughput: 16 KiB blocks appended by a worker as fast as it can into the real window, and
//    the memory the process holds per byte shown.
// 2. Steady pressure: a worker appends 100,000 small blocks a second for ten seconds while the
//    window's thread measures how late a 5 ms timer fires and how long a posted click takes to
//    be handled, and counts how many text updates and redraws actually ran.
//
// Ends with the worst click answer over its 20 ms limit, and the memory per byte shown.
//
// bench_receive_window [MiB for part 1, default 1024] [seconds for part 2, default 10]
#include "app/Controls.h"
#include "app/MainDlg.h"
#include "bench/links/BenchSupport.h"
#include "platform/hexview/HexView.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long ProcStatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// Returns the bytes of memory held per byte shown.
double Throughput(CMainDlg& dlg, std::size_t mib)
{
    const long rssBefore = ProcStatusKiB("VmRSS");
    constexpr std::size_t kBlock = 16384;
    const std::size_t total = mib << 20;
    std::vector<unsigned char> block(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    std::atomic<bool> done{false};
    const double windowCpuBefore = bench::ThreadCpuSeconds();
    const auto start = Clock::now();
    std::thread worker([&] {
        for (std::size_t at = 0; at < total; at += kBlock) {
            dlg.Owners().received.Deliver(block.data(), kBlock);
        }
        done = true;
    });
    bench::RunUntil([&] { return done.load(); });
    worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double windowCpu = bench::ThreadCpuSeconds() - windowCpuBefore;
    QApplication::processEvents();
    const long rssAfter = ProcStatusKiB("VmRSS");
    std::printf("append 16 KiB blocks into the window: %zu MiB in %.3f s = %.0f MB/s\n", mib, seconds,
                static_cast<double>(total) / seconds / 1e6);
    std::printf("  the window's thread meanwhile: %.3f ms CPU per MiB\n", windowCpu * 1e3 / static_cast<double>(mib));
    const double perByte = static_cast<double>(rssAfter - rssBefore) * 1024.0 / static_cast<double>(total);
    std::printf("memory held per byte shown: %.3f bytes (RSS grew %.1f MiB for %zu MiB held)\n", perByte,
                static_cast<double>(rssAfter - rssBefore) / 1024.0, mib);
    return perByte;
}

// Returns the worst time a click waited for the window, in ms.
double Pressure(CMainDlg& dlg, int seconds)
{
    auto* view = dlg.ControlAs<plat::HexView>(IDC_HEX_RECEIVED);
    auto* autoScroll = dlg.ControlAs<QCheckBox>(IDC_AUTO_SCROLL);
    auto* state = dlg.ControlAs<QLineEdit>(IDC_RECEIVED_STATE);
    // Each block has another size, so that every text the window applies is a change it can count.
    std::uint64_t textUpdates = 0;
    QObject::connect(state, &QLineEdit::textChanged, [&] { ++textUpdates; });
    const std::uint64_t redrawsBefore = view->RedrawsDone();

    std::atomic<bool> running{true};
    std::atomic<std::uint64_t> appends{0};
    std::thread worker([&] {
        std::vector<unsigned char> block(64, 0xA5);
        int size = 0;
        const auto period = std::chrono::microseconds(10);     // 100,000 blocks a second
        auto next = Clock::now();
        while (running) {
            {
                dlg.Owners().received.Deliver(block.data(), 1 + size);
            }
            size = (size + 1) % 64;
            ++appends;
            next += period;
            const auto now = Clock::now();
            if (next > now)
                std::this_thread::sleep_until(next);
            else if (now - next > std::chrono::milliseconds(100))
                next = now;     // fell behind: do not burst to catch up
        }
    });

    // How late a 5 ms timer on the window's thread fires, and how long a click waits.
    bench::TimerProbe timer;
    bench::ClickProbe clicks;
    timer.Start();
    clicks.Start(autoScroll);

    const long rssBefore = ProcStatusKiB("VmRSS");
    const double windowCpuBefore = bench::ThreadCpuSeconds();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    bench::RunUntil([&] { return Clock::now() >= end; });
    const double windowCpu = bench::ThreadCpuSeconds() - windowCpuBefore;
    running = false;
    worker.join();
    timer.Stop();
    clicks.Stop();
    QApplication::processEvents();
    const long rssAfter = ProcStatusKiB("VmRSS");

    std::printf("pressure: %llu appends in %d s (%.0f a second) of 1 to 64 bytes each\n",
                static_cast<unsigned long long>(appends.load()), seconds,
                static_cast<double>(appends.load()) / seconds);
    std::printf("  text updates applied: %llu, redraws done: %llu (coalesced from %llu requests each)\n",
                static_cast<unsigned long long>(textUpdates),
                static_cast<unsigned long long>(view->RedrawsDone() - redrawsBefore),
                static_cast<unsigned long long>(appends.load()));
    std::printf("  the window's thread used %.0f ms CPU a second\n", windowCpu * 1e3 / seconds);
    std::printf("  5 ms timer lateness: p99 %.2f ms, worst %.2f ms\n", timer.PercentileMs(0.99), timer.WorstMs());
    const double worstClick = clicks.Count() > 0 ? clicks.WorstMs() : -1.0;
    std::printf("  click answered after: p99 %.2f ms, worst %.2f ms (%zu clicks; goal: within 20 ms)\n",
                clicks.PercentileMs(0.99), worstClick, clicks.Count());
    std::printf("  process memory grew %.1f MiB while the pane grew %.1f MiB (a growing queue would show here)\n",
                static_cast<double>(rssAfter - rssBefore) / 1024.0,
                static_cast<double>(dlg.Owners().received.Total()) / (1 << 20));
    return worstClick;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 1024;
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    res::InitResources();
    app::RegisterControlKinds();
    double perByte = -1;
    {
        CMainDlg dlg;
        dlg.show();
        perByte = Throughput(dlg, mib);
    }
    CMainDlg dlg;
    dlg.show();
    const double worstClick = Pressure(dlg, seconds);
    bench::PrintResult("receive_window_click_late", worstClick >= 0 ? worstClick / 20.0 : -1, bench::AtMost(1.0));
    bench::PrintResult("receive_window_memory", perByte, bench::AtMost(1.02));
    return 0;
}
