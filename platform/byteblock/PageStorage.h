#pragma once
// Raw storage for a byte block: one anonymous private mapping. Growth asks the kernel to extend the
// mapping in place or move its page tables (mremap), so the bytes are never copied, and pages that were
// never written take no memory. Every byte the owner has not written, or has handed back with
// ZeroTail, reads as zero. While a large block grows, a preparer makes the pages just past its end
// ready on a thread of its own, so that the writer's copies do not wait for the kernel to zero them.
//
// Growing storage from 8 MiB on asks for huge pages until the preparer finds them dearer than small
// ones. A copy made for an edit (MoveToCopy) takes small pages: it is made on the window's thread,
// which must not wait for memory to be compacted or brought back from a virtual machine's host.
//
// Threads: the owner's calls are serialised (the byte block calls with its lock held).

#include "platform/byteblock/PagePreparer.h"

#include <cstddef>
#include <mutex>

namespace plat::detail {

class PageStorage {
public:
    PageStorage() = default;
    ~PageStorage();
    PageStorage(const PageStorage&) = delete;
    PageStorage& operator=(const PageStorage&) = delete;

    static std::size_t PageSize();

    unsigned char* Data() const { return data_; }
    std::size_t Capacity() const { return capacity_; }

    // Makes room for at least n bytes, growing geometrically. False when the memory cannot be had;
    // the storage is then as it was.
    bool Reserve(std::size_t n);

    // The owner's bytes now end at `end`: the pages just past it are prepared ahead of the writer.
    // Costs no system call on most calls.
    void GrewTo(std::size_t end) { preparer_.Want(end); }

    // Makes bytes [from, end) read as zero again, where `end` is where the owner's bytes end; whole
    // pages from `from` on go back to the kernel, those made ready past `end` included.
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
    // With mapLock_ held: the mapping leaves, cut to `keep` bytes.
    Mapping HandOut(std::size_t keep);

    unsigned char* data_ = nullptr;
    std::size_t capacity_ = 0;
    // Held while the mapping moves or loses pages, and by the preparer while it populates.
    std::mutex mapLock_;
    PagePreparer preparer_{mapLock_};
};

} // namespace plat::detail
