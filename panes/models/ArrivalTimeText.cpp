#include "panes/models/ArrivalTimeText.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <optional>

namespace {

std::string FormatLocal(std::int64_t msSinceEpoch, const char* layout)
{
    // Floor division: a time before 1970 still gives a millisecond part of 0 to 999.
    std::int64_t seconds = msSinceEpoch / 1000;
    std::int64_t ms = msSinceEpoch % 1000;
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&whole, &local) == nullptr)
        return "?";
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, layout, &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(ms));
    return text;
}

} // namespace

std::string ArrivalClockText(std::int64_t msSinceEpoch)
{
    return FormatLocal(msSinceEpoch, "%H:%M:%S");
}

std::string ArrivalDateTimeText(std::int64_t msSinceEpoch)
{
    return FormatLocal(msSinceEpoch, "%Y-%m-%d %H:%M:%S");
}

std::function<void(std::uint64_t, std::uint64_t, std::string&)> ArrivalExportLines(const ArrivalTimes& times)
{
    // The next start at or after where the last look-up began; nothing when none was left then.
    // Each copy of the function keeps its own place, so every export starts afresh.
    return [&times, next = std::optional<ArrivalTimes::Burst>(), lookedFrom = UINT64_MAX](
               std::uint64_t rowStart, std::uint64_t rowEnd, std::string& out) mutable {
        if (rowStart < lookedFrom || (next && next->offset < rowStart)) {
            next = times.FirstStartFrom(rowStart);
            lookedFrom = rowStart;
        }
        while (next && next->offset < rowEnd) {
            out += "-- ";
            out += ArrivalDateTimeText(next->msSinceEpoch);
            if (next->offset != rowStart) {
                char where[48];
                std::snprintf(where, sizeof where, " from offset %08" PRIX64, next->offset);
                out += where;
            }
            out += " --\n";
            next = times.FirstStartFrom(next->offset + 1);
        }
    };
}
