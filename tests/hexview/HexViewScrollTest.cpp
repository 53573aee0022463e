// Moving through a block and scrolling it, also when it has more rows than the scroll bar has steps.
#include "HexViewFixture.h"

#include "platform/hexview/RowScrollMap.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <cstdint>

using plat::HexArea;
using plat::RowScrollMap;

TEST(RowScrollMapTest, EndsMeetAndEveryBarPositionRoundTrips)
{
    for (const std::uint64_t maxRow : {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{1000}, std::uint64_t{1} << 40, (std::uint64_t{1} << 60) + 12345}) {
        for (const int limit : {1, 3, 100, 1 << 30}) {
            const RowScrollMap map(maxRow, limit);
            EXPECT_LE(map.BarMaximum(), limit);
            EXPECT_EQ(map.ToBar(0), 0);
            EXPECT_EQ(map.ToRow(0), 0u);
            EXPECT_EQ(map.ToBar(maxRow), map.BarMaximum());
            EXPECT_EQ(map.ToRow(map.BarMaximum()), maxRow);
            EXPECT_EQ(map.ToBar(maxRow + 5), map.BarMaximum()) << "rows past the end stay at the end";
            const int step = std::max(1, map.BarMaximum() / 50);
            std::uint64_t previous = 0;
            for (int v = 0; v <= map.BarMaximum(); v += step) {
                EXPECT_EQ(map.ToBar(map.ToRow(v)), v) << maxRow << " rows, limit " << limit;
                EXPECT_GE(map.ToRow(v), previous);
                previous = map.ToRow(v);
            }
        }
    }
}

TEST_F(HexViewTest, KeysMoveTheCursorAndKeepItInView)
{
    block.Resize(16 * 1000 + 5);
    view.RequestRedraw(false);
    ApplyRedraws();
    const int page = view.VisibleRowCount();
    ASSERT_GT(page, 3);
    view.SetCursorOffset(16 * 10 + 3, HexArea::Hex);

    Key(Qt::Key_End);
    EXPECT_EQ(view.CursorOffset(), 16u * 10 + 15);
    Key(Qt::Key_Home);
    EXPECT_EQ(view.CursorOffset(), 16u * 10);
    Key(Qt::Key_Down);
    EXPECT_EQ(view.CursorOffset(), 16u * 11);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view.CursorOffset(), 16u * (11 + page - 1));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(view.CursorOffset(), 16u * 11);

    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.CursorOffset(), block.Size());
    EXPECT_TRUE(view.IsEndInView());
    EXPECT_EQ(view.FirstVisibleRow(), view.RowCount() - static_cast<std::uint64_t>(page));
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    EXPECT_EQ(view.CursorOffset(), block.Size()) << "the cursor stops at the append position";
    Key(Qt::Key_Up);
    EXPECT_EQ(view.CursorOffset(), block.Size() - 16);

    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.CursorOffset(), 0u);
    EXPECT_EQ(view.FirstVisibleRow(), 0u);
    Key(Qt::Key_Up);
    Key(Qt::Key_Left);
    EXPECT_EQ(view.CursorOffset(), 0u);
    Key(Qt::Key_Right);
    Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectionStart(), 1u);
    EXPECT_EQ(view.SelectionEnd(), 16u) << "a selection takes in the row's last byte";
}

TEST_F(HexViewTest, AScaledBarStillReachesEveryEndAndTheWheelMovesWholeRows)
{
    view.SetScrollBarLimit(100);
    block.Resize(16 * 100000);
    view.RequestRedraw(false);
    ApplyRedraws();
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_EQ(bar->maximum(), 100) << "100000 rows spread over 100 steps";

    bar->setValue(100);
    EXPECT_TRUE(view.IsEndInView());
    bar->setValue(50);
    const std::uint64_t maxFirst = view.RowCount() - static_cast<std::uint64_t>(view.VisibleRowCount());
    EXPECT_NEAR(static_cast<double>(view.FirstVisibleRow()), maxFirst / 2.0, maxFirst / 100.0);

    const std::uint64_t before = view.FirstVisibleRow();
    QWheelEvent down(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.viewport(), &down);
    EXPECT_EQ(view.FirstVisibleRow(), before + 3);
    EXPECT_EQ(bar->value(), 50) << "three rows are less than a bar step here";

    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(view.IsEndInView());
    bar->setValue(0);
    EXPECT_EQ(view.FirstVisibleRow(), 0u);
}

TEST_F(HexViewTest, ABlockPastFourGigabytesShowsItsEndAndTakesEditsThere)
{
    // Untouched pages cost nothing, so the size is only address space.
    const std::size_t size = (std::size_t{4} << 30) + 16 * 3 + 2;
    ASSERT_EQ(block.Resize(size), plat::BlockStatus::Ok);
    view.RequestRedraw(true);
    ApplyRedraws();
    EXPECT_TRUE(view.IsEndInView());
    EXPECT_EQ(view.RowCount(), size / 16 + 1);
    view.grab();

    Key(Qt::Key_End, Qt::ControlModifier);
    Type("4142");
    EXPECT_EQ(block.Size(), size + 2);
    unsigned char tail[4] = {};
    ASSERT_EQ(block.Read(size - 2, tail, 4), 4u);
    EXPECT_EQ(tail[0], 0);
    EXPECT_EQ(tail[2], 0x41);
    EXPECT_EQ(tail[3], 0x42);
    EXPECT_EQ(view.CursorOffset(), size + 2);
}

TEST_F(HexViewTest, BytesDroppedFromTheFrontKeepTheSelectionAndTheViewOnTheirBytes)
{
    const std::size_t unit = plat::ByteBlock::DropUnit();
    QByteArray bytes(static_cast<qsizetype>(4 * unit), '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    SetBytes(bytes);
    // A selection and a first row in the third page; the first page goes.
    view.SetSelection(2 * unit + 5, 2 * unit + 9, plat::HexArea::Hex);
    view.ScrollOffsetIntoView(2 * unit + 5);
    ApplyRedraws();
    const std::uint64_t firstRow = view.FirstVisibleRow();
    ASSERT_GT(firstRow, unit / 16);
    ASSERT_EQ(block.DropFront(unit), plat::BlockStatus::Ok);
    view.RequestRedraw(false);
    ApplyRedraws();
    EXPECT_EQ(view.OffsetOrigin(), unit);
    EXPECT_EQ(view.SelectionStart(), unit + 5);
    EXPECT_EQ(view.SelectionEnd(), unit + 9);
    EXPECT_EQ(view.FirstVisibleRow(), firstRow - unit / 16) << "the rows in view stay the same bytes";
    // Assistive technology reads the rows with offsets counted from the start of the capture.
    const QString rows = view.AccessibleRows().Text();
    const QString firstShown = QString::number(unit + (firstRow - unit / 16) * 16, 16).toUpper().rightJustified(8, QChar('0'));
    EXPECT_TRUE(rows.contains(firstShown + QStringLiteral("  "))) << rows.left(120).toStdString();

    // A selection in bytes that went moves to the new first byte; a clear counts from 0 again.
    view.SetSelection(10, 20, plat::HexArea::Text);
    ASSERT_EQ(block.DropFront(2 * unit), plat::BlockStatus::Ok);
    view.RequestRedraw(false);
    ApplyRedraws();
    EXPECT_EQ(view.SelectionStart(), 0u);
    EXPECT_EQ(view.SelectionEnd(), 0u);
    EXPECT_EQ(view.OffsetOrigin(), 3 * unit);
    SetBytes(QByteArray("abc"));
    EXPECT_EQ(view.OffsetOrigin(), 0u);
}
