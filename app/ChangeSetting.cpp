// The Change Setting command: the user picks new serial settings in the configuration dialog; the
// serial link tries them and stores only what the device accepted.
#include "app/MainDlg.h"

#include "serial/dialog/SerialConfigDlg.h"

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
    const SerialSettings& current = m_serialLink.Settings();
    CSerialConfigDlg dlg(this);
    // Stored numbers are not checked when loaded: one outside its list selects nothing, and never
    // reaches the list arithmetic, where 0x80000000 would overflow.
    const int port = current.comPort >= 1 && current.comPort <= CSerialConfigDlg::kPortCount ? current.comPort : 0;
    const int dataBitsIndex = current.dataBits >= 5 && current.dataBits <= 8 ? current.dataBits - 5 : -1;
    dlg.SetSettings(port, BaudRateIndex(current.baudRate), dataBitsIndex, current.parity, current.stopBits,
                    current.handshaking);
    if (dlg.DoModal() != CSerialConfigDlg::kOk)
        return;
    m_extras->EndLines();
    m_serialLink.TryNewSettings(ChosenSettings(dlg, current));
}
