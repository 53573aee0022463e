#pragma once
// Resident memory of this process from /proc/self/status, in bytes.

#include <cstdint>
#include <fstream>
#include <string>

namespace bench {

inline std::uint64_t ProcStatusBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1)) * 1024; // the kernel reports kB
    }
    return 0;
}

inline std::uint64_t ResidentBytes() { return ProcStatusBytes("VmRSS"); }
inline std::uint64_t PeakResidentBytes() { return ProcStatusBytes("VmHWM"); }

} // namespace bench
