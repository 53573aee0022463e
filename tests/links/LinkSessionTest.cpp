// The link session on its own, without a window: real sockets on 127.0.0.1, the view recorded.
// These run under ThreadSanitizer too.
#include "links/LinkSession.h"
#include "panes/models/ReceivedPane.h"
#include "tests/links/LinkPeers.h"
#include "tests/links/SessionRecorders.h"
#include "tests/support/WithoutThreads.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using namespace linktest;
using testwait::WaitUntil;

namespace {

void SendDatagram(int fd, std::uint16_t port, const void* data, std::size_t size)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

class LinkSessionTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        session.TearDown();
        session.JoinWorkers();
    }
    // Listens on a port the system chooses and returns it.
    std::uint16_t Listen()
    {
        session.StartTcpServer(0);
        EXPECT_TRUE(view.WaitState("Listening"));
        return view.LocalPort();
    }

    RecordingLinkView view;
    KeepingSink sink;
    LinkSession session{view, sink};
};

} // namespace

TEST_F(LinkSessionTest, ClientReceivesEverythingAndEndsWhenTheServerCloses)
{
    Fd listening = linktest::Listen();
    session.StartTcpClient(LocalPort(listening.Get()), "127.0.0.1");
    Fd server = Accept(listening.Get());
    ASSERT_TRUE(server);
    ASSERT_TRUE(view.WaitState("Connected"));
    EXPECT_FALSE(view.StartEnabled());
    const auto data = Pattern(300000, 3);
    ASSERT_TRUE(SendAll(server.Get(), data.data(), data.size()));
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == data.size(); }));
    server = Fd();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    EXPECT_EQ(view.States(), (std::vector<std::string>{"Connecting", "Connected", "Disconnected"}));
    EXPECT_TRUE(sink.Bytes() == data);
    EXPECT_TRUE(view.StartEnabled());
    for (int size : sink.BlockSizes())
        EXPECT_LE(size, 16384);
    EXPECT_EQ(session.TcpConnection(), nullptr);
}

TEST_F(LinkSessionTest, ClientWithoutAServerSaysSoOnce)
{
    session.StartTcpClient(FreeTcpPort(), "127.0.0.1");
    ASSERT_TRUE(view.WaitMessage("connect() error ! Server does not exist !"));
    EXPECT_EQ(view.States(), (std::vector<std::string>{"Connecting", "Disconnected"}));
    EXPECT_EQ(view.Messages().size(), 1u);
}

TEST_F(LinkSessionTest, ServerOnASystemChosenPortServesOneClientAndClosesThePortAfter)
{
    const std::uint16_t port = Listen();
    ASSERT_NE(port, 0) << "the port the system chose is told";
    Fd client = ConnectTcp(port);
    ASSERT_TRUE(client);
    ASSERT_TRUE(view.WaitState("Connected"));
    const auto data = Pattern(70000, 9);
    ASSERT_TRUE(SendAll(client.Get(), data.data(), data.size()));
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == data.size(); }));
    client = Fd();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    EXPECT_TRUE(sink.Bytes() == data);
    EXPECT_TRUE(Refused(port));
    EXPECT_EQ(view.States(), (std::vector<std::string>{"Listening", "Connected", "Disconnected"}));
}

TEST_F(LinkSessionTest, TeardownWhileListeningOrServingEndsTheWorkerAndFreesThePort)
{
    const std::uint16_t port = Listen();
    session.TearDown();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    EXPECT_TRUE(Refused(port));

    view.ForgetStates();
    const std::uint16_t again = Listen();
    Fd client = ConnectTcp(again);
    ASSERT_TRUE(view.WaitState("Connected"));
    session.TearDown();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    EXPECT_TRUE(PeerClosed(client.Get()));
    EXPECT_EQ(session.LinkPort(), 0);
}

TEST_F(LinkSessionTest, APortInUseGivesBindErrorAndLeavesNoSocket)
{
    Fd other = linktest::Listen();
    session.StartTcpServer(LocalPort(other.Get()));
    ASSERT_TRUE(view.WaitMessage("bind() error"));
    EXPECT_TRUE(view.States().empty());
    EXPECT_TRUE(view.StartEnabled());
}

TEST_F(LinkSessionTest, ALaterStartGivesUpAnEarlierListenWithoutAWord)
{
    const std::uint16_t first = Listen();
    view.ForgetStates();
    session.StartTcpServer(0);
    ASSERT_TRUE(WaitUntil([&] { return view.LocalPort() != 0; }));
    ASSERT_TRUE(view.WaitState("Listening"));
    EXPECT_TRUE(Refused(first));
    EXPECT_TRUE(ConnectTcp(view.LocalPort()));
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(LinkSessionTest, UdpDeliversEachDatagramWholeAndAnEmptyOneEndsTheLoop)
{
    session.StartUdp(0);
    ASSERT_TRUE(view.WaitState("Waiting Data"));
    const std::uint16_t port = view.LocalPort();
    ASSERT_NE(port, 0);
    Fd peer = BindUdp();
    const auto big = Pattern(40000, 5);
    const auto small = Pattern(7, 6);
    SendDatagram(peer.Get(), port, small.data(), small.size());
    SendDatagram(peer.Get(), port, big.data(), big.size());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == small.size() + big.size(); }));
    // The long datagram comes in blocks of at most 16384 bytes, none cut short.
    EXPECT_EQ(sink.BlockSizes(), (std::vector<int>{7, 16384, 16384, 7232}));
    std::vector<unsigned char> expected(small);
    expected.insert(expected.end(), big.begin(), big.end());
    EXPECT_TRUE(sink.Bytes() == expected);

    SendDatagram(peer.Get(), port, nullptr, 0);
    ASSERT_TRUE(view.WaitState("Disconnected"));
    EXPECT_FALSE(view.StartEnabled()) << "a loop that ended by itself leaves Stop to the user";
}

TEST_F(LinkSessionTest, UdpBurstArrivesWholeInOrderAndTheLossCountStartsAtZero)
{
    session.StartUdp(0);
    ASSERT_TRUE(view.WaitState("Waiting Data"));
    EXPECT_EQ(view.DatagramsLost(), 0) << "0 is told at Start, before any datagram";
    const std::uint16_t port = view.LocalPort();
    Fd peer = BindUdp();
    // Sent back to back so that the endpoint takes several per wake; few enough to fit the
    // smallest receive buffer the system grants, so none may be dropped.
    std::vector<unsigned char> expected;
    std::vector<int> sizes;
    for (int i = 0; i < 200; ++i) {
        const auto datagram = Pattern(static_cast<std::size_t>(1 + (i * 37) % 512), i);
        SendDatagram(peer.Get(), port, datagram.data(), datagram.size());
        expected.insert(expected.end(), datagram.begin(), datagram.end());
        sizes.push_back(static_cast<int>(datagram.size()));
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == expected.size(); }));
    EXPECT_EQ(sink.BlockSizes(), sizes) << "each datagram one delivery";
    EXPECT_TRUE(sink.Bytes() == expected);
    EXPECT_EQ(view.DatagramsLost(), 0);
}

TEST_F(LinkSessionTest, UdpSendsShareTheEndpointSocketOrKeepOneOfTheirOwn)
{
    // No endpoint: a socket of the sends' own, bound to the link port when there is one, and kept.
    const UdpSendSocket own = session.ChooseUdpSendSocket();
    ASSERT_TRUE(own.socket);
    EXPECT_EQ(session.ChooseUdpSendSocket().socket, own.socket);

    // The endpoint with a port takes that socket over, so replies to where sends leave from arrive.
    Fd peer = BindUdp();
    SendDatagram(own.socket->Descriptor(), LocalPort(peer.Get()), "x", 1);
    session.StartUdp(FreeUdpPort());
    ASSERT_TRUE(view.WaitState("Waiting Data"));
    EXPECT_EQ(session.ChooseUdpSendSocket().socket, own.socket);

    // A port held by someone else: the sends' new socket cannot bind.
    session.TearDown();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    Fd holder = BindUdp();
    session.StartUdp(LocalPort(holder.Get()));
    ASSERT_TRUE(view.WaitMessage("bind() error"));
    const UdpSendSocket refused = session.ChooseUdpSendSocket();
    EXPECT_FALSE(refused.socket);
    EXPECT_STREQ(refused.failure, "bind() error");
}

// Start and teardown over and over, on every link, while a peer floods the one that is up: every
// worker ends, and nothing is left set aside.
TEST_F(LinkSessionTest, StartAndTeardownCyclesDuringFloodsLeaveNoWorkerBehind)
{
    std::atomic<bool> flooding{true};
    Fd udpPeer = BindUdp();
    std::atomic<std::uint16_t> udpPort{0};
    std::thread flooder([&] {
        std::vector<unsigned char> datagram(1000, 0x42);
        while (flooding.load()) {
            if (const std::uint16_t port = udpPort.load())
                SendDatagram(udpPeer.Get(), port, datagram.data(), datagram.size());
            else
                std::this_thread::yield();
        }
    });
    for (int cycle = 0; cycle < 30; ++cycle) {
        view.ForgetStates();
        session.StartUdp(0);
        ASSERT_TRUE(view.WaitState("Waiting Data"));
        udpPort = view.LocalPort();
        session.TearDown();
        udpPort = 0;
        ASSERT_TRUE(view.WaitState("Disconnected"));

        view.ForgetStates();
        const std::uint16_t port = Listen();
        Fd client = ConnectTcp(port);
        ASSERT_TRUE(view.WaitState("Connected"));
        const auto data = Pattern(20000, static_cast<std::uint32_t>(cycle));
        SendAll(client.Get(), data.data(), data.size());
        session.TearDown();
        ASSERT_TRUE(view.WaitState("Disconnected"));
    }
    flooding = false;
    flooder.join();
    EXPECT_TRUE(WaitUntil([&] { return session.SetAsideWorkers() == 0; }));
    EXPECT_TRUE(view.Messages().empty());
}

// The received pane as the sink: a TCP flood while Clear is clicked, and the pane's bytes read as
// a repaint reads them.
TEST_F(LinkSessionTest, AFloodIntoTheReceivedPaneWithClearsKeepsItsCountAndLength)
{
    class SilentPaneView : public ReceivedPaneView {
        void ShowReceivedState(ReceivedState) override {}
        void RedrawReceived(bool) override {}
    } paneView;
    CReceivedPane pane(paneView);
    RecordingLinkView floodView;
    LinkSession flooded(floodView, pane);
    flooded.StartTcpServer(0);
    ASSERT_TRUE(floodView.WaitState("Listening"));
    Fd client = ConnectTcp(floodView.LocalPort());
    ASSERT_TRUE(floodView.WaitState("Connected"));

    std::atomic<bool> flooding{true};
    std::thread writer([&] {
        const auto chunk = Pattern(65536, 1);
        for (int i = 0; i < 200 && flooding.load(); ++i)
            SendAll(client.Get(), chunk.data(), chunk.size());
        flooding = false;
    });
    std::vector<unsigned char> rows(4096);
    while (flooding.load()) {
        pane.ClearLater();
        const std::size_t size = pane.Block().Size();
        pane.Block().Read(size > rows.size() ? size - rows.size() : 0, rows.data(), rows.size());
    }
    writer.join();
    flooded.TearDown();
    ASSERT_TRUE(floodView.WaitState("Disconnected"));
    flooded.JoinWorkers();
    pane.EndClearWorker();
    std::lock_guard guard(pane.ReceivedLock());
    EXPECT_EQ(static_cast<std::int64_t>(pane.Block().Size()), pane.Total());
}

TEST_F(LinkSessionTest, ListenRightAfterStopWithAClientConnectedGetsThePortAgain)
{
    const std::uint16_t port = Listen();
    Fd client = ConnectTcp(port);
    ASSERT_TRUE(view.WaitState("Connected"));
    // This side closes first, so its end of the connection waits out TIME-WAIT on the port.
    session.TearDown();
    ASSERT_TRUE(view.WaitState("Disconnected"));
    ASSERT_TRUE(PeerClosed(client.Get()));
    client = Fd();

    view.ForgetStates();
    session.StartTcpServer(port);
    ASSERT_TRUE(WaitUntil([&] { return view.LastState() == "Listening" || !view.Messages().empty(); }));
    EXPECT_TRUE(view.Messages().empty());
    EXPECT_EQ(view.LocalPort(), port);
    EXPECT_TRUE(ConnectTcp(port));
}

TEST_F(LinkSessionTest, AStartWhoseWorkerCannotBeMadeIsRefusedAndNothingElseEnds)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    const int status = testwait::InChildWithoutRoomForThreads([&] {
        const bool refused = !session.StartTcpServer(0) && !session.StartUdp(0);
        session.TearDown();
        return refused && view.States().empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "100: an exception escaped instead of refusing the Start";
}
