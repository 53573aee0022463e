// What the window shows of the serial link: its settings in the six read-only edits, its state,
// its buttons and its messages.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"
#include "platform/toolkit/WindowThread.h"
#include "resources/ControlIds.h"
#include "serial/dialog/SettingsText.h"

void CMainDlg::ShowSerialSettings(const SerialSettings& settings)
{
    SetText(IDC_SERIAL_PORT, serialtext::PortText(settings.comPort));
    SetText(IDC_SERIAL_BAUD, serialtext::BaudText(settings.baudRate));
    SetText(IDC_SERIAL_DATA_BITS, serialtext::DataBitsText(settings.dataBits));
    SetText(IDC_SERIAL_PARITY, serialtext::ParityText(settings.parity));
    SetText(IDC_SERIAL_STOP_BITS, serialtext::StopBitsText(settings.stopBits));
    SetText(IDC_SERIAL_HANDSHAKING, serialtext::HandshakingText(settings.handshaking));
}

void CMainDlg::ShowSerialState(const std::string& text)
{
    m_controls.state.SetWindowText(QString::fromStdString(text));
}

void CMainDlg::ShowSerialButtons(bool startEnabled)
{
    m_controls.start.EnableWindow(startEnabled);
    m_controls.stop.EnableWindow(!startEnabled);
}

void CMainDlg::ShowSerialMessage(const std::string& text)
{
    plat::ShowMessageBox(this, QString::fromStdString(text));
}

void CMainDlg::QueueForView(std::function<void()> work)
{
    plat::RunOnWindowThread(this, std::move(work));
}
