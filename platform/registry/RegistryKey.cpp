#include "platform/registry/RegistryKey.h"

#include "platform/registry/RegistryFile.h"
#include "platform/registry/StoreFolders.h"

namespace plat {

long RegistryKey::Open(const std::string& keyPath, KeyAccess access)
{
    return OpenPaths(keyPath, access, false);
}

long RegistryKey::Create(const std::string& keyPath, KeyAccess access)
{
    return OpenPaths(keyPath, access == KeyAccess::Read ? KeyAccess::ReadWrite : access, true);
}

void RegistryKey::Close()
{
    m_open = false;
    m_writable = false;
    m_readPath.clear();
    m_writePath.clear();
}

long RegistryKey::OpenPaths(const std::string& keyPath, KeyAccess access, bool create)
{
    Close();
    const std::string user = regfile::KeyFile(UserStoreFolder(), keyPath);
    const std::string machine = regfile::KeyFile(MachineStoreFolder(), keyPath);
    if (user.empty() || machine.empty())
        return regstatus::kInvalidName;

    const bool userExists = regfile::Exists(user);
    std::string readPath = userExists ? user : regfile::Exists(machine) ? machine : std::string();
    if (readPath.empty() && !create)
        return regstatus::kNotFound;

    std::string writePath;
    if (access != KeyAccess::Read) {
        // Writes must land where reads look first: an existing per-user copy shadows the
        // machine-wide key, so it takes the writes or nothing does.
        if (userExists)
            writePath = regfile::CanReplace(user) ? user : std::string();
        else if (regfile::CanReplace(machine))
            writePath = machine;
        else if (regfile::CanReplace(user))
            writePath = user;
        if (writePath.empty())
            return regstatus::kAccessDenied;
    }

    if (readPath.empty()) {
        if (regfile::Replace(writePath, {}) != 0)
            return regstatus::kWriteFailed;
        readPath = writePath;
    }
    m_open = true;
    m_writable = !writePath.empty();
    m_readPath = std::move(readPath);
    m_writePath = std::move(writePath);
    return regstatus::kSuccess;
}

std::optional<std::uint32_t> RegistryKey::QueryDword(const std::string& name) const
{
    if (!m_open)
        return std::nullopt;
    for (const auto& [stored, value] : regfile::Read(m_readPath))
        if (stored == name)
            return value;
    return std::nullopt;
}

long RegistryKey::SetDword(const std::string& name, std::uint32_t value)
{
    return SetDwords({{name, value}});
}

long RegistryKey::SetDwords(const std::vector<std::pair<std::string, std::uint32_t>>& values)
{
    if (!m_open || !m_writable)
        return regstatus::kAccessDenied;
    for (const auto& entry : values)
        if (!regfile::IsValidValueName(entry.first))
            return regstatus::kInvalidName;

    // A first write to a new per-user copy starts from the machine-wide values, so the copy that
    // shadows them from now on lacks none of them.
    regfile::Values current = regfile::Read(regfile::Exists(m_writePath) ? m_writePath : m_readPath);
    for (const auto& [name, value] : values) {
        bool found = false;
        for (auto& existing : current)
            if (existing.first == name) {
                existing.second = value;
                found = true;
            }
        if (!found)
            current.emplace_back(name, value);
    }
    if (regfile::Replace(m_writePath, current) != 0)
        return regstatus::kWriteFailed;
    m_readPath = m_writePath;
    return regstatus::kSuccess;
}

} // namespace plat
