// The three mode boxes and the TCP role decision. The boxes toggle themselves; the handlers keep
// at most one of them checked.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"

void CMainDlg::OnModeTcp()
{
    TearDownLink();
    if (GetCheck(IDC_MODE_TCP) == 1) {
        SetCheck(IDC_MODE_UDP, 0);
        SetCheck(IDC_MODE_RS232, 0);
        ChooseTcpRole();
        return;
    }
    ResetLinkControls();
    m_controls.state.SetWindowText(QStringLiteral("No Running"));
}

void CMainDlg::OnModeUdp()
{
    TearDownLink();
    if (GetCheck(IDC_MODE_UDP) == 1) {
        SetCheck(IDC_MODE_TCP, 0);
        SetCheck(IDC_MODE_RS232, 0);
        m_extras->SetMode(LinkExtras::Mode::Other);
        m_controls.start.SetWindowText(QStringLiteral("Bind"));
        m_controls.start.EnableWindow(true);
        m_controls.stop.SetWindowText(QStringLiteral("Stop Bind"));
        m_controls.stop.EnableWindow(false);
        return;
    }
    ResetLinkControls();
    m_controls.state.SetWindowText(QStringLiteral("No Running"));
}

void CMainDlg::OnModeRs232()
{
    TearDownLink();
    if (GetCheck(IDC_MODE_RS232) == 1) {
        SetCheck(IDC_MODE_UDP, 0);
        SetCheck(IDC_MODE_TCP, 0);
        Enable(IDC_CHANGE_SETTING, true);
        m_extras->SetMode(LinkExtras::Mode::Serial);
        m_controls.start.SetWindowText(QStringLiteral("Open"));
        m_controls.start.EnableWindow(true);
        m_controls.stop.SetWindowText(QStringLiteral("Close"));
        m_controls.stop.EnableWindow(false);
        return;
    }
    ResetLinkControls();
    m_controls.state.SetWindowText(QStringLiteral("No Running"));
}

TcpRole CMainDlg::ChooseTcpRole()
{
    // Only emptiness counts: the port texts are not checked to be numbers.
    const std::uint32_t destination = GetAddress(IDC_TCP_DEST_IP);
    const bool destPortSet = !GetText(IDC_TCP_DEST_PORT).isEmpty();
    const bool serverPortSet = !GetText(IDC_TCP_SERVER_PORT).isEmpty();

    if (destination != 0 && destPortSet && !serverPortSet) {
        m_controls.start.SetWindowText(QStringLiteral("Connect"));
        m_controls.start.EnableWindow(true);
        m_controls.stop.SetWindowText(QStringLiteral("Disconnect"));
        m_controls.stop.EnableWindow(false);
        m_extras->SetMode(LinkExtras::Mode::TcpClient);
        return TcpRole::Client;
    }
    if (!serverPortSet) {
        SetCheck(IDC_MODE_TCP, 0);
        plat::ShowMessageBox(this, QStringLiteral("Please set the Server port or Destination IP, Destination Port"));
        ResetLinkControls();
        return TcpRole::Unset;
    }
    // A filled server port wins whatever the destination fields hold.
    m_extras->SetMode(LinkExtras::Mode::Other);
    m_controls.start.SetWindowText(QStringLiteral("Listen"));
    m_controls.start.EnableWindow(true);
    m_controls.stop.SetWindowText(QStringLiteral("Stop Listen"));
    m_controls.stop.EnableWindow(false);
    return TcpRole::Server;
}
