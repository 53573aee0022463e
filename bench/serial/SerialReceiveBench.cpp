// Serial receive throughput: bytes written into a pseudo-terminal pair and handed through the
// receiver's event thread to a sink, next to `cat` reading the same kind of pair (socat's relay
// between two ptys) in the same run, with the CPU time each reader used.
//
// Usage: serial_receive_bench [MiB per measurement, default 64]

#include "bench/support/BenchResult.h"
#include "bench/support/Processes.h"
#include "bench/support/PtyPair.h"
#include "serial/SerialReceiver.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
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

class CountingSink : public CReceiveSink {
public:
protected:
    void AppendReceivedData(const unsigned char*, int size) override
    {
        std::lock_guard lock(m_countLock);
        m_count += static_cast<size_t>(size);
        m_grown.notify_all();
    }
public:
    bool WaitFor(size_t count)
    {
        std::unique_lock lock(m_countLock);
        return m_grown.wait_for(lock, std::chrono::seconds(120), [&] { return m_count >= count; });
    }

private:
    std::mutex m_countLock;
    std::condition_variable m_grown;
    size_t m_count = 0;
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

} // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const size_t total = mib << 20;
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("serial receive throughput, %zu MiB per measurement\n", mib);
    const bench::Throughput cat = bench::CatThroughSocat(total);
    const bench::Throughput ours = ReceiverThroughSocat(total);
    const bench::Throughput direct = ReceiverOnOpenpty(total);
    std::printf("  socat pty pair, cat reading end b:       %8.1f MB/s  CPU %.3f s\n", cat.mbPerSecond, cat.cpuSeconds);
    std::printf("  socat pty pair, through CSerialReceiver: %8.1f MB/s  CPU %.3f s\n", ours.mbPerSecond, ours.cpuSeconds);
    std::printf("  openpty pair, through CSerialReceiver:   %8.1f MB/s  CPU %.3f s\n", direct.mbPerSecond, direct.cpuSeconds);
    const bool cpuMeasured = cat.cpuSeconds > 0 && ours.mbPerSecond > 0;
    const std::string name = "serial_receive_" + std::to_string(mib) + "MiB";
    bench::PrintResult((name + "_cpu").c_str(), cpuMeasured ? ours.cpuSeconds / cat.cpuSeconds : -1, bench::AtMost(2.0));
    bench::PrintResult(name.c_str(), cat.mbPerSecond > 0 ? ours.mbPerSecond / cat.mbPerSecond : -1, bench::AtLeast(0.9));
    return cat.mbPerSecond > 0 && ours.mbPerSecond > 0 && direct.mbPerSecond > 0 ? 0 : 1;
}
