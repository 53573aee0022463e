#include "platform/registry/RegistryKey.h"

#include "platform/registry/StoreFolders.h"

#include <unistd.h>

namespace plat {
namespace {

// Root writes the machine-wide store only where nobody else could have planted links or files for
// it to write through.
bool MayWriteMachineStore(const regfile::KeyFile& machine)
{
    if (::geteuid() == 0 && !regfile::OnlyRootCanChange(machine))
        return false;
    return regfile::CanReplace(machine);
}

} // namespace

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
    m_read = {};
    m_write = {};
}

long RegistryKey::OpenPaths(const std::string& keyPath, KeyAccess access, bool create)
{
    Close();
    const regfile::KeyFile user = regfile::KeyFileFor(UserStoreFolder(), keyPath);
    const regfile::KeyFile machine = regfile::KeyFileFor(MachineStoreFolder(), keyPath);
    if (!user.Valid() || !machine.Valid())
        return regstatus::kInvalidName;

    const bool userExists = regfile::Exists(user);
    regfile::KeyFile readFrom = userExists ? user : regfile::Exists(machine) ? machine : regfile::KeyFile{};
    if (!readFrom.Valid() && !create)
        return regstatus::kNotFound;

    regfile::KeyFile writeTo;
    if (access != KeyAccess::Read) {
        // Writes must land where reads look first: an existing per-user copy shadows the
        // machine-wide key, so it takes the writes or nothing does.
        if (userExists)
            writeTo = regfile::CanReplace(user) ? user : regfile::KeyFile{};
        else if (MayWriteMachineStore(machine))
            writeTo = machine;
        else if (regfile::CanReplace(user))
            writeTo = user;
        if (!writeTo.Valid())
            return regstatus::kAccessDenied;
    }

    if (!readFrom.Valid()) {
        if (regfile::Replace(writeTo, {}) != 0)
            return regstatus::kWriteFailed;
        readFrom = writeTo;
    }
    m_open = true;
    m_writable = writeTo.Valid();
    m_read = std::move(readFrom);
    m_write = std::move(writeTo);
    return regstatus::kSuccess;
}

std::optional<std::uint32_t> RegistryKey::QueryDword(const std::string& name) const
{
    if (!m_open)
        return std::nullopt;
    for (const auto& [stored, value] : regfile::Read(m_read))
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
    regfile::Values current = regfile::Read(regfile::Exists(m_write) ? m_write : m_read);
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
    if (regfile::Replace(m_write, current) != 0)
        return regstatus::kWriteFailed;
    m_read = m_write;
    return regstatus::kSuccess;
}

} // namespace plat
