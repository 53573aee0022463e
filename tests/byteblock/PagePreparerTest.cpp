// Pages made ready ahead of a growing block's writer: the bytes stay exact while the preparer works
// beside growth, clears and destruction, and the memory it takes stays close to the bytes held.
#include "platform/byteblock/ByteBlock.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

using plat::BlockStatus;
using plat::ByteBlock;

namespace {

constexpr std::size_t kChunk = 16384;
constexpr std::size_t kMiB = 1024 * 1024;

// Byte i of the stream: a pattern whose period is no power of two, so a misplaced chunk shows.
unsigned char StreamByte(std::size_t i) { return static_cast<unsigned char>((i * 7 + i / 251) & 0xFF); }

void AppendStream(ByteBlock& block, std::size_t& streamAt, std::size_t upTo)
{
    std::vector<unsigned char> chunk(kChunk);
    while (block.Size() < upTo) {
        for (std::size_t i = 0; i < kChunk; ++i)
            chunk[i] = StreamByte(streamAt + i);
        const std::size_t end = block.Size() + kChunk;
        ASSERT_EQ(block.Resize(end), BlockStatus::Ok);
        std::memcpy(block.Hold() + end - kChunk, chunk.data(), kChunk);
        block.Release();
        streamAt += kChunk;
    }
}

// The pages of [from, to) that are in memory.
std::size_t ResidentPages(const unsigned char* base, std::size_t from, std::size_t to)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((to - from) / page);
    if (mincore(const_cast<unsigned char*>(base) + from, to - from, in.data()) != 0)
        return ~std::size_t{0};
    std::size_t n = 0;
    for (unsigned char c : in)
        n += c & 1;
    return n;
}

bool KernelPopulates()
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* p = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    const bool ok = madvise(p, page, 23 /* MADV_POPULATE_WRITE */) == 0;
    munmap(p, page);
    return ok;
}

} // namespace

TEST(PagePreparer, EveryByteStaysInPlaceThroughGrowthClearsAndEndsWhilePagesArePrepared)
{
    ByteBlock block;
    std::size_t streamAt = 0;
    // Growth through several moves of the mapping, with the preparer running beside it.
    AppendStream(block, streamAt, 40 * kMiB);
    // A clear while pages ahead are being prepared, then growth again from nothing.
    ASSERT_EQ(block.Resize(0), BlockStatus::Ok);
    const std::size_t restart = streamAt;
    AppendStream(block, streamAt, 72 * kMiB);
    // A shrink into prepared pages: what was cut reads as zero when the block grows back.
    ASSERT_EQ(block.Resize(50 * kMiB + 3), BlockStatus::Ok);
    ASSERT_EQ(block.Resize(60 * kMiB), BlockStatus::Ok);

    std::vector<unsigned char> got(kMiB);
    for (std::size_t at = 0; at < block.Size(); at += got.size()) {
        ASSERT_EQ(block.Read(at, got.data(), got.size()), got.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            const unsigned char want = at + i < 50 * kMiB + 3 ? StreamByte(restart + at + i) : 0;
            ASSERT_EQ(got[i], want) << "byte " << at + i;
        }
    }

    // Blocks that end while their preparer is still at work.
    for (int i = 0; i < 20; ++i) {
        ByteBlock shortLived;
        std::size_t at = 0;
        AppendStream(shortLived, at, 6 * kMiB);
    }
}

TEST(PagePreparer, PagesJustPastTheEndBecomeReadyAndAClearHandsThemAllBack)
{
    if (!KernelPopulates())
        GTEST_SKIP() << "this kernel cannot populate pages ahead (MADV_POPULATE_WRITE, Linux 5.14)";
    // 40 MiB of appends leave a 64 MiB mapping with room past the end.
    ByteBlock block;
    std::size_t streamAt = 0;
    const std::size_t end = 40 * kMiB, mapped = 64 * kMiB;
    AppendStream(block, streamAt, end);
    const unsigned char* base = block.Hold();
    block.Release();

    // Nothing was written past the end; the preparer alone brings pages in there, a few MiB only.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ResidentPages(base, end, end + 8 * kMiB) == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(ResidentPages(base, end, end + 8 * kMiB), 0u) << "no page past the end was made ready";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ResidentPages(base, end + 8 * kMiB, mapped), 0u) << "pages far past the end take memory";

    // Emptied, the block holds no page at all, neither its bytes' nor those made ready past them.
    ASSERT_EQ(block.Resize(0), BlockStatus::Ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ResidentPages(base, 0, mapped), 0u) << "an empty block still holds pages";
    ASSERT_EQ(block.Resize(end + 4 * kMiB), BlockStatus::Ok);
    std::vector<unsigned char> got(end + 4 * kMiB);
    ASSERT_EQ(block.Read(0, got.data(), got.size()), got.size());
    EXPECT_EQ(std::count(got.begin(), got.end(), 0), static_cast<long>(got.size())) << "growth after a clear reads as zero";
}
