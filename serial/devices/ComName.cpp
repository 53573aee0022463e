#include "serial/devices/ComName.h"

#include "platform/registry/StoreFolders.h"
#include "serial/devices/ComNameTable.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// The n of "COMn" (any case), or 0 when the name is not of that form.
unsigned ComNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 12)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    unsigned number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
        if (number > 100000)
            return 0;
    }
    return number;
}

bool IsSymbolicLink(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string DefaultDevice(unsigned number)
{
    struct Range { unsigned first; const char* prefix; };
    static const Range ranges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& range : ranges)
        if (number >= range.first && number < range.first + 32)
            return range.prefix + std::to_string(number - range.first);
    return {};
}

} // namespace

std::string ResolveComName(const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    const unsigned number = ComNumber(name);
    if (number == 0)
        return {};
    const std::string linkName = "/dosdevices/com" + std::to_string(number);
    // A link is a mapping even when it dangles: opening it then fails as a missing device.
    for (const std::string& folder : {plat::UserStoreFolder(), plat::MachineStoreFolder()})
        if (std::string link = folder + linkName; IsSymbolicLink(link))
            return link;
    return DefaultDevice(number);
}

std::string ResolveComNameToOpen(const std::string& name)
{
    if (std::string path = ResolveComName(name); !path.empty())
        return path;
    const unsigned number = ComNumber(name);
    const std::string device = GivenComDevice(static_cast<int>(number));
    if (device.empty())
        return {};
    const std::string folder = plat::UserStoreFolder() + "/dosdevices";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string link = folder + "/com" + std::to_string(number);
    if (::symlink(device.c_str(), link.c_str()) == 0)
        return link;
    // A name that appeared meanwhile is the mapping now; otherwise the device is opened unlinked.
    return errno == EEXIST ? ResolveComName(name) : device;
}
