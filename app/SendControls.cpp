// Send, Periodic, Stop and Clear of the Sending pane: the window's side of the send engine, and
// what the send threads show.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace {

// The period field takes digits only; a value beyond 32 bits waits as long as it can rather than
// wrapping to a negative pause.
std::int32_t PeriodValue(const QString& text)
{
    std::int64_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = std::min<std::int64_t>(value * 10 + (c.unicode() - u'0'), std::numeric_limits<std::int32_t>::max());
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

void CMainDlg::OnSend()
{
    if (PrepareSendJob() == -1)
        return;
    if (GetCheck(IDC_MODE_TCP) == 1)
        StartTcpSend();
    if (GetCheck(IDC_MODE_UDP) == 1)
        StartUdpSend();
    if (GetCheck(IDC_MODE_RS232) == 1)
        StartSerialSend();
    // The sends hold the snapshot as long as they run; the window does not.
    m_sending.DropSendSnapshot();
}

int CMainDlg::PrepareSendJob()
{
    if (m_sending.Block().Size() == 0) {
        plat::ShowMessageBox(this, QStringLiteral("Zero length buffer cannot be sent !!"));
        return -1;
    }
    if (GetCheck(IDC_PERIODIC) == 1) {
        m_sends.SetPeriodic(true);
        const QString period = GetText(IDC_PERIOD);
        if (period.isEmpty()) {
            plat::ShowMessageBox(this, QStringLiteral("Period field is empty"));
            return -1;
        }
        m_sends.SetPeriodMs(PeriodValue(period));
    } else {
        m_sends.SetPeriodic(false);
    }

    if (!m_sending.TakeSendSnapshot()) {
        plat::ShowMessageBox(this, QStringLiteral("Not enough memory to send the data of the Sending Data pane."));
        return -1;
    }

    if (GetCheck(IDC_MODE_UDP) == 1) {
        const auto octets = GetOctets(IDC_UDP_DEST_IP);
        m_sends.SetUdpDestination(
            QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]).toStdString(),
            static_cast<std::uint16_t>(links::PortFieldValue(GetText(IDC_UDP_DEST_PORT).toStdString()) & 0xFFFF));
    }
    return 1;
}

void CMainDlg::StartTcpSend()
{
    StartSend(SendLink::Tcp);
}

void CMainDlg::StartUdpSend()
{
    StartSend(SendLink::Udp);
}

void CMainDlg::StartSerialSend()
{
    StartSend(SendLink::Serial);
}

void CMainDlg::StartSend(SendLink link)
{
    if (m_sends.Start(link, m_sending.SendSnapshot())) {
        m_sending.NoteSent();
        return;
    }
    // No thread for it: nothing was sent, and Send is offered again.
    ShowSendButtons(false);
    plat::ShowMessageBox(this, QStringLiteral("Unable to start the send: no thread could be created."));
}

void CMainDlg::StopAllSends()
{
    m_sends.StopAll();
}

void CMainDlg::OnSendStop()
{
    StopAllSends();
    m_controls.sendStop.EnableWindow(false);
}

void CMainDlg::OnPeriodic()
{
    // Read live by the send threads: unchecking ends a periodic send after its pass or pause.
    if (GetCheck(IDC_PERIODIC) == 1) {
        Enable(IDC_PERIOD, true);
        m_sends.SetPeriodic(true);
    } else {
        Enable(IDC_PERIOD, false);
        m_sends.SetPeriodic(false);
        StopAllSends();
    }
}

void CMainDlg::OnClearSending()
{
    m_sending.Clear();
}

void CMainDlg::OnSendingEditFailedForMemory()
{
    // A send reading the pane keeps the bytes as they were at Send; an edit meanwhile needs a copy
    // of its own, and that is what memory could not be found for.
    if (m_sending.Block().Shared()) {
        plat::ShowMessageBox(this, QStringLiteral("Not enough memory to change the Sending Data pane while a send reads "
                                                  "its data: the pane was left as it was. Stop the send or wait for it "
                                                  "to end, then make the change again."));
    } else {
        plat::ShowMessageBox(this, QStringLiteral("Not enough memory to change the Sending Data pane: the pane was left "
                                                  "as it was."));
    }
}

void CMainDlg::ShowSenderState(const std::string& text)
{
    m_controls.senderState.SetWindowText(QString::fromStdString(text));
}

void CMainDlg::ShowSendButtons(bool sending)
{
    m_controls.send.EnableWindow(!sending);
    m_controls.sendStop.EnableWindow(sending);
}

void CMainDlg::ShowSendMessage(const std::string& text)
{
    plat::ShowMessageBox(nullptr, QString::fromStdString(text));
}
