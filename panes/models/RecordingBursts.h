#pragma once
// The recording's side of the Received pane's arrival times: a burst that begins while recording gets
// its line in the companion file at its file offset, and a recording that starts inside a burst opens
// with that burst's time. It also knows where the file begins in the capture, so that the pane can
// tell which of its bytes are in the file.
//
// Threads: with the received lock held (the receive workers, after an append).

#include "panes/models/ArrivalTimes.h"
#include "panes/models/ReceiveRecorder.h"

#include <cstdint>
#include <optional>

class RecordingBursts {
public:
    // A block that `recorder` took at file offset `fileAt` landed in the pane at `captureAt`;
    // `began` is the time of the burst it began, if it began one.
    void Landed(ReceiveRecorder& recorder, std::uint64_t fileAt, std::uint64_t captureAt,
                std::optional<std::int64_t> began, const ArrivalTimes& arrivals);
    // Where the bytes already in `recorder`'s file end, counted in the capture (bytes from before
    // the recording began come earlier).
    std::int64_t InFileEnd(const ReceiveRecorder& recorder) const
    {
        return m_fileStartInCapture + static_cast<std::int64_t>(recorder.Written());
    }

private:
    // The file offset of a received byte plus this is its offset in the capture (negative after a
    // Clear during the recording).
    std::int64_t m_fileStartInCapture = 0;
};
