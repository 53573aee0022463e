#include "LinkFixture.h"

#include <atomic>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace linktest;

using LinkControlTest = LinkFixture;

namespace {
const QString kRoleMessage = QStringLiteral("Please set the Server port or Destination IP, Destination Port");
}

TEST_F(LinkControlTest, TheModeBoxesKeepAtMostOneCheckedAndSetCaptions)
{
    Click(IDC_MODE_UDP);
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Bind"));
    EXPECT_EQ(Caption(IDC_STOP), QStringLiteral("Stop Bind"));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_FALSE(Enabled(IDC_CHANGE_SETTING));

    Click(IDC_MODE_RS232);
    EXPECT_FALSE(Checked(IDC_MODE_UDP));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Open"));
    EXPECT_EQ(Caption(IDC_STOP), QStringLiteral("Close"));
    EXPECT_TRUE(Enabled(IDC_CHANGE_SETTING));

    // Straight from RS-232 to UDP: Change Setting stays enabled.
    Click(IDC_MODE_UDP);
    EXPECT_FALSE(Checked(IDC_MODE_RS232));
    EXPECT_TRUE(Enabled(IDC_CHANGE_SETTING));

    // The checked box clicked again: no link.
    Click(IDC_MODE_UDP);
    EXPECT_FALSE(Checked(IDC_MODE_UDP));
    EXPECT_EQ(State(), QStringLiteral("No Running"));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("No Select"));
    EXPECT_EQ(Caption(IDC_STOP), QStringLiteral("No Select"));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_FALSE(Enabled(IDC_CHANGE_SETTING));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LinkControlTest, TheFilledTcpFieldsDecideTheRoleAndTheServerPortWins)
{
    ChooseTcp(QStringLiteral("5000"), QString(), QString());
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Listen"));
    Click(IDC_MODE_TCP);   // off
    ChooseTcp(QString(), QStringLiteral("10.1.2.3"), QStringLiteral("80"));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    Click(IDC_MODE_TCP);
    ChooseTcp(QStringLiteral("5000"), QStringLiteral("10.1.2.3"), QStringLiteral("80"));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Listen"));
    EXPECT_EQ(Caption(IDC_STOP), QStringLiteral("Stop Listen"));
    EXPECT_TRUE(Checked(IDC_MODE_TCP));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LinkControlTest, TcpWithoutUsableFieldsIsRefusedWithTheMessage)
{
    // 0.0.0.0 counts as no address; a destination port alone is not enough.
    Click(IDC_MODE_UDP);
    ChooseTcp(QString(), QStringLiteral("0.0.0.0"), QStringLiteral("80"));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kRoleMessage);
    EXPECT_TRUE(Boxes()[0].onWindowThread);
    EXPECT_FALSE(Checked(IDC_MODE_TCP));
    EXPECT_FALSE(Checked(IDC_MODE_UDP));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("No Select"));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(m_states.empty()) << "the State is not changed on this path";

    // An address without a port is refused as well.
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), QString());
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_FALSE(Checked(IDC_MODE_TCP));
}

TEST_F(LinkControlTest, APartlyBlankAddressCountsAsSetWithBlankFieldsAsZero)
{
    Fd server = Listen();
    ChooseTcp(QString(), QStringLiteral("127...1"), Num(LocalPort(server.Get())));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    Click(IDC_START);
    Fd peer = Accept(server.Get());
    EXPECT_TRUE(peer) << "127...1 connects to 127.0.0.1";
    EXPECT_TRUE(WaitState(QStringLiteral("Connected")));
}

TEST_F(LinkControlTest, FieldsEmptiedBeforeStartAreRefusedAndNothingStarts)
{
    Fd server = Listen();
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    ASSERT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    Type(IDC_TCP_DEST_PORT, QString());
    Click(IDC_START);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kRoleMessage);
    EXPECT_FALSE(Checked(IDC_MODE_TCP));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_FALSE(Accept(server.Get(), 300)) << "no connection attempt";
    EXPECT_TRUE(m_states.empty());
}

TEST_F(LinkControlTest, AServerPortFilledAfterTheClientChoiceMakesStartListen)
{
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), QStringLiteral("9"));
    ASSERT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    const std::uint16_t port = FreeTcpPort();
    Type(IDC_TCP_SERVER_PORT, Num(port));
    Click(IDC_START);
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Listen"));
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    EXPECT_TRUE(ConnectTcp(port));
}

TEST_F(LinkControlTest, PortFieldsAreReadAsAtoiDoesAndOnlyTheLow16BitsAreUsed)
{
    // A number above 65535 listens on its low 16 bits.
    const std::uint16_t port = FreeTcpPort();
    ChooseTcp(QStringLiteral(" +%1xyz").arg(port + 65536), QString(), QString());
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    EXPECT_EQ(dlg->Owners().link.LinkPort(), port + 65536);
    Fd client = ConnectTcp(port);
    EXPECT_TRUE(client);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    Click(IDC_STOP);
    EXPECT_EQ(dlg->Owners().link.LinkPort(), 0) << "the teardown forgets the port";

    // Text without leading digits is port 0: the platform picks one, and the server listens.
    Type(IDC_TCP_SERVER_PORT, QStringLiteral("abc"));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    EXPECT_EQ(dlg->Owners().link.LinkPort(), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LinkControlTest, StartEmptiesTheReceivedPaneFirstAlsoWhenTheStartFails)
{
    Fd server = Listen();
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    Click(IDC_START);
    Fd peer = Accept(server.Get());
    SendAll(peer.Get(), "hello", 5);
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 5; }));
    peer = Fd();
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    server = Fd();

    Click(IDC_START);   // nothing listens any more
    EXPECT_EQ(dlg->Owners().received.Total(), 0);
    EXPECT_TRUE(Received().empty());
    ASSERT_TRUE(WaitBoxes(1));
}

TEST_F(LinkControlTest, UntickingDuringAFloodLeavesTheReceivedStateReset)
{
    const std::uint16_t port = FreeTcpPort();
    ChooseTcp(Num(port), QString(), QString());
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    Fd client = ConnectTcp(port);
    std::atomic<bool> pouring{true};
    std::thread sender([&] {
        const auto block = Pattern(1500);
        while (pouring.load() && SendAll(client.Get(), block.data(), block.size())) {
        }
    });
    auto* received = Widget<QLineEdit>(IDC_RECEIVED_STATE);
    ASSERT_TRUE(WaitFor([&] { return received->text().endsWith(QStringLiteral(" bytes read")); }));

    Click(IDC_MODE_TCP); // off, while the bytes still pour in
    // Several frames: a size queued before the reset must not show after it.
    QTest::qWait(100);
    Settle();
    EXPECT_EQ(received->text().toStdString(), "No Running");
    pouring = false;
    ::shutdown(client.Get(), SHUT_RDWR);
    sender.join();
}

TEST_F(LinkControlTest, TheReceivedStateTooltipTellsTheDatagramsLostSinceUdpStart)
{
    Type(IDC_UDP_SERVER_PORT, QString());
    Click(IDC_MODE_UDP);
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Waiting Data")));
    auto* received = Widget<QLineEdit>(IDC_RECEIVED_STATE);
    const QString none = QStringLiteral("Datagrams lost since Start: 0");
    ASSERT_TRUE(WaitFor([&] { return received->toolTip() == none; })) << "0 is shown, not left out";

    auto* state = Widget<QLineEdit>(IDC_STATE);
    ASSERT_TRUE(WaitFor([&] { return state->toolTip().startsWith(QStringLiteral("Local port ")); }));
    const auto port = static_cast<std::uint16_t>(state->toolTip().mid(11).toInt());
    Fd peer = BindUdp();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    const auto datagram = Pattern(512, 9);
    for (int i = 0; i < 3; ++i)
        ::sendto(peer.Get(), datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 3 * datagram.size(); }));
    EXPECT_EQ(received->toolTip(), none);

    Click(IDC_MODE_TCP);
    EXPECT_TRUE(received->toolTip().isEmpty()) << "another link does not show the UDP count";
}
