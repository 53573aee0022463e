// A thread that Close stopped waiting for, because its hand-off was slow, must stay with the
// opening it was started for.

#include "serial/port/SerialReceiver.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>

using namespace serialstatus;
using Clock = std::chrono::steady_clock;

namespace {

// Holds the first hand-off until released, checking its bytes again after the hold.
class SlowSink : public RecordingSink {
public:
    void Release() { m_release.Set(); }
    bool WaitEntered() { return m_entered.Wait(60000); }
    std::string HeldBytesAfterRelease()
    {
        std::lock_guard lock(m_checkLock);
        return m_heldAfter;
    }

protected:
    void OnAppend(const unsigned char* data, int size) override
    {
        if (m_first.exchange(false)) {
            const std::string before(reinterpret_cast<const char*>(data), size);
            m_entered.Set();
            m_release.Wait();
            std::lock_guard lock(m_checkLock);
            // Still the bytes it was handed: nobody reused the buffer meanwhile.
            m_heldAfter = std::string(reinterpret_cast<const char*>(data), size) == before ? before : "changed";
        }
    }

private:
    std::atomic<bool> m_first{true};
    plat::Event m_entered{plat::Event::Kind::ManualReset};
    plat::Event m_release{plat::Event::Kind::ManualReset};
    std::mutex m_checkLock;
    std::string m_heldAfter;
};

} // namespace

TEST(SerialStaleThread, SlowHandOffNeverReachesTheNextOpening)
{
    PtyPair oldPty, newPty;
    SlowSink sink;
    CSerialReceiver receiver;
    receiver.AllocateReceiveBuffer();
    receiver.SetOwner(&sink);
    ASSERT_EQ(receiver.Open(oldPty.SlavePath(), 16384, 16384), kSuccess);
    ASSERT_EQ(receiver.StartEventThread(), kSuccess);
    oldPty.WriteMaster("old", 3);
    ASSERT_TRUE(sink.WaitEntered());

    // Close gives up on the held thread after its wait and still closes the device.
    const auto start = Clock::now();
    EXPECT_EQ(receiver.Close(), kSuccess);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(receiver.IsOpen());
    CSerialPort other;
    EXPECT_EQ(other.Open(oldPty.SlavePath(), 0, 0), kSuccess);
    other.Close();

    // A new opening with a new buffer while the old thread still holds the old one.
    receiver.AllocateReceiveBuffer();
    ASSERT_EQ(receiver.Open(newPty.SlavePath(), 16384, 16384), kSuccess);
    ASSERT_EQ(receiver.StartEventThread(), kSuccess);
    const std::vector<unsigned char> fresh = PatternBytes(50000, 3);
    std::thread writer([&] { newPty.WriteMaster(fresh.data(), fresh.size()); });
    oldPty.WriteMaster("late", 4); // no one may read this any more
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sink.Release();
    writer.join();
    ASSERT_TRUE(sink.WaitForBytes(3 + fresh.size()));
    EXPECT_EQ(sink.HeldBytesAfterRelease(), "old");

    // The new opening's bytes all came once, in order, through the new thread only.
    const std::vector<unsigned char> bytes = sink.Bytes();
    const std::vector<std::thread::id> threads = sink.Threads();
    ASSERT_EQ(bytes.size(), 3 + fresh.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "old");
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), bytes.begin() + 3));
    for (size_t i = 1; i < threads.size(); ++i)
        EXPECT_NE(threads[i], threads[0]) << "block " << i;
    receiver.Close();
}
