// Appends 16 KiB blocks into a byte block up to 1 GiB the way the receive path does (resize, hold,
// copy, release) and prints the throughput and the memory held per byte.
#include "bench/hexview/ProcMemory.h"
#include "platform/byteblock/ByteBlock.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kChunk = 16 * 1024;
constexpr std::size_t kTarget = std::size_t{1} << 30;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Returns the seconds taken; fills `block` from its current size to kTarget.
double Fill(plat::ByteBlock& block, const std::vector<unsigned char>& chunk)
{
    const auto start = std::chrono::steady_clock::now();
    std::size_t total = block.Size();
    while (total < kTarget) {
        total += kChunk;
        while (block.Resize(total) == plat::BlockStatus::Held) {
        }
        unsigned char* p = block.Hold();
        std::memcpy(p + total - kChunk, chunk.data(), kChunk);
        block.Release();
    }
    return Seconds(start);
}

double Gb(double bytes) { return bytes / 1e9; }
double Mib(double bytes) { return bytes / (1024.0 * 1024.0); }

} // namespace

int main()
{
    std::vector<unsigned char> chunk(kChunk);
    for (std::size_t i = 0; i < kChunk; ++i)
        chunk[i] = static_cast<unsigned char>(i * 7 + 1);

    const std::uint64_t rssBefore = bench::ResidentBytes();
    plat::ByteBlock block;
    const double first = Fill(block, chunk);
    const std::uint64_t rssFull = bench::ResidentBytes();
    const std::uint64_t peak = bench::PeakResidentBytes();
    const double appends = static_cast<double>(kTarget / kChunk);

    std::printf("byte block: %zu appends of %zu bytes up to %.0f MiB\n", kTarget / kChunk, kChunk, Mib(kTarget));
    std::printf("  first fill:  %.3f s, %.2f GB/s, %.0f appends/s\n", first, Gb(kTarget) / first, appends / first);
    std::printf("  resident:    %.1f MiB before, %.1f MiB full, peak %.1f MiB\n", Mib(rssBefore), Mib(rssFull), Mib(peak));
    std::printf("  per byte:    %.3f bytes resident, %.3f bytes at the peak\n",
                static_cast<double>(rssFull - rssBefore) / kTarget, static_cast<double>(peak - rssBefore) / kTarget);

    while (block.Resize(0) == plat::BlockStatus::Held) {
    }
    const std::uint64_t rssCleared = bench::ResidentBytes();
    std::printf("  after clear: %.1f MiB resident\n", Mib(rssCleared));

    const double second = Fill(block, chunk);
    std::printf("  second fill: %.3f s, %.2f GB/s (storage already reserved)\n", second, Gb(kTarget) / second);

    // The bare bookkeeping the receive path does per append, without the copy.
    const auto start = std::chrono::steady_clock::now();
    constexpr int kCalls = 2000000;
    for (int i = 0; i < kCalls; ++i) {
        block.Resize(kTarget);
        block.Hold();
        block.Release();
    }
    const double bookkeeping = Seconds(start);
    std::printf("  resize+hold+release: %.0f ns per append (%.1f M/s)\n", bookkeeping / kCalls * 1e9, kCalls / bookkeeping / 1e6);
    return 0;
}
