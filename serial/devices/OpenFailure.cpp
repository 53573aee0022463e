#include "serial/devices/OpenFailure.h"

#include "serial/devices/ComAssignment.h"
#include "serial/devices/ComName.h"
#include "serial/devices/DeviceHolders.h"
#include "serial/devices/SerialDeviceSource.h"
#include "core/SerialStatus.h"

#include <cerrno>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kNotTerminal = 1; // ENOTTY: the device takes no terminal settings
constexpr std::uint32_t kAccessDenied = 5;

std::string PresentPortsSentence()
{
    const std::unique_ptr<SerialDeviceSource> source = OpenSerialDeviceSource();
    const std::string ports = PresentPortsText(AssignComPorts(PresentSerialDevices(*source)));
    return ports.empty() ? "No serial port is present." : "Present ports: " + ports + ".";
}

// The name a person knows the device by: what a dosdevices link points at, else the path.
std::string ShownPath(const std::string& path)
{
    std::error_code error;
    if (path.find("/dosdevices/") != std::string::npos && std::filesystem::is_symlink(path, error)) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (!error && target.is_absolute())
            return target.string();
    }
    return path;
}

bool InGroupNow(gid_t group)
{
    if (::getegid() == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        for (gid_t member : groups)
            if (member == group)
                return true;
    return false;
}

// Whether the account is in the group by the group database, as the next login will be.
bool InGroupByAccount(gid_t group)
{
    const passwd* user = ::getpwuid(::geteuid());
    if (user == nullptr)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    return false;
}

std::string PermissionAdvice(const std::string& shown, const struct stat& device)
{
    const group* entry = ::getgrgid(device.st_gid);
    const std::string group = entry != nullptr ? entry->gr_name : std::to_string(device.st_gid);
    const bool groupMayUse = (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse || InGroupNow(device.st_gid))
        return "You may not open " + shown + " (it belongs to group " + group + ").";
    if (InGroupByAccount(device.st_gid))
        return shown + " belongs to group " + group + ", and you were added to it after you logged in: log out and in again.";
    return shown + " belongs to group " + group + ", and you are not in it: run sudo adduser $USER " + group +
           ", then log out and in again.";
}

std::string BusyAdvice(const std::string& shown, const std::string& path)
{
    const std::vector<DeviceHolder> holders = FindDeviceHolders(path);
    if (holders.empty())
        return shown + " is in use by another program.";
    std::string names;
    for (const DeviceHolder& holder : holders) {
        if (!names.empty())
            names += ", ";
        names += holder.name + " (process " + std::to_string(holder.pid) + ")";
    }
    return shown + " is in use by " + names + ".";
}

} // namespace

std::string ExplainOpenFailure(const std::string& portName, std::uint32_t status)
{
    const std::string path = ResolveComName(portName);
    if (path.empty())
        return portName + " is not linked to any device. " + PresentPortsSentence();
    const std::string shown = ShownPath(path);
    struct stat device{};
    const bool exists = ::stat(path.c_str(), &device) == 0;
    if (!exists && errno == ELOOP)
        return path + " is a loop of symbolic links that never reaches a device: point one of them at the device.";
    switch (status) {
    case serialstatus::kFileNotFound:
    case serialstatus::kIoDevice: // a ttyS slot with no UART behind it
        return shown + " is not present. " + PresentPortsSentence();
    case kAccessDenied:
        if (exists && !S_ISCHR(device.st_mode))
            return shown + " is not a serial port.";
        return exists ? PermissionAdvice(shown, device) : std::string();
    case kNotTerminal:
        return shown + " is not a serial port.";
    case serialstatus::kSharingViolation:
        return BusyAdvice(shown, path);
    default:
        return {};
    }
}

std::string WithOpenFailureExplanation(const std::string& message, const std::string& portName, std::uint32_t status)
{
    const std::string explanation = ExplainOpenFailure(portName, status);
    return explanation.empty() ? message : message + "\n" + explanation;
}
