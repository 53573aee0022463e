#pragma once
// A pane's data: a one-dimensional array of unsigned bytes, lower bound 0, that several parties may
// hold (take the address of) at once. While any hold is out the size cannot change, so a holder's
// address stays valid until it releases. Growing fills with zeros. Every call is safe from any thread.
//
// Holders write or read the bytes through their address without the block's lock; keeping that apart
// from other users of the same bytes is the holders' business, as it is with any borrowed buffer.
//
// A snapshot (TakeSnapshot) reads the block's storage itself, with no copy. While one is alive, the
// block's next change (an edit, a resize, a hold for writing) first moves the block to fresh storage,
// copying the bytes when the change keeps any, and leaves the old storage to the snapshots.

#include "platform/byteblock/BlockSnapshot.h"
#include "platform/byteblock/PageStorage.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
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

    // The address of the bytes, for writing or reading, valid until the matching Release. An empty
    // block that never had storage gives the address of a shared empty spot that must not be
    // written. Null, and no hold taken, only while a snapshot reads the bytes and the block cannot
    // move away from it: no memory for the copy, or another hold is out.
    unsigned char* Hold();
    // The same for a holder that only reads: never null, and it leaves a snapshot's sharing alone.
    const unsigned char* HoldToRead();
    // Ends one hold; a Release without a hold is ignored.
    void Release();
    std::size_t HoldCount() const;
    // Returns once no hold is out (at once when none is). Call it holding no lock that a holder
    // may need before it releases.
    void WaitUntilUnheld() const;

    // Edits. `data` must not point into this block. A position past the end first grows the block to
    // that position with zeros. Size changes fail with Held while the block is held, and so does
    // any change while both a hold and a snapshot are out. NoMemory also when a snapshot reads the
    // bytes and no memory can be had for the block's own copy.
    BlockStatus Insert(std::size_t pos, const unsigned char* data, std::size_t n);
    // Erases up to n bytes from pos; a range past the end is cut at the end.
    BlockStatus Erase(std::size_t pos, std::size_t n);
    // Writes over existing bytes and may extend the block at the end. Bytes that only extend it are
    // copied without the block's lock, so readers do not wait for that copy; they see the new bytes
    // once all of them are there.
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

    // The bytes as they are now, for readers on any thread, unchanged by whatever the block does
    // later. Costs no copy unless a hold is out (a holder may be writing): then the snapshot gets a
    // copy of its own. NoMemory when that copy cannot be had; `out` is then left as it was.
    BlockStatus TakeSnapshot(BlockSnapshot& out);
    // True while a live snapshot reads the block's own storage: the next change will copy it.
    bool Shared() const;

private:
    // With mutex_ held, before any change: a live snapshot keeps the current storage and the block
    // moves to fresh storage holding a copy of its first `keepBytes` bytes. Nothing changes when it
    // fails: NoMemory when the copy cannot be had, Held when a hold is out (the holder's address
    // must stay the block's).
    BlockStatus Unshare(std::size_t keepBytes);
    BlockStatus PrivateSnapshot(BlockSnapshot& out);
    // An Overwrite that only adds bytes past the end, with `lock` (on mutex_) held on entry and on
    // return: the copy itself runs without it.
    BlockStatus Extend(std::unique_lock<std::mutex>& lock, std::size_t pos, const unsigned char* data, std::size_t n);
    void WaitForExtension(std::unique_lock<std::mutex>& lock) const;
    // The storage must stay where it is: a holder has its address or an append is copying into it.
    bool Pinned() const { return holds_ != 0 || extending_; }
    // Both with mutex_ held. Bytes past size_ are always zero, so growth is only a new size.
    BlockStatus GrowTo(std::size_t n);
    void ShrinkTo(std::size_t n);
    void Changed() { revision_.fetch_add(1, std::memory_order_acq_rel); }

    mutable std::mutex mutex_;
    detail::PageStorage storage_;
    std::size_t holds_ = 0;
    bool extending_ = false;                    // an Overwrite copies past the end without mutex_
    mutable std::condition_variable released_; // the last hold went, or an append's copy ended
    // The snapshots' view of storage_, while any snapshot of it is alive.
    std::weak_ptr<detail::SharedBytes> shared_;
    std::atomic<std::size_t> size_{0};
    std::atomic<std::uint64_t> revision_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace plat
