#include "serial/port/DeviceOpen.h"

#include "serial/devices/ComName.h"
#include "serial/port/LineSettings.h"
#include "core/SerialStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace serialstatus;

namespace {

// Closes the descriptor unless the open went through.
struct FdGuard {
    int fd;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::uint32_t OpenSerialDevice(const std::string& name, int& fd)
{
    fd = -1;
    const std::string path = ResolveComNameToOpen(name);
    if (path.empty())
        return kFileNotFound;
    FdGuard device{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (device.fd < 0)
        return FromErrno(errno);
    termios probe{};
    if (::tcgetattr(device.fd, &probe) != 0)
        return FromErrno(errno);
    // The lock refuses a second opener of this program even as root, who passes TIOCEXCL.
    if (::flock(device.fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? kSharingViolation : FromErrno(errno);
    if (::ioctl(device.fd, TIOCEXCL) != 0)
        return FromErrno(errno);
    if (std::uint32_t status = MakeLineRaw(device.fd); status != kSuccess) {
        ::ioctl(device.fd, TIOCNXCL);
        return status;
    }
    fd = device.fd;
    device.fd = -1;
    return kSuccess;
}
