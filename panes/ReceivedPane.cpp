#include "panes/ReceivedPane.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

std::string ReceivedState::Text() const
{
    const char* format = kind == Kind::Dropped ? "Out of memory: %d bytes dropped" : "%d bytes read";
    char text[64];
    std::snprintf(text, sizeof text, format, size);
    return text;
}

CReceivedPane::CReceivedPane(ReceivedPaneView& view) : m_view(view)
{
    m_block.MakeEmptyArray();
}

CReceivedPane::~CReceivedPane()
{
    EndClearWorker();
    FinishRecordings();
}

void CReceivedPane::AppendReceivedData(const unsigned char* data, int size)
{
    // Every byte goes to a recording, also one the pane has no memory for.
    ReceiveRecorder& recorder = *m_recorder;
    const bool recording = recorder.IsRecording();
    const std::uint64_t fileAt = recorder.Taken();
    if (recording)
        recorder.Append(data, static_cast<std::size_t>(size));
    m_total += size;
    // A flood calls this hundreds of thousands of times a second: only the latest state is shown.
    m_view.ShowReceivedState({ReceivedState::Kind::BytesRead, size});

    // Appends follow the count, not the block's length: the user may have lengthened or shortened
    // the block by editing the pane. Bytes dropped from the front no longer take a place.
    const auto end = static_cast<std::size_t>(m_total.load() - static_cast<std::int64_t>(m_block.FrontDropped()));
    const std::size_t at = end - static_cast<std::size_t>(size);
    // A save in progress holds the block while it writes the bytes out; it lets go when its write is
    // done. It takes its hold between two deliveries, so none is caught half way.
    while (m_block.HoldCount() != 0)
        std::this_thread::yield();
    // Grown and written under one take of the block's lock: a reader that sees the new size (a
    // repaint, Find, Export) never reads the zeros of a growth before the bytes are in.
    plat::BlockStatus status;
    while ((status = m_block.Overwrite(at, data, static_cast<std::size_t>(size))) == plat::BlockStatus::Held)
        std::this_thread::yield();
    if (status != plat::BlockStatus::Ok) {
        // Out of memory: these bytes cannot be held. The count goes back so that the pane stays
        // exactly what arrived before, and the user is told what was dropped.
        m_total -= size;
        m_view.ShowReceivedState({ReceivedState::Kind::Dropped, size});
        return;
    }
    // Times count from the start of the capture, which bytes dropped from the front do not move. A
    // burst that begins while recording also gets its line in the companion file, at its file offset.
    const std::uint64_t captureAt = m_block.FrontDropped() + at;
    if (recording)
        m_fileStartInCapture = static_cast<std::int64_t>(captureAt) - static_cast<std::int64_t>(fileAt);
    const std::optional<std::int64_t> began = m_arrivals.NoteBlock(captureAt);
    if (recording && began) {
        recorder.NoteBurst(fileAt, *began);
    } else if (recording && fileAt == 0) {
        // A recording that starts inside a burst opens with that burst's time.
        if (const std::optional<ArrivalTimes::Burst> burst = m_arrivals.BurstContaining(captureAt))
            recorder.NoteBurst(0, burst->msSinceEpoch);
    }
    KeepOnlyLast();
    m_view.RedrawReceived(true);
}

void CReceivedPane::KeepOnlyLast()
{
    // Only bytes that are in the file may go: once the recording cannot write, the pane keeps
    // everything again, and while a stopped recording still writes, nothing goes (the front may
    // hold its bytes).
    const std::size_t keep = m_keepLast.load(std::memory_order_relaxed);
    const ReceiveRecorder& recorder = *m_recorder;
    if (keep == 0 || !recorder.IsRecording() || recorder.NotWritten() != 0 || m_handedOff.load() != 0)
        return;
    // Big steps keep the cost per byte tiny: once an eighth over, back to about what is kept, in
    // whole pages, 2 MiB at a time where the block is large enough (no byte is copied).
    const std::size_t size = m_block.Size();
    if (size <= keep || size - keep <= keep / 8)
        return;
    const std::size_t unit = keep >= (std::size_t{16} << 20) ? std::size_t{2} << 20 : plat::ByteBlock::DropUnit();
    // Bytes still in the recorder's queue are not in the file yet: a write that fails later would
    // lose them. The written ones end at this place in the capture (bytes from before the
    // recording began come earlier and may go).
    const std::int64_t inFileEnd = m_fileStartInCapture + static_cast<std::int64_t>(recorder.Written());
    const auto front = static_cast<std::int64_t>(m_block.FrontDropped());
    if (inFileEnd <= front)
        return;
    const std::size_t drop =
        std::min(size - keep, static_cast<std::size_t>(inFileEnd - front)) / unit * unit;
    // A holder (Save, a search step) keeps the block as it is: the next append tries again.
    if (drop != 0 && m_block.DropFront(drop) == plat::BlockStatus::Ok)
        m_arrivals.ForgetBefore(m_block.FrontDropped());
}

bool CReceivedPane::StartRecording(int fd, int timesFd, ReceiveRecorder::FailureCallback onFailure,
                                   ReceiveRecorder::FinishedCallback onFinished)
{
    ReleaseFinishedRecordings();
    // Stopped first: a receiver waiting for room in its queue lets go of the received lock.
    m_recorder->Stop();
    auto next = std::make_unique<ReceiveRecorder>();
    {
        // Receivers read the recorder under this lock: each block goes to the old recording or the
        // new one, never half to each.
        std::lock_guard guard(ReceivedLock());
        std::swap(m_recorder, next);
    }
    // The last recording finishes on its own; a recorder that never recorded just goes.
    if (!next->IsFinished()) {
        m_finishing.push_back(std::move(next));
        m_handedOff.store(m_finishing.size());
    }
    return m_recorder->Start(fd, timesFd, std::move(onFailure), std::move(onFinished));
}

void CReceivedPane::StopRecording()
{
    m_recorder->Stop();
    ReleaseFinishedRecordings();
}

void CReceivedPane::ReleaseFinishedRecordings()
{
    // A finished recorder's writer has ended or is just returning: its join does not wait.
    std::erase_if(m_finishing, [](const std::unique_ptr<ReceiveRecorder>& recorder) { return recorder->IsFinished(); });
    m_handedOff.store(m_finishing.size());
}

void CReceivedPane::FinishRecordings()
{
    m_recorder->Finish();
    for (const std::unique_ptr<ReceiveRecorder>& recorder : m_finishing)
        recorder->Finish();
    m_finishing.clear();
    m_handedOff.store(0);
}

std::uint64_t CReceivedPane::RecordingBytesToWrite() const
{
    std::uint64_t left = 0;
    auto add = [&left](const ReceiveRecorder& recorder) {
        if (!recorder.IsFinished())
            left += recorder.Taken() - std::min(recorder.Taken(), recorder.Written() + recorder.NotWritten());
    };
    add(*m_recorder);
    for (const std::unique_ptr<ReceiveRecorder>& recorder : m_finishing)
        add(*recorder);
    return left;
}

bool CReceivedPane::RecordingsFinished() const
{
    return m_recorder->IsFinished() &&
           std::all_of(m_finishing.begin(), m_finishing.end(), [](const auto& recorder) { return recorder->IsFinished(); });
}

void CReceivedPane::AbandonRecordings()
{
    m_recorder->Abandon();
    for (const std::unique_ptr<ReceiveRecorder>& recorder : m_finishing)
        recorder->Abandon();
}

void CReceivedPane::ClearLocked()
{
    while (m_block.Resize(0) == plat::BlockStatus::Held)
        std::this_thread::yield();
    m_arrivals.Clear();
    m_view.RedrawReceived(false);
    m_total = 0;
}

void CReceivedPane::Clear()
{
    // A receive worker of the previous link may still be delivering.
    std::lock_guard guard(ReceivedLock());
    ClearLocked();
}

void CReceivedPane::ClearLater()
{
    if (!m_clearThread.joinable()) {
        try {
            m_clearThread = std::thread([this] { ClearWorker(); });
        } catch (const std::system_error&) {
            // Without a worker the window's thread clears: the pane is emptied all the same.
            Clear();
            return;
        }
    }
    m_clearEvent.Set();
}

void CReceivedPane::ClearWorker()
{
    for (;;) {
        // A clear asked for wins over the quit when both are set.
        if (plat::WaitAny(m_clearEvent, m_clearQuitEvent) != 0)
            return;
        std::lock_guard guard(ReceivedLock());
        ClearLocked();
    }
}

void CReceivedPane::EndClearWorker()
{
    m_clearQuitEvent.Set();
    if (m_clearThread.joinable())
        m_clearThread.join();
}
