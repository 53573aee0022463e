#include "platform/toolkit/FileDialogs.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QStyle>
#include <mutex>

namespace plat {
namespace {

std::mutex g_hookLock;
FileDialogHook g_hook;

// Names and icons from an entry's name and kind alone. The stock provider reads a file's first bytes
// to tell its type, and such a read of /proc/kmsg, or of a FIFO or device behind a name, can block
// for ever; the dialog's closing then waits for it. Asked from the dialog's own worker thread too,
// so the icons are made beforehand, on the window's thread.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    NameOnlyIconProvider()
        : m_drive(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon)),
          m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
          m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon))
    {
    }

    QIcon icon(IconType type) const override
    {
        return type == Folder ? m_folder : type == Drive ? m_drive : m_file;
    }
    QIcon icon(const QFileInfo& info) const override
    {
        return info.isRoot() ? m_drive : info.isDir() ? m_folder : m_file;
    }
    QString type(const QFileInfo& info) const override
    {
        // Folders and special files are named from their kind, which needs no read.
        if (info.isDir() || !info.isFile())
            return QAbstractFileIconProvider::type(info);
        return m_mimeTypes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
    }

private:
    QIcon m_drive;
    QIcon m_folder;
    QIcon m_file;
    QMimeDatabase m_mimeTypes;
};

} // namespace

void SetFileDialogHook(FileDialogHook hook)
{
    std::lock_guard guard(g_hookLock);
    g_hook = std::move(hook);
}

std::optional<QString> AskForFile(QWidget* owner, FileDialogKind kind)
{
    FileDialogHook hook;
    {
        std::lock_guard guard(g_hookLock);
        hook = g_hook;
    }
    if (hook)
        return hook(kind);

    NameOnlyIconProvider icons;
    QFileDialog dialog(owner);
    // The toolkit's own dialog, so that what it reads is known: a platform's dialog may sniff
    // contents on this thread.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&icons);
    // Modal to its owner only: boxes that workers raise meanwhile still take input.
    if (owner != nullptr)
        dialog.setWindowModality(Qt::WindowModal);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // Open accepts a name that does not exist yet: loading it creates the file empty.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Replacing a file is confirmed first; every file is listed (no filter).
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace plat
