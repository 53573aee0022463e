// What the view paints: every byte's two hex digits and its character in the cells where the view
// says they are, looking exactly as the font draws them as text, plain and selected; and what the
// screen shows after bytes change from another thread, in view or below it.
#include "HexViewFixture.h"

#include "platform/hexview/HexFormat.h"

#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QScrollBar>

#include <thread>

namespace {

struct Cell {
    QRect rect;
    QChar shown;
    bool selected;
};

// The cells of the given bytes: the hex digits and the character of each.
std::vector<Cell> CellsOf(const plat::HexView& view, const QByteArray& bytes, std::size_t selStart, std::size_t selEnd)
{
    std::vector<Cell> cells;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto offset = static_cast<std::size_t>(i);
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const QString hex = plat::hexformat::ByteHex(byte);
        const bool selected = offset >= selStart && offset < selEnd;
        cells.push_back({view.CellRect(offset, plat::HexArea::Hex, 0), hex[0], selected});
        cells.push_back({view.CellRect(offset, plat::HexArea::Hex, 1), hex[1], selected});
        cells.push_back({view.CellRect(offset, plat::HexArea::Text, 0), plat::hexformat::DisplayChar(byte), selected});
    }
    return cells;
}

// The cells as text drawing draws them, one character at a time, on the cell's own background.
QImage DrawnAsText(const plat::HexView& view, QSize size, const std::vector<Cell>& cells)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(view.palette().color(QPalette::Base));
    QPainter painter(&image);
    painter.setFont(view.font());
    const int ascent = QFontMetrics(view.font()).ascent();
    for (const Cell& cell : cells)
        painter.fillRect(cell.rect, view.palette().color(cell.selected ? QPalette::Highlight : QPalette::Base));
    for (const Cell& cell : cells) {
        painter.setPen(view.palette().color(cell.selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(cell.rect.x(), cell.rect.y() + ascent, QString(cell.shown));
    }
    return image;
}

// What the screen shows of the view now: the last frame painted and flushed, not a fresh paint.
QImage OnScreen(plat::HexView& view)
{
    QCoreApplication::processEvents(); // pending repaints reach the screen
    const QPoint origin = view.viewport()->mapTo(view.window(), QPoint(0, 0));
    const QImage window = view.screen()->grabWindow(view.window()->winId()).toImage();
    return window.copy(QRect(origin, view.viewport()->size())).convertToFormat(QImage::Format_RGB32);
}

// The number of cells in rows [firstRow, firstRow + rows) that do not show the block's bytes; the
// cursor's cells are left out.
int CellsNotShowing(const plat::HexView& view, const QImage& shown, plat::ByteBlock& block, std::uint64_t firstRow, int rows)
{
    const std::size_t from = static_cast<std::size_t>(firstRow) * 16;
    QByteArray bytes(static_cast<qsizetype>(std::min<std::size_t>(block.Size() - from, static_cast<std::size_t>(rows) * 16)), '\0');
    block.Read(from, reinterpret_cast<unsigned char*>(bytes.data()), static_cast<std::size_t>(bytes.size()));
    std::vector<Cell> cells;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const std::size_t offset = from + static_cast<std::size_t>(i);
        if (offset == view.CursorOffset())
            continue;
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const QString hex = plat::hexformat::ByteHex(byte);
        cells.push_back({view.CellRect(offset, plat::HexArea::Hex, 0), hex[0], false});
        cells.push_back({view.CellRect(offset, plat::HexArea::Hex, 1), hex[1], false});
        cells.push_back({view.CellRect(offset, plat::HexArea::Text, 0), plat::hexformat::DisplayChar(byte), false});
    }
    const QImage expected = DrawnAsText(view, shown.size(), cells);
    int wrong = 0;
    for (const Cell& cell : cells)
        wrong += shown.copy(cell.rect) != expected.copy(cell.rect) ? 1 : 0;
    return wrong;
}

void Fill(plat::ByteBlock& block, std::size_t at, std::size_t count, unsigned char first)
{
    std::vector<unsigned char> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(first + i * 7);
    ASSERT_EQ(block.Overwrite(at, bytes.data(), count), plat::BlockStatus::Ok);
}

} // namespace

class HexViewPaintTest : public HexViewTest {
protected:
    // A hundred rows of bytes in the view, redrawn; returns how many rows it shows.
    int ShowHundredRows()
    {
        Fill(block, 0, 16 * 100, 'A');
        view.RequestRedraw(false);
        ApplyRedraws();
        return view.VisibleRowCount();
    }
};

TEST_F(HexViewPaintTest, BytesAppendedBelowTheViewShowWhenTheEndComesIntoView)
{
    const int rows = ShowHundredRows();
    ASSERT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0);

    // A receiver appends below the rows in view, the view staying where it is.
    std::thread receiver([&] {
        for (int i = 0; i < 50; ++i) {
            Fill(block, block.Size(), 16 * 3 + 5, static_cast<unsigned char>(i));
            view.RequestRedraw(false);
        }
    });
    receiver.join();
    ApplyRedraws();
    EXPECT_EQ(view.FirstVisibleRow(), 0u);
    EXPECT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0) << "the top rows still show their bytes";

    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_TRUE(view.IsEndInView());
    EXPECT_EQ(CellsNotShowing(view, OnScreen(view), block, view.FirstVisibleRow(), rows), 0) << "the appended bytes show";
}

TEST_F(HexViewPaintTest, BytesChangedInViewFromAnotherThreadShowAfterTheRedraw)
{
    const int rows = ShowHundredRows();
    ASSERT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0);

    // The rows in view get other bytes and the block grows as well, as when the front of a pane is
    // let go of while bytes keep coming: the view must not take it for an append below.
    std::thread writer([&] {
        Fill(block, 0, 16 * 4, 'a');
        Fill(block, block.Size(), 16 * 2, '0');
        view.RequestRedraw(false);
    });
    writer.join();
    ApplyRedraws();
    EXPECT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0);
}

TEST_F(HexViewPaintTest, APartOfTheViewPaintedAloneDoesNotHideChangesElsewhere)
{
    const int rows = ShowHundredRows();
    ASSERT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0);

    // The rows in view change; before the redraw request is carried out, a corner of the view is
    // painted on its own (as when a window that covered it goes away).
    std::thread writer([&] {
        Fill(block, 0, 16 * 8, 'k');
        view.RequestRedraw(false);
    });
    writer.join();
    view.viewport()->repaint(QRect(0, 0, 8, 8));
    ApplyRedraws();
    EXPECT_EQ(CellsNotShowing(view, OnScreen(view), block, 0, rows), 0);
}

TEST_F(HexViewTest, EveryByteIsPaintedInItsCellsAsTheFontDrawsIt)
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    SetBytes(bytes);
    // A selection from the middle of a row to the end, so that the cursor (at the selection's end)
    // sits on the row after the bytes.
    view.SetSelection(40, 256, plat::HexArea::Hex);
    const std::size_t selStart = view.SelectionStart();
    const std::size_t selEnd = view.SelectionEnd();
    ASSERT_EQ(selStart, 40u);
    ASSERT_EQ(view.CursorOffset(), 256u);
    ApplyRedraws();

    const QImage painted = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const std::vector<Cell> cells = CellsOf(view, bytes, selStart, selEnd);
    const QImage expected = DrawnAsText(view, painted.size(), cells);
    int wrong = 0;
    for (const Cell& cell : cells) {
        ASSERT_TRUE(painted.rect().contains(cell.rect)) << "all 256 bytes are in view";
        if (painted.copy(cell.rect) != expected.copy(cell.rect) && ++wrong <= 5)
            ADD_FAILURE() << "cell at " << cell.rect.x() << "," << cell.rect.y() << " ('"
                          << QString(cell.shown).toStdString() << "') differs";
    }
    EXPECT_EQ(wrong, 0);
}
