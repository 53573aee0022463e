#pragma once
// The Received State field: the latest state the receive path reported, shown at most once a frame,
// and its tooltip, which tells the datagrams lost and the recording.

#include "panes/models/ReceivedPane.h"
#include "platform/toolkit/DlgItem.h"
#include "platform/toolkit/FrameClock.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>

class ReceivedStateDisplay {
public:
    // The frame clock is a child of `parent` and goes with it.
    ReceivedStateDisplay(QObject* parent, const plat::DlgItem& field);

    // Any thread, with the received lock held: the latest state, shown at the next frame.
    void Show(ReceivedState state);
    // Window's thread: "No Running", which no state shown before it overwrites. `receivedLock` is
    // taken so that the reset falls between two appends.
    void Reset(std::mutex& receivedLock);
    // Window's thread: the tooltip's lines.
    void SetLostTip(const QString& text);
    void SetRecordingTip(const QString& text);

private:
    void Apply();
    void ShowTip();

    const plat::DlgItem& m_field;
    // Kind in the high half, size in the low half; kNone once shown or dropped by the reset, so that
    // a state from before the reset never lands after its "No Running".
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::atomic<std::uint64_t> m_state{kNone};
    plat::FrameClock* m_clock;
    QString m_lostTip;
    QString m_recordingTip;
};
