#include "platform/registry/StoreFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace plat {
namespace {

// An empty variable counts as unset, as the base-directory convention asks.
const char* NonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string HomeFolder()
{
    if (const char* home = NonEmptyEnv("HOME"))
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/";
}

} // namespace

std::string MachineStoreFolder()
{
    if (const char* folder = NonEmptyEnv("RELVANTO_MACHINE_STORE"))
        return folder;
    return "/etc/xdg/relvanto";
}

std::string UserStoreFolder()
{
    if (const char* folder = NonEmptyEnv("RELVANTO_USER_STORE"))
        return folder;
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    if (const char* config = NonEmptyEnv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return std::string(config) + "/relvanto";
    return HomeFolder() + "/.config/relvanto";
}

} // namespace plat
