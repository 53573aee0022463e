#pragma once
// Opening a serial port with a set of stored settings, step by step, so that the caller can tell
// the user which step the device refused.

#include "serial/port/SerialPort.h"
#include "serial/store/SerialSettingsStore.h"

#include <cstdint>
#include <string>

enum class SerialSetupStep { Open, Handshaking, LineSettings, Done };

struct SerialSetupResult {
    std::uint32_t status = serialstatus::kSuccess;
    SerialSetupStep failedAt = SerialSetupStep::Done;   // Done when every step succeeded
};

// "COM%d" for the port number.
std::string SerialPortName(std::int32_t comPort);

// Open, then handshaking, then line settings; stops at the first refusal and leaves the port as
// that step left it (open after a refused handshaking or line setting).
SerialSetupResult OpenWithSettings(CSerialPort& port, const SerialSettings& settings, std::uint32_t queueSize);

// The line settings of `settings` on an open port. A number that does not fit the device's
// argument (a parity of 256 would otherwise pass as 0) is refused without reaching the device.
std::uint32_t SetPortLineSettings(CSerialPort& port, const SerialSettings& settings);
