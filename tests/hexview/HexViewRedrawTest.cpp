// Redraw requests from other threads: merged into one repaint, latest scroll wish wins.
#include "HexViewFixture.h"

#include <QElapsedTimer>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// The receive path: grow, hold, copy, release, ask for a redraw.
void Append(plat::ByteBlock& block, const unsigned char* data, std::size_t n)
{
    const std::size_t end = block.Size() + n;
    while (block.Resize(end) == plat::BlockStatus::Held) {
    }
    unsigned char* p = block.Hold();
    std::memcpy(p + end - n, data, n);
    block.Release();
}

} // namespace

TEST_F(HexViewTest, RequestsFromAnotherThreadMergeIntoOneRepaintThatScrollsToTheEnd)
{
    const std::uint64_t before = view.RedrawsDone();
    std::thread receiver([&] {
        unsigned char chunk[100];
        std::memset(chunk, 0x5A, sizeof chunk);
        for (int i = 0; i < 10000; ++i) {
            Append(block, chunk, sizeof chunk);
            view.RequestRedraw(true);
        }
    });
    receiver.join(); // the window's thread did not run meanwhile: everything waits in one request
    EXPECT_FALSE(view.IsEndInView()) << "nothing happens until the window's thread runs";
    QCoreApplication::processEvents();
    EXPECT_EQ(view.RedrawsDone(), before + 1);
    EXPECT_EQ(view.RowCount(), 1000000u / 16 + 1);
    EXPECT_TRUE(view.IsEndInView());
    EXPECT_EQ(view.FirstVisibleRow(), view.RowCount() - static_cast<std::uint64_t>(view.VisibleRowCount()));
}

TEST_F(HexViewTest, TheLatestScrollWishWins)
{
    block.Resize(16 * 1000);
    view.RequestRedraw(true);
    view.RequestRedraw(false);
    ApplyRedraws();
    EXPECT_EQ(view.FirstVisibleRow(), 0u);
    EXPECT_EQ(view.RowCount(), 1001u) << "the size is still read";

    view.RequestRedraw(false);
    view.RequestRedraw(true);
    ApplyRedraws();
    EXPECT_TRUE(view.IsEndInView());
}

TEST_F(HexViewTest, AStreamWhileTheWindowRunsEndsWithTheLastRowInView)
{
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        unsigned char chunk[16384];
        for (int i = 0; i < 400; ++i) {
            std::memset(chunk, i, sizeof chunk);
            Append(block, chunk, sizeof chunk);
            view.RequestRedraw(true);
        }
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 30000) {
        QCoreApplication::processEvents();
        view.repaint(); // paints while the block grows
    }
    receiver.join();
    ApplyRedraws();
    EXPECT_LE(view.RedrawsDone(), 400u + 1);
    EXPECT_EQ(view.RowCount(), 400u * 16384 / 16 + 1);
    EXPECT_TRUE(view.IsEndInView());
}

TEST_F(HexViewTest, ABlockEmptiedElsewhereKeepsTheCursorInside)
{
    SetBytes(QByteArray(100, 'a'));
    Key(Qt::Key_End, Qt::ControlModifier);
    ASSERT_EQ(view.CursorOffset(), 100u);
    std::thread clearer([&] {
        while (block.Resize(0) == plat::BlockStatus::Held) {
        }
        view.RequestRedraw(false);
    });
    clearer.join();
    ApplyRedraws();
    EXPECT_EQ(view.CursorOffset(), 0u);
    EXPECT_EQ(view.RowCount(), 1u);
    Type("41");
    EXPECT_EQ(Bytes(), QByteArray("A"));
}
