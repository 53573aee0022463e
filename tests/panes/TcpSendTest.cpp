#include "SendFixture.h"

#include "platform/toolkit/FileDialogs.h"

#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <thread>

using namespace linktest;

class TcpSendTest : public SendFixture {
protected:
    // Everything the peer receives until the window closes the connection.
    std::vector<unsigned char> DrainUntilClosed(int fd)
    {
        return ReceiveUpTo(fd, std::size_t(1) << 34, 20000);
    }
    // Starts a periodic send of `pass` with period 0 to a connected peer, and a reader that keeps
    // what the peer receives in `got` until the window closes the connection.
    std::thread StartPeriodicPasses(const Fd& peer, const std::vector<unsigned char>& pass,
                                    std::vector<unsigned char>& got)
    {
        FillSending(pass);
        CheckPeriodic(QStringLiteral("0"));
        Click(IDC_SEND);
        EXPECT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
        return std::thread([this, fd = peer.Get(), &got] { got = DrainUntilClosed(fd); });
    }
    // Every pass is the pane as it was at Send. A Stop may cut the last pass when the reader falls
    // behind by more than the stop's patience (a loaded machine), unless `whole` says it may not.
    static void ExpectWholePasses(const std::vector<unsigned char>& got, const std::vector<unsigned char>& pass,
                                  bool whole = true)
    {
        ASSERT_FALSE(got.empty());
        if (whole) {
            ASSERT_EQ(got.size() % pass.size(), 0u) << got.size() << " bytes: a pass was cut";
        }
        for (std::size_t at = 0; at < got.size(); at += pass.size()) {
            const std::size_t n = std::min(pass.size(), got.size() - at);
            ASSERT_TRUE(std::equal(pass.begin(), pass.begin() + static_cast<long>(n), got.begin() + static_cast<long>(at)))
                << "pass at " << at;
        }
    }

};

TEST_F(TcpSendTest, WithoutAConnectionTheSendStopsAtOnce)
{
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), QStringLiteral("9"));
    FillSending(Pattern(10));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_FALSE(Enabled(IDC_SEND_STOP));
}

TEST_F(TcpSendTest, RefusalsShowTheirMessageAndSendNothing)
{
    Fd peer = Connect();
    Click(IDC_SEND);
    FillSending(Pattern(10));
    Click(IDC_PERIODIC);   // checked, period left empty
    Click(IDC_SEND);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("Zero length buffer cannot be sent !!"));
    EXPECT_EQ(Boxes()[1].text, QStringLiteral("Period field is empty"));
    EXPECT_TRUE(Boxes()[1].onWindowThread);
    EXPECT_TRUE(ReceiveUpTo(peer.Get(), 1, 300).empty()) << "nothing sent";
    EXPECT_TRUE(Enabled(IDC_SEND));
}

TEST_F(TcpSendTest, APeriodicSendWithPeriodZeroRunsUntilStopInWholePasses)
{
    Fd peer = Connect();
    const auto pass = Pattern(1000, 3);
    FillSending(pass);
    EXPECT_FALSE(Enabled(IDC_PERIOD));
    CheckPeriodic(QStringLiteral("0"));
    EXPECT_TRUE(Enabled(IDC_PERIOD));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
    EXPECT_FALSE(Enabled(IDC_SEND));
    EXPECT_TRUE(Enabled(IDC_SEND_STOP));
    // Many passes go out while nobody stops it.
    std::vector<unsigned char> got = ReceiveUpTo(peer.Get(), 50 * pass.size());
    ASSERT_EQ(got.size(), 50 * pass.size());

    // Read on: a send held up by full socket buffers would see the Stop only when the peer reads.
    std::thread reader([&] {
        const auto rest = DrainUntilClosed(peer.Get());
        got.insert(got.end(), rest.begin(), rest.end());
    });
    Click(IDC_SEND_STOP);
    const bool stopped = WaitSenderState(QStringLiteral("Periodic Stopped"));
    const bool sendEnabled = Enabled(IDC_SEND);
    const bool stopEnabled = Enabled(IDC_SEND_STOP);
    Click(IDC_STOP);   // closes the connection, so the peer can read to the end
    reader.join();
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(sendEnabled);
    EXPECT_FALSE(stopEnabled);
    ExpectWholePasses(got, pass);
}

TEST_F(TcpSendTest, StopEndsASendToAPeerThatReadsNothingAndOnlyWhatTheSystemTookGoesOut)
{
    Fd peer = Connect();
    const auto all = Pattern(32 << 20, 5);
    FillSending(all);
    Click(IDC_SEND);
    ASSERT_TRUE(WaitFor([&] { return Enabled(IDC_SEND_STOP); }));
    Click(IDC_SEND_STOP);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    EXPECT_TRUE(Enabled(IDC_SEND));
    EXPECT_FALSE(Enabled(IDC_SEND_STOP));
    Click(IDC_STOP);
    const auto got = DrainUntilClosed(peer.Get());
    ASSERT_LT(got.size(), all.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "an exact beginning of the pane";
}

TEST_F(TcpSendTest, UncheckingPeriodicEndsTheSendAfterItsPass)
{
    Fd peer = Connect();
    const auto pass = Pattern(200000, 4);
    FillSending(pass);
    CheckPeriodic(QStringLiteral("0"));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
    std::vector<unsigned char> got = ReceiveUpTo(peer.Get(), pass.size() / 2);
    Click(IDC_PERIODIC);
    EXPECT_FALSE(Enabled(IDC_PERIOD));
    // Read on so that the pass in progress can finish.
    std::thread reader([&] {
        const auto rest = DrainUntilClosed(peer.Get());
        got.insert(got.end(), rest.begin(), rest.end());
    });
    const bool ended = WaitFor([&] { return Enabled(IDC_SEND); });
    const QString text = SenderState();
    Click(IDC_STOP);
    reader.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(text == QStringLiteral("200000 bytes sent") || text == QStringLiteral("Periodic Stopped"))
        << text.toStdString();
    ExpectWholePasses(got, pass);
}

TEST_F(TcpSendTest, ClearAndEditsDuringASendNeverChangeWhatIsSent)
{
    Fd peer = Connect();
    const auto pass = Pattern(64 * 1024, 6);
    std::vector<unsigned char> got;
    std::thread reader = StartPeriodicPasses(peer, pass, got);

    auto* view = dlg->ControlAs<plat::HexView>(IDC_HEX_SENDING);
    for (int round = 0; round < 20; ++round) {
        Click(IDC_CLEAR_SENDING);
        QTest::keyClicks(view, QStringLiteral("DEADBEEF"));
        FillSending(Pattern(100 + static_cast<std::size_t>(round), 99));
        QTest::keyClicks(view, QStringLiteral("0102"));
    }
    Click(IDC_SEND_STOP);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    Click(IDC_STOP);
    reader.join();
    ExpectWholePasses(got, pass, false);
}

TEST_F(TcpSendTest, LoadDuringASendNeverChangesWhatIsSent)
{
    // Shorter, much longer, empty and same-length files: the block shrinks, grows, empties and
    // changes in place under the running send.
    const auto pass = Pattern(64 * 1024, 7);
    const std::size_t sizes[] = {10, 300000, 0, pass.size(), 1};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<std::pair<QString, std::vector<unsigned char>>> files;
    for (int round = 0; round < 20; ++round) {
        const auto bytes = Pattern(sizes[round % 5], 100 + static_cast<std::uint32_t>(round));
        const QString path = dir.filePath(QString::number(round));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())),
                  static_cast<qint64>(bytes.size()));
        files.emplace_back(path, bytes);
    }

    Fd peer = Connect();
    std::vector<unsigned char> got;
    std::thread reader = StartPeriodicPasses(peer, pass, got);

    for (const auto& [path, bytes] : files) {
        plat::SetFileDialogHook([path = path](plat::FileDialogKind) { return std::optional<QString>(path); });
        Click(IDC_LOAD);
        std::vector<unsigned char> shown(dlg->Owners().sending.Block().Size());
        dlg->Owners().sending.Block().Read(0, shown.data(), shown.size());
        EXPECT_EQ(shown, bytes) << path.toStdString() << ": the pane shows the loaded file";
    }
    plat::SetFileDialogHook(nullptr);
    EXPECT_FALSE(Enabled(IDC_SEND)) << "the send ran through every Load";

    Click(IDC_SEND_STOP);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Stopped")));
    Click(IDC_STOP);
    reader.join();
    EXPECT_TRUE(Boxes().empty());
    ExpectWholePasses(got, pass, false);
}
