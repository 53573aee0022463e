#include "core/SerialStatus.h"

#include <cerrno>

namespace serialstatus {

std::uint32_t FromErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return kFileNotFound;
    case ENOTDIR:
        return 3;    // path not found
    case EMFILE:
    case ENFILE:
        return 4;    // too many open files
    case EACCES:
    case EPERM:
    case EISDIR:
        return 5;    // access denied
    case ENOMEM:
        return 8;
    case EROFS:
        return 19;   // write protected
    case EBUSY:
    case ETXTBSY:
        return kSharingViolation;
    case ENOSPC:
        return 112;
    case EINVAL:
        return kInvalidParameter;
    case ENAMETOOLONG:
        return 206;
    case ENOTTY:
        return 1;    // the call does not apply to this device
    case EIO:
        return kIoDevice;
    case ECANCELED:
    case EINTR:
        return 995;  // operation aborted
    case ETIMEDOUT:
        return kTimeout;
    default:
        // errno 0 would read as success; every other value is kept apart by the flag bit.
        return kErrnoFlag | static_cast<std::uint32_t>(err);
    }
}

} // namespace serialstatus
