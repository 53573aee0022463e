#include "AppFixture.h"

#include "platform/hexview/HexView.h"
#include "resources/ControlIds.h"

#include <QCheckBox>
#include <QLineEdit>

#include <atomic>
#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <ctime>
#include <unistd.h>
#include <numeric>
#include <random>
#include <thread>

namespace {

std::vector<unsigned char> Bytes(const plat::ByteBlock& block)
{
    std::vector<unsigned char> out(block.Size());
    block.Read(0, out.data(), out.size());
    return out;
}

std::vector<unsigned char> Pattern(std::size_t n, unsigned char first)
{
    std::vector<unsigned char> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

class ReceivePathTest : public MainWindowFixture {
protected:
    // Delivers a block as a receive thread does: from a worker.
    void Deliver(const std::vector<unsigned char>& data)
    {
        std::thread([&] {
            dlg->Owners().received.Deliver(data.data(), data.size());
        }).join();
    }
    QString ReceivedState()
    {
        Settle();
        return Widget<QLineEdit>(IDC_RECEIVED_STATE)->text();
    }
    plat::HexView* ReceivedView() { return dlg->ControlAs<plat::HexView>(IDC_HEX_RECEIVED); }
};

TEST_F(ReceivePathTest, BlocksAppendInOrderAndTheStateShowsTheLatestBlockSize)
{
    const auto first = Pattern(10, 0);
    const auto second = Pattern(5, 100);
    Deliver(first);
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), first);
    EXPECT_EQ(ReceivedState(), QStringLiteral("10 bytes read"));
    Deliver(second);
    auto both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), both);
    EXPECT_EQ(ReceivedState(), QStringLiteral("5 bytes read"));
    EXPECT_EQ(dlg->Owners().received.Total(), 15);
}

TEST_F(ReceivePathTest, ClearEmptiesThePaneThroughItsWorkerAndKeepsTheStateText)
{
    Deliver(Pattern(40, 1));
    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->Owners().received.Block().Size() == 0; }));
    EXPECT_EQ(ReceivedState(), QStringLiteral("40 bytes read"));
    const auto three = Pattern(3, 7);
    Deliver(three);
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), three);
    EXPECT_EQ(ReceivedState(), QStringLiteral("3 bytes read"));
}

TEST_F(ReceivePathTest, AppendsFollowTheCountAfterTheUserEditsThePane)
{
    Deliver(Pattern(4, 1));
    // The user lengthens the block by typing at its end: the next block overwrites from the count.
    plat::HexView* view = ReceivedView();
    dlg->show();
    view->setFocus();
    view->SetCursorOffset(4, plat::HexArea::Hex);
    if (view->IsOverwriteMode())
        QTest::keyClick(view, Qt::Key_Insert);
    QTest::keyClicks(view, QStringLiteral("AABBCC"));
    ASSERT_EQ(dlg->Owners().received.Block().Size(), 7u);
    Deliver({0x10, 0x11});
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), (std::vector<unsigned char>{1, 2, 3, 4, 0x10, 0x11, 0xCC}));

    // The user shortens it: the next block grows it back, zero-filled, before writing.
    view->SetCursorOffset(0, plat::HexArea::Hex);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(dlg->Owners().received.Block().Size(), 2u);
    Deliver({0x20});
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), (std::vector<unsigned char>{0x11, 0xCC, 0, 0, 0, 0, 0x20}));
    EXPECT_EQ(dlg->Owners().received.Total(), 7);
}

TEST_F(ReceivePathTest, AutoScrollBringsTheEndIntoViewOnlyWhileChecked)
{
    dlg->show();
    const auto block = Pattern(16 * 200, 0);
    Deliver(block);
    Settle();
    EXPECT_EQ(ReceivedView()->FirstVisibleRow(), 0u);
    EXPECT_FALSE(ReceivedView()->IsEndInView());

    QTest::mouseClick(dlg->Control(IDC_AUTO_SCROLL), Qt::LeftButton);
    Deliver(block);
    Settle();
    EXPECT_TRUE(ReceivedView()->IsEndInView());

    // A clear always redraws without scrolling; the empty pane is at its start.
    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->Owners().received.Block().Size() == 0; }));
    // The clear's redraw is queued behind the last append's: wait for it rather than for a while.
    EXPECT_TRUE(PumpUntil([&] { return ReceivedView()->FirstVisibleRow() == 0u; }))
        << "first visible row " << ReceivedView()->FirstVisibleRow();
}

TEST_F(ReceivePathTest, AReceiverWaitsForASaveOutsideTheLockWithoutSpinningAndLosesNothing)
{
    Deliver(Pattern(8, 0));
    auto& block = const_cast<plat::ByteBlock&>(dlg->Owners().received.Block());
    block.Hold();     // a save of the pane in progress
    std::atomic<bool> delivered{false};
    std::atomic<bool> waited{false};
    std::thread receiver([&] {
        const auto more = Pattern(8, 8);
        dlg->Owners().received.Deliver(more.data(), 8);
        delivered = true;
        dlg->Owners().received.WaitForRoom();
        waited = true;
    });
    ASSERT_TRUE(testwait::WaitUntil([&] { return delivered.load(); }));
    clockid_t clock;
    ASSERT_EQ(pthread_getcpuclockid(receiver.native_handle(), &clock), 0);
    timespec before{};
    clock_gettime(clock, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    timespec after{};
    clock_gettime(clock, &after);
    const double busyMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(busyMs, 30.0) << "the receiver sleeps while the save holds the bytes";
    EXPECT_FALSE(waited.load());
    EXPECT_EQ(block.Size(), 8u) << "the block cannot grow while it is held";
    EXPECT_TRUE(dlg->Owners().received.ReceivedLock().try_lock()) << "nobody waits with the received lock held";
    dlg->Owners().received.ReceivedLock().unlock();
    block.Release();
    receiver.join();
    EXPECT_EQ(Bytes(dlg->Owners().received.Block()), Pattern(16, 0));
    EXPECT_EQ(dlg->Owners().received.Total(), 16);
}

TEST_F(ReceivePathTest, AFloodFromAWorkerArrivesByteExactWhileTheWindowKeepsRunning)
{
    dlg->show();
    QTest::mouseClick(dlg->Control(IDC_AUTO_SCROLL), Qt::LeftButton);
    constexpr std::size_t kBlock = 16384;
    constexpr std::size_t kTotal = 32u << 20;
    std::vector<unsigned char> source(kTotal);
    std::mt19937 random(42);
    for (auto& b : source)
        b = static_cast<unsigned char>(random());
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        for (std::size_t at = 0; at < kTotal; at += kBlock) {
            dlg->Owners().received.Deliver(source.data() + at, kBlock);
        }
        done = true;
    });
    int turns = 0;
    while (!done) {
        QApplication::processEvents();
        ++turns;
    }
    receiver.join();
    Settle();
    EXPECT_GT(turns, 0);
    EXPECT_TRUE(Bytes(dlg->Owners().received.Block()) == source);
    EXPECT_EQ(Widget<QLineEdit>(IDC_RECEIVED_STATE)->text(), QStringLiteral("16384 bytes read"));
    EXPECT_TRUE(ReceivedView()->IsEndInView());
}

TEST_F(ReceivePathTest, SeveralReceiversAndClearsAtOnceKeepEveryBlockWholeAndInPlace)
{
    // Each receiver sends numbered blocks of varying size, each with a header (size, receiver,
    // number); a clicker clears the pane meanwhile. What the pane holds at any moment between two
    // deliveries is a run of whole blocks, each where the count put it.
    constexpr int kReceivers = 4;
    constexpr int kBlocksEach = 400;
    constexpr std::size_t kHeader = 5;
    std::atomic<int> broken{0};
    std::atomic<bool> receiving{true};
    // Whole blocks from the start of the pane to the count; false at the first torn one.
    auto wholeBlocks = [&] {
        std::lock_guard guard(dlg->Owners().received.ReceivedLock());
        const auto total = static_cast<std::size_t>(dlg->Owners().received.Total());
        if (dlg->Owners().received.Block().Size() < total)
            return false;
        std::vector<unsigned char> bytes(total);
        dlg->Owners().received.Block().Read(0, bytes.data(), total);
        for (std::size_t at = 0; at < total;) {
            const std::size_t size = (std::size_t{bytes[at]} << 8) | bytes[at + 1];
            const int r = bytes[at + 2];
            const int n = (bytes[at + 3] << 8) | bytes[at + 4];
            if (size < kHeader || at + size > total || r >= kReceivers)
                return false;
            for (std::size_t i = kHeader; i < size; ++i)
                if (bytes[at + i] != static_cast<unsigned char>(r * 61 + n + i))
                    return false;
            at += size;
        }
        return true;
    };
    std::vector<std::thread> receivers;
    for (int r = 0; r < kReceivers; ++r) {
        receivers.emplace_back([&, r] {
            std::mt19937 random(static_cast<unsigned>(r));
            std::vector<unsigned char> block;
            for (int n = 0; n < kBlocksEach; ++n) {
                block.resize(kHeader + random() % (16384 - kHeader));
                for (std::size_t i = kHeader; i < block.size(); ++i)
                    block[i] = static_cast<unsigned char>(r * 61 + n + i);
                block[0] = static_cast<unsigned char>(block.size() >> 8);
                block[1] = static_cast<unsigned char>(block.size());
                block[2] = static_cast<unsigned char>(r);
                block[3] = static_cast<unsigned char>(n >> 8);
                block[4] = static_cast<unsigned char>(n);
                dlg->Owners().received.Deliver(block.data(), block.size());
                if (n % 40 == 0 && !wholeBlocks())
                    ++broken;
            }
        });
    }
    std::thread clicker([&] {
        while (receiving) {
            QMetaObject::invokeMethod(dlg->Control(IDC_CLEAR_RECEIVED), "click", Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::thread waiter([&] {
        for (auto& t : receivers)
            t.join();
        receiving = false;
    });
    while (receiving)
        QApplication::processEvents();
    waiter.join();
    clicker.join();
    Settle();
    EXPECT_EQ(broken.load(), 0);
    EXPECT_TRUE(dlg->Owners().received.ClearWorkerStarted());
    EXPECT_TRUE(wholeBlocks());
}

TEST_F(ReceivePathTest, BlocksFromSeveralThreadsArriveWholeAndInOrderPerSender)
{
    // Every block carries its sender and its number; read back, each sender's numbers run in order.
    constexpr int kSenders = 4;
    constexpr int kBlocksEach = 2000;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int n = 0; n < kBlocksEach; ++n) {
                const int size = 4 + (n * 37 + s * 11) % 200;
                std::vector<unsigned char> block(static_cast<std::size_t>(size), static_cast<unsigned char>(s));
                block[1] = static_cast<unsigned char>(n >> 8);
                block[2] = static_cast<unsigned char>(n);
                block[0] = static_cast<unsigned char>(size);
                dlg->Owners().received.Deliver(block.data(), size);
            }
        });
    }
    for (auto& t : senders)
        t.join();
    const auto bytes = Bytes(dlg->Owners().received.Block());
    std::vector<int> next(kSenders, 0);
    std::size_t at = 0;
    int blocks = 0;
    while (at < bytes.size()) {
        const std::size_t size = bytes[at];
        ASSERT_GE(size, 3u);
        ASSERT_LE(at + size, bytes.size());
        const int sender = bytes[at + size - 1];
        ASSERT_LT(sender, kSenders);
        EXPECT_EQ((bytes[at + 1] << 8) | bytes[at + 2], next[static_cast<std::size_t>(sender)]);
        ++next[static_cast<std::size_t>(sender)];
        at += size;
        ++blocks;
    }
    EXPECT_EQ(blocks, kSenders * kBlocksEach);
}

TEST_F(ReceivePathTest, TheWindowClosesCleanlyWhileTheSerialPortIsStillDelivering)
{
    int master = -1, slave = -1;
    char path[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, path, nullptr, nullptr), 0);
    CSerialReceiver& port = dlg->Owners().serial.Port();
    port.AllocateReceiveBuffer();
    port.SetOwner(&dlg->Owners().received);
    ASSERT_EQ(port.Open(path, 16384, 16384), 0u);
    ASSERT_EQ(port.StartEventThread(), 0u);

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        std::vector<unsigned char> chunk(4096, 0x5A);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        while (writing) {
            if (::write(master, chunk.data(), chunk.size()) < 0)
                std::this_thread::yield();
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return dlg->Owners().received.Total() > (256 << 10); }));
    dlg->close();
    dlg.reset();     // the event thread is mid-stream; it must be gone before the window is
    writing = false;
    writer.join();
    ::close(master);
    ::close(slave);
}
