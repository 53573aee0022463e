#pragma once
// Status codes of the serial port operations. They keep the numbers of the window system's error
// codes of the same meaning, so that callers written against those numbers read them unchanged.

#include <cstdint>

namespace serialstatus {

constexpr std::uint32_t kSuccess = 0;
constexpr std::uint32_t kFileNotFound = 2;         // no such device, or a name that maps to none
constexpr std::uint32_t kNotOpen = 6;              // the port is not open
constexpr std::uint32_t kSharingViolation = 32;    // another opener holds the device
constexpr std::uint32_t kInvalidParameter = 87;    // a setting the device refused
constexpr std::uint32_t kIoDevice = 1117;          // the device failed or hung up
constexpr std::uint32_t kAlreadyOpen = 1247;
constexpr std::uint32_t kTimeout = 1460;           // the pending operation was cancelled
constexpr std::uint32_t kInvalidMode = 0x80070057; // unsupported handshaking or read mode
// An errno without a counterpart is reported with this bit set, so it never reads as a code above.
constexpr std::uint32_t kErrnoFlag = 0x20000000;

// The status for a failed platform call. Never 0 and never kNotOpen.
std::uint32_t FromErrno(int err);

} // namespace serialstatus
