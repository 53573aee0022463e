// The event thread: receiving through real pairs, starting and stopping, closing under it.

#include "platform/sync/Event.h"
#include "serial/port/SerialReceiver.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace serialstatus;
using Clock = std::chrono::steady_clock;

namespace {

// Opens the receiver on a path the way the window does.
void OpenForLink(CSerialReceiver& receiver, RecordingSink& sink, const std::string& path)
{
    receiver.AllocateReceiveBuffer();
    receiver.SetOwner(&sink);
    ASSERT_EQ(receiver.Open(path, 16384, 16384), kSuccess);
    ASSERT_EQ(receiver.SetHandshaking(HandshakingNone), kSuccess);
    ASSERT_EQ(receiver.SetLineSettings(115200, 8, 0, 0), kSuccess);
    ASSERT_EQ(receiver.StartEventThread(), kSuccess);
}

// A joined thread can still be listed in /proc for a moment after the join returns.
bool ThreadsBackTo(int count)
{
    return testwait::WaitUntil([count] { return ThreadCount() == count; });
}

} // namespace

TEST(SerialReceive, EightMebibytesThroughNullModemArriveExactInBoundedBlocks)
{
    SocatPair pair;
    RecordingSink sink;
    CSerialReceiver receiver;
    OpenForLink(receiver, sink, pair.EndB());
    CSerialPort sender;
    ASSERT_EQ(sender.Open(pair.EndA(), 16384, 16384), kSuccess);

    // Far more than the pair buffers, so the receiver drains it over many wakes of many reads.
    const std::vector<unsigned char> data = PatternBytes(8 << 20, 7);
    // Chunks of 2048 as the send engine writes them.
    for (size_t offset = 0; offset < data.size(); offset += 2048) {
        std::uint32_t written = 0;
        ASSERT_EQ(sender.Write(data.data() + offset, 2048, &written, CSerialPort::kInfinite), kSuccess);
        ASSERT_EQ(written, 2048u);
    }
    ASSERT_TRUE(sink.WaitForBytes(data.size()));
    EXPECT_EQ(receiver.Close(), kSuccess);
    EXPECT_TRUE(sink.Bytes() == data);
    const std::vector<int> blocks = sink.BlockSizes();
    EXPECT_GT(*std::min_element(blocks.begin(), blocks.end()), 0);
    EXPECT_LE(*std::max_element(blocks.begin(), blocks.end()), 16384);
}

TEST(SerialReceive, StartTwiceStartsOneThreadAndRestartReceives)
{
    PtyPair pty;
    RecordingSink sink;
    CSerialReceiver receiver;
    const int before = ThreadCount();
    OpenForLink(receiver, sink, pty.SlavePath());
    EXPECT_EQ(receiver.StartEventThread(), kSuccess);
    EXPECT_EQ(ThreadCount(), before + 1);

    EXPECT_EQ(receiver.StopEventThread(1000), kSuccess);
    EXPECT_EQ(receiver.StopEventThread(1000), kSuccess);
    EXPECT_TRUE(ThreadsBackTo(before));

    EXPECT_EQ(receiver.StartEventThread(), kSuccess);
    EXPECT_EQ(receiver.StartEventThread(), kSuccess);
    EXPECT_EQ(ThreadCount(), before + 1);
    pty.WriteMaster("again", 5);
    ASSERT_TRUE(sink.WaitForBytes(5));
    receiver.Close();
    EXPECT_TRUE(ThreadsBackTo(before));
}

TEST(SerialReceive, CloseWhileTheThreadWaitsEndsItInTime)
{
    PtyPair pty;
    RecordingSink sink;
    CSerialReceiver receiver;
    const int before = ThreadCount();
    OpenForLink(receiver, sink, pty.SlavePath());
    pty.WriteMaster("z", 1);
    ASSERT_TRUE(sink.WaitForBytes(1)); // the thread is back in its wait

    const auto start = Clock::now();
    EXPECT_EQ(receiver.Close(), kSuccess);
    const auto took = Clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(100));
    // Ended within the wait, not left behind.
    EXPECT_EQ(ThreadCount(), before);
    EXPECT_FALSE(receiver.IsOpen());
}

TEST(SerialReceive, CloseDuringBlockedWriteReturnsAtOnce)
{
    PtyPair pty;
    RecordingSink sink;
    CSerialReceiver port;
    OpenForLink(port, sink, pty.SlavePath());
    // Nobody reads the master, so the write blocks once the pair is full.
    std::vector<unsigned char> data(1 << 20, 0xAA);
    std::uint32_t status = 0xFFFFFFFF, written = 0;
    std::thread writer([&] {
        status = port.Write(data.data(), static_cast<std::uint32_t>(data.size()), &written, CSerialPort::kInfinite);
    });
    // Wait until the write is stuck: the pair stops taking bytes.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = Clock::now();
    EXPECT_EQ(port.Close(), kSuccess);
    writer.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(status, kNotOpen);
    EXPECT_LT(written, data.size());
}

TEST(SerialReceive, AWriteTheDeviceHoldsUpLeavesThePortFreeForReceiving)
{
    PtyPair pty;
    RecordingSink sink;
    CSerialReceiver port;
    OpenForLink(port, sink, pty.SlavePath());
    // Nobody reads the master: fill the pair, then a write that must wait for room.
    const std::vector<unsigned char> data = PatternBytes(1 << 20, 9);
    std::uint32_t filled = 0;
    ASSERT_EQ(port.WriteWithin(data.data(), static_cast<std::uint32_t>(data.size()), &filled, 200), kTimeout);
    std::uint32_t status = 0xFFFFFFFF, written = 0;
    std::thread writer([&] {
        status = port.Write(data.data() + filled, static_cast<std::uint32_t>(data.size()) - filled, &written,
                            CSerialPort::kInfinite);
    });
    pty.WriteMaster("in", 2);
    EXPECT_TRUE(sink.WaitForBytes(2)) << "received while the write waits for room";

    std::string out;
    while (out.size() < data.size()) {
        const std::string piece = pty.ReadMaster(data.size() - out.size(), 10000);
        if (piece.empty())
            break;
        out += piece;
    }
    writer.join();
    EXPECT_EQ(status, kSuccess);
    EXPECT_EQ(filled + written, data.size());
    EXPECT_TRUE(out.size() == data.size() && std::equal(data.begin(), data.end(), out.begin(),
                                                        [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
}

TEST(SerialReceive, AReceiverWaitingForItsSinkLeavesThePortFreeForAWrite)
{
    // A sink behind (a recording's disk): its receiver waits after every delivery until let go.
    struct SlowSink : RecordingSink {
        void WaitForRoom() override
        {
            waiting.Set();
            go.Wait();
        }
        plat::Event waiting{plat::Event::Kind::ManualReset};
        plat::Event go{plat::Event::Kind::ManualReset};
    };
    PtyPair pty;
    SlowSink sink;
    CSerialReceiver port;
    OpenForLink(port, sink, pty.SlavePath());
    pty.WriteMaster("in", 2);
    ASSERT_TRUE(sink.waiting.Wait(20000));

    const char out[] = "out";
    std::uint32_t written = 0;
    EXPECT_EQ(port.Write(out, 3, &written, 2000), kSuccess) << "the write does not wait for the sink";
    EXPECT_EQ(pty.ReadMaster(3, 2000), "out");
    sink.go.Set();
    EXPECT_TRUE(sink.WaitForBytes(2));
}

TEST(SerialReceive, HangUpEndsThreadWithoutSpinningAndPortStaysOpen)
{
    RecordingSink sink;
    CSerialReceiver receiver;
    const int before = ThreadCount();
    {
        PtyPair pty;
        OpenForLink(receiver, sink, pty.SlavePath());
        pty.WriteMaster("bye", 3);
        ASSERT_TRUE(sink.WaitForBytes(3));
    } // the other side closes
    for (int i = 0; i < 500 && ThreadCount() != before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ThreadCount(), before);

    // A spinning thread would burn the whole interval; allow a tenth of it.
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.05);

    EXPECT_TRUE(receiver.IsOpen());
    PtyPair next;
    EXPECT_EQ(receiver.Open(next.SlavePath(), 16384, 16384), kAlreadyOpen);
    EXPECT_EQ(receiver.Close(), kSuccess);
    OpenForLink(receiver, sink, next.SlavePath());
    next.WriteMaster("new", 3);
    ASSERT_TRUE(sink.WaitForBytes(6));
    const std::vector<unsigned char> bytes = sink.Bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "byenew");
}
