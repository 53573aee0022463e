// The search worker's engine: every hit a plain scan finds, in both directions, whatever the
// slices the block is read in, and nothing past the bound it was given.
#include "platform/hexview/HexSearch.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

namespace {

using plat::SearchDirection;
using Outcome = plat::SearchResult::Outcome;

std::optional<std::size_t> PlainScan(const std::vector<unsigned char>& bytes, const std::vector<unsigned char>& pattern,
                                     SearchDirection direction, std::size_t from, std::size_t end)
{
    std::optional<std::size_t> hit;
    for (std::size_t s = 0; s + pattern.size() <= end; ++s) {
        if (!std::equal(pattern.begin(), pattern.end(), bytes.begin() + static_cast<std::ptrdiff_t>(s)))
            continue;
        if (direction == SearchDirection::Forward && s >= from)
            return s;
        if (direction == SearchDirection::Backward && s < from)
            hit = s;
    }
    return hit;
}

class HexSearchTest : public ::testing::Test {
protected:
    void Fill(const std::vector<unsigned char>& data)
    {
        bytes = data;
        block.Insert(0, bytes.data(), bytes.size());
    }

    plat::SearchResult Find(const std::vector<unsigned char>& pattern, SearchDirection direction, std::size_t from,
                            std::size_t end, std::size_t slice)
    {
        plat::SearchRequest request;
        request.pattern = pattern;
        request.direction = direction;
        request.from = from;
        request.end = end;
        return plat::FindInBlock(block, request, cancel, slice);
    }

    plat::ByteBlock block;
    std::vector<unsigned char> bytes;
    std::atomic<bool> cancel{false};
};

// Two letters make many hits and many near misses, also where a hit straddles two slices.
TEST_F(HexSearchTest, FindsWhatAPlainScanFindsFromEveryPositionInBothDirections)
{
    std::mt19937 random(15);
    std::vector<unsigned char> data(300);
    for (auto& b : data)
        b = static_cast<unsigned char>(random() % 2);
    Fill(data);
    const std::vector<std::vector<unsigned char>> patterns = {{1}, {0, 1}, {1, 1, 0, 1}, {0, 0, 0, 0, 0, 0, 1}, {2}};
    for (std::size_t slice : {std::size_t{1}, std::size_t{7}, std::size_t{64}, plat::kSearchSlice}) {
        for (const auto& pattern : patterns) {
            for (auto direction : {SearchDirection::Forward, SearchDirection::Backward}) {
                for (std::size_t from = 0; from <= bytes.size() + 1; ++from) {
                    const auto want = PlainScan(bytes, pattern, direction, from, bytes.size());
                    const plat::SearchResult got = Find(pattern, direction, from, bytes.size(), slice);
                    SCOPED_TRACE(testing::Message() << "slice " << slice << " length " << pattern.size() << " from " << from
                                                    << (direction == SearchDirection::Forward ? " forward" : " backward"));
                    ASSERT_EQ(got.outcome, want ? Outcome::Found : Outcome::NotFound);
                    if (want) {
                        ASSERT_EQ(got.offset, *want);
                    }
                }
            }
        }
    }
}

TEST_F(HexSearchTest, LooksNoFurtherThanTheBoundNotEvenForTheRestOfAHit)
{
    Fill({'a', 'b', 'c', 0x0D, 0x0A, 'd'});
    EXPECT_EQ(Find({0x0D, 0x0A}, SearchDirection::Forward, 0, 6, 2).offset, 3u);
    EXPECT_EQ(Find({0x0D, 0x0A}, SearchDirection::Forward, 0, 4, 2).outcome, Outcome::NotFound);
    EXPECT_EQ(Find({0x0D, 0x0A}, SearchDirection::Backward, 6, 4, 2).outcome, Outcome::NotFound);
    // A bound past the block's end reads as its end.
    EXPECT_EQ(Find({'d'}, SearchDirection::Backward, 100, 100, 2).offset, 5u);
}

TEST_F(HexSearchTest, ACancelledSearchSaysSoAndFindsNothing)
{
    Fill(std::vector<unsigned char>(1000, 0x41));
    cancel = true;
    EXPECT_EQ(Find({0x41}, SearchDirection::Forward, 0, 1000, 64).outcome, Outcome::Cancelled);
    EXPECT_EQ(Find({0x41}, SearchDirection::Backward, 1000, 1000, 64).outcome, Outcome::Cancelled);
}

// Every slice is read under a hold of its own and let go: a receiver can grow the block between.
TEST_F(HexSearchTest, LetsGoOfTheBlockAfterEverySearch)
{
    Fill(std::vector<unsigned char>(1000, 0x41));
    Find({0x42}, SearchDirection::Forward, 0, 1000, 64);
    Find({0x41}, SearchDirection::Backward, 1000, 1000, 64);
    EXPECT_EQ(block.HoldCount(), 0u);
    EXPECT_EQ(block.Resize(2000), plat::BlockStatus::Ok);
}

} // namespace

TEST_F(HexSearchTest, BytesDroppedFromTheFrontMoveTheBoundsWithThem)
{
    // The view asked a frame before the block dropped its first page: its positions count from 0.
    const std::size_t unit = plat::ByteBlock::DropUnit();
    std::vector<unsigned char> data(unit + 8000, 0);
    for (std::size_t at : {unit + 10, unit + 60, unit + 5000})
        data[at] = 0xAB;
    Fill(data);
    ASSERT_EQ(block.DropFront(unit), plat::BlockStatus::Ok);
    const std::atomic<bool> cancel{false};
    for (const std::size_t slice : {std::size_t{16}, plat::kSearchSlice}) {
        plat::SearchRequest request;
        request.pattern = {0xAB};
        request.front = 0;
        request.end = unit + 8000;
        request.from = unit + 50;
        request.direction = SearchDirection::Forward;
        plat::SearchResult result = plat::FindInBlock(block, request, cancel, slice);
        ASSERT_EQ(result.outcome, Outcome::Found) << slice;
        EXPECT_EQ(result.front + result.offset, unit + 60) << slice;
        request.from = unit + 59;
        request.direction = SearchDirection::Backward;
        result = plat::FindInBlock(block, request, cancel, slice);
        ASSERT_EQ(result.outcome, Outcome::Found) << slice;
        EXPECT_EQ(result.front + result.offset, unit + 10) << slice;
        // Positions from a count that began again (a clear since) find nothing.
        request.front = 2 * unit;
        EXPECT_EQ(plat::FindInBlock(block, request, cancel, slice).outcome, Outcome::NotFound);
    }
}
