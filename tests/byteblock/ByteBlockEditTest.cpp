// The editing calls the hex view uses.
#include "platform/byteblock/ByteBlock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using plat::BlockStatus;
using plat::ByteBlock;

namespace {

const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string Text(const ByteBlock& block)
{
    std::string out(block.Size(), '\0');
    block.Read(0, reinterpret_cast<unsigned char*>(out.data()), out.size());
    return out;
}

} // namespace

TEST(ByteBlockEdit, InsertEraseAndOverwriteChangeExactlyTheirRange)
{
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, Bytes("world"), 5), BlockStatus::Ok);
    ASSERT_EQ(block.Insert(0, Bytes("hello "), 6), BlockStatus::Ok);
    ASSERT_EQ(block.Insert(11, Bytes("!"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "hello world!");
    ASSERT_EQ(block.Erase(5, 6), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "hello!");
    ASSERT_EQ(block.Overwrite(0, Bytes("J"), 1), BlockStatus::Ok);
    ASSERT_EQ(block.Overwrite(5, Bytes("y there"), 7), BlockStatus::Ok) << "extends at the end";
    EXPECT_EQ(Text(block), "Jelloy there");
    ASSERT_EQ(block.Erase(6, 100), BlockStatus::Ok) << "a range past the end stops at the end";
    EXPECT_EQ(Text(block), "Jelloy");
    ASSERT_EQ(block.Erase(6, 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "Jelloy");
}

TEST(ByteBlockEdit, PositionsPastTheEndFillTheGapWithZeros)
{
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, Bytes("ab"), 2), BlockStatus::Ok);
    ASSERT_EQ(block.Insert(4, Bytes("c"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), std::string("ab\0\0c", 5));
    ASSERT_EQ(block.Overwrite(7, Bytes("d"), 1), BlockStatus::Ok);
    EXPECT_EQ(Text(block), std::string("ab\0\0c\0\0d", 8));
}

TEST(ByteBlockEdit, ErasedTailReadsAsZeroWhenTheBlockGrowsAgain)
{
    ByteBlock block;
    const std::string big(20000, 'x');
    ASSERT_EQ(block.Insert(0, Bytes(big), big.size()), BlockStatus::Ok);
    ASSERT_EQ(block.Erase(10, 19990), BlockStatus::Ok);
    ASSERT_EQ(block.Resize(20000), BlockStatus::Ok);
    EXPECT_EQ(Text(block), std::string(10, 'x') + std::string(19990, '\0'));
}

TEST(ByteBlockEdit, WhileHeldSizeChangesAreRefusedAndInPlaceWritesAllowed)
{
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, Bytes("abcd"), 4), BlockStatus::Ok);
    block.Hold();
    const auto revision = block.Revision();
    EXPECT_EQ(block.Insert(1, Bytes("x"), 1), BlockStatus::Held);
    EXPECT_EQ(block.Erase(1, 1), BlockStatus::Held);
    EXPECT_EQ(block.Overwrite(3, Bytes("xy"), 2), BlockStatus::Held);
    EXPECT_EQ(Text(block), "abcd");
    EXPECT_EQ(block.Revision(), revision);
    EXPECT_EQ(block.Overwrite(1, Bytes("XY"), 2), BlockStatus::Ok);
    EXPECT_EQ(Text(block), "aXYd");
    EXPECT_NE(block.Revision(), revision);
    block.Release();
}

TEST(ByteBlockEdit, ReadCopiesOnlyWhatIsThere)
{
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, Bytes("abcdef"), 6), BlockStatus::Ok);
    std::vector<unsigned char> out(10, '?');
    EXPECT_EQ(block.Read(4, out.data(), out.size()), 2u);
    EXPECT_EQ(out[0], 'e');
    EXPECT_EQ(out[1], 'f');
    EXPECT_EQ(out[2], '?');
    EXPECT_EQ(block.Read(6, out.data(), 1), 0u);
    EXPECT_EQ(block.Read(100, out.data(), 1), 0u);
}

TEST(ByteBlockEdit, RevisionChangesOnEveryChangeAndOnlyThen)
{
    ByteBlock block;
    auto last = block.Revision();
    auto changed = [&] {
        const bool moved = block.Revision() != last;
        last = block.Revision();
        return moved;
    };
    block.Resize(3);
    EXPECT_TRUE(changed());
    block.Resize(3);
    EXPECT_FALSE(changed());
    block.Overwrite(0, Bytes("a"), 1);
    EXPECT_TRUE(changed());
    block.Insert(0, Bytes("b"), 1);
    EXPECT_TRUE(changed());
    block.Erase(0, 1);
    EXPECT_TRUE(changed());
    block.Erase(10, 1);
    EXPECT_FALSE(changed());
    block.MakeEmptyArray();
    EXPECT_TRUE(changed());
    EXPECT_EQ(block.Size(), 0u);
}
