#include "platform/registry/RegistryFile.h"

#include "platform/io/WriteAll.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::regfile {
namespace {

// A key holds a handful of values; anything this large is not one of ours.
constexpr std::size_t kMaxFileSize = 1 << 20;

std::string Parent(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes the store folder and what is missing above it, where links are the owner's choice.
int MakeFolders(const std::string& folder)
{
    if (IsFolder(folder))
        return 0;
    if (folder.empty() || folder == "/" || folder == ".")
        return ENOENT;
    if (int err = MakeFolders(Parent(folder)); err != 0)
        return err;
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    return IsFolder(folder) ? 0 : ENOTDIR;
}

// Opens the folder that holds the key's file, never through a link below the store folder; with
// `create`, what is missing is made. -1 with errno set when that cannot be done.
int OpenKeyFolder(const KeyFile& file, bool create)
{
    if (create) {
        if (int err = MakeFolders(file.folder); err != 0) {
            errno = err;
            return -1;
        }
    }
    int fd = ::open(file.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 0; fd >= 0 && i + 1 < file.below.size(); ++i) {
        const char* part = file.below[i].c_str();
        int next = -1;
        if (!create || ::mkdirat(fd, part, 0755) == 0 || errno == EEXIST)
            next = ::openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int err = errno;
        ::close(fd);
        fd = next;
        errno = err;
    }
    return fd;
}

// Visits the existing folders from the store folder (or, while it is missing, its nearest existing
// parent) down to the key's folder, never through a link below the store folder. False when
// something other than a real folder stands in the way or `visit` says no; a missing folder below
// ends the walk, since it would be made.
bool WalkExistingFolders(const KeyFile& file, const std::function<bool(int folder)>& visit)
{
    std::string top = file.folder;
    bool storeMissing = false;
    for (struct stat info{}; ::stat(top.c_str(), &info) != 0; top = Parent(top)) {
        if (errno != ENOENT || top == "/" || top == ".")
            return false;
        storeMissing = true;
    }
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = visit(fd);
    for (std::size_t i = 0; ok && !storeMissing && i + 1 < file.below.size(); ++i) {
        const int next = ::openat(fd, file.below[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            ok = errno == ENOENT;
            break;
        }
        ::close(fd);
        fd = next;
        ok = visit(fd);
    }
    ::close(fd);
    return ok;
}

std::string TemporaryName(const std::string& name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string temp = name + ".";
    for (int i = 0; i < 8; ++i)
        temp += kLetters[random() % (sizeof kLetters - 1)];
    return temp;
}

// One line: "Name"=dword:0000012c, exactly eight hex digits.
bool ParseLine(const std::string& line, std::pair<std::string, std::uint32_t>& out)
{
    if (line.size() < 2 || line[0] != '"')
        return false;
    const auto close = line.find('"', 1);
    if (close == std::string::npos)
        return false;
    const std::string name = line.substr(1, close - 1);
    const std::string rest = line.substr(close + 1);
    static const std::string kPrefix = "=dword:";
    if (!IsValidValueName(name) || rest.size() != kPrefix.size() + 8 || rest.compare(0, kPrefix.size(), kPrefix) != 0)
        return false;
    std::uint32_t value = 0;
    for (std::size_t i = kPrefix.size(); i < rest.size(); ++i) {
        const char c = rest[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    out = {name, value};
    return true;
}

Values ParseValues(const std::string& text)
{
    Values values;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::pair<std::string, std::uint32_t> entry;
        if (ParseLine(line, entry)) {
            bool replaced = false;
            for (auto& existing : values)
                if (existing.first == entry.first) {
                    existing.second = entry.second;
                    replaced = true;
                }
            if (!replaced)
                values.push_back(entry);
        }
        start = end + 1;
    }
    return values;
}

// The key file's text when it is a regular file of a key's size; empty otherwise. Nothing else is
// opened: a FIFO or device could block the read or answer the open with side effects.
std::string ReadKeyText(const KeyFile& file)
{
    std::string text;
    const int folder = OpenKeyFolder(file, false);
    if (folder < 0)
        return text;
    const char* name = file.below.back().c_str();
    struct stat info{};
    int fd = -1;
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
        fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    ::close(folder);
    if (fd < 0)
        return text;
    // Checked again on what was opened: the name may have changed meanwhile.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kMaxFileSize) {
        ::close(fd);
        return text;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() + static_cast<std::size_t>(n) > kMaxFileSize) {
            if (n != 0)
                text.clear();
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

} // namespace

std::string KeyFile::Path() const
{
    if (!Valid())
        return {};
    std::string path = folder;
    for (const std::string& part : below)
        path += "/" + part;
    return path;
}

KeyFile KeyFileFor(const std::string& folder, const std::string& keyPath)
{
    KeyFile file{folder, {}};
    std::size_t start = 0;
    for (;;) {
        const auto end = keyPath.find('\\', start);
        const std::string part = keyPath.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return KeyFile{folder, {}};
        file.below.push_back(part);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    file.below.back() += ".reg";
    return file;
}

bool IsValidValueName(const std::string& name)
{
    if (name.empty() || name.size() > 255)
        return false;
    for (const char c : name)
        if (c == '"' || c == '\n' || c == '\r' || c == '\0')
            return false;
    return true;
}

bool Exists(const KeyFile& file)
{
    const int folder = OpenKeyFolder(file, false);
    if (folder < 0)
        return false;
    struct stat info{};
    const bool regular = ::fstatat(folder, file.below.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(info.st_mode);
    ::close(folder);
    return regular;
}

bool CanReplace(const KeyFile& file)
{
    // The nearest existing folder is the last one visited: it must take the new entries.
    bool writable = false;
    const bool reached = WalkExistingFolders(file, [&](int folder) {
        writable = ::faccessat(folder, ".", W_OK | X_OK, 0) == 0;
        return true;
    });
    return reached && writable;
}

bool OnlyRootCanChange(const KeyFile& file)
{
    return WalkExistingFolders(file, [](int folder) {
        struct stat info{};
        return ::fstat(folder, &info) == 0 && info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    });
}

Values Read(const KeyFile& file)
{
    return ParseValues(ReadKeyText(file));
}

int Replace(const KeyFile& file, const Values& values)
{
    if (!file.Valid())
        return EINVAL;
    const int folder = OpenKeyFolder(file, true);
    if (folder < 0)
        return errno;

    std::string text;
    for (const auto& [name, value] : values) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
        text += "\"" + name + "\"=dword:" + digits + "\n";
    }

    // A new name beside the file; O_EXCL never opens an existing file or a link.
    const std::string& name = file.below.back();
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryName(name);
        fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int err = errno;
        ::close(folder);
        return err;
    }
    // The machine-wide store is read by every user.
    int err = ::fchmod(fd, 0644) != 0 ? errno : 0;
    if (err == 0)
        err = plat::WriteAll(fd, text.data(), text.size());
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::renameat(folder, temp.c_str(), folder, name.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlinkat(folder, temp.c_str(), 0);
    else
        ::fsync(folder);  // the rename itself must reach the disk before the values count as stored
    ::close(folder);
    return err;
}

} // namespace plat::regfile
