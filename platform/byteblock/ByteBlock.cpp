#include "platform/byteblock/ByteBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace plat {
namespace {

// What Hold gives for a block that never had storage: callers may pass it along with a size of 0.
unsigned char gEmptySpot[1];

bool AddOverflows(std::size_t a, std::size_t b)
{
    return a > std::numeric_limits<std::size_t>::max() - b;
}

} // namespace

ByteBlock::ByteBlock() = default;

ByteBlock::~ByteBlock()
{
    // Snapshots may outlive the block: the storage they read becomes theirs.
    std::lock_guard lock(mutex_);
    if (const std::shared_ptr<detail::SharedBytes> shared = shared_.lock()) {
        const detail::PageStorage::Mapping old = storage_.Detach(size_.load(std::memory_order_relaxed));
        shared->Adopt(old.data, old.length);
    }
}

void ByteBlock::MakeEmptyArray()
{
    std::lock_guard lock(mutex_);
    if (!Pinned() && (size_.load(std::memory_order_relaxed) != 0 || dropped_.load() != 0)) {
        Unshare(0);
        ShrinkTo(0);
        dropped_.store(0, std::memory_order_release);
        Changed();
    }
}

BlockStatus ByteBlock::Resize(std::size_t n)
{
    std::lock_guard lock(mutex_);
    if (Pinned())
        return BlockStatus::Held;
    const std::size_t old = size_.load(std::memory_order_relaxed);
    if (n == 0 && dropped_.load(std::memory_order_relaxed) != 0) {
        dropped_.store(0, std::memory_order_release);
        Changed();
    }
    if (n == old)
        return BlockStatus::Ok;
    if (const BlockStatus unshared = Unshare(std::min(n, old)); unshared != BlockStatus::Ok)
        return unshared;
    if (n > old) {
        if (GrowTo(n) != BlockStatus::Ok)
            return BlockStatus::NoMemory;
    } else {
        ShrinkTo(n);
    }
    Changed();
    return BlockStatus::Ok;
}

unsigned char* ByteBlock::Hold()
{
    std::unique_lock lock(mutex_);
    WaitForExtension(lock);
    // The holder may write: a snapshot must not see it.
    if (Unshare(size_.load(std::memory_order_relaxed)) != BlockStatus::Ok)
        return nullptr;
    ++holds_;
    return storage_.Data() ? storage_.Data() : gEmptySpot;
}

const unsigned char* ByteBlock::HoldToRead()
{
    std::unique_lock lock(mutex_);
    WaitForExtension(lock);
    ++holds_;
    return storage_.Data() ? storage_.Data() : gEmptySpot;
}

void ByteBlock::Release()
{
    std::lock_guard lock(mutex_);
    if (holds_ != 0 && --holds_ == 0)
        released_.notify_all();
}

void ByteBlock::WaitForExtension(std::unique_lock<std::mutex>& lock) const
{
    // A hold keeps the size as it is: an append's copy in flight ends first (one block's copy).
    released_.wait(lock, [this] { return !extending_; });
}

void ByteBlock::WaitUntilUnheld() const
{
    std::unique_lock lock(mutex_);
    released_.wait(lock, [this] { return !Pinned(); });
}

std::size_t ByteBlock::HoldCount() const
{
    std::lock_guard lock(mutex_);
    return holds_;
}

BlockStatus ByteBlock::Insert(std::size_t pos, const unsigned char* data, std::size_t n)
{
    std::lock_guard lock(mutex_);
    if (n == 0)
        return BlockStatus::Ok;
    if (Pinned())
        return BlockStatus::Held;
    const std::size_t old = size_.load(std::memory_order_relaxed);
    const std::size_t start = std::max(pos, old);
    if (AddOverflows(start, n))
        return BlockStatus::NoMemory;
    if (const BlockStatus unshared = Unshare(old); unshared != BlockStatus::Ok)
        return unshared;
    if (GrowTo(start + n) != BlockStatus::Ok)
        return BlockStatus::NoMemory;
    unsigned char* bytes = storage_.Data();
    if (pos < old)
        std::memmove(bytes + pos + n, bytes + pos, old - pos);
    std::memcpy(bytes + pos, data, n);
    Changed();
    return BlockStatus::Ok;
}

BlockStatus ByteBlock::Erase(std::size_t pos, std::size_t n)
{
    std::lock_guard lock(mutex_);
    const std::size_t old = size_.load(std::memory_order_relaxed);
    if (n == 0 || pos >= old)
        return BlockStatus::Ok;
    if (Pinned())
        return BlockStatus::Held;
    n = std::min(n, old - pos);
    if (const BlockStatus unshared = Unshare(old); unshared != BlockStatus::Ok)
        return unshared;
    unsigned char* bytes = storage_.Data();
    std::memmove(bytes + pos, bytes + pos + n, old - pos - n);
    ShrinkTo(old - n);
    Changed();
    return BlockStatus::Ok;
}

BlockStatus ByteBlock::Overwrite(std::size_t pos, const unsigned char* data, std::size_t n)
{
    std::unique_lock lock(mutex_);
    if (n == 0)
        return BlockStatus::Ok;
    if (AddOverflows(pos, n))
        return BlockStatus::NoMemory;
    const std::size_t end = pos + n;
    const std::size_t old = size_.load(std::memory_order_relaxed);
    if (end > old && Pinned())
        return BlockStatus::Held;
    if (const BlockStatus unshared = Unshare(old); unshared != BlockStatus::Ok)
        return unshared;
    if (pos >= old)
        return Extend(lock, pos, data, n);
    if (end > old) {
        if (GrowTo(end) != BlockStatus::Ok)
            return BlockStatus::NoMemory;
    }
    std::memcpy(storage_.Data() + pos, data, n);
    Changed();
    return BlockStatus::Ok;
}

BlockStatus ByteBlock::Extend(std::unique_lock<std::mutex>& lock, std::size_t pos, const unsigned char* data,
                              std::size_t n)
{
    if (!storage_.Reserve(pos + n))
        return BlockStatus::NoMemory;
    // The copy runs without the lock: it writes past the size, where no reader looks, and the
    // fresh pages it fills may keep the kernel a while. A reader (a repaint) never waits for that.
    // The storage stays where it is meanwhile, since every change that could move it is refused.
    extending_ = true;
    lock.unlock();
    std::memcpy(storage_.Data() + pos, data, n);
    lock.lock();
    extending_ = false;
    size_.store(pos + n, std::memory_order_release);
    Changed();
    released_.notify_all();
    return BlockStatus::Ok;
}

std::size_t ByteBlock::Read(std::size_t pos, unsigned char* out, std::size_t n) const
{
    std::lock_guard lock(mutex_);
    const std::size_t size = size_.load(std::memory_order_relaxed);
    if (pos >= size)
        return 0;
    n = std::min(n, size - pos);
    std::memcpy(out, storage_.Data() + pos, n);
    return n;
}

std::size_t ByteBlock::DropUnit()
{
    return detail::PageStorage::PageSize();
}

BlockStatus ByteBlock::DropFront(std::size_t n)
{
    std::lock_guard lock(mutex_);
    const std::size_t old = size_.load(std::memory_order_relaxed);
    n = std::min(n, old);
    if (n == 0)
        return BlockStatus::Ok;
    if (Pinned())
        return BlockStatus::Held;
    // Snapshots keep the bytes as they were; the block goes on with a copy of its own.
    if (const BlockStatus unshared = Unshare(old); unshared != BlockStatus::Ok)
        return unshared;
    if (n == old) {
        ShrinkTo(0);
    } else {
        // Whole pages leave the mapping; only a part page left over moves the rest down.
        const std::size_t pages = storage_.DropFrontPages(n);
        const std::size_t part = n - pages;
        const std::size_t left = old - n;
        if (part != 0) {
            std::memmove(storage_.Data(), storage_.Data() + part, left);
            storage_.ZeroTail(left, old - pages);
        }
        size_.store(left, std::memory_order_release);
    }
    dropped_.fetch_add(n, std::memory_order_acq_rel);
    Changed();
    return BlockStatus::Ok;
}

std::size_t ByteBlock::ReadCounted(std::uint64_t from, unsigned char* out, std::size_t n, std::uint64_t& at) const
{
    std::lock_guard lock(mutex_);
    const std::uint64_t front = dropped_.load(std::memory_order_relaxed);
    at = std::max(from, front);
    const std::size_t size = size_.load(std::memory_order_relaxed);
    const std::uint64_t pos = at - front;
    if (pos >= size)
        return 0;
    n = std::min<std::size_t>(n, size - static_cast<std::size_t>(pos));
    std::memcpy(out, storage_.Data() + pos, n);
    return n;
}

BlockStatus ByteBlock::TakeSnapshot(BlockSnapshot& out)
{
    std::lock_guard lock(mutex_);
    const std::size_t size = size_.load(std::memory_order_relaxed);
    if (size == 0) {
        out.Reset();
        return BlockStatus::Ok;
    }
    if (holds_ != 0)
        return PrivateSnapshot(out);
    try {
        std::shared_ptr<detail::SharedBytes> shared = shared_.lock();
        if (!shared) {
            shared = std::make_shared<detail::SharedBytes>(storage_.Data());
            shared_ = shared;
        }
        out = BlockSnapshot(std::move(shared), size);
    } catch (const std::bad_alloc&) {
        return BlockStatus::NoMemory;
    }
    return BlockStatus::Ok;
}

BlockStatus ByteBlock::PrivateSnapshot(BlockSnapshot& out)
{
    const std::size_t size = size_.load(std::memory_order_relaxed);
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return BlockStatus::NoMemory;
    auto* copy = static_cast<unsigned char*>(mapped);
    std::memcpy(copy, storage_.Data(), size);
    try {
        auto shared = std::make_shared<detail::SharedBytes>(copy);
        shared->Adopt(copy, size);
        out = BlockSnapshot(std::move(shared), size);
    } catch (const std::bad_alloc&) {
        munmap(copy, size);
        return BlockStatus::NoMemory;
    }
    return BlockStatus::Ok;
}

bool ByteBlock::Shared() const
{
    std::lock_guard lock(mutex_);
    return !shared_.expired();
}

BlockStatus ByteBlock::Unshare(std::size_t keepBytes)
{
    if (shared_.expired())
        return BlockStatus::Ok;
    const std::shared_ptr<detail::SharedBytes> shared = shared_.lock();
    if (shared) {
        // Moving the storage would pull it from under a holder's address or an append's copy.
        if (Pinned())
            return BlockStatus::Held;
        // The snapshots read the bytes up to the size they were taken at, which is the size now:
        // every change comes through here first.
        const std::size_t size = size_.load(std::memory_order_relaxed);
        detail::PageStorage::Mapping old;
        if (keepBytes == 0)
            old = storage_.Detach(size);
        else if (!storage_.MoveToCopy(keepBytes, size, old))
            return BlockStatus::NoMemory;
        shared->Adopt(old.data, old.length);
    }
    shared_.reset();
    return BlockStatus::Ok;
}

BlockStatus ByteBlock::GrowTo(std::size_t n)
{
    if (!storage_.Reserve(n))
        return BlockStatus::NoMemory;
    size_.store(n, std::memory_order_release);
    return BlockStatus::Ok;
}

void ByteBlock::ShrinkTo(std::size_t n)
{
    storage_.ZeroTail(n, size_.load(std::memory_order_relaxed));
    size_.store(n, std::memory_order_release);
}

} // namespace plat
