#pragma once
// The program's only window: its handlers and what it shows. The panes' bytes, the links and the
// sends have owners of their own, which report back through the narrow views this class
// implements. Every handler (On...) runs on the window's thread; the view functions called from
// workers only queue their work.

#include "app/LinkExtras.h"
#include "app/MainControls.h"
#include "app/ReceivedStateDisplay.h"
#include "links/LinkSession.h"
#include "links/LinkTypes.h"
#include "panes/models/ReceivedPane.h"
#include "panes/models/SendEngine.h"
#include "panes/ui/HexEditCtrl.h"
#include "panes/ui/ReceivedRecording.h"
#include "panes/ui/SendingPane.h"
#include "platform/toolkit/TemplateDialog.h"
#include "serial/link/SerialLink.h"

#include <QIcon>
#include <cstdint>
#include <string>

// The objects behind the window, for tests and benchmarks.
struct MainDlgOwners {
    CReceivedPane& received;
    const CHexeditctrl1& receivedView;
    ReceivedRecording* recording;
    SendingPane& sending;
    LinkSession& link;
    SerialLink& serial;
    SendEngine& sends;
};

class CMainDlg : public plat::TemplateDialog,
                 private ReceivedPaneView,
                 private LinkView,
                 private SendView,
                 private SerialLinkView {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    MainDlgOwners Owners() { return {m_pane, m_hexReceived, m_recording, m_sending, m_link, m_serialLink, m_sends}; }

protected:
    // Window start-up and shutdown.
    bool OnInitDialog();
    void OnSysCommand(int commandId) override;
    void OnDestroy();
    // Closing waits, with a word of why, for the recordings' files to be complete.
    void done(int result) override;
    void DoDataExchange();
    void InitWindowState();

    // Received Data pane.
    void OnClearReceived();

    // Sending: Send, Periodic, Stop and Clear of the Sending pane.
    void OnSend();
    int PrepareSendJob();
    void StartTcpSend();
    void StartUdpSend();
    void StartSerialSend();
    void StartSend(SendLink link);
    void StopAllSends();
    void OnSendStop();
    void OnPeriodic();
    void OnClearSending();
    // The Sending pane refused an edit for want of memory: says so, and why when a send is the cause.
    void OnSendingEditFailedForMemory();

    // Link controls returned to the state in which no link is chosen, and the link teardown.
    void ResetLinkControls();
    void TearDownLink() override;

    // Mode boxes, Start and Stop of the link.
    void OnModeTcp();
    void OnModeUdp();
    void OnModeRs232();
    TcpRole ChooseTcpRole();
    void OnStartLink();
    void OnStopLink();

    // The Change Setting command: the configuration dialog, then the serial link's trial opening.
    void OnChangeSetting();

    // Save and Load of the panes' bytes.
    void OnSaveReceived();
    void OnSaveSending();
    void OnLoad();

private:
    void ConnectHandlers();

    // What the receive path shows; any thread, with the received lock held.
    void ShowReceivedState(ReceivedState state) override;
    void RedrawReceived(bool appended) override;
    // What the link workers show; link worker threads.
    void ShowLinkState(const std::string& text) override;
    void ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled) override;
    void ShowLinkMessage(const std::string& text) override;
    void ShowLocalPort(std::uint16_t port) override;
    void ShowDatagramsLost(std::uint64_t linkEpoch, std::uint64_t count) override;
    // What the send threads show; send threads.
    void ShowSenderState(const std::string& text) override;
    void ShowSendButtons(bool sending) override;
    void ShowSendMessage(const std::string& text) override;
    // What the serial link shows; window's thread, except QueueForView (the event thread).
    void ShowSerialState(const std::string& text) override;
    void ShowSerialButtons(bool startEnabled) override;
    void ShowSerialMessage(const std::string& text) override;
    void ShowSerialSettings(const SerialSettings& settings) override;
    void QueueForView(std::function<void()> work) override;
    void SerialReopened() override;

    MainControls m_controls;
    ReceivedStateDisplay m_receivedState{this, m_controls.receivedState};
    CHexeditctrl1 m_hexReceived;
    // The Received pane's recording entries; a child of its view.
    ReceivedRecording* m_recording = nullptr;
    SendingPane m_sending;

    // The Received pane's bytes, the links that deliver to it and the sends. Their workers are
    // joined in OnDestroy, before any member they use goes.
    CReceivedPane m_pane{*this};
    LinkSession m_link{*this, m_pane};
    SerialLink m_serialLink{*this, m_pane};
    SendEngine m_sends{*this, m_link, m_serialLink};

    QIcon m_hIcon;
    // The link's controls beyond the template, in a row below it; a child of the window.
    LinkExtras* m_extras = nullptr;
    bool m_destroyed = false;
};
