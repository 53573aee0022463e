// Event waits, the stop of a wait, and the receiver's choice of what to hand over.

#include "serial/port/DeviceOpen.h"
#include "serial/port/SerialReceiver.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

using namespace serialstatus;

TEST(SerialEventWait, WaitedModeReportsReceiveOrTimesOut)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath(), 0, 0), kSuccess);
    EXPECT_EQ(port.WaitForEvent(50), kTimeout);
    EXPECT_EQ(port.TakeEvents(), 0u);
    pty.WriteMaster("x", 1);
    EXPECT_EQ(port.WaitForEvent(10000), kSuccess);
    EXPECT_EQ(port.TakeEvents(), EV_RXCHAR);
    EXPECT_EQ(port.TakeEvents(), 0u);
}

TEST(SerialEventWait, OnlyPureReceiveEventsHandOver)
{
    PtyPair pty;
    RecordingSink sink;
    CSerialReceiver receiver;
    receiver.AllocateReceiveBuffer();
    receiver.SetOwner(&sink);
    ASSERT_EQ(receiver.Open(pty.SlavePath(), 16384, 16384), kSuccess);
    pty.WriteMaster("abc", 3);
    ASSERT_EQ(receiver.WaitForEvent(10000), kSuccess);

    // A break or a line error, alone or with received characters, hands nothing over.
    receiver.OnSerialEvent(EV_RXCHAR | EV_BREAK, CE_BREAK);
    receiver.OnSerialEvent(EV_ERR, CE_FRAME);
    receiver.OnSerialEvent(EV_RXCHAR | EV_ERR, CE_OVERRUN);
    EXPECT_TRUE(sink.Bytes().empty());

    // The bytes stayed in the device and come with the next pure receive event.
    pty.WriteMaster("de", 2);
    for (int i = 0; i < 1000 && sink.Bytes().size() < 5; ++i) {
        receiver.WaitForEvent(10000);
        receiver.OnSerialEvent(EV_RXCHAR, 0);
    }
    const std::vector<unsigned char> bytes = sink.Bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcde");
    for (int size : sink.BlockSizes())
        EXPECT_GT(size, 0);
}

TEST(SerialEventWait, StopWinsOverAReadyDeviceAndTheBytesWaitForTheNextWait)
{
    using Wait = CSerialSession::EventWait;
    PtyPair pty;
    int fd = -1;
    ASSERT_EQ(OpenSerialDevice(pty.SlavePath(), fd), kSuccess);
    CSerialSession opening(fd);
    opening.SetEventMask(EV_RXCHAR);
    plat::Event stop(plat::Event::Kind::ManualReset);
    EXPECT_EQ(opening.WaitForEvents(stop.Descriptor(), CDeadline(50)), Wait::TimedOut);

    // Bytes at the device and a stop, seen by the same look: the stop is reported.
    pty.WriteMaster("z", 1);
    ASSERT_EQ(opening.WaitForEvents(-1, CDeadline(10000)), Wait::Events);
    stop.Set();
    EXPECT_EQ(opening.WaitForEvents(stop.Descriptor(), CDeadline(10000)), Wait::Stopped);

    // The bytes are still there for whoever waits next.
    ASSERT_EQ(opening.WaitForEvents(-1, CDeadline(10000)), Wait::Events);
    EXPECT_EQ(opening.TakeEvents(), EV_RXCHAR);
    char byte = 0;
    std::uint32_t read = 0;
    ASSERT_EQ(opening.Read(&byte, 1, read, CDeadline(0)), kSuccess);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(byte, 'z');

    // A mask without received characters leaves them unreported; Close ends any wait.
    pty.WriteMaster("q", 1);
    opening.SetEventMask(EV_BREAK);
    EXPECT_EQ(opening.WaitForEvents(-1, CDeadline(50)), Wait::TimedOut);
    opening.Close();
    EXPECT_EQ(opening.WaitForEvents(-1, CDeadline(CSerialPort::kInfinite)), Wait::Closed);
}
