#include "panes/models/ReceiveRecorder.h"

#include "platform/io/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <system_error>
#include <unistd.h>

namespace {

// A chunk is handed to the writer when full: big enough that a flood costs few wake-ups and large
// writes, small enough that a slow trickle does not hold much memory.
constexpr std::size_t kChunk = std::size_t{1} << 20;
// Written chunks kept for reuse, so that a flood does not allocate one per megabyte.
constexpr std::size_t kSpareChunks = 8;

} // namespace

ReceiveRecorder::ReceiveRecorder(std::size_t queueLimit) : queueLimit_(queueLimit) {}

ReceiveRecorder::~ReceiveRecorder()
{
    Finish();
}

bool ReceiveRecorder::Start(int fd, int timesFd, FailureCallback onFailure, FinishedCallback onFinished)
{
    Finish();
    {
        std::lock_guard lock(lock_);
        fd_ = fd;
        timesFd_ = timesFd;
        stopping_ = false;
        failed_ = false;
        failure_ = 0;
        timesFailed_ = false;
        queued_ = 0;
        current_.clear();
        full_.clear();
        timesLines_.clear();
        onFailure_ = std::move(onFailure);
        onFinished_ = std::move(onFinished);
        taken_ = 0;
        written_ = 0;
        notWritten_ = 0;
        timesNotWritten_ = 0;
        timesEnd_ = 0;
        abandoned_ = false;
        stopRequested_ = false;
        gaveUp_ = false;
        finished_ = false;
        recording_ = true;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        std::lock_guard lock(lock_);
        recording_ = false;
        CloseFiles();
        finished_ = true;
        return false;
    }
    return true;
}

void ReceiveRecorder::Stop()
{
    {
        std::lock_guard lock(lock_);
        // Blocks handed over before this are written; later ones are refused.
        stopping_ = true;
        recording_ = false;
        room_.notify_all();
    }
    stopRequested_ = true;
    wake_.notify_one();
}

void ReceiveRecorder::Finish()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void ReceiveRecorder::Abandon()
{
    {
        std::lock_guard lock(lock_);
        abandoned_ = true;
        failed_ = true; // no report: the user chose it
        room_.notify_all();
    }
    gaveUp_ = true; // ends a wait for a pipe
    Stop();
}

void ReceiveRecorder::CloseFiles()
{
    for (int* fd : {&fd_, &timesFd_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

ReceiveRecorder::Chunk ReceiveRecorder::NewChunk()
{
    if (!spare_.empty()) {
        Chunk chunk = std::move(spare_.back());
        spare_.pop_back();
        return chunk;
    }
    Chunk chunk;
    chunk.reserve(kChunk);
    return chunk;
}

void ReceiveRecorder::Fail(int reason)
{
    if (failed_)
        return;
    failed_ = true;
    failure_ = reason;
    wake_.notify_one();
    room_.notify_all();
}

void ReceiveRecorder::Append(const unsigned char* data, std::size_t size)
{
    if (size == 0)
        return;
    std::lock_guard lock(lock_);
    if (stopping_)
        return;
    taken_.fetch_add(size, std::memory_order_acq_rel);
    if (failed_) {
        notWritten_.fetch_add(size, std::memory_order_acq_rel);
        return;
    }
    try {
        if (current_.capacity() == 0)
            current_ = NewChunk();
        if (current_.size() + size > current_.capacity()) {
            full_.push_back(std::move(current_));
            current_ = NewChunk();
            wake_.notify_one();
        }
        current_.insert(current_.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        Fail(ENOMEM);
        notWritten_.fetch_add(size, std::memory_order_acq_rel);
        return;
    }
    queued_ += size;
}

void ReceiveRecorder::WaitForRoom()
{
    std::unique_lock lock(lock_);
    // A disk behind a flood: rather than leave bytes out of the file, the receiver waits for room as
    // long as the writer gets on (a TCP sender is then slowed by the link itself). A writer that
    // gets nowhere for kStallLimit (a stalled disk, a pipe nobody reads) ends the writing instead.
    while (!failed_ && !stopping_ && queued_ > queueLimit_) {
        const std::uint64_t before = written_.load(std::memory_order_relaxed);
        if (!room_.wait_for(lock, kStallLimit, [&] {
                return failed_ || stopping_ || queued_ <= queueLimit_ || written_.load(std::memory_order_relaxed) != before;
            })) {
            gaveUp_ = true;
            Fail(kQueueOverflow);
        }
    }
}

std::string ReceiveRecorder::BurstLine(std::uint64_t fileOffset, std::int64_t msSinceEpoch)
{
    const auto seconds = static_cast<std::time_t>(msSinceEpoch >= 0 ? msSinceEpoch / 1000 : (msSinceEpoch - 999) / 1000);
    const auto millis = static_cast<int>(msSinceEpoch - static_cast<std::int64_t>(seconds) * 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char line[96];
    std::snprintf(line, sizeof line, "%llu\t%04d-%02d-%02d %02d:%02d:%02d.%03d\n", static_cast<unsigned long long>(fileOffset),
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
    return line;
}

void ReceiveRecorder::NoteBurst(std::uint64_t fileOffset, std::int64_t msSinceEpoch)
{
    const std::string line = BurstLine(fileOffset, msSinceEpoch);
    std::lock_guard lock(lock_);
    if (stopping_ || timesFd_ < 0)
        return;
    // The companion file stops when either file stops.
    if (timesFailed_ || failed_) {
        timesNotWritten_.fetch_add(1, std::memory_order_acq_rel);
        return;
    }
    timesLines_ += line;
}

void ReceiveRecorder::Run()
{
    std::unique_lock lock(lock_);
    for (;;) {
        // A full chunk or a stop wakes the writer at once; anything else waits at most a period.
        wake_.wait_for(lock, kWritePeriod, [this] { return stopping_ || !full_.empty() || failure_ != 0; });
        std::deque<Chunk> batch;
        batch.swap(full_);
        if (!current_.empty()) {
            batch.push_back(std::move(current_));
            current_ = Chunk();
        }
        std::string times;
        times.swap(timesLines_);
        const bool last = stopping_;
        lock.unlock();

        for (Chunk& chunk : batch) {
            WriteChunk(chunk);
            // Each chunk written makes room for a receiver waiting on a full queue, and its memory
            // goes back at once (kept for reuse, or freed), not at the end of a long batch.
            std::lock_guard written(lock_);
            queued_ -= chunk.size();
            if (spare_.size() < kSpareChunks) {
                chunk.clear();
                spare_.push_back(std::move(chunk));
            } else {
                Chunk().swap(chunk);
            }
            room_.notify_all();
        }
        if (!times.empty())
            WriteTimes(times);

        lock.lock();
        if (failure_ != 0) {
            const int reason = failure_;
            failure_ = 0;
            FailureCallback report = onFailure_;
            lock.unlock();
            if (report)
                report(reason, false);
            lock.lock();
        }
        if (last && full_.empty() && current_.empty() && timesLines_.empty()) {
            // Everything handed over is out: the files are complete once closed, and only then is
            // the recording told finished.
            CloseFiles();
            finished_ = true;
            const FinishedCallback finished = onFinished_;
            lock.unlock();
            if (finished)
                finished();
            return;
        }
    }
}

void ReceiveRecorder::WriteChunk(const Chunk& chunk)
{
    {
        std::lock_guard lock(lock_);
        if (failed_) {
            notWritten_.fetch_add(chunk.size(), std::memory_order_acq_rel);
            return;
        }
    }
    std::uint64_t done = 0;
    const int err = WriteFully(fd_, chunk.data(), chunk.size(), &done);
    if (err == 0)
        return;
    notWritten_.fetch_add(chunk.size() - done, std::memory_order_acq_rel);
    std::lock_guard lock(lock_);
    Fail(err);
}

void ReceiveRecorder::WriteTimes(std::string lines)
{
    bool dataFailed;
    {
        std::lock_guard lock(lock_);
        dataFailed = failed_;
    }
    if (dataFailed) {
        // Only the bursts whose first byte is in the data file keep their line.
        const std::uint64_t inFile = written_.load(std::memory_order_acquire);
        std::size_t keep = 0;
        while (keep < lines.size() && std::strtoull(lines.c_str() + keep, nullptr, 10) < inFile)
            keep = lines.find('\n', keep) + 1;
        timesNotWritten_.fetch_add(static_cast<std::uint64_t>(std::count(lines.begin() + static_cast<long>(keep), lines.end(), '\n')),
                                   std::memory_order_acq_rel);
        lines.resize(keep);
    }
    if (lines.empty())
        return;
    std::uint64_t done = 0;
    const int err = WriteFully(timesFd_, reinterpret_cast<const unsigned char*>(lines.data()), lines.size(), &done);
    // A line cut by the failure is taken off again: the file ends with a whole line.
    const std::size_t whole = err == 0 ? lines.size() : (done == 0 ? 0 : lines.rfind('\n', done - 1) + 1);
    timesEnd_ += whole;
    if (err == 0)
        return;
    if (whole < done && ::ftruncate(timesFd_, static_cast<off_t>(timesEnd_)) != 0) {
        // A pipe or device cannot take a line back: it keeps what it took.
    }
    timesNotWritten_.fetch_add(static_cast<std::uint64_t>(std::count(lines.begin() + static_cast<long>(whole), lines.end(), '\n')),
                               std::memory_order_acq_rel);
    FailureCallback report;
    {
        std::lock_guard lock(lock_);
        timesFailed_ = true;
        if (!abandoned_)
            report = onFailure_;
    }
    if (report)
        report(err, true);
}

int ReceiveRecorder::WriteFully(int fd, const unsigned char* data, std::size_t size, std::uint64_t* progress)
{
    auto stalled = std::chrono::milliseconds::zero();
    plat::WriteAllHooks hooks;
    hooks.waitForRoom = [&]() -> int {
        // A pipe or device without room: wait for it, but not past a stop's patience.
        if (stopRequested_.load() && stalled >= kStopWait)
            return EAGAIN;
        // A receiver gave up waiting for the data file (or the recording was abandoned): the
        // recording has ended its writing, the companion file's with it.
        if (gaveUp_.load())
            return EAGAIN;
        if (plat::PollForRoom(fd, static_cast<int>(kWritePeriod.count())) == ETIMEDOUT)
            stalled += kWritePeriod;
        return 0;
    };
    hooks.wrote = [&](std::size_t n) {
        stalled = std::chrono::milliseconds::zero();
        if (progress)
            *progress += n;
        if (fd == fd_)
            written_.fetch_add(n, std::memory_order_acq_rel);
    };
    return plat::WriteAll(fd, data, size, hooks);
}
