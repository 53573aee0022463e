#pragma once
// Raw storage for a byte block: one anonymous private mapping. Growth asks the kernel to extend the
// mapping in place or move its page tables (mremap), so the bytes are never copied, and pages that were
// never written take no memory. Every byte the owner has not written, or has handed back with
// ZeroTail, reads as zero.
//
// Growing storage from 8 MiB on asks for huge pages: the writer then takes one fault, not 512, for
// every 2 MiB it fills. A copy made for an edit (MoveToCopy) takes small pages: it is made on the
// window's thread, which must not wait for memory to be compacted.
//
// Threads: the owner's calls are serialised (the byte block calls with its lock held).

#include <cstddef>

namespace plat::detail {

class PageStorage {
public:
    PageStorage() = default;
    ~PageStorage();
    PageStorage(const PageStorage&) = delete;
    PageStorage& operator=(const PageStorage&) = delete;

    static std::size_t PageSize();
    // The first mapping is this large, so that small blocks do not remap on every append.
    static constexpr std::size_t kFirstCapacity = 64 * 1024;
    // From this capacity on, growing storage asks for huge pages. Below it a small pane keeps one
    // byte of memory per byte: the first 4 MiB stay in small pages.
    static constexpr std::size_t kHugeFrom = 8 * 1024 * 1024;

    unsigned char* Data() const { return data_; }
    std::size_t Capacity() const { return capacity_; }

    // Makes room for at least n bytes, growing geometrically. False when the memory cannot be had;
    // the storage is then as it was.
    bool Reserve(std::size_t n);

    // Makes bytes [from, end) read as zero again, where `end` is where the owner's bytes end; whole
    // pages from `from` on go back to the kernel.
    void ZeroTail(std::size_t from, std::size_t end);

    // Unmaps the whole pages among the first n bytes, where n is less than the owner's size; the
    // rest keep their place in memory and now start at Data(). Returns how many bytes went.
    std::size_t DropFrontPages(std::size_t n);

    // A mapping handed out of the storage; whoever gets it unmaps it.
    struct Mapping {
        unsigned char* data = nullptr;
        std::size_t length = 0;
    };
    // Hands the mapping out and leaves the storage empty (the next Reserve maps afresh). The pages
    // past the first `keep` bytes are unmapped first.
    Mapping Detach(std::size_t keep);
    // Gives the storage a fresh mapping holding a copy of the first `copy` bytes and hands the old
    // one out, its pages past `keep` unmapped. False when no fresh mapping can be had: nothing changed.
    bool MoveToCopy(std::size_t copy, std::size_t keep, Mapping& old);

private:
    bool MapTo(std::size_t bytes);

    unsigned char* data_ = nullptr;
    std::size_t capacity_ = 0;
};

} // namespace plat::detail
