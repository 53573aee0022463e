// Event waits in both modes, and the receiver's choice of what to hand over.

#include "serial/port/SerialReceiver.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

using namespace serialstatus;

TEST(SerialEventWait, WaitedModeReportsReceiveOrTimesOut)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath(), 0, 0), kSuccess);
    EXPECT_EQ(port.WaitForEvent(nullptr, 50), kTimeout);
    EXPECT_EQ(port.TakeEvents(), 0u);
    pty.WriteMaster("x", 1);
    EXPECT_EQ(port.WaitForEvent(nullptr, 10000), kSuccess);
    EXPECT_EQ(port.TakeEvents(), EV_RXCHAR);
    EXPECT_EQ(port.TakeEvents(), 0u);
}

TEST(SerialEventWait, CallerWaitsAndSettingTheMaskCompletesTheWait)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath(), 0, 0), kSuccess);
    plat::Event event(plat::Event::Kind::ManualReset);
    CSerialCompletion record(event);
    plat::Event stop(plat::Event::Kind::ManualReset);

    ASSERT_EQ(port.WaitForEvent(&record, CSerialPort::kInfinite), kSuccess);
    EXPECT_EQ(record.Wait(&stop, 50), -1);
    pty.WriteMaster("y", 1);
    EXPECT_EQ(record.Wait(&stop, 10000), 1);
    EXPECT_EQ(port.TakeEvents(), EV_RXCHAR);

    // Still readable, so the next wait completes at once; drain first to see it pend.
    char byte;
    std::uint32_t read = 0;
    ASSERT_EQ(port.Read(&byte, 1, &read, nullptr, 0), kSuccess);
    ASSERT_EQ(port.WaitForEvent(&record, CSerialPort::kInfinite), kSuccess);
    EXPECT_FALSE(event.IsSet());
    ASSERT_EQ(port.SetEventMask(port.GetEventMask()), kSuccess);
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(port.TakeEvents(), 0u);

    // The stop event wins when both are signalled.
    stop.Set();
    EXPECT_EQ(record.Wait(&stop, 0), 0);
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
    ASSERT_EQ(receiver.WaitForEvent(nullptr, 10000), kSuccess);

    // A break or a line error, alone or with received characters, hands nothing over.
    receiver.OnSerialEvent(EV_RXCHAR | EV_BREAK, CE_BREAK);
    receiver.OnSerialEvent(EV_ERR, CE_FRAME);
    receiver.OnSerialEvent(EV_RXCHAR | EV_ERR, CE_OVERRUN);
    EXPECT_TRUE(sink.Bytes().empty());

    // The bytes stayed in the device and come with the next pure receive event.
    pty.WriteMaster("de", 2);
    for (int i = 0; i < 1000 && sink.Bytes().size() < 5; ++i) {
        receiver.WaitForEvent(nullptr, 10000);
        receiver.OnSerialEvent(EV_RXCHAR, 0);
    }
    const std::vector<unsigned char> bytes = sink.Bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcde");
    for (int size : sink.BlockSizes())
        EXPECT_GT(size, 0);
}

TEST(SerialEventWait, StopWinsOverAReadyDeviceAndTheCompletionWaitsForTheNextLook)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath(), 0, 0), kSuccess);
    plat::Event event(plat::Event::Kind::ManualReset);
    CSerialCompletion record(event);
    plat::Event stop(plat::Event::Kind::ManualReset);
    ASSERT_EQ(port.WaitForEvent(&record, CSerialPort::kInfinite), kSuccess);
    EXPECT_FALSE(event.IsSet());

    // Bytes at the device and a stop, seen by the same look: the stop is reported.
    pty.WriteMaster("z", 1);
    stop.Set();
    EXPECT_EQ(record.Wait(&stop, 10000), 0);

    // The bytes still complete the pending wait, and the thread that looks again reads them.
    EXPECT_EQ(record.Wait(nullptr, 10000), 1);
    EXPECT_EQ(port.TakeEvents(), EV_RXCHAR);
    char byte = 0;
    std::uint32_t read = 0;
    ASSERT_EQ(port.Read(&byte, 1, &read, nullptr, 0), kSuccess);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(byte, 'z');
}
