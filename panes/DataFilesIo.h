#pragma once
// A data file opened for Save or Load, locked against every other opener (an exclusive flock) for
// as long as it is open. Each operation reports the cause of a failure.

#include "panes/DataFilesErrors.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ExclusiveDataFile {
public:
    ExclusiveDataFile() = default;
    ~ExclusiveDataFile();
    ExclusiveDataFile(const ExclusiveDataFile&) = delete;
    ExclusiveDataFile& operator=(const ExclusiveDataFile&) = delete;

    // Write only, created when missing; emptied only once the lock is ours, so a file that
    // another program holds is left untouched.
    FileError OpenForSave(const std::string& path);
    // Read and write, created empty when missing; the contents are never changed.
    FileError OpenForLoad(const std::string& path);

    FileError Length(std::uint64_t& length) const;
    // Writes everything; a write that stores less than asked counts as a full disk.
    FileError WriteAll(const unsigned char* data, std::size_t size);
    // Reads exactly `size` bytes; a file that ends first is an access past its end.
    FileError ReadExactly(unsigned char* data, std::size_t size);
    FileError Close();

private:
    FileError OpenLocked(const std::string& path, int flags);

    int m_fd = -1;
};
