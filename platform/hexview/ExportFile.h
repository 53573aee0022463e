#pragma once
// The file an export writes. A regular file is replaced only when the whole export succeeded: the
// text goes to a temporary file beside it, which is synced and renamed over the target at the end,
// so that a failure or a cancel leaves the earlier file exactly as it was. The target is locked
// (an exclusive flock, as Save and Record take) from the open to the end, so an export never writes
// a file that is being saved or recorded, nor the other way round. A pipe or device is written
// directly: opened without waiting for a reader, written without blocking, and a wait for room
// ends as soon as the export is cancelled. One worker thread uses an object from open to end.

#include <atomic>
#include <cstddef>
#include <string>

namespace plat {

class ExportFile {
public:
    ExportFile() = default;
    // Discards whatever was not committed.
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // 0, or the errno: ENXIO for a pipe that nobody reads, EWOULDBLOCK for a file another opener
    // has locked. A target that did not exist is created (and removed again by Discard).
    int Open(const std::string& path, const std::atomic<bool>* cancel);
    // Writes all of it; a write that stores nothing counts as ENOSPC, a cancel as ECANCELED.
    int Write(const char* data, std::size_t size);
    // Makes the written text the target's contents; 0 or the errno (the target is then untouched).
    int Commit();
    // Removes the temporary file, and the target when the open created or emptied it.
    void Discard();

private:
    // False when cancelled while a pipe or device has no room.
    bool WaitForRoom(int fd) const;
    void CloseAll();

    std::string path_;
    std::string tempPath_;
    const std::atomic<bool>* cancel_ = nullptr;
    int target_ = -1;   // holds the lock; written directly when it is not a regular file
    int temp_ = -1;     // the regular file's new contents
    bool removeTarget_ = false; // on discard: the open created it, or it was emptied to be written in place
};

} // namespace plat
