#pragma once
// The file behind one key of the settings store: reading it leniently, replacing it atomically.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plat::regfile {

using Values = std::vector<std::pair<std::string, std::uint32_t>>;

// "<folder>/Software/Vendor.reg" for "Software\Vendor"; empty when the path names no valid key
// (empty parts, "." or "..", a '/' or a NUL inside a part).
std::string KeyFile(const std::string& folder, const std::string& keyPath);
// Whether a value name can be stored and read back unchanged.
bool IsValidValueName(const std::string& name);

bool Exists(const std::string& file);
// Whether a file could be created or replaced at this path by this process: its nearest existing
// folder is a folder this process may write to.
bool CanReplace(const std::string& file);

// The values in file order. A missing or unreadable file has none; a line that does not parse is
// left out, as is a file too large to be a key.
Values Read(const std::string& file);
// Replaces the file with these values: creates the folders, writes a temporary file beside it,
// flushes it to the disk and renames it over the old one. 0 on success, else an errno.
int Replace(const std::string& file, const Values& values);

} // namespace plat::regfile
