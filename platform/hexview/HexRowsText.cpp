#include "platform/hexview/HexRowsText.h"

#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexRowFormat.h"

#include <algorithm>
#include <vector>

namespace plat {
namespace {
constexpr int kRow = hexformat::kBytesPerRow;
constexpr int kHexWidth = kRow * 3 - 1;   // "00 01 ... 0F"
constexpr int kGap = 2;                   // blanks between the columns, as the view leaves them
} // namespace

HexRowsText::HexRowsText(const ByteBlock* block, std::uint64_t firstRow, std::uint64_t rowCount,
                         const HexMarkSource* marks)
    : firstRow_(firstRow),
      blockSize_(block ? block->Size() : 0),
      origin_(block ? block->FrontDropped() : 0),
      offsetDigits_(hexformat::OffsetDigits(origin_ + blockSize_)),
      offsetWidth_(marks ? std::max(offsetDigits_, marks->LabelWidth()) : offsetDigits_),
      rowLength_(hexformat::RowTextLength(offsetDigits_) + (offsetWidth_ - offsetDigits_) + 1)
{
    // The rows that exist: up to the one that holds the append position.
    const std::uint64_t rowsInBlock = blockSize_ / kRow + 1;
    if (firstRow_ >= rowsInBlock)
        firstRow_ = rowsInBlock - 1;
    rowCount_ = std::min(rowCount, rowsInBlock - firstRow_);

    std::vector<unsigned char> bytes(static_cast<std::size_t>(rowCount_) * kRow);
    const std::size_t got = block ? block->Read(static_cast<std::size_t>(firstRow_ * kRow), bytes.data(), bytes.size()) : 0;
    std::vector<HexMark> marked;
    if (marks)
        marks->MarksIn(firstRow_ * kRow, (firstRow_ + rowCount_) * kRow, marked);
    std::size_t nextMark = 0;

    text_.reserve(static_cast<qsizetype>(rowCount_) * rowLength_);
    const int pad = offsetWidth_ - offsetDigits_;
    std::vector<char> line(static_cast<std::size_t>(rowLength_));
    for (std::uint64_t r = 0; r < rowCount_; ++r) {
        const std::size_t begin = static_cast<std::size_t>(r) * kRow;
        const int count = begin >= got ? 0 : static_cast<int>(std::min<std::size_t>(kRow, got - begin));
        // The row as the view draws it, with the offset column widened by `pad` blanks after the digits.
        hexformat::WriteRowText(line.data() + pad, origin_ + (firstRow_ + r) * kRow, offsetDigits_, bytes.data() + begin, count);
        std::copy_n(line.data() + pad, offsetDigits_, line.data());
        std::fill_n(line.data() + offsetDigits_, pad, ' ');
        line.back() = '\n';
        QString row = QLatin1String(line.data(), rowLength_);
        // A row with marks reads the first one's label in place of its offset.
        const std::uint64_t rowEnd = (firstRow_ + r + 1) * kRow;
        if (nextMark < marked.size() && marked[nextMark].offset < rowEnd)
            row.replace(0, offsetWidth_, marked[nextMark].label.left(offsetWidth_).leftJustified(offsetWidth_));
        while (nextMark < marked.size() && marked[nextMark].offset < rowEnd)
            ++nextMark;
        text_ += row;
    }
}

int HexRowsText::TextStart() const
{
    return HexStart() + kHexWidth + kGap;
}

int HexRowsText::IndexOf(std::size_t offset, HexArea area, int nibble) const
{
    const std::uint64_t row = offset / kRow;
    if (row < firstRow_)
        return 0;
    if (row >= firstRow_ + rowCount_)
        return static_cast<int>(text_.size());
    const int byteInRow = static_cast<int>(offset % kRow);
    const int column = area == HexArea::Hex ? HexStart() + byteInRow * 3 + (nibble != 0 ? 1 : 0) : TextStart() + byteInRow;
    return static_cast<int>(row - firstRow_) * rowLength_ + column;
}

HexRowsText::Position HexRowsText::PositionAt(int index) const
{
    if (rowCount_ == 0)
        return {0, HexArea::Hex, 0};
    index = std::clamp(index, 0, static_cast<int>(text_.size()) - 1);
    const std::uint64_t rowStart = (firstRow_ + static_cast<std::uint64_t>(index / rowLength_)) * kRow;
    const int column = index % rowLength_;
    Position at{0, HexArea::Hex, 0};
    int byteInRow = 0;
    if (column >= TextStart()) {
        at.area = HexArea::Text;
        byteInRow = std::min(column - TextStart(), kRow);
    } else if (column >= HexStart() + kHexWidth) {
        byteInRow = kRow;
    } else if (column >= HexStart()) {
        const int cell = column - HexStart();
        byteInRow = cell / 3 + (cell % 3 == 2 ? 1 : 0);
        at.nibble = cell % 3 == 1 ? 1 : 0;
    }
    at.offset = static_cast<std::size_t>(std::min<std::uint64_t>(rowStart + static_cast<std::uint64_t>(byteInRow), blockSize_));
    if (at.offset == blockSize_)
        at.nibble = 0;
    return at;
}

} // namespace plat
