#include "platform/hexview/HexViewAccessible.h"

#include "platform/hexview/HexView.h"

#include <QTimer>

#include <algorithm>
#include <atomic>

namespace plat {
namespace {

// Changes while bytes stream in are told at most this often, as one change.
constexpr int kAnnounceIntervalMs = 250;

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

// The view's announcements, made only while assistive technology listens.

HexRowsText HexView::AccessibleRows() const
{
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    const std::uint64_t first = firstRow_ > visible ? firstRow_ - visible : 0;
    return HexRowsText(Block(), first, firstRow_ - first + 2 * visible);
}

void HexView::NoteTextChanged()
{
    if (!HexViewAccessible::Listening())
        return;
    if (announceTimer_ == nullptr) {
        announceTimer_ = new QTimer(this);
        announceTimer_->setSingleShot(true);
        announceTimer_->setInterval(kAnnounceIntervalMs);
        connect(announceTimer_, &QTimer::timeout, this, &HexView::AnnounceTextChange);
    }
    if (!announceTimer_->isActive())
        announceTimer_->start();
}

void HexView::AnnounceTextChange()
{
    if (announceTimer_ != nullptr)
        announceTimer_->stop();
    const QString now = AccessibleRows().Text();
    if (now == announcedText_)
        return;
    // Only the part that changed: what streamed in at the end, or the rows a scroll brought in.
    const qsizetype shorter = std::min(now.size(), announcedText_.size());
    qsizetype head = 0;
    while (head < shorter && now[head] == announcedText_[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && now[now.size() - 1 - tail] == announcedText_[announcedText_.size() - 1 - tail])
        ++tail;
    QAccessibleTextUpdateEvent event(this, static_cast<int>(head), announcedText_.mid(head, announcedText_.size() - head - tail),
                                     now.mid(head, now.size() - head - tail));
    announcedText_ = now;
    HexViewAccessible::Announce(&event);
}

void HexView::NoteCaretMoved()
{
    if (!HexViewAccessible::Listening())
        return;
    // A pending change goes first, so that the caret is told in the text as it now reads.
    if (announceTimer_ != nullptr && announceTimer_->isActive())
        AnnounceTextChange();
    const HexRowsText rows = AccessibleRows();
    QAccessibleTextCursorEvent caret(this, rows.IndexOf(CursorOffset(), ActiveArea(), CursorNibble()));
    HexViewAccessible::Announce(&caret);
    const bool hasSelection = SelectionStart() < SelectionEnd();
    if (!hasSelection && !selectionAnnounced_)
        return;
    selectionAnnounced_ = hasSelection;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(this);
    int start = 0;
    int end = 0;
    if (iface != nullptr && iface->textInterface() != nullptr)
        iface->textInterface()->selection(0, &start, &end);
    QAccessibleTextSelectionEvent selected(this, start, end);
    HexViewAccessible::Announce(&selected);
}

} // namespace plat
