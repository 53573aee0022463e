// The serial settings as the window shows them.
#include "app/MainDlg.h"

#include "resources/ControlIds.h"
#include "serial/SettingsText.h"

void CMainDlg::LoadSerialSettings()
{
    m_comPort = 1;
    m_baudRate = 19200;
    m_dataBits = 8;
    m_parity = 0;
    m_stopBits = 0;
    m_handshaking = 0;
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
