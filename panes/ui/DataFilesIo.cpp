#include "panes/ui/DataFilesIo.h"

#include "platform/io/WriteAll.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

ExclusiveDataFile::~ExclusiveDataFile()
{
    Close();
}

FileError ExclusiveDataFile::OpenLocked(const std::string& path, int flags)
{
    Close();
    // Non-blocking open: a FIFO without a writer must not hang the window.
    const int fd = ::open(path.c_str(), flags | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        const int err = errno;
        // A FIFO opened for writing while nobody reads it.
        struct stat info{};
        if (err == ENXIO && ::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode))
            return FileError::NoReader;
        return FileErrorFromErrno(err);
    }
    struct stat info{};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0) {
        const int err = errno;
        ::close(fd);
        return FileErrorFromErrno(err);
    }
    // Only a regular file may block: pipes, sockets and devices stay non-blocking.
    m_regular = S_ISREG(info.st_mode);
    if (m_regular)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_waitLeft = kSpecialFileWait;
    return FileError::None;
}

FileError ExclusiveDataFile::OpenForSave(const std::string& path)
{
    if (FileError error = OpenForSaveKeeping(path); error != FileError::None)
        return error;
    return Empty();
}

FileError ExclusiveDataFile::OpenForSaveKeeping(const std::string& path)
{
    return OpenLocked(path, O_WRONLY);
}

FileError ExclusiveDataFile::Empty()
{
    if (m_regular && ::ftruncate(m_fd, 0) != 0) {
        const int err = errno;
        Close();
        return FileErrorFromErrno(err);
    }
    return FileError::None;
}

FileError ExclusiveDataFile::OpenForLoad(const std::string& path)
{
    return OpenLocked(path, O_RDWR);
}

FileError ExclusiveDataFile::Length(std::uint64_t& length) const
{
    struct stat info{};
    if (::fstat(m_fd, &info) != 0)
        return FileErrorFromErrno(errno);
    // Devices and pipes have no length: they load as nothing, so they are never read.
    length = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return FileError::None;
}

FileError ExclusiveDataFile::WriteAll(const unsigned char* data, std::size_t size)
{
    // A pipe or device without room: its reader gets what is left of the file's patience.
    constexpr int kNoReader = -1;
    const int err = plat::WriteAll(m_fd, data, size, {[this] { return WaitForRoom() ? 0 : kNoReader; }, nullptr});
    if (err == 0)
        return FileError::None;
    return err == kNoReader ? FileError::NoReader : FileErrorFromErrno(err);
}

bool ExclusiveDataFile::WaitForRoom()
{
    using Clock = std::chrono::steady_clock;
    if (m_waitLeft.count() <= 0)
        return false;
    const auto start = Clock::now();
    // Room, or an error (a reader that left) that the next write reports.
    const bool room = plat::PollForRoom(m_fd, static_cast<int>(m_waitLeft.count())) == 0;
    m_waitLeft -= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return room;
}

FileError ExclusiveDataFile::ReadExactly(unsigned char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FileErrorFromErrno(errno);
        if (n == 0)
            return FileError::EndOfFile;
        done += static_cast<std::size_t>(n);
    }
    return FileError::None;
}

int ExclusiveDataFile::ReleaseDescriptor()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

FileError ExclusiveDataFile::Close()
{
    if (m_fd < 0)
        return FileError::None;
    const int fd = m_fd;
    m_fd = -1;
    // A close that fails after EINTR has still released the descriptor on Linux.
    if (::close(fd) != 0 && errno != EINTR)
        return FileErrorFromErrno(errno);
    return FileError::None;
}
