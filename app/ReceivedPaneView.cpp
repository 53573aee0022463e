// What the window shows of the Received Data pane: the Received State text and the pane's redraws.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"

void CMainDlg::ShowReceivedState(ReceivedState state)
{
    m_receivedState.Show(state);
}

void CMainDlg::RedrawReceived(bool appended)
{
    // A worker still delivering while the window goes skips its redraws.
    if (!ControlExists(IDC_HEX_RECEIVED))
        return;
    const bool toEnd = appended && m_controls.autoScroll.GetCheck() == 1;
    m_hexReceived.UpdateView(toEnd ? CHexeditctrl1::kRedrawToEnd : CHexeditctrl1::kRedraw);
}

void CMainDlg::OnClearReceived()
{
    m_pane.ClearLater();
}
