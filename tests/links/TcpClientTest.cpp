#include "LinkFixture.h"

#include "app/LinkExtras.h"

#include <QCheckBox>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using namespace linktest;

using TcpClientTest = LinkFixture;

TEST_F(TcpClientTest, ReceivesAMebibyteSentInLargeBurstsByteExactAndInOrder)
{
    Fd server = Listen();
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    ASSERT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    ASSERT_EQ(Caption(IDC_STOP), QStringLiteral("Disconnect"));
    Click(IDC_START);
    Fd peer = Accept(server.Get());
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(Enabled(IDC_STOP));

    const auto data = Pattern(1 << 20);
    std::thread sender([&] {
        // Bursts well above the 16384 bytes of one receive.
        for (std::size_t at = 0; at < data.size(); at += 100000)
            SendAll(peer.Get(), data.data() + at, std::min<std::size_t>(100000, data.size() - at));
    });
    const bool all = WaitFor([&] { return dlg->Owners().received.Total() >= static_cast<std::int64_t>(data.size()); });
    sender.join();
    ASSERT_TRUE(all) << dlg->Owners().received.Total();
    EXPECT_TRUE(Received() == data);

    peer = Fd();
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(TcpClientTest, AServerThatClosesAtOnceLeavesThePaneEmptyAndStartEnabled)
{
    Fd server = Listen();
    std::thread closer([&] { Accept(server.Get()); });
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    Click(IDC_START);
    closer.join();
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_EQ(m_states, (std::vector<QString>{"Connecting", "Connected", "Disconnected"}));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_EQ(dlg->Owners().received.Total(), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(TcpClientTest, NoServerShowsDisconnectedThenTheMessageFromTheWorker)
{
    // The State at the moment the box comes up, as the user would see it behind the box.
    QString stateAtBox;
    plat::SetMessageBoxHook([&](const plat::MessageBoxCall& call) {
        stateAtBox = dlg->GetText(IDC_STATE);
        EXPECT_FALSE(call.onWindowThread);
        EXPECT_EQ(call.owner, nullptr);
        EXPECT_EQ(call.text, QStringLiteral("connect() error ! Server does not exist !"));
    });
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(FreeTcpPort()));
    Click(IDC_START);
    ASSERT_TRUE(WaitFor([&] { return !stateAtBox.isEmpty(); }));
    EXPECT_EQ(stateAtBox, QStringLiteral("Disconnected"));
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
}

TEST_F(TcpClientTest, DestinationPortZeroFailsWithTheConnectMessage)
{
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), QStringLiteral("0"));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Connect"));
    Click(IDC_START);
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("connect() error ! Server does not exist !"));
    EXPECT_EQ(State(), QStringLiteral("Disconnected"));
    EXPECT_TRUE(Enabled(IDC_START));
}

TEST_F(TcpClientTest, StopWhileConnectedClosesTheConnection)
{
    Fd server = Listen();
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    Click(IDC_START);
    Fd peer = Accept(server.Get());
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    const auto hello = Pattern(10);
    SendAll(peer.Get(), hello.data(), hello.size());
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 10; }));

    Click(IDC_STOP);
    EXPECT_TRUE(PeerClosed(peer.Get()));
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_TRUE(Received() == hello) << "the pane keeps what arrived";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(TcpClientTest, AModeClickWhileConnectingCutsTheAttemptShort)
{
    // A listener whose queue is full: the platform drops further handshakes, so a connect to it
    // keeps trying for a long time.
    Fd server = Listen(0, 0);
    const std::uint16_t port = LocalPort(server.Get());
    std::vector<Fd> fillers;
    for (int i = 0; i < 4; ++i) {
        Fd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        ::connect(filler.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(std::move(filler));
    }
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(port));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Connecting")));
    // Still connecting a while later: the attempt really blocks.
    WaitFor([] { return false; }, 300);
    ASSERT_EQ(State(), QStringLiteral("Connecting"));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));

    Click(IDC_MODE_UDP);
    ASSERT_TRUE(WaitBoxes(1, 5000)) << "the teardown must wake the blocked connect at once";
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("connect() error ! Server does not exist !"));
    EXPECT_EQ(State(), QStringLiteral("Disconnected"));
    EXPECT_FALSE(Checked(IDC_MODE_TCP));
    EXPECT_TRUE(Checked(IDC_MODE_UDP));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Bind"));
}

TEST_F(TcpClientTest, WithReconnectTickedTheClientWaitsForItsServerWithoutABoxAndDisconnectEndsIt)
{
    const QRect state = dlg->Control(IDC_STATE)->geometry();
    const int height = dlg->height();
    const std::uint16_t port = FreeTcpPort();
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(port));
    // The box shows below the template's controls, which keep their places.
    auto* reconnect = dlg->findChild<LinkExtras*>()->findChild<QCheckBox*>();
    ASSERT_NE(reconnect, nullptr);
    ASSERT_EQ(reconnect->accessibleName(), QStringLiteral("Reconnect when the server goes away"));
    EXPECT_TRUE(reconnect->isVisibleTo(dlg.get()));
    EXPECT_GT(dlg->height(), height);
    EXPECT_EQ(dlg->Control(IDC_STATE)->geometry(), state);
    QTest::keyClick(reconnect, Qt::Key_Space);
    ASSERT_TRUE(reconnect->isChecked());

    Click(IDC_START);
    ASSERT_TRUE(WaitFor([&] { return dlg->Control(IDC_STATE)->toolTip() == QStringLiteral("Next try in 1 s"); }));
    EXPECT_EQ(dlg->GetText(IDC_STATE), QStringLiteral("Connecting"));
    EXPECT_TRUE(Enabled(IDC_STOP));
    Fd server = Listen(port);
    Fd peer = Accept(server.Get());
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    SendAll(peer.Get(), "up", 2);
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 2; }));
    peer = Fd();
    server = Fd();
    ASSERT_TRUE(WaitFor([&] { return !dlg->Control(IDC_STATE)->toolTip().isEmpty(); }));
    EXPECT_EQ(dlg->GetText(IDC_STATE), QStringLiteral("Connecting"));
    Click(IDC_STOP);
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_EQ(dlg->Owners().received.Total(), 2);
    EXPECT_TRUE(Boxes().empty());

    // A server mode hides the box and gives the room back.
    Type(IDC_TCP_SERVER_PORT, Num(port));
    Click(IDC_MODE_TCP);
    Click(IDC_MODE_TCP);
    EXPECT_FALSE(reconnect->isVisibleTo(dlg.get()));
    EXPECT_EQ(dlg->height(), height);
}
