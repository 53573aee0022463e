#include "platform/byteblock/PagePreparer.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older C libraries lack the name
#endif

namespace plat::detail {
namespace {

// Work is handed over in steps of 2 MiB: one wake-up per 2 MiB written, and the owner
// never waits longer than one step's population for the mapping lock.
constexpr std::size_t kStep = 2 * 1024 * 1024;
// How far ahead of the writer pages are made ready: a 32nd of what was written, at least two steps
// and at most this much, so that beyond 128 MiB the memory held past the written bytes stays
// within about 3 %.
constexpr std::size_t kLeastAhead = 2 * kStep;
constexpr std::size_t kMostAhead = 8 * 1024 * 1024;
// Blocks smaller than this never start a preparer.
constexpr std::size_t kFirstWant = 4 * 1024 * 1024;
// Processor time for a whole step beyond which huge pages are dearer than small ones: small pages
// take about 0.5 ms a step on the benchmark machine, huge pages 0.16 ms, or 2.4 ms where the host
// must bring them back first.
constexpr double kDearStepSeconds = 0.001;

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::size_t PageSize()
{
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

PagePreparer::~PagePreparer() { Stop(); }

void PagePreparer::Stop()
{
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void PagePreparer::Mapped(unsigned char* data, std::size_t capacity, bool hugePages)
{
    std::lock_guard lock(lock_);
    data_ = data;
    capacity_ = capacity;
    ready_ = std::min(ready_, capacity);
    hugePages_ = hugePages;
    if (data == nullptr)
        hugeGivenUp_ = false;
}

bool PagePreparer::HugePagesGivenUp()
{
    std::lock_guard lock(lock_);
    return hugeGivenUp_;
}

void PagePreparer::Dropped(std::size_t from)
{
    std::lock_guard lock(lock_);
    ready_ = std::min(ready_, from / kStep * kStep);
    target_ = std::min(target_, from);
    written_ = std::min(written_, from);
    asked_ = target_;
}

void PagePreparer::Shifted(std::size_t bytes)
{
    std::lock_guard lock(lock_);
    const auto less = [bytes](std::size_t at) { return at > bytes ? at - bytes : 0; };
    data_ += bytes;
    capacity_ = less(capacity_);
    ready_ = less(ready_);
    target_ = less(target_);
    written_ = less(written_);
    asked_ = less(asked_);
}

std::size_t PagePreparer::ReadyEnd()
{
    std::lock_guard lock(lock_);
    return ready_;
}

void PagePreparer::Want(std::size_t end)
{
    if (end < kFirstWant)
        return;
    const std::size_t target = end + std::clamp(end / 32, kLeastAhead, kMostAhead);
    // Only the owner reads or writes asked_ (its callers are serialised).
    if (target < asked_ + kStep)
        return;
    asked_ = target;
    bool start = false;
    {
        std::lock_guard lock(lock_);
        if (refused_)
            return;
        target_ = std::max(target_, target / PageSize() * PageSize());
        written_ = end;
        start = !thread_.joinable();
        if (start)
            thread_ = std::thread([this] { Run(); });
    }
    if (!start)
        wake_.notify_one();
}

PagePreparer::Range PagePreparer::NextStep() const
{
    // The step the writer is in is left to the writer: the two would otherwise fault the same pages
    // side by side, each waiting on the other's page-table lock.
    const std::size_t from = std::max(ready_, (written_ / kStep + 1) * kStep);
    return {from, std::min({from / kStep * kStep + kStep, target_, capacity_})};
}

void PagePreparer::Run()
{
    // Below the window's thread and the writer, which come first on a busy machine, but not so far
    // below that it never runs: on two cores a preparer at the lowest priority got almost nothing
    // while a flood kept both busy, and the writer zeroed every page itself. Pages it does not
    // reach in time the writer faults in itself, as without a preparer.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    std::unique_lock lock(lock_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || NextStep().from < NextStep().to; });
        if (stopping_)
            return;
        lock.unlock();
        {
            // The mapping cannot move or lose pages while this is held.
            std::lock_guard map(mapLock_);
            lock.lock();
            const Range step = NextStep();
            if (stopping_ || step.from >= step.to)
                continue;
            unsigned char* base = data_;
            lock.unlock();
            const double began = ThreadCpuSeconds();
            const int failure = madvise(base + step.from, step.to - step.from, MADV_POPULATE_WRITE) == 0 ? 0 : errno;
            const double spent = ThreadCpuSeconds() - began;
            lock.lock();
            if (failure == 0)
                ready_ = step.to;
            else if (failure != EINTR && failure != EAGAIN)
                refused_ = true;    // not supported here, or no memory: the writer's faults will tell
            // Judged on whole steps (a short one is mostly the call's own cost), by time on the
            // processor, not on the clock: being preempted by the writer is no cost of the pages.
            if (failure == 0 && hugePages_ && step.to - step.from == kStep && spent > kDearStepSeconds) {
                // From here on the mapping, also what the owner adds by growing it, takes small pages.
                // The advice covers the whole mapping: a mapping split in two could no longer grow.
                madvise(base, capacity_, MADV_NOHUGEPAGE);
                hugePages_ = false;
                hugeGivenUp_ = true;
            }
        }
        if (refused_)
            return;
    }
}

} // namespace plat::detail
