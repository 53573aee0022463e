#pragma once
// Finds a byte sequence in a byte block, forwards or backwards, at memmem's speed. Runs on a worker
// (any thread); knows nothing of widgets.
//
// The block is read in slices, each under a hold of its own and taken afresh, so that a receiver
// that must grow the block waits for one slice at most, and a block that moved meanwhile is read
// where it is now. The search stops at the bound it was given (the block's size when it began) or
// where the block now ends, whichever comes first.

#include "platform/byteblock/ByteBlock.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace plat {

enum class SearchDirection { Forward, Backward };

struct SearchRequest {
    std::vector<unsigned char> pattern; // at least one byte
    SearchDirection direction = SearchDirection::Forward;
    // Forward: hits that start at `from` or later. Backward: hits that start before `from`.
    std::size_t from = 0;
    // Bytes at `end` and beyond are not looked at.
    std::size_t end = 0;
    // The block's FrontDropped() that `from` and `end` count from. Bytes the block drops from its
    // front while the search runs move the bounds with them, so that nothing is skipped.
    std::uint64_t front = 0;
};

struct SearchResult {
    enum class Outcome { Found, NotFound, Cancelled } outcome = Outcome::NotFound;
    std::size_t offset = 0; // the start of the hit when found
    std::uint64_t front = 0; // the block's FrontDropped() when the hit was found
};

// Bytes read under one hold: a few milliseconds of scanning.
constexpr std::size_t kSearchSlice = std::size_t{8} << 20;

// The nearest hit in the asked direction. Looks at `cancel` between slices.
SearchResult FindInBlock(ByteBlock& block, const SearchRequest& request, const std::atomic<bool>& cancel,
                         std::size_t slice = kSearchSlice);

} // namespace plat
