#pragma once
// One row of the view as plain characters: the offset, the row's bytes in hex and as text, with the
// same columns and blanks as the view draws them. Shared by what assistive technology reads and by
// Export as text, so that both read exactly like the pane. Any thread; no allocation.

#include <cstddef>
#include <cstdint>

namespace plat::hexformat {

// Characters in a row, without the line break.
int RowTextLength(int offsetDigits);
// Writes RowTextLength(offsetDigits) characters to `out`: the row starting at `offset` with `count`
// (0 to 16) bytes; a short row is padded with blanks so that every row has the same length.
void WriteRowText(char* out, std::uint64_t offset, int offsetDigits, const unsigned char* bytes, int count);

} // namespace plat::hexformat
