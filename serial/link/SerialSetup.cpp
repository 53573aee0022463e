#include "serial/link/SerialSetup.h"

std::string SerialPortName(std::int32_t comPort)
{
    return "COM" + std::to_string(comPort);
}

std::uint32_t SetPortLineSettings(CSerialPort& port, const SerialSettings& s)
{
    auto fitsByte = [](std::int32_t v) { return v >= 0 && v <= 255; };
    if (s.baudRate <= 0 || !fitsByte(s.dataBits) || !fitsByte(s.parity) || !fitsByte(s.stopBits))
        return serialstatus::kInvalidParameter;
    return port.SetLineSettings(static_cast<std::uint32_t>(s.baudRate), static_cast<std::uint8_t>(s.dataBits),
                                static_cast<std::uint8_t>(s.parity), static_cast<std::uint8_t>(s.stopBits));
}

SerialSetupResult OpenWithSettings(CSerialPort& port, const SerialSettings& settings, std::uint32_t queueSize)
{
    if (std::uint32_t status = port.Open(SerialPortName(settings.comPort), queueSize, queueSize); status != 0)
        return {status, SerialSetupStep::Open};
    // A mode outside the three is passed on: the port refuses it and stays as it was.
    if (std::uint32_t status = port.SetHandshaking(static_cast<HandshakingMode>(settings.handshaking)); status != 0)
        return {status, SerialSetupStep::Handshaking};
    if (std::uint32_t status = SetPortLineSettings(port, settings); status != 0)
        return {status, SerialSetupStep::LineSettings};
    return {};
}
