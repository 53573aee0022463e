#pragma once
// Opening a serial device for this program's sole use: the name resolved to a device (a COM number
// given to a device this run gets its link now), the device opened non-blocking, locked against
// every other opener and put in raw mode.

#include <cstdint>
#include <string>

// On success returns 0 and the descriptor in fd; otherwise a serial status and fd is -1.
std::uint32_t OpenSerialDevice(const std::string& name, int& fd);
