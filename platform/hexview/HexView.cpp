#include "platform/hexview/HexView.h"

#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexGlyphs.h"
#include "platform/hexview/HexViewAccessible.h"
#include "platform/hexview/RowScrollMap.h"
#include "platform/toolkit/FrameClock.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace plat {
namespace {
constexpr int kRow = hexformat::kBytesPerRow;
constexpr int kWheelRows = 3;
} // namespace

// The accessibility factory goes in before the base class is built: Qt keeps the first interface it
// makes for an object, and building the scroll area may already ask for one.
HexView::HexView(QWidget* parent) : QAbstractScrollArea((HexViewAccessible::Install(), parent))
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    setAccessibleDescription(tr("Hex and text view of bytes"));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &HexView::OnVerticalBar);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    find_ = new HexFind(this);
    redrawClock_ = new FrameClock([this] { ApplyRedrawRequest(); }, this);
    SyncWithBlock();
}

HexView::~HexView() = default;

void HexView::SetBlock(ByteBlock* block)
{
    emit blockAboutToChange();
    editor_.SetBlock(block);
    firstRow_ = 0;
    seenFront_ = block ? block->FrontDropped() : 0;
    SyncWithBlock();
    viewport()->update();
}

void HexView::RequestRedraw(bool scrollToEnd)
{
    scrollToEndWanted_.store(scrollToEnd);
    redrawClock_->Request();
}

void HexView::ApplyRedrawRequest()
{
    const bool toEnd = scrollToEndWanted_.load();
    ++redrawsDone_;
    SyncWithBlock();
    if (toEnd)
        ScrollToEnd();
    // Bytes that landed below the rows in view change only the scroll bar, which redraws itself:
    // a flood watched from further up costs no repaint of the rows.
    const PaintedRows now = RowsToPaint();
    if (!painted_.valid || now.firstRow != painted_.firstRow || now.origin != painted_.origin
        || now.offsetDigits != painted_.offsetDigits
        || now.rowsShown != painted_.rowsShown || now.bytes != painted_.bytes)
        viewport()->update();
}

HexLayout HexView::Layout() const
{
    return HexLayout(fontMetrics(), OffsetColumnChars());
}

int HexView::OffsetColumnChars() const
{
    const int digits = hexformat::OffsetDigits(seenFront_ + editor_.BlockSize());
    return marks_ ? std::max(digits, marks_->LabelWidth()) : digits;
}

void HexView::SetMarkSource(const HexMarkSource* source)
{
    marks_ = source;
    SyncWithBlock(); // the offset column may widen or narrow
    viewport()->update();
}

std::uint64_t HexView::RowCount() const
{
    return editor_.BlockSize() / kRow + 1;
}

int HexView::VisibleRowCount() const
{
    return std::max(1, viewport()->height() / Layout().LineHeight());
}

bool HexView::IsEndInView() const
{
    return firstRow_ + static_cast<std::uint64_t>(VisibleRowCount()) >= RowCount();
}

void HexView::ScrollToEnd()
{
    const std::uint64_t rows = RowCount();
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    SetFirstRow(rows > visible ? rows - visible : 0);
}

void HexView::FollowFront()
{
    const std::uint64_t front = Block() ? Block()->FrontDropped() : 0;
    if (front > seenFront_) {
        const std::uint64_t gone = front - seenFront_;
        editor_.ShiftBack(static_cast<std::size_t>(gone));
        const std::uint64_t rowsGone = gone / kRow;
        firstRow_ = firstRow_ > rowsGone ? firstRow_ - rowsGone : 0;
    }
    // A block emptied since (a clear) starts counting again.
    seenFront_ = front;
}

void HexView::SyncWithBlock()
{
    FollowFront();
    editor_.ClampToBlock();
    const HexLayout layout = Layout();
    const std::uint64_t rows = RowCount();
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    const std::uint64_t maxFirst = rows > visible ? rows - visible : 0;
    const RowScrollMap map(maxFirst, barLimit_);
    firstRow_ = std::min(firstRow_, maxFirst);

    QScrollBar* bar = verticalScrollBar();
    syncingBar_ = true;
    bar->setRange(0, map.BarMaximum());
    bar->setPageStep(map.Scaled() ? 1 : static_cast<int>(visible));
    bar->setSingleStep(1);
    bar->setValue(map.ToBar(firstRow_));
    syncingBar_ = false;

    QScrollBar* across = horizontalScrollBar();
    across->setRange(0, std::max(0, layout.ContentWidth() - viewport()->width()));
    across->setPageStep(viewport()->width());
    across->setSingleStep(layout.CharWidth());
    NoteTextChanged();
}

void HexView::SetFirstRow(std::uint64_t row)
{
    const std::uint64_t rows = RowCount();
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    const std::uint64_t maxFirst = rows > visible ? rows - visible : 0;
    firstRow_ = std::min(row, maxFirst);
    syncingBar_ = true;
    verticalScrollBar()->setValue(RowScrollMap(maxFirst, barLimit_).ToBar(firstRow_));
    syncingBar_ = false;
    viewport()->update();
    NoteTextChanged();
}

void HexView::OnVerticalBar(int value)
{
    if (syncingBar_)
        return;
    const std::uint64_t rows = RowCount();
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    firstRow_ = RowScrollMap(rows > visible ? rows - visible : 0, barLimit_).ToRow(value);
    viewport()->update();
    NoteTextChanged();
}

void HexView::SetScrollBarLimit(int limit)
{
    barLimit_ = std::max(1, limit);
    SyncWithBlock();
}

void HexView::ScrollOffsetIntoView(std::size_t offset)
{
    const std::uint64_t row = offset / kRow;
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    if (row < firstRow_)
        SetFirstRow(row);
    else if (row >= firstRow_ + visible)
        SetFirstRow(row - visible + 1);
}

void HexView::EnsureCursorVisible()
{
    ScrollOffsetIntoView(editor_.Cursor());

    // Bring the cursor's column into view as well.
    const HexLayout layout = Layout();
    const int byteInRow = static_cast<int>(editor_.Cursor() % kRow);
    const int x = editor_.Area() == HexArea::Hex ? layout.HexX(byteInRow) : layout.TextX(byteInRow);
    QScrollBar* across = horizontalScrollBar();
    if (x < across->value())
        across->setValue(x);
    else if (x + 2 * layout.CharWidth() > across->value() + viewport()->width())
        across->setValue(x + 2 * layout.CharWidth() - viewport()->width());
}

void HexView::SetOverwriteMode(bool overwrite)
{
    editor_.SetOverwrite(overwrite);
    viewport()->update();
}

void HexView::SetCursorOffset(std::size_t offset, HexArea area)
{
    editor_.SetArea(area);
    editor_.MoveTo(offset, false);
    EnsureCursorVisible();
    viewport()->update();
    NoteCaretMoved();
}

void HexView::SetSelection(std::size_t anchor, std::size_t cursor, HexArea area)
{
    editor_.SetArea(area);
    editor_.MoveTo(anchor, false);
    editor_.MoveTo(cursor, true);
    EnsureCursorVisible();
    viewport()->update();
    NoteCaretMoved();
}

QRect HexView::CellRect(std::size_t offset, HexArea area, int nibble) const
{
    const HexLayout layout = Layout();
    const int byteInRow = static_cast<int>(offset % kRow);
    const int x = area == HexArea::Hex ? layout.HexX(byteInRow, nibble) : layout.TextX(byteInRow);
    const auto row = static_cast<std::int64_t>(offset / kRow) - static_cast<std::int64_t>(firstRow_);
    return QRect(x - horizontalScrollBar()->value(), static_cast<int>(row) * layout.LineHeight(), layout.CharWidth(), layout.LineHeight());
}

QPoint HexView::PointOfOffset(std::size_t offset, HexArea area) const
{
    const QRect cell = CellRect(offset, area, 0);
    return QPoint(cell.x() + cell.width() / 2, cell.y() + cell.height() / 2);
}

HexRowsText::Position HexView::PositionAtPoint(QPoint pos) const
{
    const PointHit hit = HitAt(pos);
    return {hit.offset, hit.area, hit.nibble};
}

HexView::PointHit HexView::HitAt(QPoint pos) const
{
    const HexLayout layout = Layout();
    const HexLayout::Hit hit = layout.HitTest(pos.x() + horizontalScrollBar()->value());
    const std::uint64_t row = firstRow_ + static_cast<std::uint64_t>(std::max(0, pos.y()) / layout.LineHeight());
    const std::uint64_t offset = std::min<std::uint64_t>(row * kRow + static_cast<std::uint64_t>(hit.byteInRow), editor_.BlockSize());
    return {static_cast<std::size_t>(offset), hit.area, hit.nibble};
}

void HexView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const PointHit hit = HitAt(event->position().toPoint());
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    if (!extend)
        editor_.SetArea(hit.area);
    editor_.MoveTo(hit.offset, extend, editor_.IsOverwrite() ? hit.nibble : 0);
    dragging_ = true;
    viewport()->update();
    NoteCaretMoved();
}

void HexView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    const PointHit hit = HitAt(event->position().toPoint());
    // Dragging forward takes in the byte under the pointer.
    const std::size_t target = hit.offset >= editor_.Anchor() ? hit.offset + 1 : hit.offset;
    editor_.MoveTo(target, true);
    EnsureCursorVisible();
    viewport()->update();
    NoteCaretMoved();
}

void HexView::wheelEvent(QWheelEvent* event)
{
    // Whole rows, also when the bar is spread over more rows than it has steps.
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0)
        return QAbstractScrollArea::wheelEvent(event);
    const std::int64_t delta = -static_cast<std::int64_t>(notches) * kWheelRows;
    const std::uint64_t row = delta < 0 && static_cast<std::uint64_t>(-delta) > firstRow_ ? 0 : firstRow_ + delta;
    SetFirstRow(row);
    event->accept();
}

void HexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    SyncWithBlock();
}

QMenu* HexView::BuildContextMenu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    menu->addActions(actions());
    return menu;
}

void HexView::contextMenuEvent(QContextMenuEvent* event)
{
    if (actions().isEmpty())
        return event->ignore(); // the window's own menu, then
    // From the keyboard the menu opens at the cursor, or at the view's corner when the cursor is
    // scrolled out of sight.
    QPoint where = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        const QRect cell = CellRect(editor_.Cursor(), editor_.Area(), 0);
        where = viewport()->mapToGlobal(viewport()->rect().contains(cell.center()) ? cell.bottomLeft() : QPoint(0, 0));
    }
    BuildContextMenu()->popup(where);
    event->accept();
}

void HexView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        SyncWithBlock();
}

} // namespace plat
