// The serial settings as the window shows them.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"
#include "serial/store/SerialSettingsStore.h"
#include "serial/dialog/SettingsText.h"

void CMainDlg::LoadSerialSettings()
{
    const SerialSettings stored = serialstore::Load();
    m_comPort = stored.comPort;
    m_baudRate = stored.baudRate;
    m_dataBits = stored.dataBits;
    m_parity = stored.parity;
    m_stopBits = stored.stopBits;
    m_handshaking = stored.handshaking;
    ShowSerialSettings();
}

void CMainDlg::ShowSerialSettings()
{
    SetText(IDC_SERIAL_PORT, serialtext::PortText(m_comPort));
    SetText(IDC_SERIAL_BAUD, serialtext::BaudText(m_baudRate));
    SetText(IDC_SERIAL_DATA_BITS, serialtext::DataBitsText(m_dataBits));
    SetText(IDC_SERIAL_PARITY, serialtext::ParityText(m_parity));
    SetText(IDC_SERIAL_STOP_BITS, serialtext::StopBitsText(m_stopBits));
    SetText(IDC_SERIAL_HANDSHAKING, serialtext::HandshakingText(m_handshaking));
}
