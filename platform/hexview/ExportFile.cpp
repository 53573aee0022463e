#include "platform/hexview/ExportFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {
namespace {

constexpr int kCancelLookMs = 50;

// Opens the target for writing without waiting for a FIFO's reader; tells whether it was made now.
int OpenTarget(const std::string& path, bool& created)
{
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (;;) {
        int fd = ::open(path.c_str(), kFlags);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
            return fd;
        }
        fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            created = fd >= 0;
            return fd;
        }
        // Made by someone else meanwhile: open theirs.
    }
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

ExportFile::~ExportFile()
{
    Discard();
}

int ExportFile::Open(const std::string& path, const std::atomic<bool>* cancel)
{
    Discard();
    path_ = path;
    cancel_ = cancel;
    target_ = OpenTarget(path, removeTarget_);
    if (target_ < 0)
        return errno;
    struct stat info{};
    if (::flock(target_, LOCK_EX | LOCK_NB) != 0 || ::fstat(target_, &info) != 0) {
        const int err = errno;
        Discard();
        return err;
    }
    if (!S_ISREG(info.st_mode))
        return 0; // a pipe or device takes the text as it comes
    // Through a symbolic link, the file it names is replaced, not the link.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        path_ = real;
        std::free(real);
    }
    const std::size_t slash = path_.rfind('/');
    tempPath_ = FolderOf(path_) + "/." + path_.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    temp_ = ::mkostemp(tempPath_.data(), O_CLOEXEC);
    if (temp_ < 0) {
        // A folder we may not add to, with a file we may write: the file is written in place, and a
        // half text is not left to pass for a whole one.
        tempPath_.clear();
        removeTarget_ = true;
        if (::fcntl(target_, F_SETFL, ::fcntl(target_, F_GETFL) & ~O_NONBLOCK) != 0 || ::ftruncate(target_, 0) != 0) {
            const int err = errno;
            Discard();
            return err;
        }
        return 0;
    }
    // The new file keeps the old one's permissions (a new target has them from the umask), and is
    // locked too, so that nobody slips in between the rename and the end.
    ::fchmod(temp_, info.st_mode & 07777);
    if (::fchown(temp_, info.st_uid, info.st_gid) != 0) {
        // Only root may give a file away: anyone else's export is theirs.
    }
    ::flock(temp_, LOCK_EX | LOCK_NB);
    return 0;
}

int ExportFile::Write(const char* data, std::size_t size)
{
    const int fd = temp_ >= 0 ? temp_ : target_;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitForRoom(fd))
                    return ECANCELED;
                continue;
            }
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

bool ExportFile::WaitForRoom(int fd) const
{
    pollfd ready{fd, POLLOUT, 0};
    for (;;) {
        if (cancel_ && cancel_->load(std::memory_order_relaxed))
            return false;
        // Room, or an error (a reader that left) that the next write reports.
        if (::poll(&ready, 1, kCancelLookMs) != 0)
            return true;
    }
}

int ExportFile::Commit()
{
    if (temp_ >= 0) {
        if (::fsync(temp_) != 0 || ::rename(tempPath_.c_str(), path_.c_str()) != 0) {
            const int err = errno;
            Discard();
            return err;
        }
        tempPath_.clear();
        // The rename itself must reach the disk before the export counts as written.
        const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    } else if (target_ >= 0 && ::fsync(target_) != 0 && errno != EINVAL && errno != EROFS) {
        // Pipes and devices cannot be synced: that is no failure.
        const int err = errno;
        Discard();
        return err;
    }
    removeTarget_ = false;
    CloseAll();
    return 0;
}

void ExportFile::Discard()
{
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
    // Still locked: nobody else can have started writing it.
    if (removeTarget_)
        ::unlink(path_.c_str());
    removeTarget_ = false;
    CloseAll();
}

void ExportFile::CloseAll()
{
    for (int* fd : {&temp_, &target_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace plat
