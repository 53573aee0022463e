#pragma once
// The "Serial Port Configuration" dialog: six drop-down lists for the port, baud rate, data bits,
// parity, stop bits and handshaking. It holds the baud rate and the data bits as list indexes; a
// list left without a selection reads as -1. The port list names what each present port is and
// follows devices that come and go while the dialog is open. Window's thread only.

#include "platform/toolkit/DlgItem.h"
#include "platform/toolkit/TemplateDialog.h"

#include <array>
#include <cstdint>
#include <memory>

class QSocketNotifier;
class SerialDeviceSource;

// The baud rates of the list, in list order.
inline constexpr std::array<std::int32_t, 16> kBaudRates{75,    150,   200,   300,   600,   1200,  1800,  2400,
                                                         4800,  9600,  19200, 28800, 38400, 57600, 115200, 230400};
// The position of a baud rate in kBaudRates, or -1 when the list does not have it.
int BaudRateIndex(std::int32_t baudRate);

class CSerialConfigDlg : public plat::TemplateDialog {
    Q_OBJECT
public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kPortCount = 255;

    explicit CSerialConfigDlg(QWidget* parent = nullptr);
    ~CSerialConfigDlg() override;
    // The selections the dialog opens with: port number, then list indexes.
    void SetSettings(int comPort, int baudIndex, int dataBitsIndex, int parity, int stopBits, int handshaking);
    // Runs the dialog modally: kOk or kCancel.
    int DoModal();

    // After OK: the port number (selection + 1) and the other five selections.
    std::int32_t m_comPort = 0;
    std::int32_t m_baudIndex = -1;
    std::int32_t m_dataBitsIndex = -1;
    std::int32_t m_parity = -1;
    std::int32_t m_stopBits = -1;
    std::int32_t m_handshaking = -1;

protected:
    void DoDataExchange();
    bool OnInitDialog();
    void OnOK();
    // Shows which device each port name opens as a tooltip, and after the name of each present
    // port what it is, in bold; the names, their order and the selection stay.
    void ShowPresentPorts();
    // Watches for devices that come and go, and shows them as they do.
    void WatchDevices();

    plat::DlgItem m_cbComPort;
    plat::DlgItem m_cbBaudRate;
    plat::DlgItem m_cbDataBits;
    plat::DlgItem m_cbParity;
    plat::DlgItem m_cbStopBits;
    plat::DlgItem m_cbHandshaking;

    std::unique_ptr<SerialDeviceSource> m_deviceSource;
    QSocketNotifier* m_deviceWatch = nullptr; // a child of the dialog
};
