#include "platform/hexview/HexEditor.h"

#include <algorithm>

namespace plat {
namespace {

EditResult FromStatus(BlockStatus status)
{
    switch (status) {
    case BlockStatus::Ok:
        return EditResult::Changed;
    case BlockStatus::NoMemory:
        return EditResult::NoMemory;
    case BlockStatus::Held:
        break;
    }
    return EditResult::Refused;
}

bool Failed(EditResult result)
{
    return result == EditResult::Refused || result == EditResult::NoMemory;
}

} // namespace

void HexEditor::SetBlock(ByteBlock* block)
{
    block_ = block;
    cursor_ = anchor_ = 0;
    nibble_ = 0;
}

void HexEditor::MoveTo(std::size_t offset, bool extend, int nibble)
{
    cursor_ = std::min(offset, BlockSize());
    if (!extend)
        anchor_ = cursor_;
    nibble_ = cursor_ < BlockSize() ? nibble : 0;
}

void HexEditor::SelectAll()
{
    anchor_ = 0;
    cursor_ = BlockSize();
    nibble_ = 0;
}

void HexEditor::ClampToBlock()
{
    const std::size_t size = BlockSize();
    if (cursor_ > size) {
        cursor_ = size;
        nibble_ = 0;
    }
    anchor_ = std::min(anchor_, size);
}

void HexEditor::ShiftBack(std::size_t bytes)
{
    if (cursor_ < bytes)
        nibble_ = 0;
    cursor_ = cursor_ > bytes ? cursor_ - bytes : 0;
    anchor_ = anchor_ > bytes ? anchor_ - bytes : 0;
}

void HexEditor::Collapse(std::size_t offset)
{
    cursor_ = anchor_ = offset;
    nibble_ = 0;
}

unsigned char HexEditor::ByteAt(std::size_t offset) const
{
    unsigned char byte = 0;
    block_->Read(offset, &byte, 1);
    return byte;
}

EditResult HexEditor::MakeRoomForTyping()
{
    if (!HasSelection())
        return EditResult::Unchanged;
    if (overwrite_) {
        Collapse(SelectionStart());
        return EditResult::Unchanged;
    }
    return EraseSelection();
}

EditResult HexEditor::EraseSelection()
{
    if (!block_ || !HasSelection())
        return EditResult::Unchanged;
    const std::size_t start = SelectionStart();
    const BlockStatus status = block_->Erase(start, SelectionEnd() - start);
    if (status == BlockStatus::Ok)
        Collapse(start);
    return FromStatus(status);
}

EditResult HexEditor::TypeHexDigit(int value)
{
    if (!block_)
        return EditResult::Unchanged;
    if (const EditResult room = MakeRoomForTyping(); Failed(room))
        return room;
    ClampToBlock();
    const auto digit = static_cast<unsigned char>(value & 0xF);
    if (nibble_ == 0) {
        // The high digit starts a byte: a new one in insert mode or at the end, else the one there.
        const bool fresh = !overwrite_ || cursor_ == BlockSize();
        const unsigned char byte = static_cast<unsigned char>(digit << 4 | (fresh ? 0 : ByteAt(cursor_) & 0x0F));
        const BlockStatus status = fresh && !overwrite_ ? block_->Insert(cursor_, &byte, 1)
                                                        : block_->Overwrite(cursor_, &byte, 1);
        if (status != BlockStatus::Ok)
            return FromStatus(status);
        anchor_ = cursor_;
        nibble_ = 1;
        return EditResult::Changed;
    }
    const unsigned char byte = static_cast<unsigned char>((ByteAt(cursor_) & 0xF0) | digit);
    if (const BlockStatus status = block_->Overwrite(cursor_, &byte, 1); status != BlockStatus::Ok)
        return FromStatus(status);
    Collapse(cursor_ + 1);
    return EditResult::Changed;
}

EditResult HexEditor::TypeByte(unsigned char byte)
{
    if (!block_)
        return EditResult::Unchanged;
    if (const EditResult room = MakeRoomForTyping(); Failed(room))
        return room;
    ClampToBlock();
    const BlockStatus status = overwrite_ ? block_->Overwrite(cursor_, &byte, 1) : block_->Insert(cursor_, &byte, 1);
    if (status != BlockStatus::Ok)
        return FromStatus(status);
    Collapse(cursor_ + 1);
    return EditResult::Changed;
}

EditResult HexEditor::DeleteForward()
{
    if (!block_)
        return EditResult::Unchanged;
    if (HasSelection())
        return EraseSelection();
    ClampToBlock();
    if (cursor_ >= BlockSize())
        return EditResult::Unchanged;
    const BlockStatus status = block_->Erase(cursor_, 1);
    if (status == BlockStatus::Ok)
        Collapse(cursor_);
    return FromStatus(status);
}

EditResult HexEditor::DeleteBackward()
{
    if (!block_)
        return EditResult::Unchanged;
    if (HasSelection())
        return EraseSelection();
    ClampToBlock();
    // Half-way through a byte in the hex column, the byte being typed is the one to go.
    const std::size_t victim = nibble_ == 1 ? cursor_ : cursor_ - 1;
    if (nibble_ == 0 && cursor_ == 0)
        return EditResult::Unchanged;
    const BlockStatus status = block_->Erase(victim, 1);
    if (status == BlockStatus::Ok)
        Collapse(victim);
    return FromStatus(status);
}

EditResult HexEditor::Paste(const unsigned char* data, std::size_t n)
{
    if (!block_ || n == 0)
        return EditResult::Unchanged;
    if (const EditResult room = MakeRoomForTyping(); Failed(room))
        return room;
    ClampToBlock();
    const BlockStatus status = overwrite_ ? block_->Overwrite(cursor_, data, n) : block_->Insert(cursor_, data, n);
    if (status != BlockStatus::Ok)
        return FromStatus(status);
    Collapse(cursor_ + n);
    return EditResult::Changed;
}

std::vector<unsigned char> HexEditor::SelectedBytes() const
{
    if (!block_ || !HasSelection())
        return {};
    std::vector<unsigned char> out(SelectionEnd() - SelectionStart());
    out.resize(block_->Read(SelectionStart(), out.data(), out.size()));
    return out;
}

} // namespace plat
