// What the window shows of the Received Data pane: the Received State text and the pane's redraws.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"

void CMainDlg::ShowReceivedState(ReceivedState state)
{
    m_receivedState.store(std::uint64_t{static_cast<std::uint32_t>(state.kind)} << 32 |
                          static_cast<std::uint32_t>(state.size));
    m_receivedStateClock->Request();
}

void CMainDlg::ResetReceivedState()
{
    {
        // Between two appends: a state shown before this is dropped, one shown after is newer.
        std::lock_guard guard(m_pane.ReceivedLock());
        m_receivedState.store(kNoReceivedState);
    }
    m_editReceivedState.SetWindowText(QStringLiteral("No Running"));
}

void CMainDlg::ApplyReceivedState()
{
    const std::uint64_t packed = m_receivedState.exchange(kNoReceivedState);
    if (packed == kNoReceivedState)
        return;
    ReceivedState state;
    state.kind = static_cast<ReceivedState::Kind>(packed >> 32);
    state.size = static_cast<int>(static_cast<std::uint32_t>(packed));
    SetText(IDC_RECEIVED_STATE, QString::fromStdString(state.Text()));
}

void CMainDlg::RedrawReceived(bool appended)
{
    // A worker still delivering while the window goes skips its redraws.
    if (!ControlExists(IDC_HEX_RECEIVED))
        return;
    const bool toEnd = appended && m_chkAutoScroll.GetCheck() == 1;
    m_hexReceived.UpdateView(toEnd ? CHexeditctrl1::kRedrawToEnd : CHexeditctrl1::kRedraw);
}

void CMainDlg::OnClearReceived()
{
    m_pane.ClearLater();
}
