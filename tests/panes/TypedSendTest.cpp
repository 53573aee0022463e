// The Sending pane's menu in the real window: a line typed with the chosen line ending goes to the
// peer as typed, and a recent send put back in the pane leaves a running send as it was.
#include "SendFixture.h"

#include <QMenu>
#include <QPushButton>
#include <thread>

using namespace linktest;

class TypedSendTest : public SendFixture {};

TEST_F(TypedSendTest, ATEnterWithCrLfChosenReachesThePeerAsTyped)
{
    Fd peer = Connect();
    dlg->Owners().sending.Menu()->LineEndingAction("\r\n")->trigger();
    View()->setFocus();
    QTest::keyClick(View(), Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(View()->ActiveArea(), plat::HexArea::Text);
    QTest::keyClicks(View(), QStringLiteral("AT"));
    QTest::keyClick(View(), Qt::Key_Return);
    const std::vector<unsigned char> typed{'A', 'T', '\r', '\n'};
    ASSERT_EQ(Pane(), typed);

    // Anywhere else in the window Enter still does nothing: on Send it does not send.
    Widget<QPushButton>(IDC_SEND)->setFocus();
    QTest::keyClick(Widget<QPushButton>(IDC_SEND), Qt::Key_Return);
    EXPECT_EQ(SenderState(), QStringLiteral("No Running")) << "Enter pressed Send";
    EXPECT_EQ(Pane(), typed);

    Click(IDC_SEND);
    EXPECT_EQ(ReceiveUpTo(peer.Get(), typed.size()), typed);
}

TEST_F(TypedSendTest, APastSendPutBackWhilePeriodicKeepsSendingTheOldBytesUntilStop)
{
    Fd peer = Connect();
    const std::vector<unsigned char> first{'f', 'i', 'r', 's', 't'};
    FillSending(first);
    Click(IDC_SEND);
    ASSERT_EQ(ReceiveUpTo(peer.Get(), first.size()), first);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("5 bytes sent")));
    const auto pass = Pattern(1000, 21);
    FillSending(pass);
    CheckPeriodic(QStringLiteral("0"));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));

    QMenu* recent = dlg->Owners().sending.Menu()->RecentMenu();
    ASSERT_EQ(recent->actions().size(), 2);
    EXPECT_TRUE(recent->actions()[0]->text().startsWith(QStringLiteral("1000 bytes")));
    EXPECT_TRUE(recent->actions()[1]->text().startsWith(QStringLiteral("5 bytes  \"first\"")));
    recent->actions()[1]->trigger();
    EXPECT_EQ(Pane(), first);

    std::vector<unsigned char> got = ReceiveUpTo(peer.Get(), 6 * pass.size());
    std::thread reader([&] {
        const auto rest = ReceiveUpTo(peer.Get(), std::size_t(1) << 34, 20000);
        got.insert(got.end(), rest.begin(), rest.end());
    });
    Click(IDC_SEND_STOP);
    const bool stopped = WaitSenderState(QStringLiteral("Periodic Stopped"));
    Click(IDC_STOP);
    reader.join();
    EXPECT_TRUE(stopped);
    ASSERT_EQ(got.size() % pass.size(), 0u);
    for (std::size_t at = 0; at < got.size(); at += pass.size())
        ASSERT_TRUE(std::equal(pass.begin(), pass.end(), got.begin() + static_cast<long>(at))) << "pass at " << at;
    EXPECT_EQ(Pane(), first);
}
