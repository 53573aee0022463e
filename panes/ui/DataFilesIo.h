#pragma once
// A data file opened for Save or Load, locked against every other opener (an exclusive flock) for
// as long as it is open. Each operation reports the cause of a failure. Used on the window's thread,
// which it never blocks on a pipe, socket or device: those stay non-blocking, a write waits for room
// at most kSpecialFileWait in all, and their contents are never read (they load as nothing).

#include "panes/ui/DataFilesErrors.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class ExclusiveDataFile {
public:
    static constexpr std::chrono::milliseconds kSpecialFileWait{1000};

    ExclusiveDataFile() = default;
    ~ExclusiveDataFile();
    ExclusiveDataFile(const ExclusiveDataFile&) = delete;
    ExclusiveDataFile& operator=(const ExclusiveDataFile&) = delete;

    // Write only, created when missing; emptied only once the lock is ours, so a file that
    // another program holds is left untouched.
    FileError OpenForSave(const std::string& path);
    // The same in two steps, for a caller that must have several files before it empties any: the
    // open takes the lock and keeps the contents, Empty empties a regular file.
    FileError OpenForSaveKeeping(const std::string& path);
    FileError Empty();
    // Read and write, created empty when missing; the contents are never changed.
    FileError OpenForLoad(const std::string& path);

    FileError Length(std::uint64_t& length) const;
    // Writes everything; a write that stores less than asked counts as a full disk. A pipe or
    // device that takes no more within the wait is reported as having no reader.
    FileError WriteAll(const unsigned char* data, std::size_t size);
    // Reads exactly `size` bytes; a file that ends first is an access past its end.
    FileError ReadExactly(unsigned char* data, std::size_t size);
    FileError Close();
    // Hands the open descriptor (and with it the lock) to the caller, who closes it; -1 when none.
    int ReleaseDescriptor();

private:
    FileError OpenLocked(const std::string& path, int flags);
    // False when a pipe or device had no room for the rest of the wait.
    bool WaitForRoom();

    int m_fd = -1;
    bool m_regular = false;
    std::chrono::milliseconds m_waitLeft = kSpecialFileWait;
};
