// Size, holds and zero fill of the byte block.
#include "platform/byteblock/ByteBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using plat::BlockStatus;
using plat::ByteBlock;

namespace {

std::vector<unsigned char> Contents(const ByteBlock& block)
{
    std::vector<unsigned char> out(block.Size());
    EXPECT_EQ(block.Read(0, out.data(), out.size()), out.size());
    return out;
}

void Fill(ByteBlock& block, unsigned char value)
{
    unsigned char* p = block.Hold();
    std::memset(p, value, block.Size());
    block.Release();
}

} // namespace

TEST(ByteBlockSize, ResizeIsRefusedWhileAnyHoldIsOutAndWorksAfterTheLast)
{
    ByteBlock block;
    ASSERT_EQ(block.Resize(10), BlockStatus::Ok);
    unsigned char* first = block.Hold();
    unsigned char* second = block.Hold();
    EXPECT_EQ(first, second);
    EXPECT_EQ(block.Resize(20), BlockStatus::Held);
    EXPECT_EQ(block.Resize(0), BlockStatus::Held);
    EXPECT_EQ(block.Resize(10), BlockStatus::Held);
    block.Release();
    EXPECT_EQ(block.Resize(20), BlockStatus::Held) << "one hold is still out";
    EXPECT_EQ(block.Size(), 10u);
    block.Release();
    EXPECT_EQ(block.Resize(20), BlockStatus::Ok);
    EXPECT_EQ(block.Size(), 20u);
    block.Release(); // a stray release must not let a later hold go uncounted
    block.Hold();
    EXPECT_EQ(block.Resize(30), BlockStatus::Held);
    block.Release();
}

TEST(ByteBlockSize, GrowthReadsAsZeroAlsoAfterShrinkingWrittenBytes)
{
    ByteBlock block;
    block.MakeEmptyArray();
    EXPECT_EQ(block.Size(), 0u);
    ASSERT_EQ(block.Resize(100), BlockStatus::Ok);
    EXPECT_EQ(Contents(block), std::vector<unsigned char>(100, 0));

    // Shrinks that end inside a page, on a page boundary and over many pages.
    for (std::size_t shrinkTo : {std::size_t{37}, std::size_t{4096}, std::size_t{0}, std::size_t{5000}}) {
        ASSERT_EQ(block.Resize(300000), BlockStatus::Ok);
        Fill(block, 0xAB);
        ASSERT_EQ(block.Resize(shrinkTo), BlockStatus::Ok);
        ASSERT_EQ(block.Resize(300000), BlockStatus::Ok);
        const auto bytes = Contents(block);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i], i < shrinkTo ? 0xAB : 0) << "shrunk to " << shrinkTo << ", index " << i;
    }
}

TEST(ByteBlockSize, LargeBlocksOnHugePagesAlsoReadAsZeroAfterShrinkAndGrow)
{
    ByteBlock block;
    constexpr std::size_t kBig = 24u << 20;
    constexpr std::size_t kKept = (5u << 20) + 37; // inside a 2 MiB page
    ASSERT_EQ(block.Resize(kBig), BlockStatus::Ok);
    Fill(block, 0xCD);
    ASSERT_EQ(block.Resize(kKept), BlockStatus::Ok);
    ASSERT_EQ(block.Resize(kBig), BlockStatus::Ok);
    const auto bytes = Contents(block);
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + kKept, 0xCD), static_cast<std::ptrdiff_t>(kKept));
    EXPECT_EQ(std::count(bytes.begin() + kKept, bytes.end(), 0), static_cast<std::ptrdiff_t>(kBig - kKept));
}

TEST(ByteBlockSize, HoldOnANeverUsedBlockGivesAnAddress)
{
    ByteBlock block;
    EXPECT_NE(block.Hold(), nullptr);
    EXPECT_EQ(block.Resize(1), BlockStatus::Held);
    block.Release();
}

TEST(ByteBlockSize, BytesSurviveGrowthThatMovesTheStorage)
{
    ByteBlock block;
    std::vector<unsigned char> expected;
    // 16 KiB appends across several remaps, each checked after the fact.
    for (int step = 0; step < 200; ++step) {
        const std::size_t old = block.Size();
        ASSERT_EQ(block.Resize(old + 16384), BlockStatus::Ok);
        unsigned char* p = block.Hold();
        for (std::size_t i = 0; i < 16384; ++i)
            p[old + i] = static_cast<unsigned char>(step * 31 + i);
        block.Release();
        for (std::size_t i = 0; i < 16384; ++i)
            expected.push_back(static_cast<unsigned char>(step * 31 + i));
    }
    EXPECT_EQ(Contents(block), expected);
}

TEST(ByteBlockSize, ImpossibleGrowthReportsNoMemoryAndKeepsTheBlock)
{
    ByteBlock block;
    const unsigned char data[] = {1, 2, 3};
    ASSERT_EQ(block.Overwrite(0, data, 3), BlockStatus::Ok);
    const auto revision = block.Revision();
    EXPECT_EQ(block.Resize(std::size_t(-1) - 10), BlockStatus::NoMemory);
    EXPECT_EQ(block.Resize(std::size_t(1) << 62), BlockStatus::NoMemory);
    EXPECT_EQ(block.Insert(std::size_t(-1) - 1, data, 3), BlockStatus::NoMemory);
    EXPECT_EQ(block.Overwrite(std::size_t(-1) - 1, data, 3), BlockStatus::NoMemory);
    EXPECT_EQ(Contents(block), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(block.Revision(), revision);
    EXPECT_EQ(block.Resize(4), BlockStatus::Ok) << "the block still works";
}
