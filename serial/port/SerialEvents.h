#pragma once
// Event bits of an event wait and error bits of the line, with the numbers callers know them by.

#include <cstdint>

constexpr std::uint32_t EV_RXCHAR = 0x0001; // a character arrived
constexpr std::uint32_t EV_RXFLAG = 0x0002; // the event character arrived
constexpr std::uint32_t EV_BREAK = 0x0040;  // a break on the line
constexpr std::uint32_t EV_ERR = 0x0080;    // a framing, parity or overrun error

constexpr std::uint32_t CE_RXOVER = 0x0001;   // the input buffer overflowed
constexpr std::uint32_t CE_OVERRUN = 0x0002;  // the receiver lost a character
constexpr std::uint32_t CE_RXPARITY = 0x0004;
constexpr std::uint32_t CE_FRAME = 0x0008;
constexpr std::uint32_t CE_BREAK = 0x0010;
