// The recorder of received bytes with real files, /dev/full and a pipe nobody empties; and the
// Received pane keeping only its last bytes while it records.
#include "panes/models/ReceiveRecorder.h"
#include "panes/models/ReceivedPane.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string TempPath(const char* name)
{
    return (testing::TempDir() + "/") + name + std::to_string(::getpid());
}

// Reads a non-blocking pipe into `read` until its writer closes it; a slow reader takes a pause
// after every read, as a disk slower than the flood would.
void ReadPipe(int fd, std::string& read, bool slow)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            read.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            return;
        if (n < 0 || slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A stream whose every byte tells its place: a lost, doubled or reordered block shows.
std::string Stream(std::size_t n)
{
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>((i * 131 + i / 65521) & 0xFF);
    return out;
}

const unsigned char* Bytes(const std::string& s, std::size_t at = 0)
{
    return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

struct Failures {
    std::mutex lock;
    std::vector<std::pair<int, bool>> seen;
    ReceiveRecorder::FailureCallback Callback()
    {
        return [this](int reason, bool times) {
            std::lock_guard guard(lock);
            seen.emplace_back(reason, times);
        };
    }
    std::vector<std::pair<int, bool>> Seen()
    {
        std::lock_guard guard(lock);
        return seen;
    }
};

// Counts the finished reports, which come from the writer thread.
struct Finishes {
    std::atomic<int> count{0};
    ReceiveRecorder::FinishedCallback Callback()
    {
        return [this] { ++count; };
    }
    bool WaitOne() { return testwait::WaitUntil([&] { return count.load() == 1; }); }
};

// A blocking pipe that nobody reads until the test opens it: while it is shut, a writer that has
// more than the pipe holds is stuck in its write and cannot finish, whatever the timing. Once
// open, everything is read until the writer closes its end.
class HeldPipe {
public:
    HeldPipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        readFd_ = fds[0];
        writeFd_ = fds[1];
        reader_ = std::thread([this] {
            while (!open_.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
                if (n > 0)
                    read_.append(buffer, static_cast<std::size_t>(n));
                else if (n == 0 || errno != EINTR)
                    return;
            }
        });
    }
    ~HeldPipe()
    {
        Open();
        if (reader_.joinable())
            reader_.join();
        for (int fd : {readFd_, writeFd_})
            if (fd >= 0)
                ::close(fd);
    }
    bool Ok() const { return readFd_ >= 0; }
    int TakeWriteEnd() { return std::exchange(writeFd_, -1); }
    void Open() { open_ = true; }
    // Everything read, once the writer has closed its end.
    std::string ReadAll()
    {
        Open();
        reader_.join();
        return read_;
    }

    // Declared after the recording: a test that ends early opens the pipe before the recording's
    // end waits for its writer.
    struct OpenOnExit {
        HeldPipe& pipe;
        ~OpenOnExit() { pipe.Open(); }
    };

private:
    int readFd_ = -1;
    int writeFd_ = -1;
    std::atomic<bool> open_{false};
    std::thread reader_;
    std::string read_;
};

class NullView : public ReceivedPaneView {
public:
    void ShowReceivedState(ReceivedState) override {}
    void RedrawReceived(bool) override {}
};

class PaneDelivery : public CReceivedPane {
public:
    using CReceivedPane::CReceivedPane;
    // As a receive worker does: the delivery, then the wait for room with no lock held.
    void Deliver(const unsigned char* data, int size)
    {
        CReceiveSink::Deliver(data, size);
        WaitForRoom();
    }
};

} // namespace

TEST(ReceiveRecorder, WritesEveryBlockInOrderSoonAndTheBurstLinesBesideThem)
{
    const std::string path = TempPath("record-order");
    const std::string timesPath = path + ".times";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int timesFd = ::open(timesPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_GE(timesFd, 0);
    ::setenv("TZ", "UTC", 1);
    ::tzset();

    ReceiveRecorder recorder;
    Failures failures;
    Finishes finishes;
    ASSERT_TRUE(recorder.Start(fd, timesFd, failures.Callback(), finishes.Callback()));
    EXPECT_TRUE(recorder.IsRecording());
    EXPECT_FALSE(recorder.IsFinished());
    // Blocks of every size up to the receive path's largest, several chunks' worth.
    const std::string stream = Stream(5 * 1024 * 1024 + 333);
    std::size_t at = 0;
    for (std::size_t size = 1; at < stream.size(); size = size % 16384 + 977) {
        const std::size_t n = std::min(size, stream.size() - at);
        recorder.Append(Bytes(stream, at), n);
        at += n;
    }
    recorder.NoteBurst(0, 1796648400123);          // 2026-12-07 13:00:00.123 UTC
    recorder.NoteBurst(4096, 1796648401005);
    EXPECT_EQ(recorder.Taken(), stream.size());

    // Without a Stop the writer still puts everything out within a moment: what a killed
    // program leaves behind.
    ASSERT_TRUE(testwait::WaitUntil([&] { return FileText(path).size() == stream.size(); }));
    EXPECT_TRUE(FileText(path) == stream);
    ASSERT_TRUE(testwait::WaitUntil([&] { return !FileText(timesPath).empty(); }));
    EXPECT_EQ(FileText(timesPath), "0\t2026-12-07 13:00:00.123\n4096\t2026-12-07 13:00:01.005\n");

    // Bytes handed over right before Stop are in the file once the writer reports the end; none
    // handed over after it.
    recorder.Append(Bytes("tail"), 4);
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    recorder.Append(Bytes("late"), 4);
    recorder.NoteBurst(9, 0);
    ASSERT_TRUE(finishes.WaitOne());
    EXPECT_TRUE(recorder.IsFinished());
    EXPECT_TRUE(FileText(path) == stream + "tail");
    EXPECT_EQ(recorder.Written(), stream.size() + 4);
    EXPECT_EQ(recorder.NotWritten(), 0u);
    EXPECT_TRUE(failures.Seen().empty());
    EXPECT_EQ(ReceiveRecorder::BurstLine(17, -1), "17\t1969-12-31 23:59:59.999\n");
    EXPECT_EQ(FileText(timesPath), "0\t2026-12-07 13:00:00.123\n4096\t2026-12-07 13:00:01.005\n");
    EXPECT_EQ(finishes.count.load(), 1);
    ::unlink(path.c_str());
    ::unlink(timesPath.c_str());
}

TEST(ReceiveRecorder, TheCompanionFileHasThePanesBurstsCountedInTheFile)
{
    NullView view;
    PaneDelivery pane(view);
    pane.Arrivals().SetGapMs(3600000);
    pane.Deliver(Bytes("0123456789"), 10); // a burst begins before the recording
    const std::int64_t firstBurst = pane.Arrivals().BurstContaining(0)->msSinceEpoch;

    const std::string path = TempPath("record-bursts");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int timesFd = ::open((path + ".times").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_GE(timesFd, 0);
    Finishes finishes;
    ASSERT_TRUE(pane.StartRecording(fd, timesFd, nullptr, finishes.Callback()));
    pane.Deliver(Bytes("abcde"), 5); // inside that burst: the file opens with its time
    pane.Arrivals().SetGapMs(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pane.Deliver(Bytes("XYZ"), 3); // a new burst, 5 bytes into the file and 15 into the pane
    pane.StopRecording();
    ASSERT_TRUE(finishes.WaitOne());

    const std::int64_t secondBurst = pane.Arrivals().BurstContaining(15)->msSinceEpoch;
    EXPECT_EQ(FileText(path), "abcdeXYZ");
    EXPECT_EQ(FileText(path + ".times"),
              ReceiveRecorder::BurstLine(0, firstBurst) + ReceiveRecorder::BurstLine(5, secondBurst));
    ::unlink(path.c_str());
    ::unlink((path + ".times").c_str());
}

TEST(ReceiveRecorder, AFullDiskIsCountedAndReportedOnce)
{
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ReceiveRecorder recorder;
    Failures failures;
    Finishes finishes;
    ASSERT_TRUE(recorder.Start(fd, -1, failures.Callback(), finishes.Callback()));
    const std::string stream = Stream(3 * 1024 * 1024);
    for (std::size_t at = 0; at < stream.size(); at += 16384) {
        recorder.Append(Bytes(stream, at), 16384);
        if (at == 16384 * 64) {
            ASSERT_TRUE(testwait::WaitUntil([&] { return !failures.Seen().empty(); })) << "a failed write must be told";
        }
    }
    recorder.Stop();
    ASSERT_TRUE(finishes.WaitOne());
    EXPECT_EQ(recorder.Written(), 0u);
    EXPECT_EQ(recorder.NotWritten(), stream.size()) << "every byte that could not be written is counted";
    ASSERT_EQ(failures.Seen().size(), 1u) << "told once, not once per block";
    EXPECT_EQ(failures.Seen()[0], std::make_pair(ENOSPC, false));
}

TEST(ReceiveRecorder, TheCompanionFileStopsWithTheDataFileAndHoldsOnlyWholeLines)
{
    const std::int64_t now = 1700000000000;
    const std::string timesPath = TempPath("companion");
    {
        // The data file fails at once: no burst line is written for bytes it never got.
        const int times = ::open(timesPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ReceiveRecorder recorder;
        Failures failures;
        ASSERT_TRUE(recorder.Start(::open("/dev/full", O_WRONLY | O_CLOEXEC), times, failures.Callback()));
        recorder.Append(Bytes(std::string(1000, 'x'), 0), 1000);
        recorder.NoteBurst(0, now);
        ASSERT_TRUE(testwait::WaitUntil([&] { return !failures.Seen().empty(); }));
        recorder.NoteBurst(1000, now);
        recorder.Finish();
        EXPECT_EQ(FileText(timesPath), "");
        EXPECT_EQ(recorder.TimesNotWritten(), 2u);
    }
    {
        // A companion file that fills up part way through a line ends with the line before it.
        const int times = ::open(timesPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit was{};
        ::getrlimit(RLIMIT_FSIZE, &was);
        const std::size_t line = ReceiveRecorder::BurstLine(0, now).size();
        const rlimit limit{static_cast<rlim_t>(3 * line + line / 2), was.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ReceiveRecorder recorder;
        Failures failures;
        ASSERT_TRUE(recorder.Start(::open("/dev/null", O_WRONLY | O_CLOEXEC), times, failures.Callback()));
        recorder.Append(Bytes(std::string(10, 'x'), 0), 10);
        for (std::uint64_t offset = 0; offset < 5; ++offset)
            recorder.NoteBurst(offset, now);
        recorder.Finish();
        ::setrlimit(RLIMIT_FSIZE, &was);
        EXPECT_EQ(FileText(timesPath), ReceiveRecorder::BurstLine(0, now) + ReceiveRecorder::BurstLine(1, now) + ReceiveRecorder::BurstLine(2, now));
        EXPECT_EQ(recorder.TimesNotWritten(), 2u);
        ASSERT_EQ(failures.Seen().size(), 1u);
        EXPECT_EQ(failures.Seen()[0], std::make_pair(EFBIG, true));
    }
    ::unlink(timesPath.c_str());
}

TEST(ReceiveRecorder, ASlowDiskSlowsTheReceiverInsteadOfLosingBytes)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    // A queue of a quarter of a megabyte against 4 MiB handed over at once, read slowly but steadily.
    ReceiveRecorder recorder(256 * 1024);
    Failures failures;
    Finishes finishes;
    ASSERT_TRUE(recorder.Start(pipeFds[1], -1, failures.Callback(), finishes.Callback()));
    std::string read;
    std::thread reader([&] { ReadPipe(pipeFds[0], read, true); });
    const std::string stream = Stream(4 * 1024 * 1024);
    for (std::size_t at = 0; at < stream.size(); at += 16384) {
        recorder.Append(Bytes(stream, at), 16384);
        recorder.WaitForRoom();
    }
    recorder.Stop();
    reader.join(); // the writer closes the pipe when it has finished
    EXPECT_TRUE(finishes.WaitOne());
    ::close(pipeFds[0]);
    EXPECT_TRUE(failures.Seen().empty());
    EXPECT_EQ(recorder.NotWritten(), 0u);
    EXPECT_EQ(recorder.Written(), stream.size());
    EXPECT_TRUE(read == stream) << "every byte in the file, in order";
}

TEST(ReceiveRecorder, AWriterThatGetsNowhereForASecondStopsAtTheQueueLimitWithAnExactBeginning)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    // The queue holds a quarter of a megabyte; nobody reads the pipe until everything was handed over,
    // so the writer gets nowhere and the waiting block gives up after kStallLimit.
    ReceiveRecorder recorder(256 * 1024);
    Failures failures;
    ASSERT_TRUE(recorder.Start(pipeFds[1], -1, failures.Callback()));
    const std::string stream = Stream(4 * 1024 * 1024);
    for (std::size_t at = 0; at < stream.size(); at += 16384) {
        recorder.Append(Bytes(stream, at), 16384);
        recorder.WaitForRoom();
    }
    ASSERT_TRUE(testwait::WaitUntil([&] { return !failures.Seen().empty(); }));
    EXPECT_EQ(failures.Seen()[0].first, ReceiveRecorder::kQueueOverflow);

    std::string read;
    std::thread reader([&] { ReadPipe(pipeFds[0], read, false); });
    recorder.Stop(); // the writer then closes the pipe's end, which ends the reader
    reader.join();
    EXPECT_TRUE(recorder.IsFinished());
    ::close(pipeFds[0]);
    EXPECT_GT(recorder.NotWritten(), 0u);
    EXPECT_EQ(recorder.Written() + recorder.NotWritten(), stream.size());
    EXPECT_EQ(read.size(), recorder.Written());
    EXPECT_TRUE(read == stream.substr(0, read.size())) << "what was written is exactly the beginning of the stream";
    EXPECT_EQ(failures.Seen().size(), 1u);
}

TEST(ReceivedPaneRecording, AReceiverBehindASlowPipeWaitsWithoutHoldingTheReceivedLock)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    // The pipe is read at about 1 MB/s until the test lets it go.
    std::atomic<bool> fast{false};
    std::string read;
    // Room for all of it: a reader stuck copying its string would pass for a stalled pipe.
    read.reserve(ReceiveRecorder::kDefaultQueueLimit + 16 * 1024 * 1024);
    std::thread reader([&] {
        std::vector<char> buffer(65536);
        for (;;) {
            const ssize_t n = ::read(pipeFds[0], buffer.data(), fast.load() ? buffer.size() : 10000);
            if (n > 0)
                read.append(buffer.data(), static_cast<std::size_t>(n));
            else if (n == 0)
                return;
            if (n < 0 || !fast.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    NullView view;
    PaneDelivery pane(view);
    Finishes finishes;
    Failures failures;
    ASSERT_TRUE(pane.StartRecording(pipeFds[1], -1, failures.Callback(), finishes.Callback()));
    const std::string stream = Stream(ReceiveRecorder::kDefaultQueueLimit + 16 * 1024 * 1024);
    std::atomic<std::size_t> delivered{0};
    std::thread receiver([&] {
        for (std::size_t at = 0; at < stream.size(); at += 16384) {
            pane.Deliver(Bytes(stream, at), 16384);
            delivered = at + 16384;
        }
    });
    // Held back once the queue is full: all but the chunk the writer is in the middle of is still
    // to write (counting deliveries alone, a slow receiver, as under a sanitizer, was still
    // appending flat out when the looks began).
    ASSERT_TRUE(testwait::WaitUntil([&] {
        return pane.Recorder().Taken() - pane.Recorder().Written() + (std::size_t{1} << 20)
            > ReceiveRecorder::kDefaultQueueLimit;
    }));
    // The receiver now waits for the pipe, not under the received lock: a Save finds the lock free
    // and takes its hold between two appends. (Waiting under the lock, it held it nearly always.)
    int free = 0;
    for (int i = 0; i < 15; ++i) {
        if (pane.ReceivedLock().try_lock()) {
            ++free;
            pane.Block().HoldToRead();
            pane.ReceivedLock().unlock();
            pane.Block().Release();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LT(delivered.load(), stream.size()) << "the receiver was held back by the pipe";
    EXPECT_GE(free, 10) << "the received lock was free at " << free << " of 15 looks";
    fast = true;
    receiver.join();
    pane.StopRecording();
    ASSERT_TRUE(finishes.WaitOne());
    reader.join();
    ::close(pipeFds[0]);
    EXPECT_TRUE(failures.Seen().empty()) << "reason " << (failures.Seen().empty() ? 0 : failures.Seen()[0].first);
    EXPECT_EQ(pane.Recorder().NotWritten(), 0u);
    EXPECT_TRUE(read == stream) << "every byte in the file, in order";
    EXPECT_EQ(pane.Total(), static_cast<std::int64_t>(stream.size()));
}

TEST(ReceivedPaneRecording, KeepsOnlyTheLastBytesWhileRecordingAndTheFileHasEverything)
{
    const std::string path = TempPath("record-keep");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    NullView view;
    PaneDelivery pane(view);
    const std::size_t keep = 1024 * 1024;
    pane.SetKeepLast(keep);
    const std::string stream = Stream(20 * 1024 * 1024);

    // Not recording: the pane keeps everything, whatever it was told to keep.
    pane.Deliver(Bytes(stream), 16384 * 100);
    EXPECT_EQ(pane.Block().Size(), 16384u * 100);
    pane.Clear();

    Finishes finishes;
    ASSERT_TRUE(pane.StartRecording(fd, -1, nullptr, finishes.Callback()));
    // Beyond what it keeps, the pane holds only bytes still on their way to the file.
    std::size_t largestBeyondTheFile = 0;
    for (std::size_t at = 0; at < stream.size(); at += 16000) {
        const auto n = static_cast<int>(std::min<std::size_t>(16000, stream.size() - at));
        const std::uint64_t writtenBefore = pane.Recorder().Written();
        pane.Deliver(Bytes(stream, at), n);
        const std::uint64_t unwritten = pane.Recorder().Taken() - writtenBefore;
        if (pane.Block().Size() > unwritten)
            largestBeyondTheFile = std::max<std::size_t>(largestBeyondTheFile, pane.Block().Size() - unwritten);
    }
    pane.StopRecording();
    ASSERT_TRUE(finishes.WaitOne());
    EXPECT_LE(largestBeyondTheFile, keep + keep / 8 + 16384) << "the pane must stay near what it keeps";
    EXPECT_GE(pane.Block().Size(), keep - 16384);
    EXPECT_EQ(pane.Total(), static_cast<std::int64_t>(stream.size()));
    // The pane holds the end of the stream, and its front counts from the start of the capture.
    const std::uint64_t front = pane.Block().FrontDropped();
    EXPECT_EQ(front + pane.Block().Size(), stream.size());
    std::string shown(pane.Block().Size(), '\0');
    pane.Block().Read(0, reinterpret_cast<unsigned char*>(shown.data()), shown.size());
    EXPECT_TRUE(shown == stream.substr(front));
    EXPECT_TRUE(FileText(path) == stream);

    // A clear starts a new capture at offset 0.
    pane.Clear();
    EXPECT_EQ(pane.Block().FrontDropped(), 0u);
    pane.Deliver(Bytes("abc"), 3);
    EXPECT_EQ(pane.Block().Size(), 3u);
    ::unlink(path.c_str());

    // A recording that cannot write stops the dropping: bytes not in the file stay in the pane.
    pane.Clear();
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    ASSERT_TRUE(pane.StartRecording(full, -1, nullptr));
    pane.Deliver(Bytes(stream), 16000);
    ASSERT_TRUE(testwait::WaitUntil([&] { return pane.Recorder().NotWritten() != 0; }));
    std::size_t delivered = 16000;
    for (; delivered < 8 * keep; delivered += 16000)
        pane.Deliver(Bytes(stream, delivered), 16000);
    pane.StopRecording();
    EXPECT_EQ(pane.Block().FrontDropped(), 0u);
    EXPECT_EQ(pane.Block().Size(), delivered);
}

TEST(ReceiveRecorder, StopReturnsWhileTheWriterStillWritesAndTheFileEndsWithExactlyWhatCameBefore)
{
    HeldPipe pipe;
    ASSERT_TRUE(pipe.Ok());
    ReceiveRecorder recorder;
    Failures failures;
    Finishes finishes;
    HeldPipe::OpenOnExit openOnExit{pipe};
    ASSERT_TRUE(recorder.Start(pipe.TakeWriteEnd(), -1, failures.Callback(), finishes.Callback()));
    const std::string stream = Stream(3 * 1024 * 1024 + 77);
    for (std::size_t at = 0; at < stream.size(); at += 10000)
        recorder.Append(Bytes(stream, at), std::min<std::size_t>(10000, stream.size() - at));

    // Nobody reads the pipe yet: the writer is stuck in a write, and Stop comes back all the same.
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.IsFinished());
    EXPECT_EQ(finishes.count.load(), 0);
    EXPECT_LT(recorder.Written(), stream.size());
    recorder.Append(Bytes("late"), 4);
    EXPECT_EQ(recorder.Taken(), stream.size()) << "nothing is taken after the stop";

    const std::string read = pipe.ReadAll();
    ASSERT_TRUE(finishes.WaitOne());
    EXPECT_TRUE(read == stream) << "every byte handed over before the stop, none after, in order";
    EXPECT_EQ(recorder.Written(), stream.size());
    EXPECT_EQ(recorder.NotWritten(), 0u);
    EXPECT_TRUE(failures.Seen().empty());
}

TEST(ReceiveRecorder, APipeThatStaysFullAfterTheStopIsCountedToldOnceAndTheRecordingStillFinishes)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    ReceiveRecorder recorder;
    Failures failures;
    Finishes finishes;
    ASSERT_TRUE(recorder.Start(pipeFds[1], -1, failures.Callback(), finishes.Callback()));
    const std::string stream = Stream(2 * 1024 * 1024);
    for (std::size_t at = 0; at < stream.size(); at += 16384)
        recorder.Append(Bytes(stream, at), 16384);
    // The queue has room, so nothing failed while recording: the writer gives up on the pipe only
    // after the stop, on its own.
    EXPECT_TRUE(failures.Seen().empty());
    recorder.Stop();
    ASSERT_TRUE(finishes.WaitOne());
    ASSERT_EQ(failures.Seen().size(), 1u);
    EXPECT_EQ(failures.Seen()[0], std::make_pair(EAGAIN, false));
    EXPECT_GT(recorder.NotWritten(), 0u);
    EXPECT_EQ(recorder.Written() + recorder.NotWritten(), stream.size());

    std::string read;
    ReadPipe(pipeFds[0], read, false); // the writer closed its end: this ends
    ::close(pipeFds[0]);
    EXPECT_EQ(read.size(), recorder.Written());
    EXPECT_TRUE(read == stream.substr(0, read.size())) << "the pipe got exactly the beginning of the stream";
}

TEST(ReceivedPaneRecording, KeepingOnlyTheLastBytesDropsNoByteBeforeItIsInTheFile)
{
    // The pipe takes nothing at first: the bytes wait in the recorder's queue, and a write that
    // failed now would lose every one of them the pane had let go.
    HeldPipe pipe;
    ASSERT_TRUE(pipe.Ok());
    NullView view;
    PaneDelivery pane(view);
    HeldPipe::OpenOnExit openOnExit{pipe};
    pane.SetKeepLast(1024 * 1024);
    const std::string stream = Stream(10 * 1024 * 1024);
    const std::size_t shutUntil = 8 * 1024 * 1024;
    Finishes finished;
    ASSERT_TRUE(pane.StartRecording(pipe.TakeWriteEnd(), -1, nullptr, finished.Callback()));
    std::size_t worst = 0;
    for (std::size_t at = 0; at < shutUntil; at += 16000) {
        pane.Deliver(Bytes(stream, at), static_cast<int>(std::min<std::size_t>(16000, shutUntil - at)));
        if (pane.Block().FrontDropped() > pane.Recorder().Written())
            worst = std::max<std::size_t>(worst, pane.Block().FrontDropped() - pane.Recorder().Written());
    }
    EXPECT_EQ(worst, 0u) << "bytes left the pane before they were in the file";

    // Once the file has taken them, the pane keeps only about the last MiB again.
    pipe.Open();
    ASSERT_TRUE(testwait::WaitUntil([&] { return pane.Recorder().Written() == shutUntil; }));
    for (std::size_t at = shutUntil; at < stream.size(); at += 16000)
        pane.Deliver(Bytes(stream, at), static_cast<int>(std::min<std::size_t>(16000, stream.size() - at)));
    EXPECT_GE(pane.Block().FrontDropped(), shutUntil - 1024 * 1024);
    pane.StopRecording();
    ASSERT_TRUE(finished.WaitOne());
    EXPECT_TRUE(pipe.ReadAll() == stream) << "the file has every byte, in order";
    EXPECT_EQ(pane.Block().FrontDropped() + pane.Block().Size(), stream.size());
}

TEST(ReceivedPaneRecording, ANewRecordingStartedWhileTheLastOneFinishesGetsOnlyItsOwnBytesAndNothingMoreIsDropped)
{
    HeldPipe pipe;
    ASSERT_TRUE(pipe.Ok());
    const std::string secondPath = TempPath("record-second");
    const int secondFd = ::open(secondPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(secondFd, 0);
    NullView view;
    PaneDelivery pane(view);
    HeldPipe::OpenOnExit openOnExit{pipe};
    const std::size_t keep = 1024 * 1024;
    pane.SetKeepLast(keep);
    const std::string stream = Stream(9 * 1024 * 1024);
    const std::size_t firstEnd = 4 * 1024 * 1024;
    const std::size_t secondBegin = 6 * 1024 * 1024;
    const auto deliver = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += 16000)
            pane.Deliver(Bytes(stream, at), static_cast<int>(std::min<std::size_t>(16000, to - at)));
    };

    Finishes first;
    ASSERT_TRUE(pane.StartRecording(pipe.TakeWriteEnd(), -1, nullptr, first.Callback()));
    deliver(0, firstEnd);
    EXPECT_LE(pane.Block().FrontDropped(), pane.Recorder().Written()) << "only bytes in the file leave the pane";
    pane.StopRecording();
    EXPECT_FALSE(pane.Recorder().IsFinished()) << "the pipe is shut: the first recording is still writing";

    // Stopped: the pane keeps everything that comes now, although the first recording still writes.
    const std::uint64_t dropped = pane.Block().FrontDropped();
    deliver(firstEnd, secondBegin);
    EXPECT_EQ(pane.Block().FrontDropped(), dropped);
    EXPECT_EQ(dropped + pane.Block().Size(), secondBegin);

    // A second recording right away, and stopped, while the first still cannot finish.
    Finishes second;
    ASSERT_TRUE(pane.StartRecording(secondFd, -1, nullptr, second.Callback()));
    deliver(secondBegin, stream.size());
    pane.StopRecording();
    ASSERT_TRUE(second.WaitOne());
    EXPECT_TRUE(FileText(secondPath) == stream.substr(secondBegin)) << "the second file has its own bytes only";
    EXPECT_EQ(first.count.load(), 0);

    const std::string read = pipe.ReadAll();
    ASSERT_TRUE(first.WaitOne());
    EXPECT_TRUE(read == stream.substr(0, firstEnd)) << "the first file ends exactly at its stop";
    pane.ReleaseFinishedRecordings();
    ::unlink(secondPath.c_str());
}
