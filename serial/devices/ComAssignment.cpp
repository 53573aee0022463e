#include "serial/devices/ComAssignment.h"

#include "platform/registry/StoreFolders.h"
#include "serial/devices/ComName.h"
#include "serial/devices/ComNameTable.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinkHops = 16;

// Whether following `path` link by link passes through one of the device's names. Done on
// the names rather than on the device files, so a link to a by-id name that is gone does not
// count as reaching whatever takes that node next.
bool Reaches(fs::path path, const SerialDevice& device)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const std::string name = path.lexically_normal().string();
        if (name == device.node || name == device.byId)
            return true;
        for (const std::string& link : device.links)
            if (name == link)
                return true;
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error)))
            return false;
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            return false;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return false;
}

bool HasLink(int comNumber)
{
    const std::string name = "/dosdevices/com" + std::to_string(comNumber);
    for (const std::string& folder : {plat::UserStoreFolder(), plat::MachineStoreFolder()}) {
        std::error_code error;
        if (fs::is_symlink(fs::symlink_status(folder + name, error)))
            return true;
    }
    return false;
}

// The number for a device no name reaches: the one it was given before in this run while that
// number still has no link, else the lowest free one from 97 up. Nothing is written: opening the
// port by that number makes the link (ResolveComNameToOpen). 0 when every number is taken.
int NumberForUnreached(const SerialDevice& device)
{
    const std::string& target = device.byId.empty() ? device.node : device.byId;
    if (const int given = GivenComNumber(target); given != 0 && !HasLink(given))
        return given;
    for (int number = kFirstGivenComNumber; number <= kLastComNumber; ++number)
        if (!HasLink(number) && GiveComNumber(number, target))
            return number;
    return 0;
}

} // namespace

std::vector<PresentPort> AssignComPorts(const std::vector<SerialDevice>& devices)
{
    std::vector<PresentPort> ports;
    std::vector<bool> reached(devices.size(), false);
    for (int number = 1; number <= kLastComNumber; ++number) {
        const std::string path = ResolveComName("COM" + std::to_string(number));
        if (path.empty())
            continue;
        for (std::size_t i = 0; i < devices.size(); ++i)
            if (Reaches(path, devices[i])) {
                ports.push_back({number, devices[i]});
                reached[i] = true;
            }
    }
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!reached[i])
            if (const int number = NumberForUnreached(devices[i]); number != 0)
                ports.push_back({number, devices[i]});
    std::stable_sort(ports.begin(), ports.end(),
                     [](const PresentPort& a, const PresentPort& b) { return a.comNumber < b.comNumber; });
    return ports;
}

std::string PresentPortsText(const std::vector<PresentPort>& ports)
{
    std::string text;
    for (const PresentPort& port : ports) {
        if (!text.empty())
            text += ", ";
        text += "COM" + std::to_string(port.comNumber) + " (" + port.device.Summary(", ") + ")";
    }
    return text;
}
