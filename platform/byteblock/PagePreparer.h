#pragma once
// Makes the pages of one anonymous mapping ready ahead of its writer, on a thread of its own, so
// that the writer's copies do not stop for the kernel to find and zero fresh pages. Asks the
// kernel with MADV_POPULATE_WRITE (Linux 5.14 and later); where that is refused the preparer stops
// and the writer faults pages in itself, as it would without one.
//
// The preparer populates only while it holds the mapping lock given to it, so whoever moves,
// drops or unmaps pages takes that lock first and then tells the preparer (Mapped, Dropped).
//
// Huge pages are tried first where the owner asked for them, and given up for the rest of the
// mapping at the first step that costs more than small pages would: a huge page may need memory
// compacted first, or, in a virtual machine that hands free memory back to its host, come back
// from the host one small page at a time (measured there: 1.1-1.2 s per GiB in fresh huge pages,
// 0.24 s in small pages, 0.08 s in huge pages the host still had).
//
// Threads: Mapped, Dropped, ReadyEnd and HugePagesGivenUp are called by the mapping's owner with
// the mapping lock held; Want and Stop by the owner without it; the preparer's own thread does the
// rest. The owner's calls are serialised (one thread at a time).

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace plat::detail {

class PagePreparer {
public:
    explicit PagePreparer(std::mutex& mapLock) : mapLock_(mapLock) {}
    ~PagePreparer();
    PagePreparer(const PagePreparer&) = delete;
    PagePreparer& operator=(const PagePreparer&) = delete;

    // The mapping is now [data, data + capacity); its pages kept their state (mremap moves them).
    // `hugePages`: the owner advised huge pages for it. A null mapping starts afresh: huge pages
    // may be tried again.
    void Mapped(unsigned char* data, std::size_t capacity, bool hugePages);
    // Huge pages proved dear in this mapping: the preparer advised against them for the whole
    // mapping, and the owner should not advise them again until the mapping starts afresh.
    bool HugePagesGivenUp();
    // Pages from `from` on were handed back to the kernel: they are no longer ready, nor wanted.
    void Dropped(std::size_t from);
    // The first `bytes` of the mapping were unmapped: the mapping now starts that much later.
    void Shifted(std::size_t bytes);
    // Where the pages it made ready end (a page boundary). With the mapping lock held.
    std::size_t ReadyEnd();
    // The writer has reached `end`: the pages a little beyond it should be ready. Takes no lock and
    // makes no system call until the preparer has a whole step of work to do.
    void Want(std::size_t end);
    // Ends the preparer's thread; it prepares nothing afterwards. Called before the mapping goes.
    void Stop();

private:
    struct Range {
        std::size_t from, to;
    };
    // With lock_ held: the pages to populate next (none when from >= to).
    Range NextStep() const;
    void Run();

    std::mutex& mapLock_;
    std::mutex lock_;     // guards everything below; taken after mapLock_, never before it
    std::condition_variable wake_;
    std::thread thread_;
    unsigned char* data_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t ready_ = 0;       // the preparer has populated up to here (the writer may have done more)
    std::size_t written_ = 0;     // the writer's end when it last asked
    std::size_t target_ = 0;      // the preparer works up to this
    std::size_t asked_ = 0;       // the writer's side of target_, so that Want can skip the lock
    bool hugePages_ = false;      // the mapping is advised to take huge pages
    bool hugeGivenUp_ = false;    // ... and they were found dear
    bool stopping_ = false;
    bool refused_ = false;        // the kernel cannot populate: leave the pages to the writer
};

} // namespace plat::detail
