// What the hex view tells assistive technology: the rows it reads, merged announcements of changes,
// and the caret and selection as the user moves them. Nothing is built while nobody listens.
#include "platform/hexview/HexView.h"
#include "platform/hexview/HexViewAccessible.h"

#include <QTimer>

#include <algorithm>

namespace plat {
namespace {
// Changes while bytes stream in are told at most this often, as one change.
constexpr int kAnnounceIntervalMs = 250;
} // namespace

HexRowsText HexView::AccessibleRows() const
{
    const auto visible = static_cast<std::uint64_t>(VisibleRowCount());
    const std::uint64_t first = firstRow_ > visible ? firstRow_ - visible : 0;
    return HexRowsText(Block(), first, firstRow_ - first + 2 * visible, marks_);
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
