// Save and Load: the panes' bytes to and from files, raw, with nothing added.
#include "panes/ui/PaneFiles.h"

#include "panes/ui/DataFilesIo.h"
#include "panes/models/ReceivedPane.h"
#include "panes/ui/SendingPane.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"

namespace {

void ShowFileError(QWidget* owner, FileError cause, const QString& path)
{
    plat::ShowMessageBox(owner, FileErrorText(cause, path), plat::MessageIcon::Stop);
}

} // namespace

void SaveReceivedPane(QWidget* owner, CReceivedPane& pane, CHexeditctrl1& view)
{
    SavePaneToFile(owner, pane.Block(), view, &pane.ReceivedLock());
}

void SavePaneToFile(QWidget* owner, plat::ByteBlock& block, CHexeditctrl1& view, std::mutex* appendLock)
{
    const std::optional<QString> path = plat::AskForFile(owner, plat::FileDialogKind::Save);
    if (!path)
        return;
    ExclusiveDataFile file;
    if (FileError error = file.OpenForSave(path->toStdString()); error != FileError::None) {
        ShowFileError(owner, error, *path);
        return;
    }
    // Held while writing, the block cannot change length: a receive that needs to grow it waits,
    // and the file gets the bytes exactly as they were when the hold began. The hold is taken
    // between two appends: one caught between its growth and its copy would leave zeros in the file.
    const unsigned char* bytes;
    std::size_t size;
    {
        std::unique_lock<std::mutex> betweenAppends;
        if (appendLock != nullptr)
            betweenAppends = std::unique_lock(*appendLock);
        bytes = block.HoldToRead();
        size = block.Size();
    }
    const FileError written = file.WriteAll(bytes, size);
    block.Release();
    if (written != FileError::None) {
        ShowFileError(owner, written, *path);
        return;
    }
    if (FileError closed = file.Close(); closed != FileError::None) {
        ShowFileError(owner, closed, *path);
        return;
    }
    view.Modified(false);
}

void SendingPane::Save()
{
    SavePaneToFile(m_owner, m_block, m_view, nullptr);
}

void SendingPane::Load()
{
    const std::optional<QString> path = plat::AskForFile(m_owner, plat::FileDialogKind::Open);
    if (!path)
        return;
    // The open comes first: a file that cannot be had leaves the pane as it was.
    ExclusiveDataFile file;
    if (FileError error = file.OpenForLoad(path->toStdString()); error != FileError::None) {
        ShowFileError(m_owner, error, *path);
        return;
    }
    std::uint64_t length = 0;
    if (FileError error = file.Length(length); error != FileError::None) {
        ShowFileError(m_owner, error, *path);
        return;
    }

    unsigned char* bytes = EmptyFor(length);
    if (bytes == nullptr)
        return;
    const FileError read = file.ReadExactly(bytes, static_cast<std::size_t>(length));
    m_block.Release();
    if (read != FileError::None) {
        // Part of a file followed by zeros would pass for the file: show nothing instead.
        m_block.Resize(0);
        m_view.UpdateView(CHexeditctrl1::kRedraw);
        ShowFileError(m_owner, read, *path);
        return;
    }
    m_view.UpdateView(CHexeditctrl1::kRedraw);
    if (FileError closed = file.Close(); closed != FileError::None)
        ShowFileError(m_owner, closed, *path);
}
