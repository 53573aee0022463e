#include "SendFixture.h"
#include "tests/panes/RawPty.h"

#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace linktest;

namespace {

// Reads the pty master until `size` bytes came or nothing came for `quietMs`.
std::vector<unsigned char> ReadUpTo(int fd, std::size_t size, int quietMs = 10000)
{
    std::vector<unsigned char> out;
    std::vector<unsigned char> chunk(65536);
    pollfd p{fd, POLLIN, 0};
    while (out.size() < size && ::poll(&p, 1, quietMs) > 0) {
        const ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), size - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

} // namespace

class SerialSendTest : public SendFixture {
protected:
    // RS-232 chosen and the port opened on the slave of a pty pair; the test holds the master.
    void OpenPty()
    {
        RawPty pty;
        ASSERT_TRUE(pty.Open());
        m_master = std::move(pty.master);
        m_slave = std::move(pty.slave);
        const std::string name = pty.name;
        Click(IDC_MODE_RS232);
        ASSERT_EQ(dlg->Owners().serial.Port().Open(name, 0, 0), 0u);
    }
    Fd m_master;
    Fd m_slave;
};

TEST_F(SerialSendTest, FiveThousandBytesArriveInOrderAndTheStateStaysAsItWas)
{
    OpenPty();
    const auto data = Pattern(5000, 8);
    FillSending(data);
    Click(IDC_SEND);
    const auto got = ReadUpTo(m_master.Get(), data.size());
    EXPECT_TRUE(got == data);
    ASSERT_TRUE(WaitFor([&] { return Enabled(IDC_SEND); }));
    EXPECT_EQ(SenderState(), QStringLiteral("No Running")) << "a single serial send writes no text";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SerialSendTest, StopDuringAPeriodicSendEndsAfterTheWriteInProgress)
{
    OpenPty();
    const auto pass = Pattern(300000, 9);
    FillSending(pass);
    CheckPeriodic(QStringLiteral("0"));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
    // Nobody reads yet: the send waits for room in the middle of its first pass.
    Click(IDC_SEND_STOP);
    std::vector<unsigned char> got;
    std::thread reader([&] { got = ReadUpTo(m_master.Get(), std::size_t(1) << 30, 1500); });
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    reader.join();
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_LT(got.size(), pass.size()) << "the pass ended at the stop, not at its end";
    EXPECT_EQ(got.size() % 2048, 0u) << "whole writes of 2048 bytes";
    EXPECT_TRUE(std::equal(got.begin(), got.end(), pass.begin()));
}

TEST_F(SerialSendTest, ClosingTheLinkDuringASingleSendGivesSendStopped)
{
    OpenPty();
    FillSending(Pattern(300000, 2));
    Click(IDC_SEND);
    // The send waits for room; turning RS-232 off stops it and closes the port under it.
    WaitFor([] { return false; }, 200);
    Click(IDC_MODE_RS232);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Send Stopped")));
    EXPECT_TRUE(Enabled(IDC_SEND));
}

TEST_F(SerialSendTest, ASendWithThePortClosedShowsTheMessage)
{
    Click(IDC_MODE_RS232);
    FillSending(Pattern(10));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("Serial Port is not opened !"));
    EXPECT_FALSE(Boxes()[0].onWindowThread);
    ASSERT_TRUE(WaitFor([&] { return Enabled(IDC_SEND); }));
}
