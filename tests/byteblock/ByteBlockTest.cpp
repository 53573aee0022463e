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
