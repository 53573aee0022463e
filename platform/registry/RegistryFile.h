#pragma once
// The file behind one key of the settings store: reading it leniently, replacing it atomically.
// Below the store folder no symbolic link is ever followed, and only a regular file is read, without
// blocking and up to a size limit, so a planted link or special file can neither hang the program
// nor steer its writes elsewhere. Called from any thread; nothing here is shared between calls.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plat::regfile {

using Values = std::vector<std::pair<std::string, std::uint32_t>>;

// Where a key's file lives: the store folder, taken as it is given (a link there is the owner's
// choice), and the folders and file name below it.
struct KeyFile {
    std::string folder;
    std::vector<std::string> below;  // for example {"Software", "Vendor.reg"}

    bool Valid() const { return !below.empty(); }
    // "<folder>/Software/Vendor.reg"
    std::string Path() const;
};

// The file of "Software\Vendor"; not Valid when the path names no valid key (empty parts, "." or
// "..", a '/' or a NUL inside a part).
KeyFile KeyFileFor(const std::string& folder, const std::string& keyPath);
// Whether a value name can be stored and read back unchanged.
bool IsValidValueName(const std::string& name);

// Whether the key's file is there as a regular file (not through a link).
bool Exists(const KeyFile& file);
// Whether a file could be created or replaced there by this process: every folder below the store
// folder that exists is a real folder, and the nearest existing one may be written to.
bool CanReplace(const KeyFile& file);
// Whether only root can change the file: every existing folder from the store folder (or, while it
// is missing, its nearest existing parent) down to the key's is owned by root and not writable by
// group or others.
bool OnlyRootCanChange(const KeyFile& file);

// The values in file order. A missing, unreadable or special file has none; a line that does not
// parse is left out, as is a file too large to be a key.
Values Read(const KeyFile& file);
// Replaces the file with these values: creates the folders, writes a temporary file beside it,
// flushes it to the disk and renames it over the old one. 0 on success, else an errno.
int Replace(const KeyFile& file, const Values& values);

} // namespace plat::regfile
