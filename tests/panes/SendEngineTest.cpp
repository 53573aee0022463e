// The send engine on its own, without a window: real sockets on 127.0.0.1 and a real pty, the view
// recorded. These run under ThreadSanitizer too.
#include "panes/models/SendEngine.h"
#include "platform/byteblock/ByteBlock.h"
#include "serial/port/SerialPort.h"
#include "tests/links/LinkPeers.h"
#include "tests/panes/RawPty.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WithoutThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace linktest;
using testwait::WaitUntil;

namespace {

class RecordingSendView : public SendView {
public:
    void ShowSenderState(const std::string& text) override
    {
        std::lock_guard guard(m_lock);
        m_states.push_back(text);
    }
    void ShowSendButtons(bool sending) override
    {
        std::lock_guard guard(m_lock);
        m_sending = sending;
    }
    void ShowSendMessage(const std::string& text) override
    {
        std::lock_guard guard(m_lock);
        m_messages.push_back(text);
    }
    std::vector<std::string> States()
    {
        std::lock_guard guard(m_lock);
        return m_states;
    }
    std::vector<std::string> Messages()
    {
        std::lock_guard guard(m_lock);
        return m_messages;
    }
    bool Sending()
    {
        std::lock_guard guard(m_lock);
        return m_sending;
    }
    bool WaitState(const std::string& text)
    {
        return WaitUntil([&] {
            std::lock_guard guard(m_lock);
            return !m_states.empty() && m_states.back() == text;
        });
    }
    bool WaitMessage(const std::string& text)
    {
        return WaitUntil([&] {
            std::lock_guard guard(m_lock);
            return std::find(m_messages.begin(), m_messages.end(), text) != m_messages.end();
        });
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_states;
    std::vector<std::string> m_messages;
    bool m_sending = false;
};

// The links the sends use: sockets and a serial port the test sets up.
class TestLinks : public SendLinks {
public:
    plat::SocketRef TcpConnection() override { return tcp.Get(); }
    plat::SocketRef UdpSocket(std::string& failure) override
    {
        plat::SocketRef socket = udp.Get();
        if (!socket)
            failure = "socket() error";
        return socket;
    }
    std::uint32_t SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                              std::uint32_t waitMs) override
    {
        return serial.WriteWithin(data, size, written, waitMs);
    }

    plat::SocketSlot tcp;
    plat::SocketSlot udp;
    CSerialPort serial;
};

} // namespace

namespace {

class SendEngineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        engine.StopAll();
        engine.Quit();
        engine.JoinWorkers();
    }
    // A TCP connection: the engine sends on one end, the test reads the other.
    Fd ConnectPeer()
    {
        Fd listening = Listen();
        Fd ours = ConnectTcp(LocalPort(listening.Get()));
        Fd peer = Accept(listening.Get());
        links.tcp.Set(std::make_shared<plat::Socket>(ours.Release()));
        return peer;
    }
    // A UDP socket for the sends, aimed at a peer the test reads.
    Fd UdpPeer()
    {
        Fd peer = BindUdp();
        links.udp.Set(std::make_shared<plat::Socket>(BindUdp().Release()));
        engine.SetUdpDestination("127.0.0.1", LocalPort(peer.Get()));
        return peer;
    }
    // A snapshot of a block holding `bytes`; the block goes at once and the snapshot keeps its bytes.
    static plat::BlockSnapshot SnapshotOf(const std::vector<unsigned char>& bytes)
    {
        plat::ByteBlock block;
        plat::BlockSnapshot snapshot;
        EXPECT_EQ(block.Insert(0, bytes.data(), bytes.size()), plat::BlockStatus::Ok);
        EXPECT_EQ(block.TakeSnapshot(snapshot), plat::BlockStatus::Ok);
        return snapshot;
    }
    static plat::BlockSnapshot Bytes(std::size_t size, std::uint32_t seed = 1)
    {
        return SnapshotOf(Pattern(size, seed));
    }
    // The next datagram's bytes; empty after `timeoutMs` without one.
    static std::vector<unsigned char> Datagram(int fd, int timeoutMs = 10000)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        std::vector<unsigned char> bytes(65536);
        const ssize_t n = ::recv(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }
    void Periodic(std::int32_t periodMs)
    {
        engine.SetPeriodic(true);
        engine.SetPeriodMs(periodMs);
    }

    RecordingSendView view;
    TestLinks links;
    SendEngine engine{view, links};
};

} // namespace

TEST_F(SendEngineTest, ASingleTcpSendReachesThePeerWholeAndSaysHowMany)
{
    Fd peer = ConnectPeer();
    const auto bytes = Pattern(200000, 1);
    engine.Start(SendLink::Tcp, SnapshotOf(bytes));
    EXPECT_TRUE(ReceiveUpTo(peer.Get(), bytes.size()) == bytes);
    ASSERT_TRUE(view.WaitState("200000 bytes sent"));
    EXPECT_EQ(view.States().size(), 1u) << "a single send does not say Periodic Send";
    EXPECT_FALSE(view.Sending());
}

TEST_F(SendEngineTest, ATcpSendWithoutAConnectionSaysPeriodicStopped)
{
    engine.Start(SendLink::Tcp, Bytes(10));
    ASSERT_TRUE(view.WaitState("Periodic Stopped"));
    EXPECT_FALSE(view.Sending());
}

TEST_F(SendEngineTest, APeriodicTcpSendStoppedMidwayLeavesThePeerWholePasses)
{
    Fd peer = ConnectPeer();
    constexpr std::size_t kPass = 1000;
    Periodic(0);
    engine.Start(SendLink::Tcp, Bytes(kPass, 4));
    ASSERT_TRUE(view.WaitState("Periodic Send"));
    EXPECT_TRUE(view.Sending());
    ASSERT_EQ(ReceiveUpTo(peer.Get(), 5 * kPass).size(), 5 * kPass);
    engine.StopAll();
    // Read on: a send held up by full socket buffers sees the stop only when the peer reads.
    std::vector<unsigned char> rest;
    std::atomic<bool> closed{false};
    std::thread reader([&] {
        for (std::vector<unsigned char> more; !(more = ReceiveUpTo(peer.Get(), 1 << 20, 2000)).empty() || !closed;)
            rest.insert(rest.end(), more.begin(), more.end());
    });
    const bool stopped = view.WaitState("Periodic Stopped");
    const bool sending = view.Sending();
    links.tcp.Take()->Shutdown();
    closed = true;
    reader.join();
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(sending);
    EXPECT_EQ(rest.size() % kPass, 0u) << "a stop takes effect between passes";
}

TEST_F(SendEngineTest, UncheckingPeriodicEndsTheSendAfterItsPassAsASingleSend)
{
    Fd peer = ConnectPeer();
    Periodic(200);
    engine.Start(SendLink::Tcp, Bytes(100));
    ASSERT_EQ(ReceiveUpTo(peer.Get(), 100).size(), 100u);
    engine.SetPeriodic(false);
    ASSERT_TRUE(view.WaitState("100 bytes sent"));
    EXPECT_FALSE(view.Sending());
    links.tcp.Take()->Shutdown();
    EXPECT_LE(ReceiveUpTo(peer.Get(), 1000, 2000).size(), 100u) << "at most the pass after the pause";
}

TEST_F(SendEngineTest, UdpSendsDatagramsOfAtMost512BytesToTheDestination)
{
    Fd peer = UdpPeer();
    engine.Start(SendLink::Udp, Bytes(1300, 2));
    const auto all = Pattern(1300, 2);
    EXPECT_TRUE(Datagram(peer.Get()) == std::vector<unsigned char>(all.begin(), all.begin() + 512));
    EXPECT_TRUE(Datagram(peer.Get()) == std::vector<unsigned char>(all.begin() + 512, all.begin() + 1024));
    EXPECT_TRUE(Datagram(peer.Get()) == std::vector<unsigned char>(all.begin() + 1024, all.end()));
    ASSERT_TRUE(view.WaitState("1300 bytes sent"));
}

TEST_F(SendEngineTest, APeriodicUdpSendWithoutPauseRepeatsWholePassesInOrder)
{
    Fd peer = UdpPeer();
    Periodic(0);
    engine.Start(SendLink::Udp, Bytes(1300, 5));
    const auto all = Pattern(1300, 5);
    const std::vector<unsigned char> pieces[] = {{all.begin(), all.begin() + 512},
                                                 {all.begin() + 512, all.begin() + 1024},
                                                 {all.begin() + 1024, all.end()}};
    // The first datagrams are never the ones a full receive queue drops: 20 passes fit in it.
    for (int datagram = 0; datagram < 60; ++datagram)
        ASSERT_TRUE(Datagram(peer.Get()) == pieces[datagram % 3]) << "datagram " << datagram;
    engine.StopAll();
    EXPECT_TRUE(view.WaitState("Periodic Stopped"));
}

TEST_F(SendEngineTest, AUdpSendWithoutASocketShowsWhyAndSendsNothing)
{
    engine.Start(SendLink::Udp, Bytes(10));
    ASSERT_TRUE(view.WaitMessage("socket() error"));
    engine.JoinWorkers();
    EXPECT_TRUE(view.States().empty());
    EXPECT_FALSE(view.Sending());
}

TEST_F(SendEngineTest, AStopIsMeantOnlyForTheSendsRunningWhenItWasMade)
{
    Fd peer = UdpPeer();
    Periodic(300);
    engine.Start(SendLink::Udp, Bytes(10, 1));
    ASSERT_EQ(Datagram(peer.Get()).size(), 10u);
    engine.StopAll();
    engine.SetPeriodic(false);
    engine.Start(SendLink::Udp, Bytes(20, 2));
    EXPECT_TRUE(Datagram(peer.Get()) == Pattern(20, 2));
    ASSERT_TRUE(view.WaitState("20 bytes sent"));
    // The first send ends when its pause is over, without sending again.
    EXPECT_TRUE(Datagram(peer.Get(), 1500).empty());
}

TEST_F(SendEngineTest, ClosingEndsALongPauseAtOnce)
{
    Fd peer = UdpPeer();
    Periodic(600000);
    engine.Start(SendLink::Udp, Bytes(10));
    ASSERT_EQ(Datagram(peer.Get()).size(), 10u);
    const auto start = std::chrono::steady_clock::now();
    engine.Quit();
    engine.JoinWorkers();
    // Far below the ten-minute pause, however slow the machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(view.States().back(), "Periodic Stopped");
}

TEST_F(SendEngineTest, SendsStartedAndStoppedOverAndOverLeaveNoThreadBehind)
{
    Fd peer = UdpPeer();
    const int threadsBefore = ThreadCount();
    Periodic(0);
    for (int i = 0; i < 100; ++i) {
        engine.Start(SendLink::Udp, Bytes(600));
        if (i % 2 == 0)
            engine.StopAll();
    }
    engine.StopAll();
    ASSERT_TRUE(view.WaitState("Periodic Stopped"));
    engine.JoinWorkers();
    EXPECT_LE(ThreadCount(), threadsBefore);
    EXPECT_FALSE(view.Sending());
}

class SerialSendEngineTest : public SendEngineTest {
protected:
    void SetUp() override
    {
        RawPty pty;
        ASSERT_TRUE(pty.Open());
        m_master = std::move(pty.master);
        m_slave = std::move(pty.slave);
        const std::string name = pty.name;
        ASSERT_EQ(links.serial.Open(name, 0, 0), 0u);
    }
    void TearDown() override
    {
        SendEngineTest::TearDown();
        links.serial.Close();
    }
    std::vector<unsigned char> ReadMaster(std::size_t size)
    {
        std::vector<unsigned char> out;
        std::vector<unsigned char> chunk(65536);
        pollfd p{m_master.Get(), POLLIN, 0};
        while (out.size() < size && ::poll(&p, 1, 10000) > 0) {
            const ssize_t n = ::read(m_master.Get(), chunk.data(), std::min(chunk.size(), size - out.size()));
            if (n <= 0)
                break;
            out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        }
        return out;
    }
    // Reads and drops what reaches the pty until `ended`, so that a send's last write finds room.
    std::thread DrainMaster(const std::atomic<bool>& ended)
    {
        return std::thread([this, &ended] {
            std::vector<unsigned char> chunk(65536);
            pollfd p{m_master.Get(), POLLIN, 0};
            while (!ended.load()) {
                if (::poll(&p, 1, 50) > 0 && ::read(m_master.Get(), chunk.data(), chunk.size()) <= 0)
                    break;
            }
        });
    }
    Fd m_master;
    Fd m_slave;
};

TEST_F(SerialSendEngineTest, ASingleSerialSendWritesEveryByteAndLeavesTheStateAlone)
{
    const auto bytes = Pattern(5000, 8);
    engine.Start(SendLink::Serial, SnapshotOf(bytes));
    EXPECT_TRUE(ReadMaster(bytes.size()) == bytes);
    engine.JoinWorkers();
    EXPECT_FALSE(view.Sending());
    EXPECT_TRUE(view.States().empty());
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(SerialSendEngineTest, APeriodicSerialSendStopsWithPeriodicStopped)
{
    Periodic(0);
    engine.Start(SendLink::Serial, Bytes(3000));
    ASSERT_TRUE(view.WaitState("Periodic Send"));
    ASSERT_EQ(ReadMaster(9000).size(), 9000u);
    engine.StopAll();
    // The pty is read until the send has ended, so that its last write finds room.
    std::atomic<bool> ended{false};
    std::thread drain = DrainMaster(ended);
    EXPECT_TRUE(view.WaitState("Periodic Stopped"));
    ended = true;
    drain.join();
}

TEST_F(SerialSendEngineTest, ASendToAPortThatIsNotOpenSaysSo)
{
    links.serial.Close();
    engine.Start(SendLink::Serial, Bytes(100));
    ASSERT_TRUE(view.WaitMessage("Serial Port is not opened !"));
    engine.JoinWorkers();
    EXPECT_FALSE(view.Sending());
    EXPECT_TRUE(view.States().empty());
}

TEST_F(SerialSendEngineTest, StopEndsASendTheDeviceHoldsUpAndOnlyWhatItTookGoesOut)
{
    // Nobody ever reads the pty: the send waits for room part way through its pass.
    const auto bytes = Pattern(1 << 20, 8);
    engine.Start(SendLink::Serial, SnapshotOf(bytes));
    EXPECT_TRUE(WaitUntil([&] { return view.Sending(); })) << "Send disabled and Stop enabled while any send runs";
    engine.StopAll();
    EXPECT_TRUE(view.WaitState("Send Stopped"));
    EXPECT_FALSE(view.Sending());
    EXPECT_EQ(view.States(), std::vector<std::string>{"Send Stopped"}) << "a single send never says Periodic Send";
    // The line got an exact beginning of the block, and nothing follows the Stop.
    std::vector<unsigned char> got(bytes.size());
    std::size_t size = 0;
    pollfd p{m_master.Get(), POLLIN, 0};
    while (size < got.size() && ::poll(&p, 1, 300) > 0) {
        const ssize_t n = ::read(m_master.Get(), got.data() + size, got.size() - size);
        if (n <= 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    ASSERT_GT(size, 0u);
    ASSERT_LT(size, bytes.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(size), bytes.begin()));
}

TEST_F(SerialSendEngineTest, ASendToADeviceThatHungUpSaysThePortIsNotOpen)
{
    // The other end of the line goes away: the device hangs up, and every write fails at once.
    m_master = Fd();
    m_slave = Fd();
    engine.Start(SendLink::Serial, Bytes(5000));
    EXPECT_TRUE(view.WaitMessage("Serial Port is not opened !"));
    engine.StopAll();
    engine.JoinWorkers();
    EXPECT_FALSE(view.Sending());
    EXPECT_EQ(view.Messages().size(), 1u);
}

TEST_F(SendEngineTest, ASendWhoseThreadCannotBeMadeIsRefusedAndNothingElseEnds)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    Fd peer = UdpPeer();
    const auto bytes = Bytes(10);
    const int status = testwait::InChildWithoutRoomForThreads([&] {
        const bool refused = !engine.Start(SendLink::Udp, bytes);
        engine.StopAll();   // nothing of the refused send is left to stop
        return refused && !view.Sending() && view.States().empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "100: an exception escaped instead of refusing the send";
}
