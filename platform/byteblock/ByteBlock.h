#pragma once
// A pane's data: a one-dimensional array of unsigned bytes, lower bound 0, that several parties may
// hold (take the address of) at once. While any hold is out the size cannot change, so a holder's
// address stays valid until it releases. Growing fills with zeros. Every call is safe from any thread.
//
// Holders write or read the bytes through their address without the block's lock; keeping that apart
// from other users of the same bytes is the holders' business, as it is with any borrowed buffer.

#include "platform/byteblock/PageStorage.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace plat {

enum class BlockStatus { Ok, Held, NoMemory };

class ByteBlock {
public:
    ByteBlock();
    ~ByteBlock();
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;

    // Makes the block an empty array. Does nothing while the block is held.
    void MakeEmptyArray();

    std::size_t Size() const { return size_.load(std::memory_order_acquire); }

    // Held while any hold is out (even for the current size); NoMemory leaves the block as it was.
    BlockStatus Resize(std::size_t n);

    // The address of the bytes, valid until the matching Release. Never null: an empty block that
    // never had storage gives the address of a shared empty spot that must not be written.
    unsigned char* Hold();
    // Ends one hold; a Release without a hold is ignored.
    void Release();
    std::size_t HoldCount() const;

    // Edits. `data` must not point into this block. A position past the end first grows the block to
    // that position with zeros. Size changes fail with Held while the block is held.
    BlockStatus Insert(std::size_t pos, const unsigned char* data, std::size_t n);
    // Erases up to n bytes from pos; a range past the end is cut at the end.
    BlockStatus Erase(std::size_t pos, std::size_t n);
    // Writes over existing bytes and may extend the block at the end.
    BlockStatus Overwrite(std::size_t pos, const unsigned char* data, std::size_t n);
    // Copies up to n bytes from pos; returns how many there were.
    std::size_t Read(std::size_t pos, unsigned char* out, std::size_t n) const;

    // Removing bytes from the front, for a pane that keeps only the latest part of a long capture.
    // Removes the first n bytes (all of them when n >= Size()); whole pages go back to the kernel
    // without the rest being copied, so n a multiple of DropUnit() costs no copy at all. Held while
    // the block is held. Bytes past the new end still read as zero when the block grows.
    BlockStatus DropFront(std::size_t n);
    static std::size_t DropUnit();
    // Bytes DropFront removed since the block was last emptied by Resize(0) or MakeEmptyArray: the
    // offset in the whole capture of the byte now at position 0.
    std::uint64_t FrontDropped() const { return dropped_.load(std::memory_order_acquire); }
    // Copies up to n bytes counted in the whole capture from `from` (FrontDropped() + position).
    // `at` gets where the copy begins: `from`, or the new front when bytes from `from` on were
    // dropped meanwhile. Returns how many bytes were copied.
    std::size_t ReadCounted(std::uint64_t from, unsigned char* out, std::size_t n, std::uint64_t& at) const;

    // Changes whenever the size or any byte changes through this class (not through a holder's
    // address: a holder's change is announced by whoever asks for the redraw).
    std::uint64_t Revision() const { return revision_.load(std::memory_order_acquire); }

private:
    // Both with mutex_ held. Bytes past size_ are always zero, so growth is only a new size.
    BlockStatus GrowTo(std::size_t n);
    void ShrinkTo(std::size_t n);
    void Changed() { revision_.fetch_add(1, std::memory_order_acq_rel); }

    mutable std::mutex mutex_;
    detail::PageStorage storage_;
    std::size_t holds_ = 0;
    std::atomic<std::size_t> size_{0};
    std::atomic<std::uint64_t> revision_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace plat
