// Opening the serial link with the stored settings when the user starts it.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"
#include "platform/toolkit/WindowThread.h"
#include "serial/devices/OpenFailure.h"
#include "serial/link/SerialSetup.h"

int CMainDlg::OpenSerialWithSettings()
{
    m_serial.AllocateReceiveBuffer();
    m_serial.SetOwner(&m_pane);
    // An adapter unplugged while open ends the link as Close does, unless a later Open or a
    // teardown already replaced that opening.
    m_serial.SetDeviceLostHandler([this](std::uint64_t opening) {
        plat::RunOnWindowThread(this, [this, opening] {
            if (m_serial.IsCurrentOpening(opening)) {
                TearDownLink();
                m_editState.SetWindowText(QStringLiteral("Disconnected"));
            }
        });
    });
    // The link always opens with what is stored; the edits show it.
    LoadSerialSettings();

    const SerialSettings stored{m_comPort, m_baudRate, m_dataBits, m_parity, m_stopBits, m_handshaking};
    const SerialSetupResult result = OpenWithSettings(m_serial, stored, CSerialReceiver::kReceiveBufferSize);
    switch (result.failedAt) {
    case SerialSetupStep::Open:
        plat::ShowMessageBox(this, QString::fromStdString(WithOpenFailureExplanation(
                                       "Unable to open COM-port", SerialPortName(stored.comPort), result.status)));
        return static_cast<int>(result.status);
    case SerialSetupStep::Handshaking:
        // The port stays open without listening; the next Start, Change Setting or teardown closes it.
        plat::ShowMessageBox(this, QStringLiteral("Unable to set Handshaking setting"));
        return static_cast<int>(result.status);
    case SerialSetupStep::LineSettings:
        plat::ShowMessageBox(this, QStringLiteral("Unable to set COM-port setting"));
        return static_cast<int>(result.status);
    case SerialSetupStep::Done:
        break;
    }
    if (std::uint32_t status = m_serial.StartEventThread(); status != 0) {
        m_serial.Close();
        return static_cast<int>(status);
    }
    return 0;
}
