#include "panes/ui/DataFilesErrors.h"

#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

FileError FileErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return FileError::None;
    case ENOENT:
        return FileError::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::AccessDenied;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:   // a lock another opener holds
        return FileError::SharingViolation;
    case EMFILE:
    case ENFILE:
        return FileError::TooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
        return FileError::DiskFull;
    case EISDIR:
    case ENOTDIR:
    case ENAMETOOLONG:
        return FileError::BadPath;
    case EIO:
        return FileError::HardIo;
    case EPIPE:
        return FileError::BrokenPipe;
    default:
        return FileError::Generic;
    }
}

QString FileErrorText(FileError cause, const QString& path)
{
    switch (cause) {
    case FileError::None:
        return QStringLiteral("No error occurred.");
    case FileError::Generic:
        break;
    case FileError::FileNotFound:
        return QStringLiteral("%1 was not found.").arg(path);
    case FileError::BadPath:
        return QStringLiteral("%1 contains an invalid path.").arg(path);
    case FileError::TooManyOpenFiles:
        return QStringLiteral("%1 could not be opened because there are too many open files.").arg(path);
    case FileError::AccessDenied:
        return QStringLiteral("Access to %1 was denied.").arg(path);
    case FileError::InvalidFile:
        return QStringLiteral("An invalid file handle was associated with %1.").arg(path);
    case FileError::RemoveCurrentDir:
        return QStringLiteral("%1 could not be removed because it is the current directory.").arg(path);
    case FileError::DirectoryFull:
        return QStringLiteral("%1 could not be created because the directory is full.").arg(path);
    case FileError::BadSeek:
        return QStringLiteral("Seek failed on %1").arg(path);
    case FileError::HardIo:
        return QStringLiteral("A hardware I/O error was reported while accessing %1.").arg(path);
    case FileError::SharingViolation:
        return QStringLiteral("A sharing violation occurred while accessing %1.").arg(path);
    case FileError::LockViolation:
        return QStringLiteral("A locking violation occurred while accessing %1.").arg(path);
    case FileError::DiskFull:
        return QStringLiteral("Disk full while accessing %1.").arg(path);
    case FileError::EndOfFile:
        return QStringLiteral("An attempt was made to access %1 past its end.").arg(path);
    case FileError::NoReader:
        return QStringLiteral("Nothing is reading from %1, so the data could not be written.").arg(path);
    case FileError::BrokenPipe:
        return QStringLiteral("The reader of %1 closed it before all the data was written.").arg(path);
    }
    return QStringLiteral("An unknown error occurred while accessing %1.").arg(path);
}

QString FileErrorExplained(FileError cause, const QString& path)
{
    const QFileInfo file(path);
    if (cause == FileError::FileNotFound && !QFileInfo(file.absolutePath()).isDir())
        return QStringLiteral("The folder %1 does not exist, so %2 could not be created.").arg(file.absolutePath(), path);
    if (cause == FileError::BadPath && file.isDir())
        return QStringLiteral("%1 is a folder, not a file.").arg(path);
    return FileErrorText(cause, path);
}

QString FileErrorExplained(int err, const QString& path)
{
    struct stat info{};
    if (err == ENXIO && ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode))
        return FileErrorText(FileError::NoReader, path);
    return FileErrorExplained(FileErrorFromErrno(err), path);
}
