// The list of recent sends: newest first, one entry per distinct block, bounded in count and bytes.
#include "panes/models/RecentSends.h"

#include <gtest/gtest.h>

namespace {

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void Add(RecentSends& recent, const std::vector<unsigned char>& bytes) { recent.Add(bytes.data(), bytes.size()); }

} // namespace

TEST(RecentSendsTest, NewestFirstAndSendingAgainMovesTheEntryToTheFront)
{
    RecentSends recent;
    for (const char* text : {"one", "two", "three", "two"})
        Add(recent, Bytes(text));
    ASSERT_EQ(recent.Count(), 3u);
    EXPECT_EQ(recent.At(0), Bytes("two"));
    EXPECT_EQ(recent.At(1), Bytes("three"));
    EXPECT_EQ(recent.At(2), Bytes("one"));
    EXPECT_EQ(recent.TotalBytes(), 11u);

    for (int i = 0; i < 25; ++i)
        Add(recent, Bytes("block " + std::to_string(i)));
    ASSERT_EQ(recent.Count(), RecentSends::kMaxEntries);
    EXPECT_EQ(recent.At(0), Bytes("block 24"));
    EXPECT_EQ(recent.At(19), Bytes("block 5"));
}

TEST(RecentSendsTest, TheOldestGoFirstToKeep64MiBAndALargerBlockIsNotKept)
{
    RecentSends recent;
    const std::size_t quarter = RecentSends::kMaxBytes / 4;
    for (unsigned char fill : {1, 2, 3, 4})
        Add(recent, std::vector<unsigned char>(quarter, fill));
    EXPECT_EQ(recent.TotalBytes(), RecentSends::kMaxBytes);
    Add(recent, std::vector<unsigned char>(quarter + 1, 5));
    ASSERT_EQ(recent.Count(), 3u) << "the two oldest made room";
    EXPECT_EQ(recent.At(2)[0], 3);
    EXPECT_LE(recent.TotalBytes(), RecentSends::kMaxBytes);

    Add(recent, std::vector<unsigned char>(RecentSends::kMaxBytes + 1, 6));
    EXPECT_EQ(recent.Count(), 3u) << "a block over the bound leaves the list as it was";
    EXPECT_EQ(recent.At(0)[0], 5);
}

TEST(RecentSendsTest, TheCaptionShowsTheSizeAndTheFirstBytesAsTextAndHex)
{
    EXPECT_EQ(RecentSends::Caption(Bytes("AT\r\n")), "4 bytes  \"AT..\"  41 54 0D 0A");
    EXPECT_EQ(RecentSends::Caption(Bytes("0123456789abcdefXYZ")),
              "19 bytes  \"0123456789abcdef...\"  30 31 32 33 34 35 36 37 ...");
}
