// Start and Stop of the chosen link.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"

void CMainDlg::OnStartLink()
{
    m_pane.Clear();

    // False when the link's worker could not be started; the buttons stay as they are (Ready).
    bool started = true;
    if (GetCheck(IDC_MODE_TCP) == 1) {
        // The fields may have changed since the mode click: the role is decided again.
        switch (ChooseTcpRole()) {
        case TcpRole::Server:
            started = m_link.StartTcpServer(links::PortFieldValue(GetText(IDC_TCP_SERVER_PORT).toStdString()));
            break;
        case TcpRole::Client: {
            const auto octets = GetOctets(IDC_TCP_DEST_IP);
            started = m_link.StartTcpClient(
                links::PortFieldValue(GetText(IDC_TCP_DEST_PORT).toStdString()),
                QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]).toStdString());
            break;
        }
        case TcpRole::Unset:
            break;
        }
    }
    if (GetCheck(IDC_MODE_UDP) == 1)
        started = m_link.StartUdp(links::PortFieldValue(GetText(IDC_UDP_SERVER_PORT).toStdString()));
    if (!started)
        plat::ShowMessageBox(this, QString::fromLatin1(LinkSession::kNoThreadText));
    if (GetCheck(IDC_MODE_RS232) == 1) {
        m_extras->EndLines();
        if (m_serialLink.Open() == 0)
            SerialReopened();
    }
}

void CMainDlg::SerialReopened()
{
    // The lines begin again with each opening, by Open or by the device's return.
    m_extras->BeginLines(m_serialLink.Port(), m_serialLink.Settings().handshaking == HandshakingHardware);
}

void CMainDlg::OnStopLink()
{
    // For TCP and UDP the worker whose socket the teardown shuts down writes "Disconnected".
    if (GetCheck(IDC_MODE_TCP) == 1)
        TearDownLink();
    if (GetCheck(IDC_MODE_UDP) == 1)
        TearDownLink();
    if (GetCheck(IDC_MODE_RS232) == 1) {
        TearDownLink();
        m_controls.state.SetWindowText(QStringLiteral("Closed"));
    }
}
