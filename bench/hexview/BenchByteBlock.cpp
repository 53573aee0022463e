// Appends 16 KiB blocks into a byte block up to 1 GiB the way the receive path does (Overwrite at
// the end), next to the same copies into a bare mapping that grows as the block's storage grows
// (doubling with mremap, huge pages asked for from the same size on, no lock, no bookkeeping): what
// holding new bytes at one byte of memory per byte costs. A fresh mapping sized up front is printed
// beside them: what the bytes would cost if their number were known ahead and a small pane could
// take huge pages. Ends with the throughput ratio to the growing mapping and the memory per byte.
//
// bench_byteblock [MiB, default 1024] [rounds, default 3]
#include "bench/hexview/ProcMemory.h"
#include "bench/support/BenchResult.h"
#include "platform/byteblock/ByteBlock.h"
#include "platform/byteblock/PageStorage.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kChunk = 16 * 1024;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Returns the seconds taken; fills `block` from its current size to `target`.
double Fill(plat::ByteBlock& block, const std::vector<unsigned char>& chunk, std::size_t target)
{
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = block.Size(); at < target; at += kChunk) {
        while (block.Overwrite(at, chunk.data(), kChunk) == plat::BlockStatus::Held) {
        }
    }
    return Seconds(start);
}

// The same copies into a mapping that grows as the block's storage does; -1 on failure.
double FillGrowing(const std::vector<unsigned char>& chunk, std::size_t target)
{
    using plat::detail::PageStorage;
    unsigned char* bytes = nullptr;
    std::size_t capacity = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < target; at += kChunk) {
        if (at + kChunk > capacity) {
            const std::size_t wanted = std::max(PageStorage::kFirstCapacity, capacity * 2);
            void* mapped = bytes == nullptr
                ? mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                : mremap(bytes, capacity, wanted, MREMAP_MAYMOVE);
            if (mapped == MAP_FAILED)
                return -1;
            bytes = static_cast<unsigned char*>(mapped);
            capacity = wanted;
            if (capacity >= PageStorage::kHugeFrom)
                madvise(bytes, capacity, MADV_HUGEPAGE);
        }
        std::memcpy(bytes + at, chunk.data(), kChunk);
    }
    const double seconds = Seconds(start);
    munmap(bytes, capacity);
    return seconds;
}

// The same copies into a fresh mapping of the whole size, huge pages asked for from the start.
double FillMapping(const std::vector<unsigned char>& chunk, std::size_t target)
{
    void* mapped = mmap(nullptr, target, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return -1;
    madvise(mapped, target, MADV_HUGEPAGE);
    auto* bytes = static_cast<unsigned char*>(mapped);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < target; at += kChunk)
        std::memcpy(bytes + at, chunk.data(), kChunk);
    const double seconds = Seconds(start);
    munmap(mapped, target);
    return seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Page faults the calling thread took so far: each one a stop for the kernel to find a page.
long ThreadFaults()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

double Gb(double bytes) { return bytes / 1e9; }
double Mib(double bytes) { return bytes / (1024.0 * 1024.0); }

} // namespace

int main(int argc, char** argv)
{
    const std::size_t target = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) << 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (target < kChunk) {
        std::fprintf(stderr, "MiB: at least 1\n");
        return 2;
    }
    std::vector<unsigned char> chunk(kChunk);
    for (std::size_t i = 0; i < kChunk; ++i)
        chunk[i] = static_cast<unsigned char>(i * 7 + 1);

    std::vector<double> blockFills, growingFills, mappingFills;
    double perByte = -1, peakPerByte = -1;
    long blockFaults = 0, growingFaults = 0, mappingFaults = 0;
    for (int round = 0; round < rounds; ++round) {
        long faults = ThreadFaults();
        mappingFills.push_back(FillMapping(chunk, target));
        mappingFaults = ThreadFaults() - faults;
        faults = ThreadFaults();
        growingFills.push_back(FillGrowing(chunk, target));
        growingFaults = ThreadFaults() - faults;
        const std::uint64_t rssBefore = bench::ResidentBytes();
        plat::ByteBlock block;
        faults = ThreadFaults();
        blockFills.push_back(Fill(block, chunk, target));
        blockFaults = ThreadFaults() - faults;
        // The memory of the first round: later rounds reuse what the allocator kept.
        if (round == 0) {
            perByte = static_cast<double>(bench::ResidentBytes() - rssBefore) / static_cast<double>(target);
            peakPerByte = static_cast<double>(bench::PeakResidentBytes() - rssBefore) / static_cast<double>(target);
        }
    }
    const double block = Median(blockFills), growing = Median(growingFills), mapping = Median(mappingFills);
    const double appends = static_cast<double>(target / kChunk);
    std::printf("byte block: %.0f appends of %zu bytes up to %.0f MiB, median of %d rounds\n", appends, kChunk,
                Mib(static_cast<double>(target)), rounds);
    std::printf("  byte block:      %.3f s, %.2f GB/s, %.0f appends/s, %ld page faults in the writer\n", block,
                Gb(static_cast<double>(target)) / block, appends / block, blockFaults);
    std::printf("  growing mapping: %.3f s, %.2f GB/s, %ld page faults in the writer\n", growing,
                Gb(static_cast<double>(target)) / growing, growingFaults);
    std::printf("  fresh mapping:   %.3f s, %.2f GB/s, %ld page faults in the writer; the block takes %.2f of its\n"
                "                   throughput, keeping its first %zu MiB in small pages\n",
                mapping, Gb(static_cast<double>(target)) / mapping, mappingFaults, mapping / block,
                plat::detail::PageStorage::kHugeFrom / 2 >> 20);
    std::printf("  per byte:        %.3f bytes resident, %.3f bytes at the peak\n", perByte, peakPerByte);

    // Refilling a block whose mapping is already reserved: the appends without the remaps.
    plat::ByteBlock block2;
    Fill(block2, chunk, target);
    while (block2.Resize(0) == plat::BlockStatus::Held) {
    }
    std::printf("  after clear:   %.1f MiB resident\n", Mib(static_cast<double>(bench::ResidentBytes())));
    const double second = Fill(block2, chunk, target);
    std::printf("  second fill:   %.3f s, %.2f GB/s (mapping already reserved)\n", second,
                Gb(static_cast<double>(target)) / second);

    bench::PrintResult("byteblock_memory", perByte, bench::AtMost(1.02));
    bench::PrintResult("byteblock_append", growing > 0 ? growing / block : -1, bench::AtLeast(0.9));
    return 0;
}
