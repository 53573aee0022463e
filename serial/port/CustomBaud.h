#pragma once
// Baud rates through the kernel's second termios record, which carries the rate as a plain number
// and so takes rates the classic speed constants do not have (28800 and the like). Its header
// clashes with <termios.h>, so it is kept in a file of its own behind plain types.

#include <cstdint>

// Sets both directions to the rate as a plain number. Returns 0 or the errno of the failure.
int SetPlainBaudRate(int fd, std::uint32_t baud);
// Reads the output rate as a plain number. Returns 0 or the errno of the failure.
int ReadPlainBaudRate(int fd, std::uint32_t& baud);

// Every line setting of a device at one moment, rate included, to put back after a refusal.
class CLineSnapshot {
public:
    // Returns 0 or the errno of the failure.
    int Take(int fd);
    int Restore(int fd) const;

private:
    alignas(8) unsigned char m_record[64] = {};
};
