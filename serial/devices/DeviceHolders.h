#pragma once
// Which processes hold a device open, found from /proc. Any thread.

#include <string>
#include <sys/types.h>
#include <vector>

struct DeviceHolder {
    pid_t pid;
    std::string name; // the process's command name
};

// The processes with a descriptor open on the device at `path`, in process order. Processes
// whose descriptors this user may not see are missing.
std::vector<DeviceHolder> FindDeviceHolders(const std::string& path);
