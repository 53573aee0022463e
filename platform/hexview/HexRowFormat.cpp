#include "platform/hexview/HexRowFormat.h"

#include "platform/hexview/HexFormat.h"

#include <array>
#include <cstring>

namespace plat::hexformat {
namespace {
constexpr int kHexWidth = kBytesPerRow * 3 - 1; // "00 01 ... 0F"
constexpr int kGap = 2;                         // blanks between the columns, as the view leaves them
constexpr char kDigits[] = "0123456789ABCDEF";

// Each byte's two hex digits and its character, looked up rather than worked out: an export
// formats a gibibyte this way.
struct ByteLook {
    char hex[2];
    char shown;
};

const ByteLook* LookTable()
{
    static const auto table = [] {
        std::array<ByteLook, 256> looks{};
        for (int b = 0; b < 256; ++b)
            looks[b] = {{kDigits[b >> 4], kDigits[b & 0xF]}, static_cast<char>(DisplayChar(static_cast<unsigned char>(b)).unicode())};
        return looks;
    }();
    return table.data();
}
} // namespace

int RowTextLength(int offsetDigits)
{
    return offsetDigits + kGap + kHexWidth + kGap + kBytesPerRow;
}

void WriteRowText(char* out, std::uint64_t offset, int offsetDigits, const unsigned char* bytes, int count)
{
    std::memset(out, ' ', static_cast<std::size_t>(RowTextLength(offsetDigits)));
    for (int i = offsetDigits - 1; i >= 0; --i, offset >>= 4)
        out[i] = kDigits[offset & 0xF];
    char* hex = out + offsetDigits + kGap;
    char* text = hex + kHexWidth + kGap;
    const ByteLook* looks = LookTable();
    for (int i = 0; i < count; ++i) {
        const ByteLook& look = looks[bytes[i]];
        hex[i * 3] = look.hex[0];
        hex[i * 3 + 1] = look.hex[1];
        text[i] = look.shown;
    }
}

} // namespace plat::hexformat
