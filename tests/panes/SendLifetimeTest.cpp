#include "SendFixture.h"

#include <chrono>

using namespace linktest;

using SendLifetimeTest = SendFixture;

TEST_F(SendLifetimeTest, ClosingTheWindowDuringALongPauseEndsTheSendAtOnce)
{
    Fd peer = BindUdp();
    ChooseUdp(QString(), LocalPort(peer.Get()));
    FillSending(Pattern(10));
    CheckPeriodic(QStringLiteral("600000"));
    Click(IDC_SEND);
    Datagram d;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));
    const auto start = std::chrono::steady_clock::now();
    dlg.reset();
    // Far below the ten-minute pause, however slow the machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(SendLifetimeTest, AStopRequestEndsOnlyTheSendsRunningWhenItWasMade)
{
    Fd peer = BindUdp();
    ChooseUdp(QString(), LocalPort(peer.Get()));
    const auto first = Pattern(10, 1);
    FillSending(first);
    CheckPeriodic(QStringLiteral("1500"));
    Click(IDC_SEND);
    Datagram d;
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));
    ASSERT_TRUE(d.bytes == first);

    // Turning the link off and on stops the periodic send in its pause and frees Send; a new
    // single send right after must go out, and the old one must never send again.
    Click(IDC_MODE_UDP);
    Click(IDC_MODE_UDP);
    ASSERT_TRUE(Enabled(IDC_SEND));
    const auto second = Pattern(20, 2);
    FillSending(second);
    Click(IDC_SEND);
    ASSERT_TRUE(ReceiveDatagram(peer.Get(), d));
    EXPECT_TRUE(d.bytes == second);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("20 bytes sent")));
    // The old send's pause ends within 1.5 s; nothing more may come from it.
    EXPECT_FALSE(ReceiveDatagram(peer.Get(), d, 3000));
}
