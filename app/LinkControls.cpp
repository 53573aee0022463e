// The link buttons' reset, the link teardown, and what the link workers show.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"
#include "platform/toolkit/WindowThread.h"
#include "resources/ControlIds.h"

void CMainDlg::ResetLinkControls()
{
    SetCheck(IDC_PERIODIC, 0);
    Enable(IDC_PERIOD, false);
    m_controls.sendStop.EnableWindow(false);
    Enable(IDC_CHANGE_SETTING, false);
    m_controls.start.SetWindowText(QStringLiteral("No Select"));
    m_controls.start.EnableWindow(false);
    m_controls.stop.SetWindowText(QStringLiteral("No Select"));
    m_controls.stop.EnableWindow(false);
    m_controls.send.EnableWindow(true);
    m_extras->SetMode(LinkExtras::Mode::Other);
    m_receivedState.Reset(m_pane.ReceivedLock());
    m_receivedState.SetLostTip(QString());
    m_controls.senderState.SetWindowText(QStringLiteral("No Running"));
}

void CMainDlg::TearDownLink()
{
    StopAllSends();
    m_link.TearDown();
    if (QWidget* state = m_controls.state.Widget())
        state->setToolTip(QString());
    m_extras->EndLines();
    m_serialLink.Close();
    // A recording ends with the link, once no receiver can deliver any more: the file gets exactly
    // what the pane received, written out in the background.
    if (m_recording)
        m_recording->Stop();
    m_controls.senderState.SetWindowText(QStringLiteral("No Running"));
    m_controls.start.EnableWindow(true);
    m_controls.stop.EnableWindow(false);
}

void CMainDlg::ShowLinkState(const std::string& text)
{
    m_controls.state.SetWindowText(QString::fromStdString(text));
}

void CMainDlg::ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled)
{
    // The epoch is checked where the buttons are set, on the window's thread.
    plat::RunOnWindowThread(this, [this, linkEpoch, startEnabled] {
        if (!m_link.IsLinkCurrent(linkEpoch))
            return;
        m_controls.start.EnableWindow(startEnabled);
        m_controls.stop.EnableWindow(!startEnabled);
    });
}

void CMainDlg::ShowLocalPort(std::uint16_t port)
{
    // The port the system chose is otherwise shown nowhere; the State field's tooltip tells it.
    plat::RunOnWindowThread(this, [this, port] {
        if (QWidget* state = m_controls.state.Widget())
            state->setToolTip(QStringLiteral("Local port %1").arg(port));
    });
}

void CMainDlg::ShowDatagramsLost(std::uint64_t linkEpoch, std::uint64_t count)
{
    // Sent only when the count changes, so one queued call per change is cheap enough. It stays
    // after Stop, so the loss of the last run can still be read.
    plat::RunOnWindowThread(this, [this, linkEpoch, count] {
        if (!m_link.IsLinkCurrent(linkEpoch))
            return;
        m_receivedState.SetLostTip(QStringLiteral("Datagrams lost since Start: %1").arg(count));
    });
}

void CMainDlg::ShowLinkMessage(const std::string& text)
{
    plat::ShowMessageBox(nullptr, QString::fromStdString(text));
}
