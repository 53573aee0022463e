// The keyboard and the clipboard of the hex view.
#include "platform/hexview/HexView.h"

#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFormat.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QToolTip>

#include <algorithm>

namespace plat {
namespace {
constexpr std::size_t kRow = hexformat::kBytesPerRow;
}

void HexView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier && !actions().isEmpty()) {
        // Taken here, so that the key opens the view's menu and not the window's.
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menuEvent);
        event->accept();
        return;
    }
    if (HandleClipboardKeys(event) || HandleNavigationKeys(event) || HandleEditingKeys(event)) {
        event->accept();
        NoteCaretMoved();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool HexView::HandleClipboardKeys(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        Copy();
    } else if (event->matches(QKeySequence::Cut)) {
        EndSearchBeforeEdit();
        Copy();
        Finish(editor_.EraseSelection());
    } else if (event->matches(QKeySequence::Paste)) {
        Paste();
    } else if (event->matches(QKeySequence::SelectAll)) {
        editor_.SelectAll();
        viewport()->update();
    } else {
        return false;
    }
    return true;
}

bool HexView::HandleNavigationKeys(QKeyEvent* event)
{
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const std::size_t size = editor_.BlockSize();
    const std::size_t cursor = editor_.Cursor();
    const std::size_t rowStart = cursor / kRow * kRow;
    const std::size_t page = static_cast<std::size_t>(std::max(1, VisibleRowCount() - 1)) * kRow;
    std::size_t target;
    switch (event->key()) {
    case Qt::Key_Left:
        target = cursor == 0 ? 0 : cursor - 1;
        break;
    case Qt::Key_Right:
        target = cursor + 1;
        break;
    case Qt::Key_Up:
        target = cursor < kRow ? cursor : cursor - kRow;
        break;
    case Qt::Key_Down:
        target = cursor / kRow < size / kRow ? std::min(cursor + kRow, size) : cursor;
        break;
    case Qt::Key_PageUp:
        target = cursor < page ? cursor % kRow : cursor - page;
        break;
    case Qt::Key_PageDown:
        target = size - cursor < page ? size : cursor + page;
        break;
    case Qt::Key_Home:
        target = ctrl ? 0 : rowStart;
        break;
    case Qt::Key_End:
        // A selection takes in the row's last byte; the cursor alone stops on it. On the last row the
        // end is the append position.
        target = ctrl || size - rowStart < kRow ? size : rowStart + (extend ? kRow : kRow - 1);
        break;
    case Qt::Key_Tab:
        if (!ctrl)
            return false;
        // Ctrl+Tab moves between the hex and the text column (Tab alone leaves the view).
        editor_.SetArea(editor_.Area() == HexArea::Hex ? HexArea::Text : HexArea::Hex);
        EnsureCursorVisible();
        viewport()->update();
        return true;
    default:
        return false;
    }
    editor_.MoveTo(target, extend);
    EnsureCursorVisible();
    viewport()->update();
    return true;
}

bool HexView::HandleEditingKeys(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Insert:
        if (event->modifiers() != Qt::NoModifier)
            return false;
        SetOverwriteMode(!editor_.IsOverwrite());
        return true;
    case Qt::Key_Delete:
        EndSearchBeforeEdit();
        Finish(editor_.DeleteForward());
        return true;
    case Qt::Key_Backspace:
        EndSearchBeforeEdit();
        Finish(editor_.DeleteBackward());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!TakesEnter() || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        // Typed like any other text, so overwrite mode writes over the bytes at the cursor.
        EndSearchBeforeEdit();
        Finish(editor_.Paste(reinterpret_cast<const unsigned char*>(enterBytes_.constData()),
                             static_cast<std::size_t>(enterBytes_.size())));
        return true;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    if (text.size() != 1)
        return false;
    if (editor_.Area() == HexArea::Hex) {
        const int digit = hexformat::HexDigitValue(text[0]);
        if (digit < 0)
            return false;
        EndSearchBeforeEdit();
        Finish(editor_.TypeHexDigit(digit));
        return true;
    }
    if (!hexformat::IsTypable(text[0]))
        return false;
    EndSearchBeforeEdit();
    Finish(editor_.TypeByte(static_cast<unsigned char>(text[0].unicode())));
    return true;
}

void HexView::EndSearchBeforeEdit()
{
    // The search reads the bytes on a worker; an edit changes them, and its hit would be stale.
    find_->Stop();
}

void HexView::Finish(EditResult result)
{
    if (result == EditResult::Refused) {
        // The block is held (a save or search is reading it): nothing changed.
        QApplication::beep();
    } else if (result == EditResult::NoMemory) {
        // Nothing changed; the user is told why by whoever owns the pane.
        QApplication::beep();
        emit editFailedForMemory();
    } else if (result == EditResult::Changed) {
        modified_.store(true);
        emit edited();
    }
    SyncWithBlock();
    EnsureCursorVisible();
    viewport()->update();
}

void HexView::Copy()
{
    const std::vector<unsigned char> bytes = editor_.SelectedBytes();
    if (bytes.empty())
        return;
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QApplication::clipboard()->setText(editor_.Area() == HexArea::Hex ? hexformat::ToHexText(raw) : QString::fromLatin1(raw));
}

void HexView::Paste()
{
    EndSearchBeforeEdit();
    const QString text = QApplication::clipboard()->text();
    QByteArray bytes;
    if (editor_.Area() == HexArea::Hex) {
        const std::optional<QByteArray> parsed = hexformat::ParseHexText(text);
        if (!parsed) {
            QApplication::beep();
            return;
        }
        bytes = *parsed;
    } else {
        // Each character is one byte; characters outside Latin-1 cannot be bytes and refuse the paste.
        for (QChar c : text) {
            if (c.unicode() > 0xFF) {
                QApplication::beep();
                return;
            }
        }
        bytes = text.toLatin1();
    }
    Finish(editor_.Paste(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
}

void HexView::PasteWithEscapes()
{
    EndSearchBeforeEdit();
    const hexformat::EscapedText parsed = hexformat::ParseEscapedText(QApplication::clipboard()->text());
    if (!parsed.bytes) {
        QApplication::beep();
        const QRect cell = CellRect(editor_.Cursor(), editor_.Area(), 0);
        const QPoint at = viewport()->rect().contains(cell.center()) ? cell.bottomLeft() : QPoint(0, 0);
        QToolTip::showText(viewport()->mapToGlobal(at), parsed.problem, viewport());
        return;
    }
    Finish(editor_.Paste(reinterpret_cast<const unsigned char*>(parsed.bytes->constData()),
                         static_cast<std::size_t>(parsed.bytes->size())));
}

} // namespace plat
