#include "platform/registry/RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

int WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
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

} // namespace

std::string KeyFile(const std::string& folder, const std::string& keyPath)
{
    std::string relative;
    std::size_t start = 0;
    for (;;) {
        const auto end = keyPath.find('\\', start);
        const std::string part = keyPath.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return {};
        relative += "/" + part;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return folder + relative + ".reg";
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

bool Exists(const std::string& file)
{
    struct stat info{};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool CanReplace(const std::string& file)
{
    std::string folder = Parent(file);
    for (;;) {
        struct stat info{};
        if (::stat(folder.c_str(), &info) == 0)
            return S_ISDIR(info.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
        // Only a missing folder may be created; any other failure (a file in the way) is final.
        if (errno != ENOENT || folder == "/" || folder == ".")
            return false;
        folder = Parent(folder);
    }
}

Values Read(const std::string& file)
{
    Values values;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return values;
    std::string text;
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

int Replace(const std::string& file, const Values& values)
{
    const std::string folder = Parent(file);
    if (int err = MakeFolders(folder); err != 0)
        return err;

    std::string text;
    for (const auto& [name, value] : values) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
        text += "\"" + name + "\"=dword:" + digits + "\n";
    }

    std::string temp = file + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return errno;
    // The machine-wide store is read by every user.
    int err = ::fchmod(fd, 0644) != 0 ? errno : 0;
    if (err == 0)
        err = WriteAll(fd, text);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), file.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    // The rename itself must reach the disk before the new values count as stored.
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

} // namespace plat::regfile
