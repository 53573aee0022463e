#pragma once
// Why a data file operation failed, derived from the system's error number, and the text the user
// is shown for it. Called on the window's thread.

#include <QString>

enum class FileError {
    None,
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    RemoveCurrentDir,
    DirectoryFull,
    BadSeek,
    HardIo,
    SharingViolation,
    LockViolation,
    DiskFull,
    EndOfFile,
    // Causes that only pipes, sockets and devices have.
    NoReader,
    BrokenPipe,
};

FileError FileErrorFromErrno(int err);
// The message for the cause, naming the file at `path`.
QString FileErrorText(FileError cause, const QString& path);
// The same, told more closely where the file system shows more: a folder that is not there, a
// folder where the file should be, a pipe that nobody reads (ENXIO). For the pane tools (Export,
// Record), whose files are not bound to the data files' table.
QString FileErrorExplained(FileError cause, const QString& path);
QString FileErrorExplained(int err, const QString& path);
