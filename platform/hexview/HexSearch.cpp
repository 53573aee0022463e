#include "platform/hexview/HexSearch.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace plat {
namespace {

using Outcome = SearchResult::Outcome;

// Pieces of a slice searched backwards one at a time: the last hit of a piece is found by walking
// its hits forwards, which stays cheap on a piece full of hits.
constexpr std::size_t kBackwardPiece = 64 * 1024;

// The last start in [first, last) of the pattern in `bytes`, which must hold last + m - 1 bytes.
const unsigned char* LastStartIn(const unsigned char* bytes, std::size_t first, std::size_t last,
                                 const std::vector<unsigned char>& pattern)
{
    const std::size_t m = pattern.size();
    const unsigned char* found = nullptr;
    std::size_t at = first;
    while (at < last) {
        const void* hit = memmem(bytes + at, last + m - 1 - at, pattern.data(), m);
        if (!hit)
            break;
        found = static_cast<const unsigned char*>(hit);
        at = static_cast<std::size_t>(found - bytes) + 1;
    }
    return found;
}

// With the block held: moves positions counted from `front` to the block's front now. False when the
// block was emptied since (its count started again), which ends the search.
bool Rebase(const ByteBlock& block, std::uint64_t& front, std::initializer_list<std::size_t*> positions)
{
    const std::uint64_t now = block.FrontDropped();
    if (now < front)
        return false;
    const std::uint64_t gone = now - front;
    for (std::size_t* at : positions)
        *at = *at > gone ? static_cast<std::size_t>(*at - gone) : 0;
    front = now;
    return true;
}

SearchResult Forward(ByteBlock& block, const SearchRequest& request, std::size_t end,
                     const std::atomic<bool>& cancel, std::size_t slice)
{
    const std::size_t m = request.pattern.size();
    std::uint64_t front = request.front;
    for (std::size_t pos = request.from; pos < end && end - pos >= m; pos += slice) {
        if (cancel.load(std::memory_order_relaxed))
            return {Outcome::Cancelled, 0};
        const unsigned char* bytes = block.HoldToRead();
        if (!Rebase(block, front, {&pos, &end})) {
            block.Release();
            break;
        }
        if (pos >= end || end - pos < m) {
            block.Release();
            break;
        }
        // The block may have shrunk (a clear) since the search began.
        end = std::min(end, block.Size());
        // Hits that start in this slice, and the bytes they run into.
        const std::size_t stop = std::min(end, pos + std::min(slice, end - pos) + m - 1);
        const void* hit = stop > pos && stop - pos >= m ? memmem(bytes + pos, stop - pos, request.pattern.data(), m) : nullptr;
        const std::size_t offset = hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes) : 0;
        block.Release();
        if (hit)
            return {Outcome::Found, offset, front};
        if (stop == end)
            break; // no later start leaves room for the pattern
    }
    return {Outcome::NotFound, 0};
}

SearchResult Backward(ByteBlock& block, const SearchRequest& request, std::size_t end,
                      const std::atomic<bool>& cancel, std::size_t slice)
{
    const std::size_t m = request.pattern.size();
    if (end < m)
        return {Outcome::NotFound, 0};
    // Starts below `limit` are candidates.
    std::size_t limit = std::min(request.from, end - m + 1);
    std::uint64_t front = request.front;
    while (limit > 0) {
        if (cancel.load(std::memory_order_relaxed))
            return {Outcome::Cancelled, 0};
        const unsigned char* bytes = block.HoldToRead();
        if (!Rebase(block, front, {&limit, &end})) {
            block.Release();
            break;
        }
        const std::size_t sliceFirst = limit > slice ? limit - slice : 0;
        const std::size_t size = block.Size();
        if (size < end) {
            // Cleared or cut meanwhile: what is left is searched from its end.
            end = size;
            limit = end >= m ? std::min(limit, end - m + 1) : 0;
        }
        const unsigned char* hit = nullptr;
        for (std::size_t hi = limit; hi > sliceFirst && !hit;) {
            const std::size_t lo = hi - std::min(hi - sliceFirst, kBackwardPiece);
            hit = LastStartIn(bytes, lo, hi, request.pattern);
            hi = lo;
        }
        const std::size_t offset = hit ? static_cast<std::size_t>(hit - bytes) : 0;
        block.Release();
        if (hit)
            return {Outcome::Found, offset, front};
        limit = std::min(limit, sliceFirst);
    }
    return {Outcome::NotFound, 0};
}

} // namespace

SearchResult FindInBlock(ByteBlock& block, const SearchRequest& request, const std::atomic<bool>& cancel, std::size_t slice)
{
    if (request.pattern.empty() || slice == 0)
        return {Outcome::NotFound, 0};
    std::size_t end = request.end;
    if (block.FrontDropped() == request.front)
        end = std::min(end, block.Size());
    return request.direction == SearchDirection::Forward ? Forward(block, request, end, cancel, slice)
                                                         : Backward(block, request, end, cancel, slice);
}

} // namespace plat
