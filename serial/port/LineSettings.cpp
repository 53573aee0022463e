#include "serial/port/LineSettings.h"

#include "serial/port/CustomBaud.h"
#include "core/SerialStatus.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

using namespace serialstatus;

struct StandardRate {
    std::uint32_t baud;
    speed_t code;
};

const StandardRate kStandardRates[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

const StandardRate* FindRate(std::uint32_t baud)
{
    for (const StandardRate& rate : kStandardRates)
        if (rate.baud == baud)
            return &rate;
    return nullptr;
}

std::uint32_t ReadBaud(int fd, const termios& t)
{
    std::uint32_t baud = 0;
    if (ReadPlainBaudRate(fd, baud) == 0)
        return baud;
    const speed_t code = cfgetospeed(&t);
    for (const StandardRate& rate : kStandardRates)
        if (rate.code == code)
            return rate.baud;
    return 0;
}

tcflag_t DataBitsFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t ParityFlags(int parity)
{
    switch (parity) {
    case 1: return PARENB | PARODD;
    case 2: return PARENB;
    case 3: return PARENB | CMSPAR | PARODD;
    case 4: return PARENB | CMSPAR;
    default: return 0;
    }
}

bool ValidLine(const LineSettings& s)
{
    if (s.baudRate == 0 || s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 || s.parity > 4)
        return false;
    // One and a half stop bits exist only with 5 data bits, and two stop bits only without them.
    if (s.stopBits == 1)
        return s.dataBits == 5;
    if (s.stopBits == 2)
        return s.dataBits != 5;
    return s.stopBits == 0;
}

// Drives the modem lines. A device without them (a pseudo-terminal) has nothing to drive.
std::uint32_t SetLines(int fd, unsigned long request, int lines)
{
    if (::ioctl(fd, request, &lines) == 0 || errno == ENOTTY || errno == EINVAL)
        return kSuccess;
    return FromErrno(errno);
}

// Applies change(termios&) and checks it with verify(fd); on any failure the settings from
// before are put back.
template <typename Change, typename Verify>
std::uint32_t ChangeVerified(int fd, Change change, Verify verify)
{
    CLineSnapshot before;
    if (int err = before.Take(fd))
        return FromErrno(err);
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return FromErrno(errno);
    std::uint32_t status = change(t);
    if (status == kSuccess && ::tcsetattr(fd, TCSANOW, &t) != 0)
        status = FromErrno(errno);
    if (status == kSuccess)
        status = verify(fd);
    if (status != kSuccess)
        before.Restore(fd);
    return status;
}

} // namespace

std::uint32_t MakeLineRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return FromErrno(errno);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~HUPCL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &t) == 0 ? kSuccess : FromErrno(errno);
}

std::uint32_t ApplyLineSettings(int fd, const LineSettings& wanted)
{
    if (!ValidLine(wanted))
        return kInvalidParameter;
    const StandardRate* standard = FindRate(wanted.baudRate);
    auto change = [&](termios& t) -> std::uint32_t {
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        t.c_cflag |= DataBitsFlag(wanted.dataBits) | ParityFlags(wanted.parity);
        if (wanted.stopBits != 0)
            t.c_cflag |= CSTOPB;
        // Parity is checked on input exactly when the line has parity.
        if (wanted.parity != 0)
            t.c_iflag |= INPCK;
        else
            t.c_iflag &= ~INPCK;
        if (standard != nullptr && (::cfsetispeed(&t, standard->code) != 0 ||
                                    ::cfsetospeed(&t, standard->code) != 0))
            return FromErrno(errno);
        return kSuccess;
    };
    auto verify = [&](int device) -> std::uint32_t {
        if (standard == nullptr) {
            if (int err = SetPlainBaudRate(device, wanted.baudRate))
                return FromErrno(err);
        }
        termios t{};
        if (::tcgetattr(device, &t) != 0)
            return FromErrno(errno);
        LineSettings now;
        if (std::uint32_t status = ReadLineSettings(device, now))
            return status;
        const bool inpck = (t.c_iflag & INPCK) != 0;
        const bool same = now.baudRate == wanted.baudRate && now.dataBits == wanted.dataBits &&
                          now.parity == wanted.parity && now.stopBits == wanted.stopBits &&
                          inpck == (wanted.parity != 0);
        return same ? kSuccess : kInvalidParameter;
    };
    return ChangeVerified(fd, change, verify);
}

std::uint32_t ReadLineSettings(int fd, LineSettings& s)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return FromErrno(errno);
    s.baudRate = ReadBaud(fd, t);
    switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    s.parity = 0;
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if (t.c_cflag & CMSPAR)
            s.parity = odd ? 3 : 4;
        else
            s.parity = odd ? 1 : 2;
    }
    s.stopBits = 0;
    if (t.c_cflag & CSTOPB)
        s.stopBits = s.dataBits == 5 ? 1 : 2;
    return kSuccess;
}

std::uint32_t ApplyHandshaking(int fd, int mode)
{
    if (mode < 0 || mode > 2)
        return kInvalidMode;
    auto change = [&](termios& t) -> std::uint32_t {
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF);
        if (mode == 1)
            t.c_cflag |= CRTSCTS;
        if (mode == 2)
            t.c_iflag |= IXON | IXOFF;
        return kSuccess;
    };
    auto verify = [&](int device) -> std::uint32_t {
        // Hardware handshaking raises DTR; the other modes hold DTR and RTS inactive.
        std::uint32_t status = mode == 1 ? SetLines(device, TIOCMBIS, TIOCM_DTR)
                                         : SetLines(device, TIOCMBIC, TIOCM_DTR | TIOCM_RTS);
        if (status != kSuccess)
            return status;
        int now = -1;
        if ((status = ReadHandshaking(device, now)) != kSuccess)
            return status;
        return now == mode ? kSuccess : kInvalidParameter;
    };
    return ChangeVerified(fd, change, verify);
}

std::uint32_t ReadHandshaking(int fd, int& mode)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return FromErrno(errno);
    if (t.c_cflag & CRTSCTS)
        mode = 1;
    else if ((t.c_iflag & IXON) && (t.c_iflag & IXOFF))
        mode = 2;
    else
        mode = 0;
    return kSuccess;
}
