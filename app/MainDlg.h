#pragma once
// The program's only window: its controls, the serial settings, the Sending pane's block and the
// serial port. The Received pane's bytes, the links and the sends have owners of their own, which
// report back through the narrow views this class implements. Every handler (On...) runs on the
// window's thread; the view functions are called from workers and only queue their work.

#include "links/LinkSession.h"
#include "links/LinkTypes.h"
#include "panes/ui/HexEditCtrl.h"
#include "panes/models/ReceivedPane.h"
#include "panes/ui/ReceivedRecording.h"
#include "panes/models/SendEngine.h"
#include "panes/ui/SendingPaneMenu.h"
#include "platform/byteblock/ByteBlock.h"
#include "platform/toolkit/DlgItem.h"
#include "platform/toolkit/FrameClock.h"
#include "platform/toolkit/TemplateDialog.h"
#include "serial/port/SerialReceiver.h"

#include <QIcon>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMainDlg : public plat::TemplateDialog,
                 private ReceivedPaneView,
                 private LinkView,
                 private SendView,
                 private SendLinks {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Any thread: where every link delivers what it receives.
    CReceiveSink& ReceiveSink() { return m_pane; }
    std::mutex& ReceivedLock() { return m_pane.ReceivedLock(); }

    // For tests and benchmarks.
    const plat::ByteBlock& ReceivedBlock() { return m_pane.Block(); }
    plat::ByteBlock& SendingBlock() { return m_saSending; }
    std::int64_t ReceivedTotal() const { return m_pane.Total(); }
    ArrivalTimes& ReceivedArrivals() { return m_pane.Arrivals(); }
    const CHexeditctrl1& ReceivedView() const { return m_hexReceived; }
    const CHexeditctrl1& SendingView() const { return m_hexSending; }
    bool ClearWorkerStarted() const { return m_pane.ClearWorkerStarted(); }
    ReceivedRecording* Recording() const { return m_recording; }
    SendingPaneMenu* SendingMenu() const { return m_sendingMenu; }
    CReceivedPane& ReceivedPane() { return m_pane; }
    CSerialReceiver& SerialPort() { return m_serial; }
    std::int32_t LinkPort() const { return m_link.LinkPort(); }
    std::size_t SetAsideWorkers() { return m_sends.SetAsideWorkers() + m_link.SetAsideWorkers(); }

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
    void ClearSendingPane();

    // Link controls returned to the state in which no link is chosen, and the link teardown.
    void ResetLinkControls();
    void TearDownLink();

    // Mode boxes, Start and Stop of the link.
    void OnModeTcp();
    void OnModeUdp();
    void OnModeRs232();
    TcpRole ChooseTcpRole();
    void OnStartLink();
    void OnStopLink();

    // Serial link open (serial settings)
    int OpenSerialWithSettings();
    // Serial settings shown in the six read-only edits.
    void LoadSerialSettings();
    void ShowSerialSettings();
    // The Change Setting command: the configuration dialog and the trial opening.
    void OnChangeSetting();

    // Save and Load of the panes' bytes.
    void OnSaveReceived();
    void OnSaveSending();
    void OnLoad();
    // Empties the Sending pane and sizes it for `length` bytes, held for the caller to fill and
    // release; null, with the pane empty and the user told, when it cannot be had.
    unsigned char* EmptySendingPaneFor(std::uint64_t length);
    // A recent send chosen in the Sending pane's menu: its bytes replace the pane's, as Load does.
    void RestoreSending(const std::vector<unsigned char>& bytes);
    // `appendLock` is the lock receive threads append under, for the Received pane.
    void SavePaneToFile(plat::ByteBlock& block, CHexeditctrl1& view, std::mutex* appendLock);

private:
    void ConnectHandlers();

    // What the receive path shows; any thread, with the received lock held.
    void ShowReceivedState(ReceivedState state) override;
    void RedrawReceived(bool appended) override;
    // Window's thread, at most once a frame: shows the latest Received State.
    void ApplyReceivedState();
    // Window's thread: "No Running", which no state shown before it overwrites.
    void ResetReceivedState();
    // Window's thread: the Received State's tooltip tells the datagrams lost and the recording.
    void ShowReceivedTip();
    // What the link workers show; link worker threads.
    void ShowLinkState(const std::string& text) override;
    void ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled) override;
    void ShowLinkMessage(const std::string& text) override;
    void ShowLocalPort(std::uint16_t port) override;
    void ShowDatagramsLost(std::uint64_t linkEpoch, std::uint64_t count) override;
    // What the send threads show and the links they use; send threads.
    void ShowSenderState(const std::string& text) override;
    void ShowSendButtons(bool sending) override;
    void ShowSendMessage(const std::string& text) override;
    plat::SocketRef TcpConnection() override;
    plat::SocketRef UdpSocket(std::string& failure) override;
    std::uint32_t SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                              std::uint32_t waitMs) override;

    // Serial settings (defaults until a stored value is loaded).
    std::int32_t m_comPort = 0;
    std::int32_t m_baudRate = 0;
    std::int32_t m_dataBits = 0;
    std::int32_t m_parity = 0;
    std::int32_t m_stopBits = 0;
    std::int32_t m_handshaking = 0;

    CHexeditctrl1 m_hexReceived;
    // The latest Received State (kind in the high half, size in the low half), formatted only when
    // the frame clock shows it; kNoReceivedState once shown or dropped by the reset, so that a state
    // from before the reset never lands after its "No Running". The clock is made before any worker
    // runs and goes with the window.
    static constexpr std::uint64_t kNoReceivedState = ~std::uint64_t{0};
    std::atomic<std::uint64_t> m_receivedState{kNoReceivedState};
    plat::FrameClock* m_receivedStateClock = new plat::FrameClock([this] { ApplyReceivedState(); }, this);
    CHexeditctrl1 m_hexSending;
    plat::ByteBlock m_saSending;
    // The Sending pane's bytes as they were at Send, between the Send click and the send threads'
    // start: kept no longer, so that the pane's edits after the sends need no copy.
    plat::BlockSnapshot m_sendBytes;
    CSerialReceiver m_serial;

    // The Received pane's bytes, the links that deliver to it and the sends. Their workers are
    // joined in OnDestroy, before any member they use goes.
    CReceivedPane m_pane{*this};
    LinkSession m_link{*this, m_pane};
    SendEngine m_sends{*this, *this};

    QIcon m_hIcon;
    // The Received pane's recording entries; a child of its view.
    ReceivedRecording* m_recording = nullptr;
    // The Sending pane's line ending, escaped paste and recent sends; a child of its view.
    SendingPaneMenu* m_sendingMenu = nullptr;
    QString m_lostTip;
    QString m_recordingTip;

    plat::DlgItem m_editState;
    plat::DlgItem m_editSenderState;
    plat::DlgItem m_btnStart;
    plat::DlgItem m_btnStop;
    plat::DlgItem m_editReceivedState;
    plat::DlgItem m_chkAutoScroll;
    plat::DlgItem m_btnSend;
    plat::DlgItem m_btnSendStop;

    bool m_destroyed = false;
};
