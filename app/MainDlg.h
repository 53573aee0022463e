#pragma once
// The program's only window and the home of all its run-time state: the serial settings, the two
// byte blocks shown in the panes, the sockets, the worker threads and their events, the send request,
// the received-byte count and the lock that guards the Received Data block.

#include "links/LinkSession.h"
#include "links/LinkTypes.h"
#include "platform/sync/WorkerThreads.h"
#include "panes/HexEditCtrl.h"
#include "panes/ReceivedPane.h"
#include "panes/SendJob.h"
#include "panes/SendTicket.h"
#include "platform/byteblock/ByteBlock.h"
#include "platform/net/Socket.h"
#include "platform/sync/Event.h"
#include "platform/toolkit/DlgItem.h"
#include "platform/toolkit/TemplateDialog.h"
#include "serial/SerialReceiver.h"

#include <QIcon>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMainDlg;
// Send threads, one per link, each given the ticket of the Send that started it.
void TcpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);
void UdpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);
void SerialSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);

class CMainDlg : public plat::TemplateDialog, private ReceivedPaneView, private LinkView {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Any thread: where every link delivers what it receives.
    CReceiveSink& ReceiveSink() { return m_pane; }
    std::mutex& ReceivedLock() { return m_pane.ReceivedLock(); }

    // Read-only views for tests and benchmarks.
    const plat::ByteBlock& ReceivedBlock() { return m_pane.Block(); }
    plat::ByteBlock& SendingBlock() { return m_saSending; }
    std::int64_t ReceivedTotal() const { return m_pane.Total(); }
    const CHexeditctrl1& ReceivedView() const { return m_hexReceived; }
    const CHexeditctrl1& SendingView() const { return m_hexSending; }
    bool ClearWorkerStarted() const { return m_pane.ClearWorkerStarted(); }
    CSerialReceiver& SerialPort() { return m_serial; }
    std::int32_t LinkPort() const { return m_link.LinkPort(); }
    std::size_t SetAsideWorkers() { return m_workers.SetAsideCount() + m_link.SetAsideWorkers(); }

protected:
    // Window start-up and shutdown.
    bool OnInitDialog();
    void OnSysCommand(int commandId) override;
    void OnDestroy();
    void DoDataExchange();
    void InitWindowState();

    // Received Data pane.
    void OnClearReceived();
    void ShowReceivedState(const std::string& text) override;
    void RedrawReceived(bool appended) override;

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
    void ClearSendingPane();
    friend void TcpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);
    friend void UdpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);
    friend void SerialSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket);
    // The send thread frame's pieces.
    std::shared_ptr<plat::Event>& SendStopEvent(SendLink link);
    bool SendPeriodic();
    bool SendStopRequested(const SendTicket& ticket);
    // The pause between two passes; false when the window is closing.
    bool SendPause();
    void ShowSendBegin(const SendTicket& ticket);
    // Ends a send: the text (none when empty), Send enabled and Stop disabled.
    void ShowSendEnd(SendLink link, const SendTicket& ticket, const QString& text);

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
    // What the link workers show (any thread; queued to the window's thread).
    void ShowLinkState(const std::string& text) override;
    void ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled) override;
    void ShowLinkMessage(const std::string& text) override;

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
    // `appendLock` is the lock receive threads append under, for the Received pane.
    void SavePaneToFile(plat::ByteBlock& block, CHexeditctrl1& view, std::mutex* appendLock);

    // The Received pane's bytes, and the links that deliver to it.
    CReceivedPane m_pane{*this};
    LinkSession m_link{*this, m_pane};

private:
    void ConnectHandlers();

    // Serial settings (defaults until a stored value is loaded).
    std::int32_t m_comPort = 0;
    std::int32_t m_baudRate = 0;
    std::int32_t m_dataBits = 0;
    std::int32_t m_parity = 0;
    std::int32_t m_stopBits = 0;
    std::int32_t m_handshaking = 0;

    CHexeditctrl1 m_hexReceived;
    CHexeditctrl1 m_hexSending;
    plat::ByteBlock m_saSending;

    // Sends: thread handles are "none" until started.
    std::thread m_hTcpSendThread;
    // The stop request of the send running on each link, none when none runs; a new one per Send.
    std::shared_ptr<plat::Event> m_hTcpSendStopEvent;
    std::thread m_hUdpSendThread;
    std::shared_ptr<plat::Event> m_hUdpSendStopEvent;
    std::thread m_hSerialSendThread;
    std::shared_ptr<plat::Event> m_hSerialSendStopEvent;
    // Guards the stop events above, m_nLastSend and the UDP destination of m_sendJob.
    std::mutex m_csSend;
    std::uint64_t m_nLastSend = 0;
    // Set when the window goes: ends the pauses of periodic sends at once.
    plat::Event m_hSendQuitEvent{plat::Event::Kind::ManualReset};
    WorkerThreads m_workers;

    SendJob m_sendJob;
    // The bytes of the last Send; pData points into them.
    std::shared_ptr<const std::vector<unsigned char>> m_sendBytes;
    CSerialReceiver m_serial;

    std::int32_t m_nUdpChunkSize = 0;
    QIcon m_hIcon;

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
