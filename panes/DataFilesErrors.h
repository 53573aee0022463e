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
