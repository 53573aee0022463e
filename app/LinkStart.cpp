// Start and Stop of the chosen link.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "resources/ControlIds.h"

void CMainDlg::OnStartLink()
{
    m_pane.Clear();

    if (GetCheck(IDC_MODE_TCP) == 1) {
        // The fields may have changed since the mode click: the role is decided again.
        switch (ChooseTcpRole()) {
        case TcpRole::Server: {
            m_nLinkPort = links::PortFieldValue(GetText(IDC_TCP_SERVER_PORT));
            const std::uint64_t epoch = BeginLinkStart();
            m_workers.Launch(m_hTcpServerThread, [this, epoch] { TcpServerThread(this, epoch); });
            break;
        }
        case TcpRole::Client: {
            m_nLinkPort = links::PortFieldValue(GetText(IDC_TCP_DEST_PORT));
            const auto octets = GetOctets(IDC_TCP_DEST_IP);
            {
                std::lock_guard guard(m_csLink);
                m_strDestIp = QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3])
                                  .toStdString();
            }
            const std::uint64_t epoch = BeginLinkStart();
            m_workers.Launch(m_hTcpClientThread, [this, epoch] { TcpClientThread(this, epoch); });
            break;
        }
        case TcpRole::Unset:
            break;
        }
    }
    if (GetCheck(IDC_MODE_UDP) == 1) {
        m_nLinkPort = links::PortFieldValue(GetText(IDC_UDP_SERVER_PORT));
        const std::uint64_t epoch = BeginLinkStart();
        m_workers.Launch(m_hUdpRecvThread, [this, epoch] { UdpReceiveThread(this, epoch); });
    }
    if (GetCheck(IDC_MODE_RS232) == 1) {
        m_serial.Close();
        if (OpenSerialWithSettings() == 0) {
            m_editState.SetWindowText(QStringLiteral("Opened"));
            m_btnStart.EnableWindow(false);
            m_btnStop.EnableWindow(true);
        }
    }
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
        m_editState.SetWindowText(QStringLiteral("Closed"));
    }
}
