// What the view paints: every byte's two hex digits and its character in the cells where the view
// says they are, looking exactly as the font draws them as text, plain and selected.
#include "HexViewFixture.h"

#include "platform/hexview/HexFormat.h"

#include <QPainter>
#include <QPalette>

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

} // namespace

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
