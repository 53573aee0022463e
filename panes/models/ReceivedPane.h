#pragma once
// The Received Data pane's bytes: everything received since the last clear, filled through the
// receive sink from any link, and the clear worker that empties the pane when Clear is clicked.
// Nothing here touches a widget: what the window shows goes through ReceivedPaneView.

#include "panes/models/ArrivalTimes.h"
#include "panes/models/KeepLastTrim.h"
#include "panes/models/ReceiveRecorder.h"
#include "panes/models/RecordingBursts.h"
#include "platform/byteblock/ByteBlock.h"
#include "core/ReceiveSink.h"
#include "platform/sync/Event.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The Received State text, kept as its parts so that a flood formats only the texts that are shown.
struct ReceivedState {
    enum class Kind { BytesRead, Dropped };
    Kind kind = Kind::BytesRead;
    int size = 0;   // bytes in the block read or dropped
    std::string Text() const;
};

// What the window shows of the pane besides its bytes.
class ReceivedPaneView {
public:
    virtual ~ReceivedPaneView() = default;
    // Both called from any thread with the received lock held (after each append, and by a clear):
    // each must queue its work and never wait for the window's thread or take a lock that is held
    // while the received lock is waited for. The Received State; at a high rate only the latest
    // need be shown.
    virtual void ShowReceivedState(ReceivedState state) = 0;
    // A redraw of the pane after an append (which may bring the end into view) or after a clear.
    virtual void RedrawReceived(bool appended) = 0;
};

class CReceivedPane : public CReceiveSink {
public:
    explicit CReceivedPane(ReceivedPaneView& view);
    // The clear worker must have been ended first (EndClearWorker).
    ~CReceivedPane() override;
    CReceivedPane(const CReceivedPane&) = delete;
    CReceivedPane& operator=(const CReceivedPane&) = delete;

    // Any thread. The bytes; a reader that must not see an append half done takes ReceivedLock().
    plat::ByteBlock& Block() { return m_block; }
    // Any thread. Bytes received since the last clear (64 bits: a long flood must not wrap it).
    std::int64_t Total() const { return m_total.load(); }
    // Any thread. When each burst of the pane's bytes arrived; cleared with the bytes.
    ArrivalTimes& Arrivals() { return m_arrivals; }

    // Window thread (Start does this) or the clear worker: empties the pane between two deliveries;
    // a holder of the bytes (a Save, a search step) is waited for without the received lock.
    void Clear();
    // Window thread: the Clear button. The clear worker, started at the first click, empties the
    // pane; clicks made while a clear is pending merge into one.
    void ClearLater();
    bool ClearWorkerStarted() const { return m_clearThread.joinable(); }
    // Window thread, when the window goes: ends the clear worker and waits for it.
    void EndClearWorker();

    // Recording every received byte to a file (ReceiveRecorder). Window thread. Start takes over
    // the descriptors; Stop ends the taking of bytes at once, and the recorder writes everything
    // delivered before it, closes the files and calls `onFinished` from its writer thread. A
    // recording still finishing is handed off when a new one starts and finishes on its own, so
    // neither waits for the disk.
    bool StartRecording(int fd, int timesFd, ReceiveRecorder::FailureCallback onFailure,
                        ReceiveRecorder::FinishedCallback onFinished = nullptr);
    void StopRecording();
    // Window thread: lets go of the handed-off recordings that have finished (their writers have
    // ended, so this does not wait).
    void ReleaseFinishedRecordings();
    // Window thread, when the window goes: stops the recording and waits until every recording's
    // files are complete.
    void FinishRecordings();
    // Window thread. Bytes that stopped recordings still have to write, and whether all are done.
    std::uint64_t RecordingBytesToWrite() const;
    bool RecordingsFinished() const;
    // Window thread. Every recording stops writing now (ReceiveRecorder::Abandon); their files keep an
    // exact beginning.
    void AbandonRecordings();
    // The latest recording, also once stopped: its counts and the burst lines of its companion
    // file. The window's thread, or a receive worker with the received lock held (a new recording
    // takes the place of the last one under that lock).
    ReceiveRecorder& Recorder() { return *m_recorder; }
    // Any thread. While recording, the pane keeps only about the last `bytes` (0: everything): the
    // file has the rest. Bytes taken from the front still count in the offsets the view shows.
    void SetKeepLast(std::size_t bytes) { m_keepLast.Set(bytes); }
    std::size_t KeepLast() const { return m_keepLast.Bytes(); }

    // Receive workers, holding no lock: waits for room in the recording's queue, then lands the
    // blocks that arrived while a holder (a Save, a search step) kept the pane from growing, once it
    // lets go. Neither wait burns the processor.
    void WaitForRoom() override;

protected:
    // Receive workers, through Deliver.
    void AppendReceivedData(const unsigned char* data, int size) override;

private:
    // A block as it arrived: where the recording took it, and when it came if it lands later.
    struct Arrived {
        const unsigned char* data;
        std::size_t size;
        const ReceiveRecorder* recordedBy; // null when no recording took it
        std::uint64_t fileAt;
        std::optional<ArrivalTimes::Stamp> stamp;
    };
    // A block that arrived while the pane could not grow, waiting to land in order.
    struct SetAsideBlock {
        std::vector<unsigned char> bytes;
        std::shared_ptr<ReceiveRecorder> recordedBy;
        std::uint64_t fileAt;
        ArrivalTimes::Stamp stamp;
    };

    // The steps of an append, all with the received lock held.
    // Every byte goes to a recording, also one the pane has no memory for.
    Arrived Record(const unsigned char* data, std::size_t size);
    // Into the block, then the count, the state, the arrival times, the recording's burst lines,
    // the keep-last trim and the redraw. False, and nothing changed, while a holder keeps the block
    // from growing.
    bool Land(const Arrived& block);
    void SetAside(const Arrived& block);
    // True once nothing is left set aside.
    bool LandSetAside();
    // False while a holder keeps the block from being emptied.
    bool ClearLocked();

    void ClearWorker();

    ReceivedPaneView& m_view;
    plat::ByteBlock m_block;
    // Changed only under ReceivedLock(); atomic so that the window can read it at any time.
    std::atomic<std::int64_t> m_total{0};
    ArrivalTimes m_arrivals;
    // Replaced under ReceivedLock(); shared with a receiver waiting for room in its queue.
    std::shared_ptr<ReceiveRecorder> m_recorder = std::make_shared<ReceiveRecorder>();
    // Stopped recordings whose writers may still be writing; window thread only.
    std::vector<std::shared_ptr<ReceiveRecorder>> m_finishing;
    // Their number, for the receivers: while any still writes, the pane drops nothing.
    std::atomic<std::size_t> m_handedOff{0};
    RecordingBursts m_bursts;  // under ReceivedLock()
    KeepLastTrim m_keepLast;
    // Under ReceivedLock(); the flag may be read without it.
    std::deque<SetAsideBlock> m_setAside;
    std::atomic<bool> m_anySetAside{false};
    std::thread m_clearThread;
    plat::Event m_clearEvent;
    plat::Event m_clearQuitEvent;
};
