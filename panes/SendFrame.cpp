// The frame every send thread runs: the start texts, the stop polls, the pause between passes
// and the end.
#include "app/MainDlg.h"

#include <atomic>

bool CMainDlg::SendPeriodic()
{
    return std::atomic_ref(m_sendJob.bPeriodic).load() == 1;
}

bool CMainDlg::SendStopRequested(const SendTicket& ticket)
{
    // The window going counts as a stop, as a wait on a closed event fails.
    return ticket.stop->IsSet() || m_hSendQuitEvent.IsSet();
}

bool CMainDlg::SendPause()
{
    // A plain pause as far as Stop goes (a Stop takes effect when it is over), but the window's
    // closing ends it at once.
    const std::int32_t periodMs = std::atomic_ref(m_sendJob.nPeriodMs).load();
    if (periodMs <= 0)
        return !m_hSendQuitEvent.IsSet();
    return !m_hSendQuitEvent.Wait(periodMs);
}

void CMainDlg::ShowSendBegin(const SendTicket& ticket)
{
    std::lock_guard guard(m_csSend);
    if (ticket.serial != m_nLastSend)
        return;
    // The text last: whoever sees it sees the buttons set.
    m_btnSend.EnableWindow(false);
    m_btnSendStop.EnableWindow(true);
    m_editSenderState.SetWindowText(QStringLiteral("Periodic Send"));
}

void CMainDlg::ShowSendEnd(SendLink link, const SendTicket& ticket, const QString& text)
{
    std::lock_guard guard(m_csSend);
    std::shared_ptr<plat::Event>& running = SendStopEvent(link);
    if (running == ticket.stop)
        running.reset();
    // A send that a later Send replaced ends without a word: the later one owns the buttons.
    if (ticket.serial != m_nLastSend)
        return;
    m_btnSend.EnableWindow(true);
    m_btnSendStop.EnableWindow(false);
    if (!text.isEmpty())
        m_editSenderState.SetWindowText(text);
}
