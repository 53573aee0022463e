#include "platform/byteblock/PageStorage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace plat::detail {
namespace {

// Rounds up to whole pages; 0 when that would overflow.
std::size_t RoundUpToPages(std::size_t n)
{
    const std::size_t page = PageStorage::PageSize();
    if (n > std::numeric_limits<std::size_t>::max() - (page - 1))
        return 0;
    return (n + page - 1) / page * page;
}

} // namespace

std::size_t PageStorage::PageSize()
{
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

PageStorage::~PageStorage()
{
    if (data_)
        munmap(data_, capacity_);
}

bool PageStorage::Reserve(std::size_t n)
{
    if (n <= capacity_)
        return true;
    const std::size_t needed = RoundUpToPages(n);
    if (needed == 0)
        return false;
    // Doubling keeps the number of remaps logarithmic; the unused half costs address space only.
    std::size_t wanted = std::max(needed, kFirstCapacity);
    if (capacity_ <= std::numeric_limits<std::size_t>::max() / 2)
        wanted = std::max(wanted, capacity_ * 2);
    if (MapTo(wanted))
        return true;
    return wanted != needed && MapTo(needed);
}

bool PageStorage::MapTo(std::size_t bytes)
{
    void* mapped = data_ == nullptr
        ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
        : mremap(data_, capacity_, bytes, MREMAP_MAYMOVE);
    if (mapped == MAP_FAILED)
        return false;
    data_ = static_cast<unsigned char*>(mapped);
    capacity_ = bytes;
    // One fault instead of 512 for every 2 MiB a large block fills; a refusal is harmless.
    if (capacity_ >= kHugeFrom)
        madvise(data_, capacity_, MADV_HUGEPAGE);
    return true;
}

void PageStorage::ZeroTail(std::size_t from, std::size_t end)
{
    end = std::min(end, capacity_);
    if (from >= end)
        return;
    const std::size_t page = PageSize();
    const std::size_t wholeFrom = (from + page - 1) / page * page;
    const std::size_t wholeTo = end / page * page;
    if (wholeFrom >= wholeTo) {
        std::memset(data_ + from, 0, end - from);
        return;
    }
    std::memset(data_ + from, 0, wholeFrom - from);
    // A private anonymous page dropped this way reads as zero on its next use and frees its memory.
    if (madvise(data_ + wholeFrom, wholeTo - wholeFrom, MADV_DONTNEED) != 0)
        std::memset(data_ + wholeFrom, 0, wholeTo - wholeFrom);
    if (wholeTo < end)
        std::memset(data_ + wholeTo, 0, end - wholeTo);
}

std::size_t PageStorage::DropFrontPages(std::size_t n)
{
    const std::size_t pages = std::min(n, capacity_) / PageSize() * PageSize();
    if (pages == 0 || pages >= capacity_)
        return 0;
    // The tail of a mapping is a mapping of its own once the front is unmapped: later growth
    // remaps it from its new start. Nothing is copied.
    if (munmap(data_, pages) != 0)
        return 0;
    data_ += pages;
    capacity_ -= pages;
    return pages;
}

bool PageStorage::MoveToCopy(std::size_t copy, std::size_t keep, Mapping& old)
{
    const std::size_t length = std::max(RoundUpToPages(copy), kFirstCapacity);
    if (length < copy)
        return false;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return false;
    auto* fresh = static_cast<unsigned char*>(mapped);
    // Small pages also where the system gives huge ones unasked (a refusal is harmless). Later
    // growth advises the whole mapping again, so this never splits it.
    madvise(fresh, length, MADV_NOHUGEPAGE);
    // Only this owner writes the old bytes, and it is here: the copy needs no lock.
    if (copy != 0)
        std::memcpy(fresh, data_, copy);
    old = Detach(keep);
    data_ = fresh;
    capacity_ = length;
    return true;
}

PageStorage::Mapping PageStorage::Detach(std::size_t keep)
{
    const std::size_t length = std::min(RoundUpToPages(keep), capacity_);
    if (length < capacity_)
        munmap(data_ + length, capacity_ - length);
    if (length == 0)
        data_ = nullptr;
    Mapping out{data_, length};
    data_ = nullptr;
    capacity_ = 0;
    return out;
}

} // namespace plat::detail
