#include "serial/devices/ComNameTable.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_tableLock;
std::map<int, std::string> g_given; // COM number -> device

} // namespace

int GivenComNumber(const std::string& device)
{
    std::lock_guard lock(g_tableLock);
    for (const auto& [number, given] : g_given)
        if (given == device)
            return number;
    return 0;
}

std::string GivenComDevice(int number)
{
    std::lock_guard lock(g_tableLock);
    const auto found = g_given.find(number);
    return found == g_given.end() ? std::string() : found->second;
}

bool GiveComNumber(int number, const std::string& device)
{
    std::lock_guard lock(g_tableLock);
    if (const auto found = g_given.find(number); found != g_given.end())
        return found->second == device;
    std::erase_if(g_given, [&device](const auto& entry) { return entry.second == device; });
    g_given.emplace(number, device);
    return true;
}

void ForgetGivenComNumbers()
{
    std::lock_guard lock(g_tableLock);
    g_given.clear();
}
