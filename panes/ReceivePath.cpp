// The receive sink that fills the Received Data pane, and the worker that empties it.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"

#include <cstring>
#include <thread>

void CMainDlg::AppendReceivedData(const unsigned char* data, int size)
{
    m_nReceivedTotal += size;
    // A flood calls this hundreds of thousands of times a second: only the latest text is shown.
    SetTextLatest(IDC_RECEIVED_STATE, QString::asprintf("%d bytes read", size));

    // Appends follow the count, not the block's length: the user may have lengthened or shortened
    // the block by editing the pane.
    const auto end = static_cast<std::size_t>(m_nReceivedTotal);
    if (m_saReceived.Size() < end) {
        plat::BlockStatus status;
        // A save in progress holds the block; it lets go when its write is done.
        while ((status = m_saReceived.Resize(end)) == plat::BlockStatus::Held)
            std::this_thread::yield();
        if (status != plat::BlockStatus::Ok) {
            // Out of memory: these bytes cannot be held. The count goes back so that the pane stays
            // exactly what arrived before, and the user is told what was dropped.
            m_nReceivedTotal -= size;
            SetTextLatest(IDC_RECEIVED_STATE, QString::asprintf("Out of memory: %d bytes dropped", size));
            return;
        }
    }
    unsigned char* bytes = m_saReceived.Hold();
    std::memcpy(bytes + (end - static_cast<std::size_t>(size)), data, static_cast<std::size_t>(size));
    m_saReceived.Release();

    if (ControlExists(IDC_HEX_RECEIVED))
        m_hexReceived.UpdateView(m_chkAutoScroll.GetCheck() == 1 ? 255 : 254);
}

void CMainDlg::ClearReceivedPane()
{
    while (m_saReceived.Resize(0) == plat::BlockStatus::Held)
        std::this_thread::yield();
    m_hexReceived.UpdateView(254);
    m_nReceivedTotal = 0;
}

void CMainDlg::OnClearReceived()
{
    if (!m_hClearThread.joinable())
        m_hClearThread = std::thread(ClearWorkerThread, this);
    m_hClearEvent->Set();
}

void ClearWorkerThread(CMainDlg* dlg)
{
    for (;;) {
        // A clear asked for wins over the quit when both are set.
        if (plat::WaitAny(*dlg->m_hClearEvent, *dlg->m_hClearQuitEvent) != 0)
            return;
        std::lock_guard guard(dlg->m_csReceived);
        dlg->ClearReceivedPane();
    }
}
