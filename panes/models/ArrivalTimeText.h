#pragma once
// How the arrival times of the Received pane's bursts read: in the pane's offset column, in its
// tooltip and as lines of its text export. Local time, to the millisecond. No Qt; any thread.

#include "panes/models/ArrivalTimes.h"

#include <cstdint>
#include <functional>
#include <string>

// "12:03:04.567"
std::string ArrivalClockText(std::int64_t msSinceEpoch);
// "2026-12-07 12:03:04.567"
std::string ArrivalDateTimeText(std::int64_t msSinceEpoch);

// The lines a text export writes before each row of the pane: "-- 2026-12-07 12:03:04.567 --" for
// a burst that begins at the row's start, "-- 2026-12-07 12:03:04.567 from offset 00000013 --" for
// one that begins inside it. Called by the export worker row after row; it looks the times up once
// per burst, not once per row. `times` must outlive every copy.
std::function<void(std::uint64_t rowStart, std::uint64_t rowEnd, std::string& out)>
ArrivalExportLines(const ArrivalTimes& times);
