#include "panes/models/ReceivedPane.h"

#include <algorithm>
#include <cstdio>
#include <new>
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
    const Arrived block = Record(data, static_cast<std::size_t>(size));
    // Blocks set aside earlier land first: the pane keeps the order of arrival.
    if (!LandSetAside() || !Land(block))
        SetAside(block);
}

CReceivedPane::Arrived CReceivedPane::Record(const unsigned char* data, std::size_t size)
{
    ReceiveRecorder& recorder = *m_recorder;
    if (!recorder.IsRecording())
        return {data, size, nullptr, 0, std::nullopt};
    const std::uint64_t fileAt = recorder.Taken();
    recorder.Append(data, size);
    return {data, size, &recorder, fileAt, std::nullopt};
}

bool CReceivedPane::Land(const Arrived& block)
{
    // Appends follow the count, not the block's length: the user may have lengthened or shortened
    // the block by editing the pane. Bytes dropped from the front no longer take a place. Grown and
    // written under one take of the block's lock: a reader that sees the new size (a repaint, Find,
    // Export) never reads the zeros of a growth before the bytes are in.
    const auto at = static_cast<std::size_t>(m_total.load() - static_cast<std::int64_t>(m_block.FrontDropped()));
    const plat::BlockStatus status = m_block.Overwrite(at, block.data, block.size);
    if (status == plat::BlockStatus::Held)
        return false;
    const int size = static_cast<int>(block.size);
    if (status != plat::BlockStatus::Ok) {
        // Out of memory: these bytes cannot be held. The pane stays exactly what arrived before, and
        // the user is told what was dropped.
        m_view.ShowReceivedState({ReceivedState::Kind::Dropped, size});
        return true;
    }
    m_total += size;
    // A flood calls this hundreds of thousands of times a second: only the latest state is shown.
    m_view.ShowReceivedState({ReceivedState::Kind::BytesRead, size});
    // Times count from the start of the capture, which bytes dropped from the front do not move.
    const std::uint64_t captureAt = m_block.FrontDropped() + at;
    const std::optional<std::int64_t> began =
        block.stamp ? m_arrivals.NoteBlockArrived(captureAt, *block.stamp) : m_arrivals.NoteBlock(captureAt);
    ReceiveRecorder& recorder = *m_recorder;
    if (block.recordedBy == &recorder)
        m_bursts.Landed(recorder, block.fileAt, captureAt, began, m_arrivals);
    // Only bytes that are in the file may go: once the recording cannot write, the pane keeps
    // everything again, and while a stopped recording still writes, nothing goes (the front may
    // hold its bytes).
    if (recorder.IsRecording() && recorder.NotWritten() == 0 && m_handedOff.load() == 0)
        m_keepLast.Trim(m_block, m_bursts.InFileEnd(recorder), m_arrivals);
    m_view.RedrawReceived(true);
    return true;
}

void CReceivedPane::SetAside(const Arrived& block)
{
    // At most what one delivery brings per receiver: the receiver waits in WaitForRoom before its
    // next read.
    std::shared_ptr<ReceiveRecorder> recordedBy = block.recordedBy == m_recorder.get() ? m_recorder : nullptr;
    try {
        m_setAside.push_back({std::vector<unsigned char>(block.data, block.data + block.size), std::move(recordedBy),
                              block.fileAt, ArrivalTimes::Now()});
    } catch (const std::bad_alloc&) {
        // No memory to keep them until the pane can grow: dropped, as when the pane itself has none.
        m_view.ShowReceivedState({ReceivedState::Kind::Dropped, static_cast<int>(block.size)});
        return;
    }
    m_anySetAside.store(true);
}

bool CReceivedPane::LandSetAside()
{
    while (!m_setAside.empty()) {
        const SetAsideBlock& first = m_setAside.front();
        if (!Land({first.bytes.data(), first.bytes.size(), first.recordedBy.get(), first.fileAt, first.stamp}))
            return false;
        m_setAside.pop_front();
    }
    m_anySetAside.store(false);
    return true;
}

void CReceivedPane::WaitForRoom()
{
    std::shared_ptr<ReceiveRecorder> recorder;
    {
        std::lock_guard guard(ReceivedLock());
        recorder = m_recorder;
    }
    recorder->WaitForRoom();
    while (m_anySetAside.load()) {
        m_block.WaitUntilUnheld();
        std::lock_guard guard(ReceivedLock());
        LandSetAside();
    }
}

bool CReceivedPane::StartRecording(int fd, int timesFd, ReceiveRecorder::FailureCallback onFailure,
                                   ReceiveRecorder::FinishedCallback onFinished)
{
    ReleaseFinishedRecordings();
    // Stopped first: a receiver waiting for room in its queue goes on.
    m_recorder->Stop();
    auto next = std::make_shared<ReceiveRecorder>();
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
    {
        // Between two appends: a block recorded just before the stop also gets its burst's line,
        // which the append notes after the bytes.
        std::lock_guard betweenAppends(ReceivedLock());
        m_recorder->Stop();
    }
    ReleaseFinishedRecordings();
}

void CReceivedPane::ReleaseFinishedRecordings()
{
    // A finished recorder's writer has ended or is just returning: its join does not wait.
    std::erase_if(m_finishing, [](const std::shared_ptr<ReceiveRecorder>& recorder) { return recorder->IsFinished(); });
    m_handedOff.store(m_finishing.size());
}

void CReceivedPane::FinishRecordings()
{
    m_recorder->Finish();
    for (const std::shared_ptr<ReceiveRecorder>& recorder : m_finishing)
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
    for (const auto& recorder : m_finishing)
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
    for (const auto& recorder : m_finishing)
        recorder->Abandon();
}

bool CReceivedPane::ClearLocked()
{
    if (m_block.Resize(0) == plat::BlockStatus::Held)
        return false;
    // Blocks set aside arrived before the clear: they go with the rest.
    m_setAside.clear();
    m_anySetAside.store(false);
    m_arrivals.Clear();
    m_view.RedrawReceived(false);
    m_total = 0;
    return true;
}

void CReceivedPane::Clear()
{
    for (;;) {
        {
            // A receive worker of the previous link may still be delivering.
            std::lock_guard guard(ReceivedLock());
            if (ClearLocked())
                return;
        }
        // A holder (a Save, a search step) lets go before the pane can be emptied.
        m_block.WaitUntilUnheld();
    }
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
        Clear();
    }
}

void CReceivedPane::EndClearWorker()
{
    m_clearQuitEvent.Set();
    if (m_clearThread.joinable())
        m_clearThread.join();
}
