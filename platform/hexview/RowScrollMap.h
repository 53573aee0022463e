#pragma once
// Maps a view's first visible row (64-bit) onto a scroll bar whose range is an int. While the rows fit,
// a bar step is a row; beyond that the bar spreads over the rows proportionally, and both ends still
// meet: bar 0 is row 0 and the bar's maximum is the last first-row.

#include <cstdint>

namespace plat {

class RowScrollMap {
public:
    RowScrollMap(std::uint64_t maxFirstRow, int barLimit);

    int BarMaximum() const { return barMaximum_; }
    bool Scaled() const { return maxFirstRow_ > static_cast<std::uint64_t>(barMaximum_); }
    int ToBar(std::uint64_t row) const;
    // The first row whose bar position is `value`, so ToBar(ToRow(v)) == v.
    std::uint64_t ToRow(int value) const;

private:
    std::uint64_t maxFirstRow_;
    int barMaximum_;
};

} // namespace plat
