#pragma once
// A copy whose stores go to memory without first reading the destination into the cache. For
// bytes appended to a large block during a flood: they are read back much later if at all, and a
// plain copy into fresh pages spends about as much time fetching the destination lines as writing
// them. Falls back to memcpy where the processor has no such stores.
//
// Threads: any; it touches only the two ranges given.

#include <cstddef>

namespace plat::detail {

// Copies n bytes; the ranges must not overlap. Ordered with later stores of the calling thread as
// an ordinary copy is (it ends with a store fence), so a lock released after it publishes the bytes.
void StreamingCopy(unsigned char* to, const unsigned char* from, std::size_t n);

} // namespace plat::detail
