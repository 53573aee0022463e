#include "platform/hexview/HexLayout.h"

#include "platform/hexview/HexFormat.h"

#include <algorithm>

namespace plat {
namespace {
constexpr int kColumnGap = 2; // blanks between the columns
}

HexLayout::HexLayout(const QFontMetrics& metrics, int offsetDigits)
    : charWidth_(std::max(1, metrics.horizontalAdvance(QChar('0')))),
      lineHeight_(std::max(1, metrics.height())),
      ascent_(metrics.ascent()),
      margin_(charWidth_ / 2 + 2),
      hexStart_(margin_ + (offsetDigits + kColumnGap) * charWidth_),
      textStart_(hexStart_ + (hexformat::kBytesPerRow * 3 - 1 + kColumnGap) * charWidth_)
{
}

int HexLayout::HexX(int byteInRow, int nibble) const
{
    return hexStart_ + (byteInRow * 3 + nibble) * charWidth_;
}

int HexLayout::TextX(int byteInRow) const
{
    return textStart_ + byteInRow * charWidth_;
}

int HexLayout::ContentWidth() const
{
    return TextX(hexformat::kBytesPerRow) + margin_;
}

HexLayout::Hit HexLayout::HitTest(int x) const
{
    const int gapMiddle = (HexX(hexformat::kBytesPerRow) - charWidth_ + textStart_) / 2;
    if (x >= gapMiddle) {
        const int byte = std::clamp((x - textStart_) / charWidth_, 0, hexformat::kBytesPerRow);
        return {HexArea::Text, x < textStart_ ? 0 : byte, 0};
    }
    if (x < hexStart_)
        return {HexArea::Hex, 0, 0};
    const int column = (x - hexStart_) / charWidth_; // three columns per byte: high, low, blank
    const int byte = std::min(column / 3, hexformat::kBytesPerRow);
    return {HexArea::Hex, byte, byte < hexformat::kBytesPerRow && column % 3 == 1 ? 1 : 0};
}

} // namespace plat
