#include "LinkFixture.h"

#include <QProcess>
#include <QTemporaryFile>

using namespace linktest;

class TcpServerTest : public LinkFixture {
protected:
    // TCP with only the Server Port set, started and listening.
    std::uint16_t StartListening()
    {
        const std::uint16_t port = FreeTcpPort();
        ChooseTcp(Num(port), QString(), QString());
        Click(IDC_START);
        EXPECT_TRUE(WaitState(QStringLiteral("Listening")));
        return port;
    }
};

TEST_F(TcpServerTest, ServesAClientThatSendsAndClosesThenFreesThePort)
{
    const std::uint16_t port = FreeTcpPort();
    ChooseTcp(Num(port), QString(), QString());
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Listen"));
    EXPECT_EQ(Caption(IDC_STOP), QStringLiteral("Stop Listen"));
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(Enabled(IDC_STOP));

    Fd client = ConnectTcp(port);
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    const auto data = Pattern(50000, 7);
    SendAll(client.Get(), data.data(), data.size());
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() == 50000; }));
    client = Fd();

    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_EQ(m_states, (std::vector<QString>{"Listening", "Connected", "Disconnected"}));
    EXPECT_TRUE(Received() == data);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_EQ(Caption(IDC_START), QStringLiteral("Listen"));
    EXPECT_TRUE(Refused(port)) << "the listening socket closes with the connection";
    // Listen again on the same port: a new Start serves a new client.
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    EXPECT_TRUE(ConnectTcp(port));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(TcpServerTest, ASecondClientIsNeverServedAndIsDroppedWithTheFirst)
{
    const std::uint16_t port = StartListening();
    Fd first = ConnectTcp(port);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    Fd second = ConnectTcp(port);
    ASSERT_TRUE(second) << "the platform completes the handshake";
    SendAll(second.Get(), "XYZ", 3);
    SendAll(first.Get(), "abc", 3);
    ASSERT_TRUE(WaitFor([&] { return dlg->Owners().received.Total() >= 3; }));
    first = Fd();
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(PeerClosed(second.Get())) << "dropped when the listening socket closes";
    EXPECT_EQ(Received(), (std::vector<unsigned char>{'a', 'b', 'c'}));
}

TEST_F(TcpServerTest, StopWhileListeningFreesThePort)
{
    const std::uint16_t port = StartListening();
    Click(IDC_STOP);
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_TRUE(Refused(port));
    EXPECT_TRUE(Listen(port)) << "the port can be bound again";
}

TEST_F(TcpServerTest, APortInUseGivesBindErrorWithTheStateUnchangedAndStartReady)
{
    Fd other = Listen();
    const std::uint16_t port = LocalPort(other.Get());
    ChooseTcp(Num(port), QString(), QString());
    Click(IDC_START);
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("bind() error"));
    EXPECT_FALSE(Boxes()[0].onWindowThread);
    EXPECT_TRUE(m_states.empty()) << "State unchanged";
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));

    // Once the other program lets go, Start listens on the port.
    other = Fd();
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
}

TEST_F(TcpServerTest, ShowsWhatSocatSends)
{
    const std::uint16_t port = StartListening();
    const auto data = Pattern(300000, 3);
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
    file.flush();
    QProcess socat;
    socat.start(QStringLiteral("socat"), {QStringLiteral("-u"), QStringLiteral("OPEN:") + file.fileName(),
                                          QStringLiteral("TCP:127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(socat.waitForFinished(30000));
    EXPECT_EQ(socat.exitCode(), 0);
    ASSERT_TRUE(WaitState(QStringLiteral("Disconnected")));
    EXPECT_TRUE(Received() == data);
}

TEST_F(TcpServerTest, APortTheSystemChoseIsToldInTheStateTooltip)
{
    // 65536 has low 16 bits 0, as an empty field or 0 would: the system picks the port.
    ChooseTcp(QStringLiteral("65536"), QString(), QString());
    Click(IDC_START);
    ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
    auto* state = Widget<QLineEdit>(IDC_STATE);
    ASSERT_TRUE(WaitFor([&] { return state->toolTip().startsWith(QStringLiteral("Local port ")); }));
    const int port = state->toolTip().mid(11).toInt();
    ASSERT_GT(port, 0);
    Fd client = ConnectTcp(static_cast<std::uint16_t>(port));
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    Click(IDC_STOP);
    EXPECT_TRUE(state->toolTip().isEmpty()) << "Stop forgets the port";
}
