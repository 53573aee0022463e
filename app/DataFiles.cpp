// Save and Load of the panes' bytes.
#include "app/MainDlg.h"

#include "panes/ui/PaneFiles.h"

void CMainDlg::OnSaveReceived()
{
    SaveReceivedPane(this, m_pane, m_hexReceived);
}

void CMainDlg::OnSaveSending()
{
    m_sending.Save();
}

void CMainDlg::OnLoad()
{
    m_sending.Load();
}
