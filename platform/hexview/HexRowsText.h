#pragma once
// A run of the view's rows as plain text, for assistive technology: each row as the view shows it,
// offset, hex digits and characters, on a line of its own. Every row has the same length, so a
// character index and a byte position convert into each other without reading the block again.
// Knows nothing of widgets; the caller picks the rows, so that a large block costs no more than a
// small one. Any thread: the block is read through its own lock (marks, when given, are asked on
// the window's thread, where the view builds its text).

#include "platform/byteblock/ByteBlock.h"
#include "platform/hexview/HexEditor.h"
#include "platform/hexview/HexMarks.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace plat {

class HexRowsText {
public:
    struct Position {
        std::size_t offset;   // 0 to the block's size
        HexArea area;
        int nibble;           // 1 on the low digit of a byte in the hex column
    };

    // Rows firstRow to firstRow + rowCount - 1 of `block` (nullptr reads as empty). With `marks`, the
    // offset column is as wide as the widest label and a row with a mark reads its label there.
    HexRowsText(const ByteBlock* block, std::uint64_t firstRow, std::uint64_t rowCount,
                const HexMarkSource* marks = nullptr);

    const QString& Text() const { return text_; }
    std::uint64_t FirstRow() const { return firstRow_; }
    std::uint64_t RowCount() const { return rowCount_; }
    int RowLength() const { return rowLength_; }
    std::size_t BlockSize() const { return blockSize_; }

    // The index of the character that shows a cursor position: 0 before these rows, the text's
    // length after them.
    int IndexOf(std::size_t offset, HexArea area, int nibble = 0) const;
    // The byte position that a character shows (the offset column and the gaps belong to the next
    // byte to the right).
    Position PositionAt(int index) const;

private:
    int HexStart() const { return offsetWidth_ + 2; }
    int TextStart() const;

    QString text_;
    std::uint64_t firstRow_;
    std::uint64_t rowCount_ = 0;
    std::size_t blockSize_;
    std::uint64_t origin_;   // the offset shown for the block's first byte
    int offsetDigits_;
    int offsetWidth_; // the offset column: the digits, or the widest mark label
    int rowLength_;
};

} // namespace plat
