// A device that goes away while the port is open: the event thread reports the loss of that
// opening, once, and the port opens again when the device is back.

#include "serial/port/SerialReceiver.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace serialstatus;

TEST(SerialUnplug, HangUpReportsTheLostOpeningAndTheBytesStay)
{
    auto pair = std::make_unique<SocatPair>();
    RecordingSink sink;
    CSerialReceiver port;
    std::promise<std::uint64_t> lost;
    std::atomic<int> reports{0};
    port.SetOwner(&sink);
    port.SetDeviceLostHandler([&](std::uint64_t opening) {
        if (reports.fetch_add(1) == 0)
            lost.set_value(opening);
    });
    ASSERT_EQ(port.Open(pair->EndA(), 0, 0), kSuccess);
    ASSERT_EQ(port.StartEventThread(), kSuccess);

    {
        CSerialPort far;
        ASSERT_EQ(far.Open(pair->EndB(), 0, 0), kSuccess);
        std::uint32_t written = 0;
        ASSERT_EQ(far.Write("abc", 3, &written, CSerialPort::kInfinite), kSuccess);
        ASSERT_TRUE(sink.WaitForBytes(3));
    }
    pair->Kill();
    const std::uint64_t opening = lost.get_future().get();
    EXPECT_TRUE(port.IsCurrentOpening(opening));
    EXPECT_EQ(sink.Bytes(), (std::vector<unsigned char>{'a', 'b', 'c'}));

    // Closed as the window does on the report; a new device at the same place opens again.
    port.Close();
    EXPECT_FALSE(port.IsCurrentOpening(opening));
    pair = std::make_unique<SocatPair>();
    ASSERT_EQ(port.Open(pair->EndA(), 0, 0), kSuccess);
    ASSERT_EQ(port.StartEventThread(), kSuccess);
    EXPECT_FALSE(port.IsCurrentOpening(opening));
    EXPECT_EQ(reports.load(), 1);
}

TEST(SerialUnplug, CloseIsNoLoss)
{
    SocatPair pair;
    CSerialReceiver port;
    std::atomic<int> reports{0};
    port.SetDeviceLostHandler([&](std::uint64_t) { ++reports; });
    ASSERT_EQ(port.Open(pair.EndA(), 0, 0), kSuccess);
    ASSERT_EQ(port.StartEventThread(), kSuccess);
    port.Close();
    pair.Kill(); // after Close: no thread is left to see the hang-up
    port.EndEventThreads();
    EXPECT_EQ(reports.load(), 0);
}
