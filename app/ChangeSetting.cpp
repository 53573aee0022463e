// The Change Setting command: the user picks new serial settings, the port tries them, and only
// what the device accepted is stored.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"
#include "serial/devices/OpenFailure.h"
#include "serial/dialog/SerialConfigDlg.h"
#include "serial/link/SerialSetup.h"

namespace {

// The dialog's choice as settings. A list left without a selection keeps the current value, so
// no index ever reaches outside its table.
SerialSettings ChosenSettings(const CSerialConfigDlg& dlg, const SerialSettings& current)
{
    SerialSettings chosen = current;
    if (dlg.m_comPort >= 1)
        chosen.comPort = dlg.m_comPort;
    if (dlg.m_baudIndex >= 0 && dlg.m_baudIndex < static_cast<int>(kBaudRates.size()))
        chosen.baudRate = kBaudRates[static_cast<std::size_t>(dlg.m_baudIndex)];
    if (dlg.m_dataBitsIndex >= 0 && dlg.m_dataBitsIndex <= 3)
        chosen.dataBits = dlg.m_dataBitsIndex + 5;
    if (dlg.m_parity >= 0)
        chosen.parity = dlg.m_parity;
    if (dlg.m_stopBits >= 0)
        chosen.stopBits = dlg.m_stopBits;
    if (dlg.m_handshaking >= 0)
        chosen.handshaking = dlg.m_handshaking;
    return chosen;
}

} // namespace

void CMainDlg::OnChangeSetting()
{
    const SerialSettings current{m_comPort, m_baudRate, m_dataBits, m_parity, m_stopBits, m_handshaking};
    CSerialConfigDlg dlg(this);
    // Stored numbers are not checked when loaded: one outside its list selects nothing, and never
    // reaches the list arithmetic, where 0x80000000 would overflow.
    const int port = m_comPort >= 1 && m_comPort <= CSerialConfigDlg::kPortCount ? m_comPort : 0;
    const int dataBitsIndex = m_dataBits >= 5 && m_dataBits <= 8 ? m_dataBits - 5 : -1;
    dlg.SetSettings(port, BaudRateIndex(m_baudRate), dataBitsIndex, m_parity, m_stopBits, m_handshaking);
    if (dlg.DoModal() != CSerialConfigDlg::kOk)
        return;

    // A store that cannot be written refuses the change before anything else happens.
    serialstore::Writer store;
    if (!store.Open())
        return;

    m_serial.Close();
    m_btnStart.EnableWindow(true);
    m_btnStop.EnableWindow(false);
    m_editState.SetWindowText(QStringLiteral("Closed"));

    // The trial opening never starts the event thread; the link stays closed afterwards.
    const SerialSettings chosen = ChosenSettings(dlg, current);
    const SerialSetupResult trial = OpenWithSettings(m_serial, chosen, 2048);
    switch (trial.failedAt) {
    case SerialSetupStep::Open:
        plat::ShowMessageBox(this, QString::fromStdString(WithOpenFailureExplanation(
                                       "Unable to open COM-port. Previous configuration is maintained.",
                                       SerialPortName(chosen.comPort), trial.status)));
        break;
    case SerialSetupStep::Handshaking:
        plat::ShowMessageBox(this,
                             QStringLiteral("Unable to set Handshaking setting. Previous configuration is maintained."));
        break;
    case SerialSetupStep::LineSettings:
        plat::ShowMessageBox(this,
                             QStringLiteral("Unable to set COM-port setting. Previous configuration is maintained."));
        break;
    case SerialSetupStep::Done:
        store.Write(chosen);
        store.Close();
        // Reads back what was stored: after a failed write the previous values stay in force.
        LoadSerialSettings();
        break;
    }
    m_serial.Close();
}
