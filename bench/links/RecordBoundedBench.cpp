// A long capture in bounded memory: a TCP flood into the Received pane recording to a file with
// "Keep only the last N MiB while recording" on. Samples the resident memory during the flood and
// checks the file byte for byte against the generated stream, and the pane against its end.
// Goal: peak resident memory under N MiB + 100 MiB (the ratio is peak over that limit).
//
// The file goes to tmpfs by default (it takes that much memory there until the end of the run): a
// disk slower than the flood fills the recorder's queue (up to 256 MiB) and then loses bytes.
//
// bench_links_record_bounded [MiB, default 10240] [kept MiB, default 64] [folder, default /dev/shm]
#include "bench/hexview/ProcMemory.h"
#include "bench/links/BenchSupport.h"

#include "resources/ControlIds.h"

#include <QAction>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

// FNV-1a over the bytes: the stream sent and the file read back must give the same sum.
struct Checksum {
    std::uint64_t value = 1469598103934665603ull;
    void Add(const unsigned char* data, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            value = (value ^ data[i]) * 1099511628211ull;
    }
};

std::uint64_t CyclicChecksum(std::uint64_t total)
{
    const auto& cyclic = bench::Cyclic();
    Checksum sum;
    for (std::uint64_t at = 0; at < total; at += cyclic.size())
        sum.Add(cyclic.data(), static_cast<std::size_t>(std::min<std::uint64_t>(cyclic.size(), total - at)));
    return sum.value;
}

std::uint64_t FileChecksum(const std::string& path, std::uint64_t& size)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(std::size_t{1} << 20);
    Checksum sum;
    size = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        sum.Add(reinterpret_cast<const unsigned char*>(chunk.data()), static_cast<std::size_t>(in.gcount()));
        size += static_cast<std::uint64_t>(in.gcount());
    }
    return sum.value;
}

// Whether the pane holds the end of the cyclic stream, counted from where its front was dropped.
bool PaneMatchesEnd(const plat::ByteBlock& block, std::uint64_t total)
{
    const auto& cyclic = bench::Cyclic();
    const std::uint64_t front = block.FrontDropped();
    if (front + block.Size() != total)
        return false;
    std::vector<unsigned char> chunk(std::size_t{1} << 20);
    for (std::uint64_t at = 0; at < block.Size(); at += chunk.size()) {
        const std::size_t n = block.Read(static_cast<std::size_t>(at), chunk.data(), chunk.size());
        for (std::size_t i = 0; i < n; ++i)
            if (chunk[i] != cyclic[(front + at + i) % cyclic.size()])
                return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10240;
    const int keepMiB = argc > 2 ? std::atoi(argv[2]) : 64;
    const std::string folder = argc > 3 ? argv[3] : "/dev/shm";
    const std::uint64_t total = mib << 20;
    bench::CreateApplication("bench_links_record_bounded");
    const std::string path = folder + "/relvanto-bounded-" + std::to_string(::getpid()) + ".bin";

    auto dlg = bench::MakeWindow();
    ReceivedRecording::SetKeepSizeHook([keepMiB](int) { return std::optional<int>(keepMiB); });
    dlg->Owners().recording->KeepLastAction()->trigger();
    const std::uint64_t residentBefore = bench::ResidentBytes();
    const std::uint16_t port = bench::FreePort(SOCK_STREAM);
    bench::ListenRecordingTo(*dlg, port, path);

    const auto start = bench::Clock::now();
    std::thread sender([&] { bench::SendCyclic(bench::ConnectTcp(port), total); });
    const ReceiveRecorder& recorder = dlg->Owners().received.Recorder();
    std::uint64_t largestPane = 0;
    bench::RunUntil([&] {
        largestPane = std::max<std::uint64_t>(largestPane, dlg->Owners().received.Block().Size());
        return static_cast<std::uint64_t>(dlg->Owners().received.Total()) >= total && recorder.Written() + recorder.NotWritten() >= total;
    });
    const double seconds = bench::Seconds(start);
    sender.join();
    bench::Click(*dlg, IDC_STOP);
    const std::uint64_t peak = bench::PeakResidentBytes();
    const bool paneOk = PaneMatchesEnd(dlg->Owners().received.Block(), total);
    const std::uint64_t notWritten = recorder.NotWritten();
    dlg.reset();

    std::uint64_t fileSize = 0;
    const bool fileOk = FileChecksum(path, fileSize) == CyclicChecksum(total) && fileSize == total;
    ::unlink(path.c_str());

    const double limit = static_cast<double>((static_cast<std::uint64_t>(keepMiB) + 100) << 20);
    std::printf("TCP flood of %llu MiB recorded to %s, the pane keeping the last %d MiB\n", static_cast<unsigned long long>(mib),
                folder.c_str(), keepMiB);
    std::printf("  %.1f s, %.1f MB/s; pane at most %.1f MiB; resident before the flood %.1f MiB, peak %.1f MiB (limit %.0f MiB)\n",
                seconds, static_cast<double>(total) / seconds / 1e6, static_cast<double>(largestPane) / 1048576.0,
                static_cast<double>(residentBefore) / 1048576.0, static_cast<double>(peak) / 1048576.0, limit / 1048576.0);
    std::printf("  file %s (checksum and size), pane %s, %llu bytes not written\n", fileOk ? "byte-exact" : "WRONG",
                paneOk ? "holds the end of the stream" : "WRONG", static_cast<unsigned long long>(notWritten));
    const bool ok = fileOk && paneOk;
    bench::PrintResult(("record_bounded_" + std::to_string(mib) + "MiB_peak_rss").c_str(),
                       ok ? static_cast<double>(peak) / limit : -1, bench::AtMost(1.0));
    return ok ? 0 : 1;
}
