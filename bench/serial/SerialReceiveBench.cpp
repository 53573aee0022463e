// Serial receive throughput: bytes written into a pseudo-terminal pair and handed through the
// receiver's event thread to a sink, next to `cat` reading the same kind of pair (socat's relay
// between two ptys) in the same run, taking turns for three rounds, with the CPU time each reader used.
//
// Usage: serial_receive_bench [MiB per measurement, default 64]

#include "bench/support/BenchResult.h"
#include "bench/support/Processes.h"
#include "bench/support/PtyPair.h"
#include "serial/port/SerialReceiver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Counts what arrives and wakes the waiting thread only when the count is reached: a sink that woke
// it at every block would charge the receiver with two thread switches a block that the pane
// never costs.
class CountingSink : public CReceiveSink {
public:
    bool WaitFor(size_t count)
    {
        std::unique_lock lock(m_countLock);
        m_target = count;
        return m_grown.wait_for(lock, std::chrono::seconds(120), [&] { return m_count >= count; });
    }

protected:
    void AppendReceivedData(const unsigned char*, int size) override
    {
        std::lock_guard lock(m_countLock);
        m_count += static_cast<size_t>(size);
        if (m_count >= m_target)
            m_grown.notify_all();
    }

private:
    std::mutex m_countLock;
    std::condition_variable m_grown;
    size_t m_count = 0;
    size_t m_target = SIZE_MAX;
};

// Times `receive` while a writer thread pushes total bytes into writeFd; the CPU time is the
// process's without the writer's.
bench::Throughput Measure(int writeFd, size_t total, const std::function<bool()>& receive)
{
    const std::vector<unsigned char> chunk = bench::SerialPattern();
    const double cpuBefore = bench::ProcessCpuSeconds();
    double writerCpu = 0;
    const auto start = Clock::now();
    std::thread writer([&] {
        bench::WriteAll(writeFd, chunk, total);
        writerCpu = bench::ThreadCpuSeconds();
    });
    const bool ok = receive();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    bench::Throughput result;
    result.cpuSeconds = bench::ProcessCpuSeconds() - cpuBefore - writerCpu;
    result.mbPerSecond = ok ? static_cast<double>(total) / seconds / 1e6 : 0.0;
    return result;
}

bench::Throughput ReceiverOn(const std::string& path, int writeFd, size_t total)
{
    CountingSink sink;
    CSerialReceiver receiver;
    receiver.AllocateReceiveBuffer();
    receiver.SetOwner(&sink);
    if (receiver.Open(path, 16384, 16384) != 0 || receiver.SetHandshaking(HandshakingNone) != 0 ||
        receiver.StartEventThread() != 0)
        return {};
    const bench::Throughput rate = Measure(writeFd, total, [&] { return sink.WaitFor(total); });
    receiver.Close();
    return rate;
}

bench::Throughput ReceiverThroughSocat(size_t total)
{
    bench::SocatPtyPair pair;
    int writeFd = bench::OpenRaw(pair.a);
    const bench::Throughput rate = ReceiverOn(pair.b, writeFd, total);
    ::close(writeFd);
    return rate;
}

bench::Throughput ReceiverOnOpenpty(size_t total)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return {};
    ::close(slave);
    const bench::Throughput rate = ReceiverOn(name, master, total);
    ::close(master);
    return rate;
}

constexpr int kRounds = 3;

// The highest throughput and the lowest CPU time of the rounds so far; a failed round counts as none.
bench::Throughput Best(const bench::Throughput& sofar, const bench::Throughput& round, bool first)
{
    if (round.mbPerSecond <= 0)
        return first ? round : sofar;
    if (first || sofar.mbPerSecond <= 0)
        return round;
    return {std::max(sofar.mbPerSecond, round.mbPerSecond), std::min(sofar.cpuSeconds, round.cpuSeconds)};
}

} // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const size_t total = mib << 20;
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("serial receive throughput, %zu MiB per measurement\n", mib);
    // cat and the receiver take turns, three rounds each, and each keeps its best round: the other
    // programs on a shared machine then weigh on both alike.
    bench::Throughput cat, ours;
    for (int round = 0; round < kRounds; ++round) {
        const bench::Throughput catRound = bench::CatThroughSocat(total);
        const bench::Throughput oursRound = ReceiverThroughSocat(total);
        std::printf("  round %d: cat %6.1f MB/s CPU %.3f s; CSerialReceiver %6.1f MB/s CPU %.3f s\n", round + 1,
                    catRound.mbPerSecond, catRound.cpuSeconds, oursRound.mbPerSecond, oursRound.cpuSeconds);
        cat = Best(cat, catRound, round == 0);
        ours = Best(ours, oursRound, round == 0);
    }
    const bench::Throughput direct = ReceiverOnOpenpty(total);
    std::printf("  best: socat pty pair, cat reading end b:       %8.1f MB/s  CPU %.3f s\n", cat.mbPerSecond, cat.cpuSeconds);
    std::printf("  best: socat pty pair, through CSerialReceiver: %8.1f MB/s  CPU %.3f s\n", ours.mbPerSecond, ours.cpuSeconds);
    std::printf("  once: openpty pair, through CSerialReceiver:   %8.1f MB/s  CPU %.3f s\n", direct.mbPerSecond, direct.cpuSeconds);
    const bool cpuMeasured = cat.cpuSeconds > 0 && ours.mbPerSecond > 0;
    const std::string name = "serial_receive_" + std::to_string(mib) + "MiB";
    bench::PrintResult((name + "_cpu").c_str(), cpuMeasured ? ours.cpuSeconds / cat.cpuSeconds : -1, bench::AtMost(2.0));
    bench::PrintResult(name.c_str(), cat.mbPerSecond > 0 ? ours.mbPerSecond / cat.mbPerSecond : -1, bench::AtLeast(0.9));
    return cat.mbPerSecond > 0 && ours.mbPerSecond > 0 && direct.mbPerSecond > 0 ? 0 : 1;
}
