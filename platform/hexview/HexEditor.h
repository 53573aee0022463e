#pragma once
// The editing state of a hex view: cursor, selection, column and mode, and the edits a user makes,
// applied straight to the bound byte block. Knows nothing of widgets; runs on the window's thread.
//
// The cursor is a position between bytes, 0 to the block's size (the size is where typing appends).
// The selection is the bytes between the anchor and the cursor.

#include "platform/byteblock/ByteBlock.h"

#include <cstddef>
#include <vector>

namespace plat {

enum class HexArea { Hex, Text };
// Refused: the block is held; NoMemory: the block could not get the memory the edit needs. Either
// way nothing changed.
enum class EditResult { Changed, Unchanged, Refused, NoMemory };

class HexEditor {
public:
    void SetBlock(ByteBlock* block);
    ByteBlock* Block() const { return block_; }
    std::size_t BlockSize() const { return block_ ? block_->Size() : 0; }

    std::size_t Cursor() const { return cursor_; }
    std::size_t Anchor() const { return anchor_; }
    int Nibble() const { return nibble_; }
    bool HasSelection() const { return anchor_ != cursor_; }
    std::size_t SelectionStart() const { return anchor_ < cursor_ ? anchor_ : cursor_; }
    std::size_t SelectionEnd() const { return anchor_ < cursor_ ? cursor_ : anchor_; }

    HexArea Area() const { return area_; }
    void SetArea(HexArea area) { area_ = area; nibble_ = 0; }
    bool IsOverwrite() const { return overwrite_; }
    void SetOverwrite(bool overwrite) { overwrite_ = overwrite; nibble_ = 0; }

    // Moves the cursor (clamped to the block); `extend` keeps the anchor where it is.
    void MoveTo(std::size_t offset, bool extend, int nibble = 0);
    void SelectAll();
    // Keeps cursor and anchor inside the block after someone else changed its size.
    void ClampToBlock();
    // `bytes` left the front of the block: the cursor and the selection stay on their bytes (or
    // on the new first byte when theirs went).
    void ShiftBack(std::size_t bytes);

    EditResult TypeHexDigit(int value);
    EditResult TypeByte(unsigned char byte);
    EditResult DeleteForward();
    EditResult DeleteBackward();
    // Inserts or writes over (by mode) at the cursor, replacing the selection in insert mode.
    EditResult Paste(const unsigned char* data, std::size_t n);
    std::vector<unsigned char> SelectedBytes() const;
    EditResult EraseSelection();

private:
    // Prepares a typed or pasted edit: in insert mode the selection goes, in overwrite mode the edit
    // starts where the selection does. Refused or NoMemory when the block refused the erase.
    EditResult MakeRoomForTyping();
    void Collapse(std::size_t offset);
    unsigned char ByteAt(std::size_t offset) const;

    ByteBlock* block_ = nullptr;
    std::size_t cursor_ = 0;
    std::size_t anchor_ = 0;
    int nibble_ = 0; // 1 while the cursor is on the low digit of a byte in the hex column
    HexArea area_ = HexArea::Hex;
    bool overwrite_ = true;
};

} // namespace plat
