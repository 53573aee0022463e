#pragma once
// The line settings and handshaking of a serial device on termios. A device may accept a setting
// without applying it (a pseudo-terminal keeps 8 data bits and no parity whatever is asked), so
// every change is read back: what the device did not take is refused as an invalid parameter and
// the settings from before the change are put back. All results are serial status codes.

#include <cstdint>

struct LineSettings {
    std::uint32_t baudRate = 0;
    int dataBits = 0;  // 5 to 8
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0 one, 1 one and a half (5 data bits only), 2 two
};

// Raw bytes both ways, no modem control, reads that never block in the driver.
std::uint32_t MakeLineRaw(int fd);

std::uint32_t ApplyLineSettings(int fd, const LineSettings& settings);
std::uint32_t ReadLineSettings(int fd, LineSettings& settings);

// 0 none, 1 hardware (RTS/CTS), 2 software (XON/XOFF); any other mode is refused unchanged.
std::uint32_t ApplyHandshaking(int fd, int mode);
std::uint32_t ReadHandshaking(int fd, int& mode);
