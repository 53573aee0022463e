#include "SendFixture.h"

using namespace linktest;

using UdpSendTest = SendFixture;

TEST_F(UdpSendTest, SendsDatagramsOf512BytesFromTheServerPortAndShowsReplies)
{
    Fd peer = BindUdp();
    const std::uint16_t serverPort = FreeUdpPort();
    ChooseUdp(Num(serverPort), LocalPort(peer.Get()));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(Enabled(IDC_STOP));

    const auto data = Pattern(1300, 5);
    FillSending(data);
    Click(IDC_SEND);
    std::vector<unsigned char> joined;
    for (std::size_t expected : {512u, 512u, 276u}) {
        Datagram d;
        ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));
        EXPECT_EQ(d.bytes.size(), expected);
        EXPECT_EQ(d.fromPort, serverPort) << "datagrams leave from the bound Server Port";
        joined.insert(joined.end(), d.bytes.begin(), d.bytes.end());
    }
    EXPECT_TRUE(joined == data);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("1300 bytes sent")));
    EXPECT_TRUE(Enabled(IDC_SEND));

    SendDatagram(peer.Get(), serverPort, Pattern(700, 9));
    SendDatagram(peer.Get(), serverPort, Pattern(3, 10));
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 703; }));
    auto both = Pattern(700, 9);
    const auto tail = Pattern(3, 10);
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_TRUE(Received() == both) << "each datagram appended in arrival order";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(UdpSendTest, WithoutAServerPortRepliesToTheEndpointsOwnPortAreShown)
{
    Fd peer = BindUdp();
    ChooseUdp(QString(), LocalPort(peer.Get()));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    FillSending(Pattern(10));
    Click(IDC_SEND);
    Datagram d;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));
    ASSERT_NE(d.fromPort, 0);
    SendDatagram(peer.Get(), d.fromPort, Pattern(20, 2));
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 20; }));
    EXPECT_TRUE(Received() == Pattern(20, 2));
}

TEST_F(UdpSendTest, ASendBeforeStartLendsItsSocketToTheReceiveLoop)
{
    Fd peer = BindUdp();
    const std::uint16_t serverPort = FreeUdpPort();
    ChooseUdp(Num(serverPort), LocalPort(peer.Get()));
    FillSending(Pattern(10));
    Click(IDC_SEND);
    Datagram first;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), first));
    ASSERT_TRUE(WaitSenderState(QStringLiteral("10 bytes sent")));

    // Start takes the send socket over unbound: it receives where that socket sent from.
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    Click(IDC_SEND);
    Datagram second;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), second));
    EXPECT_EQ(second.fromPort, first.fromPort) << "one socket for both";
    SendDatagram(peer.Get(), first.fromPort, Pattern(5, 4));
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 5; }));
}

TEST_F(UdpSendTest, AnEmptyDatagramEndsTheReceiveLoopAndStopStaysEnabled)
{
    const std::uint16_t serverPort = FreeUdpPort();
    ChooseUdp(Num(serverPort), 9);
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    Fd peer = BindUdp();
    SendDatagram(peer.Get(), serverPort, {});
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(Enabled(IDC_STOP));
    EXPECT_TRUE(BindUdp(serverPort)) << "the socket is closed";
    Click(IDC_STOP);
    EXPECT_TRUE(Enabled(IDC_START));
}

TEST_F(UdpSendTest, StopBindDuringAPeriodicSendStopsItAndClosesTheSharedSocket)
{
    Fd peer = BindUdp();
    const std::uint16_t serverPort = FreeUdpPort();
    ChooseUdp(Num(serverPort), LocalPort(peer.Get()));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    FillSending(Pattern(100));
    CheckPeriodic(QStringLiteral("0"));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
    EXPECT_FALSE(Enabled(IDC_SEND));
    EXPECT_TRUE(Enabled(IDC_SEND_STOP));
    Datagram d;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));

    Click(IDC_STOP);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(dlg->IsEnabled(IDC_SEND)) << "mirror";
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_FALSE(Enabled(IDC_SEND_STOP));
    EXPECT_TRUE(BindUdp(serverPort)) << "the shared socket is closed";
    // Drain what was on its way; after that nothing more comes.
    while (ReceiveDatagram(peer.Get(), d, 200)) {
    }
    EXPECT_FALSE(ReceiveDatagram(peer.Get(), d, 300));
}
