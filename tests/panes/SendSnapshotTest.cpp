// A TCP send reads the Sending pane as it was at Send without copying it: edits, Clear and Load while
// it runs change nothing that goes out, and a pane nobody edits is never copied.
#include "SendFixture.h"

#include "platform/toolkit/FileDialogs.h"
#include "tests/support/WithoutThreads.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace linktest;

class SendSnapshotTest : public SendFixture {
protected:
    const unsigned char* PaneStorage()
    {
        const unsigned char* at = dlg->Owners().sending.Block().HoldToRead();
        dlg->Owners().sending.Block().Release();
        return at;
    }
    // Much more than the loopback socket buffers take: the send waits for the peer to read.
    static constexpr std::size_t kLarge = 48u << 20;

};

TEST_F(SendSnapshotTest, WhatGoesOutIsThePaneAtSendWhateverTheUserDoesMeanwhile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto loaded = Pattern(3u << 20, 12);
    const QString path = dir.filePath(QStringLiteral("loaded"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(reinterpret_cast<const char*>(loaded.data()), static_cast<qint64>(loaded.size())),
                  static_cast<qint64>(loaded.size()));
    }

    Fd peer = Connect();
    const auto atSend = Pattern(kLarge, 11);
    FillSending(atSend);
    Click(IDC_SEND);
    ASSERT_TRUE(WaitFor([&] { return !Enabled(IDC_SEND); })) << "the send runs while the peer has not read";

    // Typing over bytes, deleting, typing in insert mode, Clear, Load and typing again, all while it
    // runs.
    QTest::keyClicks(View(), QStringLiteral("C0FFEE"));
    QTest::keyClick(View(), Qt::Key_Delete);
    QTest::keyClick(View(), Qt::Key_Insert);
    QTest::keyClicks(View(), QStringLiteral("77"));
    auto edited = Pane();
    ASSERT_EQ(edited.size(), atSend.size());
    EXPECT_EQ(edited[0], 0xC0);
    EXPECT_EQ(edited[2], 0xEE);
    EXPECT_EQ(edited[3], 0x77);
    EXPECT_TRUE(std::equal(atSend.begin() + 5, atSend.end(), edited.begin() + 5));
    Click(IDC_CLEAR_SENDING);
    EXPECT_TRUE(Pane().empty());
    plat::SetFileDialogHook([path](plat::FileDialogKind) { return std::optional<QString>(path); });
    Click(IDC_LOAD);
    plat::SetFileDialogHook(nullptr);
    EXPECT_TRUE(Pane() == loaded);
    QTest::keyClicks(View(), QStringLiteral("AB"));
    edited = Pane();
    ASSERT_EQ(edited.size(), loaded.size() + 1);
    EXPECT_FALSE(Enabled(IDC_SEND)) << "the send was still running through every change";

    std::vector<unsigned char> got;
    std::thread reader([&] { got = ReceiveUpTo(peer.Get(), atSend.size(), 60000); });
    reader.join();
    EXPECT_TRUE(got == atSend) << got.size() << " bytes arrived, not the pane as it was at Send";
    ASSERT_TRUE(WaitSenderState(QString::number(kLarge) + QStringLiteral(" bytes sent")));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(dlg->Owners().sending.Block().Shared()) << "the send let go of the bytes when it ended";

    // The pane kept every edit, and takes more.
    EXPECT_TRUE(Pane() == edited);
    QTest::keyClicks(View(), QStringLiteral("12"));
    EXPECT_EQ(Pane().size(), edited.size() + 1);
}

TEST_F(SendSnapshotTest, APaneNobodyEditsIsSentFromItsOwnBytesWithoutACopy)
{
    Fd peer = Connect();
    const auto atSend = Pattern(kLarge, 13);
    FillSending(atSend);
    const unsigned char* storage = PaneStorage();
    Click(IDC_SEND);
    ASSERT_TRUE(WaitFor([&] { return !Enabled(IDC_SEND); }));
    EXPECT_TRUE(dlg->Owners().sending.Block().Shared()) << "the send reads the pane's own bytes";

    std::vector<unsigned char> got = ReceiveUpTo(peer.Get(), atSend.size(), 60000);
    EXPECT_TRUE(got == atSend);
    ASSERT_TRUE(WaitSenderState(QString::number(kLarge) + QStringLiteral(" bytes sent")));
    EXPECT_FALSE(dlg->Owners().sending.Block().Shared()) << "the send let go of the bytes when it ended";

    // An edit after the send is made in the pane's own storage: no copy was made at any time.
    QTest::keyClicks(View(), QStringLiteral("5A"));
    const auto after = Pane();
    ASSERT_EQ(after.size(), atSend.size());
    EXPECT_EQ(after[0], 0x5A);
    EXPECT_EQ(PaneStorage(), storage);
}

TEST_F(SendSnapshotTest, APeriodicSendRepeatsThePaneAsItWasAtSendAfterAnEdit)
{
    Fd peer = Connect();
    const auto pass = Pattern(300000, 14);
    FillSending(pass);
    CheckPeriodic(QStringLiteral("0"));
    Click(IDC_SEND);
    ASSERT_TRUE(WaitSenderState(QStringLiteral("Periodic Send")));
    QTest::keyClicks(View(), QStringLiteral("99"));
    // Passes read after the edit are still the pane at Send.
    const std::vector<unsigned char> got = ReceiveUpTo(peer.Get(), 6 * pass.size());
    ASSERT_EQ(got.size(), 6 * pass.size());
    for (std::size_t at = 0; at < got.size(); at += pass.size())
        ASSERT_TRUE(std::equal(pass.begin(), pass.end(), got.begin() + static_cast<long>(at))) << "pass at " << at;
    std::thread reader([&] { ReceiveUpTo(peer.Get(), std::size_t(1) << 34, 20000); });
    Click(IDC_SEND_STOP);
    const bool stopped = WaitSenderState(QStringLiteral("Periodic Stopped"));
    Click(IDC_STOP);
    reader.join();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(Pane()[0], 0x99) << "the edit stayed in the pane";
}

TEST_F(SendSnapshotTest, AnEditWithoutMemoryForItsCopyIsRefusedAndSaysWhy)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    Fd peer = Connect();
    const auto atSend = Pattern(kLarge, 15);
    FillSending(atSend);
    Click(IDC_SEND);
    ASSERT_TRUE(WaitFor([&] { return !Enabled(IDC_SEND); }));

    // For one key press the process has far less room than a copy of the pane needs.
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    ASSERT_GT(pages, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
    const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit tight{now + (16u << 20), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    QTest::keyClick(View(), Qt::Key_A);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &saved), 0);

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("Not enough memory to change the Sending Data pane while a send reads "
                                              "its data: the pane was left as it was. Stop the send or wait for it "
                                              "to end, then make the change again."));
    EXPECT_TRUE(Pane() == atSend) << "the pane changed although the user was told it did not";

    EXPECT_TRUE(ReceiveUpTo(peer.Get(), atSend.size(), 60000) == atSend);
    ASSERT_TRUE(WaitSenderState(QString::number(kLarge) + QStringLiteral(" bytes sent")));
    QTest::keyClick(View(), Qt::Key_A);
    EXPECT_EQ(Pane()[0] >> 4, 0xA) << "once the send ended the same edit needs no copy";
}
