#include "platform/hexview/RowScrollMap.h"

#include <algorithm>

namespace plat {

RowScrollMap::RowScrollMap(std::uint64_t maxFirstRow, int barLimit)
    : maxFirstRow_(maxFirstRow),
      barMaximum_(static_cast<int>(std::min<std::uint64_t>(maxFirstRow, static_cast<std::uint64_t>(std::max(barLimit, 1)))))
{
}

int RowScrollMap::ToBar(std::uint64_t row) const
{
    row = std::min(row, maxFirstRow_);
    if (!Scaled())
        return static_cast<int>(row);
    return static_cast<int>(static_cast<unsigned __int128>(row) * static_cast<unsigned>(barMaximum_) / maxFirstRow_);
}

std::uint64_t RowScrollMap::ToRow(int value) const
{
    value = std::clamp(value, 0, barMaximum_);
    if (!Scaled())
        return static_cast<std::uint64_t>(value);
    // Rounded up: rounding down could land on a row that maps back to the bar position before.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(value) * maxFirstRow_;
    return static_cast<std::uint64_t>((scaled + static_cast<unsigned>(barMaximum_) - 1) / static_cast<unsigned>(barMaximum_));
}

} // namespace plat
