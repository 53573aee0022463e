#include "platform/hexview/HexViewAccessible.h"

#include "platform/hexview/HexView.h"

#include <algorithm>
#include <atomic>

namespace plat {
namespace {

std::atomic<HexViewAccessible::AnnouncementSink> g_sinkForTests{nullptr};

QAccessibleInterface* MakeHexViewAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(HexView::staticMetaObject.className()) && object != nullptr)
        if (auto* view = qobject_cast<HexView*>(object))
            return new HexViewAccessible(view);
    return nullptr;
}

} // namespace

HexViewAccessible::HexViewAccessible(HexView* view) : QAccessibleWidget(view, QAccessible::EditableText)
{
}

void HexViewAccessible::Install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&MakeHexViewAccessible);
        return true;
    }();
    (void)installed;
}

bool HexViewAccessible::Listening()
{
    return g_sinkForTests.load() != nullptr || QAccessible::isActive();
}

void HexViewAccessible::Announce(QAccessibleEvent* event)
{
    if (AnnouncementSink sink = g_sinkForTests.load())
        sink(event);
    else
        QAccessible::updateAccessibility(event);
}

void HexViewAccessible::SetAnnouncementSinkForTests(AnnouncementSink sink)
{
    g_sinkForTests.store(sink);
}

HexView* HexViewAccessible::View() const
{
    return static_cast<HexView*>(widget());
}

void* HexViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State HexViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void HexViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    const HexView* view = View();
    const HexRowsText rows = view->AccessibleRows();
    const HexArea area = view->ActiveArea();
    *startOffset = rows.IndexOf(view->SelectionStart(), area);
    // The selection ends after the last selected byte's digits or character.
    const int last = rows.IndexOf(view->SelectionEnd() - 1, area);
    *endOffset = last >= rows.Text().size() ? last : last + (area == HexArea::Hex ? 2 : 1);
}

int HexViewAccessible::selectionCount() const
{
    return View()->SelectionStart() < View()->SelectionEnd() ? 1 : 0;
}

void HexViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void HexViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        View()->SetSelection(View()->CursorOffset(), View()->CursorOffset(), View()->ActiveArea());
}

void HexViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    const HexRowsText rows = View()->AccessibleRows();
    if (endOffset <= startOffset) {
        const HexRowsText::Position at = rows.PositionAt(startOffset);
        View()->SetSelection(at.offset, at.offset, at.area);
        return;
    }
    const HexRowsText::Position first = rows.PositionAt(startOffset);
    // The byte of the last character taken in counts whole.
    const HexRowsText::Position last = rows.PositionAt(endOffset - 1);
    const std::size_t end = std::max(first.offset, last.offset + (last.offset < rows.BlockSize() ? 1 : 0));
    View()->SetSelection(first.offset, end, first.area);
}

int HexViewAccessible::cursorPosition() const
{
    const HexView* view = View();
    return view->AccessibleRows().IndexOf(view->CursorOffset(), view->ActiveArea(), view->CursorNibble());
}

void HexViewAccessible::setCursorPosition(int position)
{
    const HexRowsText::Position at = View()->AccessibleRows().PositionAt(position);
    View()->SetCursorOffset(at.offset, at.area);
}

QString HexViewAccessible::text(int startOffset, int endOffset) const
{
    const QString all = View()->AccessibleRows().Text();
    startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int HexViewAccessible::characterCount() const
{
    return static_cast<int>(View()->AccessibleRows().Text().size());
}

QRect HexViewAccessible::characterRect(int offset) const
{
    const HexView* view = View();
    const HexRowsText::Position at = view->AccessibleRows().PositionAt(offset);
    const QRect cell = view->CellRect(at.offset, at.area, at.nibble);
    return QRect(view->viewport()->mapToGlobal(cell.topLeft()), cell.size());
}

int HexViewAccessible::offsetAtPoint(const QPoint& point) const
{
    const HexView* view = View();
    const QPoint local = view->viewport()->mapFromGlobal(point);
    if (!view->viewport()->rect().contains(local))
        return -1;
    const HexRowsText::Position at = view->PositionAtPoint(local);
    return view->AccessibleRows().IndexOf(at.offset, at.area, at.nibble);
}

void HexViewAccessible::scrollToSubstring(int startIndex, int /*endIndex*/)
{
    const HexRowsText::Position at = View()->AccessibleRows().PositionAt(startIndex);
    View()->ScrollOffsetIntoView(at.offset);
}

QString HexViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // One run without attributes.
    (void)offset;
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}

} // namespace plat
