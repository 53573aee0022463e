// The link buttons' reset and the link teardown.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"

#include <vector>

void CMainDlg::ResetLinkControls()
{
    SetCheck(IDC_PERIODIC, 0);
    Enable(IDC_PERIOD, false);
    m_btnSendStop.EnableWindow(false);
    Enable(IDC_CHANGE_SETTING, false);
    m_btnStart.SetWindowText(QStringLiteral("No Select"));
    m_btnStart.EnableWindow(false);
    m_btnStop.SetWindowText(QStringLiteral("No Select"));
    m_btnStop.EnableWindow(false);
    m_btnSend.EnableWindow(true);
    m_editReceivedState.SetWindowText(QStringLiteral("No Running"));
    m_editSenderState.SetWindowText(QStringLiteral("No Running"));
}

void CMainDlg::TearDownLink()
{
    StopAllSends();
    // Closing a socket does not wake a call blocked on it in a worker; shutting it down does. The
    // descriptor closes when the last holder, the worker or this, lets go. A socket that the two
    // UDP members share is taken out of both and so stopped once. The new epoch keeps a worker
    // that is about to publish a socket from slipping it past this teardown.
    std::vector<plat::SocketRef> stopped;
    {
        std::lock_guard guard(m_csLink);
        ++m_nLinkEpoch;
        for (plat::SocketSlot* slot : {&m_sockTcpListen, &m_sockTcpConn, &m_sockUdpSend, &m_sockUdpRecv}) {
            if (plat::SocketRef socket = slot->Take())
                stopped.push_back(std::move(socket));
        }
    }
    for (const plat::SocketRef& socket : stopped)
        socket->Shutdown();
    m_serial.Close();
    m_editSenderState.SetWindowText(QStringLiteral("No Running"));
    m_btnStart.EnableWindow(true);
    m_btnStop.EnableWindow(false);
    m_nLinkPort = 0;
}
