#pragma once
// An unchanging view of a byte block's bytes as they were when it was taken, shared by whoever holds
// a copy of it. A snapshot costs no copy: it reads the block's own storage, and the block's next
// change first gives the block fresh storage and leaves the old mapping to its snapshots, the last
// of which unmaps it.
//
// Threads: any. Copies of one snapshot may live and die on different threads; the bytes never change
// while any of them is alive.

#include <cstddef>
#include <memory>

namespace plat {

namespace detail {

// The bytes one or more snapshots read. While the block still owns the mapping they are the block's
// storage, which it leaves alone until it has adopted them here; from then on this unmaps them.
class SharedBytes {
public:
    explicit SharedBytes(const unsigned char* data) : data_(data) {}
    ~SharedBytes();
    SharedBytes(const SharedBytes&) = delete;
    SharedBytes& operator=(const SharedBytes&) = delete;

    const unsigned char* Data() const { return data_; }
    // Called by the block with a reference of its own: the mapping [mapping, mapping + length) is
    // this object's from now on.
    void Adopt(unsigned char* mapping, std::size_t length);

private:
    const unsigned char* data_;
    unsigned char* mapping_ = nullptr;
    std::size_t length_ = 0;
};

} // namespace detail

class BlockSnapshot {
public:
    BlockSnapshot() = default;

    // Null when empty.
    const unsigned char* Data() const { return bytes_ ? bytes_->Data() : nullptr; }
    std::size_t Size() const { return size_; }
    // Lets go of the bytes; the last snapshot to do so frees them if the block has moved on.
    void Reset() { *this = BlockSnapshot(); }

private:
    friend class ByteBlock;
    BlockSnapshot(std::shared_ptr<const detail::SharedBytes> bytes, std::size_t size)
        : bytes_(std::move(bytes)), size_(size) {}

    std::shared_ptr<const detail::SharedBytes> bytes_;
    std::size_t size_ = 0;
};

} // namespace plat
