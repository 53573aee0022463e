#include "panes/ReceivedPane.h"

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
}

void CReceivedPane::AppendReceivedData(const unsigned char* data, int size)
{
    m_total += size;
    // A flood calls this hundreds of thousands of times a second: only the latest state is shown.
    m_view.ShowReceivedState({ReceivedState::Kind::BytesRead, size});

    // Appends follow the count, not the block's length: the user may have lengthened or shortened
    // the block by editing the pane.
    const auto end = static_cast<std::size_t>(m_total.load());
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
    m_arrivals.NoteBlock(at);
    m_view.RedrawReceived(true);
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
