#pragma once
// Records received bytes to a file as they arrive. The receive path hands each block over with a
// copy into a chunk (no wait for the disk while less than the queue's limit waits to be written); a
// writer thread of the recorder's own writes the
// chunks out at least every kWritePeriod, so that after a crash or a kill the file holds everything
// received more than a moment before. An optional companion file gets one text line per burst.
//
// A receiver that finds the queue full waits in WaitForRoom (after it let go of its locks) while the
// writer gets on, so a disk slower than a flood slows the receiver (and a TCP sender with it)
// instead of losing bytes. The file always holds an
// exact beginning of what was received: after the first write that fails (a full disk), or when the
// queue stays full while the writer writes nothing for kStallLimit, nothing more is written and
// every later byte is counted as not written.
//
// Stop never waits for the disk: it only ends the taking of bytes; the writer then writes what waits,
// closes the files, ends on its own and says so through the finished callback. Finish (and the
// destructor) waits for that, for when the program goes.
//
// Threads: Start, Stop and Finish on one controlling thread (the window's); Append from receive
// workers with the received lock held (one at a time), WaitForRoom from receive workers holding no
// lock; NoteBurst, IsFinished and the counts from any thread. The failure callback runs on the writer thread, at most once per recording (and once more
// for the companion file); the finished callback runs on the writer thread last, after the files
// are closed.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ReceiveRecorder {
public:
    // Why a recording stopped writing: the errno of the failed write, or kQueueOverflow.
    static constexpr int kQueueOverflow = -1;
    // `timesFile` tells a failure of the companion file, which ends only the companion's lines.
    using FailureCallback = std::function<void(int reason, bool timesFile)>;
    using FinishedCallback = std::function<void()>;

    // Enough to ride out a disk's hiccups; a longer lag slows the receiver instead of taking memory.
    static constexpr std::size_t kDefaultQueueLimit = std::size_t{32} << 20;
    static constexpr std::chrono::milliseconds kWritePeriod{100};
    // How long a stopped recording's writer waits for a pipe or device that takes nothing more
    // before giving up on it (the rest is counted as not written).
    static constexpr std::chrono::milliseconds kStopWait{1000};
    // How long a receiver waits on a full queue while the writer writes nothing before the
    // recording gives up writing.
    static constexpr std::chrono::milliseconds kStallLimit{1000};

    explicit ReceiveRecorder(std::size_t queueLimit = kDefaultQueueLimit);
    // Finishes a recording still running (everything handed over is written first).
    ~ReceiveRecorder();
    ReceiveRecorder(const ReceiveRecorder&) = delete;
    ReceiveRecorder& operator=(const ReceiveRecorder&) = delete;

    // Controlling thread. Takes over `fd` (and `timesFd` unless it is -1), open for writing, and
    // starts the writer. False (descriptors closed) when the writer thread cannot be started. A
    // recorder still finishing a previous recording waits for it first: to start at once, take a
    // new recorder (the Received pane does).
    bool Start(int fd, int timesFd, FailureCallback onFailure, FinishedCallback onFinished = nullptr);
    // Controlling thread. Blocks handed over before the call are written, later ones are refused;
    // returns at once, while the writer writes them, closes the files and ends. The counts stay
    // readable (and grow while it writes) until the next Start.
    void Stop();
    // Controlling thread. Stop, then waits until the writer has ended (the files are complete).
    void Finish();
    // Controlling thread. Stop, and write nothing more: what waits is counted as not written, a
    // wait for a pipe ends, and the file keeps an exact beginning (as after a failure, untold).
    void Abandon();

    // Any thread. True from Start to Stop.
    bool IsRecording() const { return recording_.load(std::memory_order_acquire); }
    // Any thread. True when no writer runs: before Start, and once a stopped recording has written
    // everything and closed its files.
    bool IsFinished() const { return finished_.load(std::memory_order_acquire); }

    // Receive workers, one at a time. Copies the bytes into the queue; never waits (the queue may
    // go past its limit by what one delivery brings).
    void Append(const unsigned char* data, std::size_t size);
    // Receive workers, holding no lock. Returns once the queue is back within its limit, the
    // recording stops, or writing has ended; a writer that writes nothing for kStallLimit meanwhile
    // ends the writing (kQueueOverflow).
    void WaitForRoom();
    // Any thread. A burst began at `fileOffset` in the recording: queues a line for the companion
    // file ("<offset>\t<local date and time to the millisecond>"). Nothing without a companion file.
    void NoteBurst(std::uint64_t fileOffset, std::int64_t msSinceEpoch);

    // Any thread. Bytes handed over since Start: the file offset at which the next byte goes.
    std::uint64_t Taken() const { return taken_.load(std::memory_order_acquire); }
    // Any thread. Bytes in the file, and bytes counted as not written.
    std::uint64_t Written() const { return written_.load(std::memory_order_acquire); }
    std::uint64_t NotWritten() const { return notWritten_.load(std::memory_order_acquire); }
    // Any thread. Burst lines left out of the companion file: after its own failure, for bytes the
    // data file never got, or a line that did not fit whole.
    std::uint64_t TimesNotWritten() const { return timesNotWritten_.load(std::memory_order_acquire); }

    // The companion line of a burst, in local time.
    static std::string BurstLine(std::uint64_t fileOffset, std::int64_t msSinceEpoch);

private:
    using Chunk = std::vector<unsigned char>;

    void Run();
    // Writer thread: writes a chunk, or counts it when writing has ended.
    void WriteChunk(const Chunk& chunk);
    // Writer thread: the lines whose bursts the data file holds, each whole or not at all.
    void WriteTimes(std::string lines);
    // Writer thread: writes all of it; the errno of a failure, 0 on success.
    int WriteFully(int fd, const unsigned char* data, std::size_t size, std::uint64_t* progress);
    // With lock_ held: ends writing for good; the writer reports why, once.
    void Fail(int reason);
    // With lock_ held: a chunk to fill, a written one when there is one.
    Chunk NewChunk();
    void CloseFiles();

    const std::size_t queueLimit_;
    std::mutex lock_;                   // guards everything up to the thread
    std::condition_variable wake_;
    std::condition_variable room_;      // a chunk was written, or the recording failed or stops
    Chunk current_;                     // filling; taken by the writer at each wake
    std::deque<Chunk> full_;            // waiting for the writer, oldest first
    std::vector<Chunk> spare_;          // written chunks kept for reuse
    std::string timesLines_;
    std::size_t queued_ = 0;            // bytes in current_ and full_
    bool stopping_ = false;
    bool failed_ = false;               // no more bytes are written this recording
    int failure_ = 0;                   // why, until the writer has reported it
    bool timesFailed_ = false;
    FailureCallback onFailure_;
    FinishedCallback onFinished_;
    std::thread thread_;

    int fd_ = -1;
    int timesFd_ = -1;
    std::atomic<bool> recording_{false};
    std::atomic<bool> finished_{true};
    std::atomic<bool> stopRequested_{false}; // read by the writer while it waits for a pipe
    std::atomic<bool> gaveUp_{false};        // a receiver found the queue full and the writer stuck
    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> notWritten_{0};
    std::atomic<std::uint64_t> timesNotWritten_{0};
    std::atomic<bool> abandoned_{false};
    std::uint64_t timesEnd_ = 0;        // writer thread: the companion file's length, whole lines only
};
