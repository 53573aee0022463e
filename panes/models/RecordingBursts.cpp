#include "panes/models/RecordingBursts.h"

void RecordingBursts::Landed(ReceiveRecorder& recorder, std::uint64_t fileAt, std::uint64_t captureAt,
                             std::optional<std::int64_t> began, const ArrivalTimes& arrivals)
{
    m_fileStartInCapture = static_cast<std::int64_t>(captureAt) - static_cast<std::int64_t>(fileAt);
    if (began) {
        recorder.NoteBurst(fileAt, *began);
    } else if (fileAt == 0) {
        if (const std::optional<ArrivalTimes::Burst> burst = arrivals.BurstContaining(captureAt))
            recorder.NoteBurst(0, burst->msSinceEpoch);
    }
}
