#pragma once
// The program's only window and the home of all its run-time state: the serial settings, the two
// byte blocks shown in the panes, the sockets, the worker threads and their events, the send request,
// the received-byte count and the lock that guards the Received Data block.

#include "panes/HexEditCtrl.h"
#include "panes/ReceiveSink.h"
#include "panes/SendJob.h"
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

class CMainDlg;
// The worker that empties the Received Data pane each time Clear is clicked.
void ClearWorkerThread(CMainDlg* dlg);

class CMainDlg : public plat::TemplateDialog, public CReceiveSink {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The receive sink: appends a block that arrived on any link. Called with m_csReceived held.
    void AppendReceivedData(const unsigned char* data, int size) override;
    std::mutex& ReceivedLock() override { return m_csReceived; }
    // Empties the Received Data pane.
    void ClearReceivedPane();

    // Read-only views for tests and benchmarks.
    const plat::ByteBlock& ReceivedBlock() const { return m_saReceived; }
    plat::ByteBlock& SendingBlock() { return m_saSending; }
    std::int64_t ReceivedTotal() const { return m_nReceivedTotal; }
    const CHexeditctrl1& ReceivedView() const { return m_hexReceived; }
    const CHexeditctrl1& SendingView() const { return m_hexSending; }
    bool ClearWorkerStarted() const { return m_hClearThread.joinable(); }
    CSerialReceiver& SerialPort() { return m_serial; }

protected:
    // Window start-up and shutdown.
    bool OnInitDialog();
    void OnSysCommand(int commandId) override;
    void OnDestroy();
    void DoDataExchange();
    void InitWindowState();

    // Received Data pane.
    void OnClearReceived();
    friend void ClearWorkerThread(CMainDlg* dlg);

    // Link controls returned to the state in which no link is chosen, and the link teardown.
    void ResetLinkControls();
    void TearDownLink();
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
    plat::BlockStatus EmptySendingPaneForLoad();

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
    plat::ByteBlock m_saReceived;
    plat::ByteBlock m_saSending;
    std::string m_strDestIp;
    std::int32_t m_nLinkPort = 0;

    // Links: thread handles are "none" until started; sockets are none until opened.
    std::thread m_hTcpServerThread;
    plat::SocketSlot m_sockTcpListen;
    std::thread m_hTcpSendThread;
    std::thread m_hTcpClientThread;
    std::thread m_hTcpRecvThread;
    plat::SocketSlot m_sockTcpConn;
    std::unique_ptr<plat::Event> m_hTcpSendStopEvent;
    std::thread m_hUdpSendThread;
    std::thread m_hUdpRecvThread;
    plat::SocketSlot m_sockUdpRecv;
    plat::SocketSlot m_sockUdpSend;
    std::unique_ptr<plat::Event> m_hUdpSendStopEvent;
    std::thread m_hSerialSendThread;
    std::unique_ptr<plat::Event> m_hSerialSendStopEvent;

    // The clear worker and its two events.
    std::thread m_hClearThread;
    std::unique_ptr<plat::Event> m_hClearEvent;
    std::unique_ptr<plat::Event> m_hClearQuitEvent;

    SendJob m_sendJob;
    CSerialReceiver m_serial;

    // Bytes held in the Received Data pane. 64 bits wide: a long flood must not wrap the count.
    // Changed only under m_csReceived; atomic so that the window can read it at any time.
    std::atomic<std::int64_t> m_nReceivedTotal{0};
    std::int32_t m_nUdpChunkSize = 0;
    std::mutex m_csReceived;
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
