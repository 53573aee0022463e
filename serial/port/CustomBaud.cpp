#include "serial/port/CustomBaud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>

// <sys/ioctl.h> would drag in the classic termios types; the declaration is all that is needed.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace {

static_assert(sizeof(termios2) <= 64, "the snapshot must hold a whole termios2 record");

int Get(int fd, termios2& record)
{
    return ioctl(fd, TCGETS2, &record) == 0 ? 0 : errno;
}

int Put(int fd, const termios2& record)
{
    return ioctl(fd, TCSETS2, &record) == 0 ? 0 : errno;
}

} // namespace

int SetPlainBaudRate(int fd, std::uint32_t baud)
{
    termios2 record{};
    if (int err = Get(fd, record))
        return err;
    record.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    record.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    record.c_ospeed = baud;
    record.c_ispeed = baud;
    return Put(fd, record);
}

int ReadPlainBaudRate(int fd, std::uint32_t& baud)
{
    termios2 record{};
    if (int err = Get(fd, record))
        return err;
    baud = record.c_ospeed;
    return 0;
}

int CLineSnapshot::Take(int fd)
{
    termios2 record{};
    if (int err = Get(fd, record))
        return err;
    std::memcpy(m_record, &record, sizeof record);
    return 0;
}

int CLineSnapshot::Restore(int fd) const
{
    termios2 record{};
    std::memcpy(&record, m_record, sizeof record);
    return Put(fd, record);
}
