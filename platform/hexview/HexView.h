#pragma once
// A hex-and-text view of a byte block held by reference: an offset column, sixteen bytes a row in hex
// and as text. The user edits the block itself (overwrite or insert, Delete, Backspace, copy, cut and
// paste). Only the visible rows are read and painted, so the block's size does not matter.
// Assistive technology reads the rows around the view as text (HexViewAccessible).
//
// Everything runs on the window's thread except RequestRedraw and SetModified/IsModified, which any
// thread may call. The view reads the block's size and bytes when it redraws.
//
// The context menu (right click, or the Menu key) lists the view's actions (QWidget::actions): Find
// brings its own (HexFind), and the view's owner adds more with addAction. Without actions the click
// goes on to the parent.
//
// The owner may put marks on the bytes (HexMarks, SetMarkSource): labels in the offset column, a line
// before each marked byte and a tooltip per byte, looked up for the rows in view only.

#include "platform/byteblock/ByteBlock.h"
#include "platform/hexview/HexEditor.h"
#include "platform/hexview/HexLayout.h"
#include "platform/hexview/HexMarks.h"
#include "platform/hexview/HexRowsText.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QPoint>
#include <QString>

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

class QMenu;
class QTimer;

namespace plat {

class FrameClock;
class HexFind;
class HexGlyphs;

class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);
    ~HexView() override;

    // The view shows and edits this block from now on; nullptr shows nothing.
    void SetBlock(ByteBlock* block);
    ByteBlock* Block() const { return editor_.Block(); }

    // Any thread. Asks for a repaint from the block's current size, at most one a frame (FrameClock);
    // requests made before the repaint runs merge into it, and the latest scroll wish counts.
    void RequestRedraw(bool scrollToEnd);

    // Any thread. Set by the user's edits.
    void SetModified(bool modified) { modified_.store(modified); }
    bool IsModified() const { return modified_.load(); }

    bool IsOverwriteMode() const { return editor_.IsOverwrite(); }
    void SetOverwriteMode(bool overwrite);
    HexArea ActiveArea() const { return editor_.Area(); }
    // The bytes Enter types in the text column (a line ending); empty, Enter is not the view's key.
    void SetEnterBytes(const QByteArray& bytes) { enterBytes_ = bytes; }
    const QByteArray& EnterBytes() const { return enterBytes_; }
    // True when Enter, pressed now, would type the line ending.
    bool TakesEnter() const { return !enterBytes_.isEmpty() && editor_.Area() == HexArea::Text && editor_.Block(); }
    // Pastes the clipboard's text with its escapes (\r \n \t \0 \\ \e \xHH) made bytes, as a paste
    // does. Text that cannot be read changes nothing: a beep, and a tooltip at the cursor says where.
    void PasteWithEscapes();
    std::size_t CursorOffset() const { return editor_.Cursor(); }
    std::size_t SelectionStart() const { return editor_.SelectionStart(); }
    std::size_t SelectionEnd() const { return editor_.SelectionEnd(); }
    void SetCursorOffset(std::size_t offset, HexArea area);
    // Selects from `anchor` to `cursor` (the cursor's end) in that column.
    void SetSelection(std::size_t anchor, std::size_t cursor, HexArea area);
    int CursorNibble() const { return editor_.Nibble(); }

    // The offset shown for the block's first byte: what the block dropped from its front, so that
    // a pane that keeps only the end of a long capture counts from the capture's start.
    std::uint64_t OffsetOrigin() const { return seenFront_; }
    // Rows, counting the row that holds the append position after the last byte.
    std::uint64_t RowCount() const;
    std::uint64_t FirstVisibleRow() const { return firstRow_; }
    int VisibleRowCount() const;
    bool IsEndInView() const;
    void ScrollToEnd();
    // Where a byte is drawn in viewport coordinates (centre of its cell), if it is in view.
    QPoint PointOfOffset(std::size_t offset, HexArea area) const;
    // The cell that shows a byte (or one digit of it), in viewport coordinates.
    QRect CellRect(std::size_t offset, HexArea area, int nibble) const;
    // The byte position under a viewport point.
    HexRowsText::Position PositionAtPoint(QPoint pos) const;
    // Scrolls as little as needed to bring the row of this byte into view.
    void ScrollOffsetIntoView(std::size_t offset);
    // What assistive technology reads: the rows in view and as many again before and after them.
    HexRowsText AccessibleRows() const;
    // Redraw requests carried out so far (to see that requests merge).
    std::uint64_t RedrawsDone() const { return redrawsDone_; }
    // The largest value the vertical bar may take; rows beyond it are spread over the bar.
    void SetScrollBarLimit(int limit);
    // Find in this view: its actions, Find window and search.
    HexFind* Finder() const { return find_; }
    // Marks shown on the bytes from now on (HexMarks); nullptr shows none. The source must stay until
    // it is replaced or the view goes.
    void SetMarkSource(const HexMarkSource* source);
    const HexMarkSource* MarkSource() const { return marks_; }

signals:
    // The user changed the block.
    void edited();
    // The user's edit was not made: the block could not get the memory it needed.
    void editFailedForMemory();
    // Sent before the view lets go of its block: work that reads the block ends before this returns.
    void blockAboutToChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void ApplyRedrawRequest();
    // The context menu as a right click or the Menu key opens it; the caller shows it.
    QMenu* BuildContextMenu();
    // Reads the block's size and fits the scroll bars, the first row and the cursor to it.
    void SyncWithBlock();
    // Keeps the cursor, the selection and the first row on their bytes when the block dropped
    // bytes from its front since the last look.
    void FollowFront();
    void SetFirstRow(std::uint64_t row);
    void OnVerticalBar(int value);
    void EnsureCursorVisible();
    bool HandleClipboardKeys(QKeyEvent* event);
    bool HandleNavigationKeys(QKeyEvent* event);
    bool HandleEditingKeys(QKeyEvent* event);
    void EndSearchBeforeEdit();
    void Finish(EditResult result);
    void Copy();
    void Paste();
    struct PointHit {
        std::size_t offset;
        HexArea area;
        int nibble;
    };
    // The byte position under a viewport point; past the last byte of a row it is the next row's start.
    PointHit HitAt(QPoint pos) const;
    void PaintRow(QPainter& painter, int y, std::uint64_t row, const unsigned char* bytes, int count);
    // The marks that fall in a row: the first one's label instead of the offset, a line before each.
    void PaintMarks(QPainter& painter, int y, const HexMark* marks, std::size_t count);
    // Characters in the offset column: the offset's digits, or the widest mark label.
    int OffsetColumnChars() const;
    // The tooltip for the point, when it is over a byte and the marks give one.
    bool ShowMarkToolTip(QEvent* event);
    void PaintCursor(QPainter& painter, int y, int byteInRow);
    HexLayout Layout() const;
    // Assistive technology hears of changes only while it listens; changes merge into one
    // announcement per interval, so a flood of received bytes costs a few events a second.
    void NoteTextChanged();
    void AnnounceTextChange();
    void NoteCaretMoved();

    // What the last paint showed of the block. A redraw request that changes none of it (bytes
    // appended below the rows in view while the view stays put) leaves the rows unpainted.
    struct PaintedRows {
        bool valid = false;
        std::uint64_t firstRow = 0;
        std::uint64_t origin = 0;   // the offset shown for the block's first byte
        int offsetDigits = 0;       // the offset column's width, marks included
        int rowsShown = 0;
        std::vector<unsigned char> bytes;
    };
    // The rows the view would paint now, read from the block.
    PaintedRows RowsToPaint() const;

    HexEditor editor_;
    PaintedRows painted_;
    // The glyphs of the view's font, made at the first paint and again when the font changes.
    std::unique_ptr<HexGlyphs> glyphs_;
    std::uint64_t firstRow_ = 0;
    std::uint64_t seenFront_ = 0;
    int barLimit_ = INT_MAX;
    bool syncingBar_ = false;
    bool dragging_ = false;
    std::uint64_t redrawsDone_ = 0;
    FrameClock* redrawClock_ = nullptr;
    std::atomic<bool> scrollToEndWanted_{false};
    std::atomic<bool> modified_{false};
    QTimer* announceTimer_ = nullptr;
    HexFind* find_ = nullptr;
    const HexMarkSource* marks_ = nullptr;
    QByteArray enterBytes_;
    QString announcedText_;
    bool selectionAnnounced_ = false;
};

} // namespace plat
