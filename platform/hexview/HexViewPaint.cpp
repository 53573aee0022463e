// Painting of the hex view: only the rows in view are read from the block and drawn.
#include "platform/hexview/HexView.h"

#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexGlyphs.h"

#include <QPaintEvent>
#include <QScrollBar>

#include <vector>

namespace plat {
namespace {
constexpr int kRow = hexformat::kBytesPerRow;
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

void HexView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    painter.setFont(font());
    if (!glyphs_ || !glyphs_->IsFor(painter.font()))
        glyphs_ = std::make_unique<HexGlyphs>(painter.font());
    painter.translate(-horizontalScrollBar()->value(), 0);

    FollowFront();
    const HexLayout layout = Layout();
    // The size is read now: a block that grew or shrank since the last redraw request still paints
    // correctly; the scroll bar follows with the next request.
    painted_ = RowsToPaint();
    // Only a paint of the whole viewport shows these rows everywhere: after a partial one (part of
    // the view exposed) the next redraw request repaints in full.
    painted_.valid = QRegion(viewport()->rect()).subtracted(event->region()).isEmpty();
    const std::vector<unsigned char>& bytes = painted_.bytes;
    const std::size_t got = bytes.size();

    // The owner's marks are looked up for the rows in view only.
    std::vector<HexMark> marks;
    if (marks_)
        marks_->MarksIn(firstRow_ * kRow, (firstRow_ + static_cast<std::uint64_t>(painted_.rowsShown)) * kRow, marks);
    std::size_t nextMark = 0;

    for (int r = 0; r < painted_.rowsShown; ++r) {
        const std::size_t begin = static_cast<std::size_t>(r) * kRow;
        const int count = begin >= got ? 0 : static_cast<int>(std::min<std::size_t>(kRow, got - begin));
        PaintRow(painter, r * layout.LineHeight(), firstRow_ + static_cast<std::uint64_t>(r), bytes.data() + begin, count);
        const std::uint64_t rowEnd = (firstRow_ + static_cast<std::uint64_t>(r) + 1) * kRow;
        std::size_t endMark = nextMark;
        while (endMark < marks.size() && marks[endMark].offset < rowEnd)
            ++endMark;
        if (endMark > nextMark)
            PaintMarks(painter, r * layout.LineHeight(), marks.data() + nextMark, endMark - nextMark);
        nextMark = endMark;
    }
}

HexView::PaintedRows HexView::RowsToPaint() const
{
    PaintedRows rows;
    rows.valid = true;
    rows.firstRow = firstRow_;
    rows.origin = seenFront_;
    rows.offsetDigits = OffsetColumnChars();
    const int rowsInView = viewport()->height() / Layout().LineHeight() + 1;
    const std::uint64_t rowCount = RowCount();
    rows.rowsShown = firstRow_ >= rowCount ? 0 : static_cast<int>(std::min<std::uint64_t>(rowsInView, rowCount - firstRow_));
    rows.bytes.resize(static_cast<std::size_t>(rowsInView) * kRow);
    const std::size_t got = Block() ? Block()->Read(static_cast<std::size_t>(firstRow_ * kRow), rows.bytes.data(), rows.bytes.size()) : 0;
    rows.bytes.resize(got);
    return rows;
}

void HexView::PaintRow(QPainter& painter, int y, std::uint64_t row, const unsigned char* bytes, int count)
{
    const HexLayout layout = Layout();
    const QPalette& colours = palette();
    const int baseline = y + layout.Ascent();
    const std::uint64_t rowStart = row * kRow;

    painter.setPen(colours.color(QPalette::PlaceholderText));
    painter.drawText(layout.OffsetX(), baseline,
                     hexformat::OffsetText(seenFront_ + rowStart, hexformat::OffsetDigits(seenFront_ + editor_.BlockSize())));

    const HexGlyphs& glyphs = *glyphs_;
    HexGlyphBatch plain(glyphs);
    HexGlyphBatch highlighted(glyphs);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t offset = rowStart + static_cast<std::uint64_t>(i);
        const bool selected = offset >= editor_.SelectionStart() && offset < editor_.SelectionEnd();
        if (selected) {
            // The blank after a selected byte is part of the band unless the selection ends there.
            const int hexWidth = (i + 1 < kRow && offset + 1 < editor_.SelectionEnd() ? 3 : 2) * layout.CharWidth();
            painter.fillRect(layout.HexX(i), y, hexWidth, layout.LineHeight(), colours.highlight());
            painter.fillRect(layout.TextX(i), y, layout.CharWidth(), layout.LineHeight(), colours.highlight());
        }
        if (glyphs.IsComplete()) {
            // Gathered and drawn per colour below: the same glyphs in the same cells, two calls a row.
            HexGlyphBatch& batch = selected ? highlighted : plain;
            batch.Add(kHexDigits[bytes[i] >> 4], layout.HexX(i, 0), baseline);
            batch.Add(kHexDigits[bytes[i] & 0xF], layout.HexX(i, 1), baseline);
            const char shown = hexformat::DisplayChar(bytes[i]).toLatin1();
            if (shown != ' ')
                batch.Add(shown, layout.TextX(i), baseline);
            continue;
        }
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(layout.HexX(i), baseline, hexformat::ByteHex(bytes[i]));
        painter.drawText(layout.TextX(i), baseline, QString(hexformat::DisplayChar(bytes[i])));
    }
    if (!plain.IsEmpty()) {
        painter.setPen(colours.color(QPalette::Text));
        plain.Draw(painter);
    }
    if (!highlighted.IsEmpty()) {
        painter.setPen(colours.color(QPalette::HighlightedText));
        highlighted.Draw(painter);
    }

    const std::size_t cursor = editor_.Cursor();
    if (cursor / kRow == row)
        PaintCursor(painter, y, static_cast<int>(cursor % kRow));
}

void HexView::PaintCursor(QPainter& painter, int y, int byteInRow)
{
    const HexLayout layout = Layout();
    const bool inHex = editor_.Area() == HexArea::Hex;
    const QRect hexCell(layout.HexX(byteInRow, editor_.Nibble()), y, layout.CharWidth(), layout.LineHeight());
    const QRect textCell(layout.TextX(byteInRow), y, layout.CharWidth(), layout.LineHeight());
    const QRect active = inHex ? hexCell : textCell;
    const QRect other = inHex ? textCell : hexCell;
    const QColor colour = palette().color(QPalette::Text);

    painter.setPen(QPen(colour, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(other.adjusted(0, 0, -1, -1));
    if (!hasFocus()) {
        painter.setPen(colour);
        painter.drawRect(active.adjusted(0, 0, -1, -1));
    } else if (editor_.IsOverwrite()) {
        // A block over the character being replaced.
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(active, Qt::white);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        // A bar before the place where the next byte goes in.
        painter.fillRect(active.x() - 1, y, 2, layout.LineHeight(), colour);
    }
}

} // namespace plat
