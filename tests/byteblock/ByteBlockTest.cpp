// Size, holds, zero fill and the editing calls of the byte block.
#include "platform/byteblock/ByteBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

using plat::BlockStatus;
using plat::ByteBlock;

namespace {

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string Text(const ByteBlock& block)
{
    std::string out(block.Size(), '\0');
    EXPECT_EQ(block.Read(0, reinterpret_cast<unsigned char*>(out.data()), out.size()), out.size());
    return out;
}

} // namespace

TEST(ByteBlock, SizeChangesAreRefusedWhileAnyHoldIsOut)
{
    ByteBlock block;
    EXPECT_NE(block.Hold(), nullptr) << "even a block that never had bytes gives an address";
    block.Release();
    ASSERT_EQ(block.Insert(0, Bytes("abcd"), 4), BlockStatus::Ok);
    unsigned char* first = block.Hold();
    EXPECT_EQ(block.Hold(), first);
    for (std::size_t n : {0, 4, 20})
        EXPECT_EQ(block.Resize(n), BlockStatus::Held) << n;
    EXPECT_EQ(block.Insert(1, Bytes("x"), 1), BlockStatus::Held);
    EXPECT_EQ(block.Erase(1, 1), BlockStatus::Held);
    EXPECT_EQ(block.Overwrite(3, Bytes("xy"), 2), BlockStatus::Held);
    EXPECT_EQ(block.Overwrite(1, Bytes("XY"), 2), BlockStatus::Ok) << "writing in place keeps the size";
    block.Release();
    EXPECT_EQ(block.Resize(20), BlockStatus::Held) << "one hold is still out";
    block.Release();
    block.Release(); // a stray release must not let a later hold go uncounted
    EXPECT_EQ(Text(block), "aXYd");
    EXPECT_EQ(block.Resize(2), BlockStatus::Ok);
    block.Hold();
    EXPECT_EQ(block.Resize(3), BlockStatus::Held);
    block.Release();
}

TEST(ByteBlock, GrowthReadsAsZeroAlsoWhereBytesWereShrunkOrErasedAway)
{
    // Small, page-sized and huge-page-sized blocks, cut inside a page, on a page edge and to nothing.
    for (const std::size_t big : {std::size_t{300000}, std::size_t{24} << 20}) {
        for (const std::size_t kept : {std::size_t{37}, std::size_t{4096}, std::size_t{0}, (std::size_t{5} << 20) + 37}) {
            if (kept >= big)
                continue;
            ByteBlock block;
            ASSERT_EQ(block.Resize(big), BlockStatus::Ok);
            std::memset(block.Hold(), 0xAB, big);
            block.Release();
            ASSERT_EQ(block.Resize(kept), BlockStatus::Ok);
            ASSERT_EQ(block.Resize(big), BlockStatus::Ok);
            const std::string bytes = Text(block);
            EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + kept, '\xAB'), static_cast<std::ptrdiff_t>(kept));
            EXPECT_EQ(std::count(bytes.begin() + kept, bytes.end(), '\0'), static_cast<std::ptrdiff_t>(big - kept)) << big << " cut to " << kept;
        }
    }
    ByteBlock erased;
    ASSERT_EQ(erased.Insert(0, Bytes(std::string(20000, 'x')), 20000), BlockStatus::Ok);
    ASSERT_EQ(erased.Erase(10, 19990), BlockStatus::Ok);
    ASSERT_EQ(erased.Resize(20000), BlockStatus::Ok);
    EXPECT_EQ(Text(erased), std::string(10, 'x') + std::string(19990, '\0'));
}

TEST(ByteBlock, BytesSurviveGrowthThatMovesTheStorage)
{
    ByteBlock block;
    std::string expected;
    for (int step = 0; step < 200; ++step) {
        const std::size_t old = block.Size();
        ASSERT_EQ(block.Resize(old + 16384), BlockStatus::Ok);
        unsigned char* p = block.Hold();
        for (std::size_t i = 0; i < 16384; ++i)
            expected += static_cast<char>(p[old + i] = static_cast<unsigned char>(step * 31 + i));
        block.Release();
    }
    EXPECT_EQ(Text(block), expected);
}

TEST(ByteBlock, ImpossibleGrowthReportsNoMemoryAndKeepsTheBlock)
{
    ByteBlock block;
    ASSERT_EQ(block.Overwrite(0, Bytes("abc"), 3), BlockStatus::Ok);
    const auto revision = block.Revision();
    EXPECT_EQ(block.Resize(std::size_t(-1) - 10), BlockStatus::NoMemory);
    EXPECT_EQ(block.Resize(std::size_t(1) << 62), BlockStatus::NoMemory);
    EXPECT_EQ(block.Insert(std::size_t(-1) - 1, Bytes("abc"), 3), BlockStatus::NoMemory);
    EXPECT_EQ(block.Overwrite(std::size_t(-1) - 1, Bytes("abc"), 3), BlockStatus::NoMemory);
    EXPECT_EQ(Text(block), "abc");
    EXPECT_EQ(block.Revision(), revision);
    EXPECT_EQ(block.Resize(4), BlockStatus::Ok) << "the block still works";
}

TEST(ByteBlock, LargeAppendsLandExactlyAtEveryAlignmentAndLength)
{
    // Appends at the end from 4 KiB on take a different copy (one that bypasses the cache, in
    // aligned pieces): every start alignment and every length around the piece size must land
    // exactly, followed by a small edit and a plain append.
    std::string expected;
    ByteBlock block;
    unsigned seed = 1;
    auto piece = [&seed](std::size_t n) {
        std::string out(n, '\0');
        for (char& c : out)
            c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        return out;
    };
    for (std::size_t lead = 0; lead < 17; ++lead) {
        for (std::size_t n : {4095u, 4096u, 4097u, 4111u, 16383u, 16384u}) {
            const std::string small = piece(lead), big = piece(n);
            ASSERT_EQ(block.Overwrite(block.Size(), Bytes(small), small.size()), BlockStatus::Ok);
            ASSERT_EQ(block.Overwrite(block.Size(), Bytes(big), big.size()), BlockStatus::Ok);
            expected += small + big;
        }
    }
    ASSERT_EQ(block.Overwrite(3, Bytes("edit"), 4), BlockStatus::Ok);
    expected.replace(3, 4, "edit");
    EXPECT_TRUE(Text(block) == expected) << "the block differs from what was appended";
}

TEST(ByteBlock, EditsChangeExactlyTheirRangeAndGapsFillWithZeros)
{
    ByteBlock block;
    auto revision = block.Revision();
    auto changed = [&] {
        const auto before = std::exchange(revision, block.Revision());
        return before != revision;
    };
    ASSERT_EQ(block.Insert(0, Bytes("world"), 5), BlockStatus::Ok);
    ASSERT_EQ(block.Insert(0, Bytes("hello "), 6), BlockStatus::Ok);
    ASSERT_EQ(block.Insert(11, Bytes("!"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "hello world!");
    EXPECT_TRUE(changed());
    ASSERT_EQ(block.Erase(5, 6), BlockStatus::Ok);
    ASSERT_EQ(block.Overwrite(0, Bytes("J"), 1), BlockStatus::Ok);
    ASSERT_EQ(block.Overwrite(5, Bytes("y"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "Jelloy");
    ASSERT_EQ(block.Erase(4, 100), BlockStatus::Ok) << "a range past the end stops at the end";
    EXPECT_TRUE(changed());
    ASSERT_EQ(block.Erase(4, 1), BlockStatus::Ok);
    EXPECT_EQ(block.Resize(4), BlockStatus::Ok);
    EXPECT_FALSE(changed()) << "nothing changed";
    ASSERT_EQ(block.Insert(6, Bytes("c"), 1), BlockStatus::Ok);
    ASSERT_EQ(block.Overwrite(9, Bytes("d"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), std::string("Jell\0\0c\0\0d", 10));

    unsigned char out[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(block.Read(8, out, 4), 2u);
    EXPECT_EQ(out[1], 'd');
    EXPECT_EQ(out[2], '?');
    EXPECT_EQ(block.Read(10, out, 1), 0u);
    block.MakeEmptyArray();
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_TRUE(changed());
}

namespace {

// A block of n bytes where byte i is (i * 7 + i / 4096) & 0xFF: every page differs from the next.
std::string Pattern(std::size_t n, std::size_t first = 0)
{
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(((first + i) * 7 + (first + i) / 4096) & 0xFF);
    return out;
}

} // namespace

TEST(ByteBlockDropFront, KeepsTheRestInOrderCountsTheDroppedAndGrowsWithZeros)
{
    const std::size_t unit = ByteBlock::DropUnit();
    // Whole pages, a part page, a huge-page-sized block cut on and off a huge page edge.
    for (const std::size_t total : {std::size_t{3} * unit + 100, std::size_t{24} << 20}) {
        for (const std::size_t drop : {unit, 2 * unit + 17, std::size_t{5}, std::size_t{2} << 20, (std::size_t{3} << 20) + 1}) {
            if (drop >= total)
                continue;
            SCOPED_TRACE(testing::Message() << "total " << total << " drop " << drop);
            ByteBlock block;
            const std::string all = Pattern(total);
            ASSERT_EQ(block.Insert(0, Bytes(all), all.size()), BlockStatus::Ok);
            ASSERT_EQ(block.DropFront(drop), BlockStatus::Ok);
            EXPECT_EQ(block.FrontDropped(), drop);
            ASSERT_EQ(block.Size(), total - drop);
            EXPECT_TRUE(Text(block) == all.substr(drop)) << "the kept bytes moved or changed";

            // Growth after a drop reads as zeros, then appends land after the kept bytes.
            ASSERT_EQ(block.Resize(total - drop + 3 * unit), BlockStatus::Ok);
            const std::string grown = Text(block);
            EXPECT_EQ(grown.find_first_not_of('\0', total - drop), std::string::npos) << "bytes past the end must read as zero";
            const std::string more = Pattern(5 * unit, total);
            ASSERT_EQ(block.Overwrite(total - drop, Bytes(more), more.size()), BlockStatus::Ok);
            EXPECT_TRUE(Text(block) == all.substr(drop) + more);

            // A second drop counts on; reading by capture offset finds the same bytes.
            ASSERT_EQ(block.DropFront(unit), BlockStatus::Ok);
            EXPECT_EQ(block.FrontDropped(), drop + unit);
            std::string counted(64, '\0');
            std::uint64_t at = 0;
            const std::size_t got = block.ReadCounted(drop + unit + 10, reinterpret_cast<unsigned char*>(counted.data()), 64, at);
            EXPECT_EQ(at, drop + unit + 10);
            ASSERT_EQ(got, 64u);
            EXPECT_EQ(counted, (all + more).substr(drop + unit + 10, 64));
            // Asking for bytes already dropped starts at the front.
            EXPECT_EQ(block.ReadCounted(0, reinterpret_cast<unsigned char*>(counted.data()), 64, at), 64u);
            EXPECT_EQ(at, drop + unit);
            EXPECT_EQ(counted, (all + more).substr(drop + unit, 64));
        }
    }
}

TEST(ByteBlockDropFront, IsRefusedWhileHeldEmptiesWhenAskedForAllAndClearResetsTheCount)
{
    ByteBlock block;
    const std::size_t unit = ByteBlock::DropUnit();
    const std::string all = Pattern(4 * unit);
    ASSERT_EQ(block.Insert(0, Bytes(all), all.size()), BlockStatus::Ok);
    block.Hold();
    EXPECT_EQ(block.DropFront(unit), BlockStatus::Held);
    EXPECT_EQ(block.Size(), all.size());
    EXPECT_EQ(block.FrontDropped(), 0u);
    block.Release();

    ASSERT_EQ(block.DropFront(unit), BlockStatus::Ok);
    ASSERT_EQ(block.DropFront(100 * unit), BlockStatus::Ok) << "more than there is drops everything";
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_EQ(block.FrontDropped(), all.size());
    ASSERT_EQ(block.Resize(2 * unit), BlockStatus::Ok);
    EXPECT_EQ(Text(block), std::string(2 * unit, '\0')) << "storage given back must come back as zeros";

    ASSERT_EQ(block.Resize(0), BlockStatus::Ok);
    EXPECT_EQ(block.FrontDropped(), 0u) << "an emptied block starts a new capture";
    ASSERT_EQ(block.Insert(0, Bytes(all), all.size()), BlockStatus::Ok);
    ASSERT_EQ(block.DropFront(unit), BlockStatus::Ok);
    block.MakeEmptyArray();
    EXPECT_EQ(block.FrontDropped(), 0u);
    EXPECT_EQ(block.Size(), 0u);
}
