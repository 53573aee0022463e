#include "platform/toolkit/FileDialogs.h"

#include <QFileDialog>
#include <mutex>

namespace plat {
namespace {

std::mutex g_hookLock;
FileDialogHook g_hook;

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

    QFileDialog dialog(owner);
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
