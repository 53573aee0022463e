// The owner's marks in the hex view: a label in the offset column, a line before each marked byte,
// and the tooltip of the byte under the mouse.
#include "platform/hexview/HexView.h"

#include "platform/hexview/HexFormat.h"

#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

namespace plat {
namespace {
constexpr int kRow = hexformat::kBytesPerRow;
}

void HexView::PaintMarks(QPainter& painter, int y, const HexMark* marks, std::size_t count)
{
    const HexLayout layout = Layout();
    const QColor colour = palette().color(QPalette::Link);
    // The first mark's label takes the place of the row's offset.
    const int columnEnd = layout.HexX(0) - layout.CharWidth();
    painter.fillRect(0, y, columnEnd, layout.LineHeight(), palette().base());
    painter.setPen(colour);
    painter.drawText(layout.OffsetX(), y + layout.Ascent(), marks[0].label);

    // A thin line in the blank before the marked byte's digits, and at the left edge of its character.
    for (std::size_t i = 0; i < count; ++i) {
        const int byteInRow = static_cast<int>(marks[i].offset % kRow);
        const int hexX = layout.HexX(byteInRow) - (byteInRow == 0 ? layout.CharWidth() : layout.CharWidth() / 2) - 1;
        painter.fillRect(hexX, y, 2, layout.LineHeight(), colour);
        painter.fillRect(layout.TextX(byteInRow) - 1, y, 1, layout.LineHeight(), colour);
    }
}

bool HexView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && marks_)
        return ShowMarkToolTip(event);
    return QAbstractScrollArea::viewportEvent(event);
}

bool HexView::ShowMarkToolTip(QEvent* event)
{
    auto* help = static_cast<QHelpEvent*>(event);
    const HexLayout layout = Layout();
    const int x = help->pos().x() + horizontalScrollBar()->value();
    const HexLayout::Hit hit = layout.HitTest(x);
    const std::uint64_t row = firstRow_ + static_cast<std::uint64_t>(std::max(0, help->pos().y()) / layout.LineHeight());
    const std::uint64_t offset = row * kRow + static_cast<std::uint64_t>(hit.byteInRow);
    // Only a byte has a tooltip: not the offset column, the room after a row, or after the last byte.
    const bool overByte = x >= layout.HexX(0) && hit.byteInRow < kRow && offset < editor_.BlockSize();
    const QString text = overByte ? marks_->ToolTipAt(offset) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), text, viewport(), CellRect(offset, hit.area, 0));
    return true;
}

} // namespace plat
