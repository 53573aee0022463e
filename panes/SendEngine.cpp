// Send, Periodic, Stop and Clear of the Sending pane: the window's side of the send engine.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"

#include <atomic>
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
}

int CMainDlg::PrepareSendJob()
{
    if (m_saSending.Size() == 0) {
        plat::ShowMessageBox(this, QStringLiteral("Zero length buffer cannot be sent !!"));
        return -1;
    }
    std::atomic_ref periodic(m_sendJob.bPeriodic);
    if (GetCheck(IDC_PERIODIC) == 1) {
        periodic = 1;
        const QString period = GetText(IDC_PERIOD);
        if (period.isEmpty()) {
            plat::ShowMessageBox(this, QStringLiteral("Period field is empty"));
            return -1;
        }
        std::atomic_ref(m_sendJob.nPeriodMs).store(PeriodValue(period));
    } else {
        periodic = 0;
    }

    // The bytes are copied at Send: the send threads never read the pane itself.
    auto bytes = std::make_shared<std::vector<unsigned char>>(m_saSending.Size());
    bytes->resize(m_saSending.Read(0, bytes->data(), bytes->size()));
    m_sendBytes = std::move(bytes);
    m_sendJob.pData = m_sendBytes->data();
    m_sendJob.nDataLen = static_cast<std::int32_t>(std::min<std::size_t>(m_sendBytes->size(),
                                                                         std::numeric_limits<std::int32_t>::max()));
    m_hexSending.Modified(false);

    if (GetCheck(IDC_MODE_UDP) == 1) {
        const auto octets = GetOctets(IDC_UDP_DEST_IP);
        std::lock_guard guard(m_csSend);
        m_sendJob.SetDestIp(QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]).toStdString());
        m_sendJob.nDestPort = static_cast<std::int16_t>(links::PortFieldValue(GetText(IDC_UDP_DEST_PORT).toStdString()) & 0xFFFF);
    }
    return 1;
}

std::shared_ptr<plat::Event>& CMainDlg::SendStopEvent(SendLink link)
{
    switch (link) {
    case SendLink::Tcp:
        return m_hTcpSendStopEvent;
    case SendLink::Udp:
        return m_hUdpSendStopEvent;
    case SendLink::Serial:
        break;
    }
    return m_hSerialSendStopEvent;
}

void CMainDlg::StartSend(SendLink link)
{
    auto ticket = std::make_shared<SendTicket>();
    ticket->bytes = m_sendBytes;
    {
        std::lock_guard guard(m_csSend);
        // A send still running on this link is asked to stop; nobody waits for it.
        std::shared_ptr<plat::Event>& running = SendStopEvent(link);
        if (running)
            running->Set();
        running = ticket->stop;
        ticket->serial = ++m_nLastSend;
    }
    switch (link) {
    case SendLink::Tcp:
        m_workers.Launch(m_hTcpSendThread, [this, ticket] { TcpSendThread(this, ticket); });
        break;
    case SendLink::Udp:
        m_workers.Launch(m_hUdpSendThread, [this, ticket] { UdpSendThread(this, ticket); });
        break;
    case SendLink::Serial:
        m_workers.Launch(m_hSerialSendThread, [this, ticket] { SerialSendThread(this, ticket); });
        break;
    }
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

void CMainDlg::StopAllSends()
{
    std::lock_guard guard(m_csSend);
    for (SendLink link : {SendLink::Serial, SendLink::Tcp, SendLink::Udp}) {
        std::shared_ptr<plat::Event>& running = SendStopEvent(link);
        if (running) {
            running->Set();
            running.reset();
        }
    }
}

void CMainDlg::OnSendStop()
{
    StopAllSends();
    m_btnSendStop.EnableWindow(false);
}

void CMainDlg::OnPeriodic()
{
    // Read live by the send threads: unchecking ends a periodic send after its pass or pause.
    if (GetCheck(IDC_PERIODIC) == 1) {
        Enable(IDC_PERIOD, true);
        std::atomic_ref(m_sendJob.bPeriodic).store(1);
    } else {
        Enable(IDC_PERIOD, false);
        std::atomic_ref(m_sendJob.bPeriodic).store(0);
        StopAllSends();
    }
}

void CMainDlg::OnClearSending()
{
    ClearSendingPane();
}

void CMainDlg::ClearSendingPane()
{
    // Running sends keep their own copy; only a save may hold the block for a moment.
    while (m_saSending.Resize(0) == plat::BlockStatus::Held)
        std::this_thread::yield();
    m_hexSending.UpdateView(254);
    m_sendJob.pData = nullptr;
}
