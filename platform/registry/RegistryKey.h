#pragma once
// Keys of the settings store and their 32-bit values. A key such as "Software\Vendor" is one file,
// "<store folder>/Software/Vendor.reg", holding lines of the form "Name"=dword:0000012c in the
// order the values were first written.
//
// There are two stores of the same layout: the machine-wide one and a per-user copy. A key is read
// from the per-user copy when it has one, else from the machine-wide store. Writes go where the
// reader will find them: to the per-user copy when it exists, else to the machine-wide store when
// that can be written, else to a new per-user copy (which starts as a copy of the machine-wide
// values). When no store can be written, opening or creating a key for writing fails.
//
// Every write replaces the key's file at once (write, flush, rename), so the file is never torn.
// A value line that does not parse reads as a missing value. No link below a store folder is
// followed, and only regular files are read. Run as root, the program writes the machine-wide store
// only while nobody else can change its folders; otherwise it falls back as for a store it cannot
// write. A key object is used by one thread at a time.

#include "platform/registry/RegistryFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plat {

// Status codes, numbered as the window system's registry functions number theirs.
namespace regstatus {
constexpr long kSuccess = 0;
constexpr long kNotFound = 2;       // the key or value does not exist
constexpr long kAccessDenied = 5;   // no store can be written
constexpr long kInvalidName = 161;  // a key path or value name that cannot be stored
constexpr long kWriteFailed = 1021; // the file could not be replaced
} // namespace regstatus

enum class KeyAccess { Read, Write, ReadWrite };

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&&) = default;
    RegistryKey& operator=(RegistryKey&&) = default;

    // Opens an existing key.
    long Open(const std::string& keyPath, KeyAccess access);
    // Opens the key, creating it empty when it does not exist yet; always asks for write access.
    long Create(const std::string& keyPath, KeyAccess access);
    void Close();
    bool IsOpen() const { return m_open; }

    // The value when it is stored and parses; nothing otherwise.
    std::optional<std::uint32_t> QueryDword(const std::string& name) const;
    long SetDword(const std::string& name, std::uint32_t value);
    // Sets several values in one replacement of the file: all of them are stored or none is.
    long SetDwords(const std::vector<std::pair<std::string, std::uint32_t>>& values);

    // The file reads come from and the one writes go to (empty when not open for writing).
    std::string ReadPath() const { return m_read.Path(); }
    std::string WritePath() const { return m_write.Path(); }

private:
    long OpenPaths(const std::string& keyPath, KeyAccess access, bool create);

    bool m_open = false;
    bool m_writable = false;
    regfile::KeyFile m_read;
    regfile::KeyFile m_write;
};

} // namespace plat
