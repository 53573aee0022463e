#include "serial/devices/DeviceHolders.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace {

bool IsNumber(const char* text)
{
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text)
        if (!std::isdigit(static_cast<unsigned char>(*text)))
            return false;
    return true;
}

bool HoldsDevice(const std::string& fdFolder, dev_t device)
{
    DIR* folder = ::opendir(fdFolder.c_str());
    if (folder == nullptr)
        return false;
    bool holds = false;
    while (dirent* entry = ::readdir(folder)) {
        struct stat target{};
        if (IsNumber(entry->d_name) && ::stat((fdFolder + "/" + entry->d_name).c_str(), &target) == 0 &&
            S_ISCHR(target.st_mode) && target.st_rdev == device) {
            holds = true;
            break;
        }
    }
    ::closedir(folder);
    return holds;
}

std::string CommandName(const std::string& processFolder)
{
    std::ifstream comm(processFolder + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "an unnamed program" : name;
}

} // namespace

std::vector<DeviceHolder> FindDeviceHolders(const std::string& path)
{
    std::vector<DeviceHolder> holders;
    struct stat device{};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return holders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return holders;
    while (dirent* entry = ::readdir(proc)) {
        if (!IsNumber(entry->d_name))
            continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        if (HoldsDevice(folder + "/fd", device.st_rdev))
            holders.push_back({static_cast<pid_t>(std::stol(entry->d_name)), CommandName(folder)});
    }
    ::closedir(proc);
    std::sort(holders.begin(), holders.end(), [](const DeviceHolder& a, const DeviceHolder& b) { return a.pid < b.pid; });
    return holders;
}
