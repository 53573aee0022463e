// Save and Load: the panes' bytes to and from files, raw, with nothing added.
#include "app/MainDlg.h"

#include "panes/ui/DataFilesIo.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"

#include <algorithm>

namespace {

void ShowFileError(QWidget* owner, FileError cause, const QString& path)
{
    plat::ShowMessageBox(owner, FileErrorText(cause, path), plat::MessageIcon::Stop);
}

// A failure to size the Sending block that is not a file's fault.
void ShowBlockError(QWidget* owner, plat::BlockStatus status)
{
    if (status == plat::BlockStatus::NoMemory)
        plat::ShowMessageBox(owner, QStringLiteral("Out of memory."), plat::MessageIcon::Exclamation);
    else
        plat::ShowMessageBox(owner, QStringLiteral("The data of the Sending Data pane is in use and cannot be resized."),
                             plat::MessageIcon::Stop);
}

} // namespace

void CMainDlg::OnSaveReceived()
{
    SavePaneToFile(m_pane.Block(), m_hexReceived, &m_pane.ReceivedLock());
}

void CMainDlg::OnSaveSending()
{
    SavePaneToFile(m_saSending, m_hexSending, nullptr);
}

void CMainDlg::SavePaneToFile(plat::ByteBlock& block, CHexeditctrl1& view, std::mutex* appendLock)
{
    const std::optional<QString> path = plat::AskForFile(this, plat::FileDialogKind::Save);
    if (!path)
        return;
    ExclusiveDataFile file;
    if (FileError error = file.OpenForSave(path->toStdString()); error != FileError::None) {
        ShowFileError(this, error, *path);
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
        ShowFileError(this, written, *path);
        return;
    }
    if (FileError closed = file.Close(); closed != FileError::None) {
        ShowFileError(this, closed, *path);
        return;
    }
    view.Modified(false);
}

unsigned char* CMainDlg::EmptySendingPaneFor(std::uint64_t length)
{
    ClearSendingPane();
    const plat::BlockStatus sized = length > SIZE_MAX ? plat::BlockStatus::NoMemory
                                                       : m_saSending.Resize(static_cast<std::size_t>(length));
    if (sized != plat::BlockStatus::Ok) {
        ShowBlockError(this, sized);
        return nullptr;
    }
    // The clear above left a running send's bytes to it, so the pane's storage is its own: the hold
    // for writing needs no copy. Should it fail all the same, the pane stays empty.
    unsigned char* bytes = m_saSending.Hold();
    if (bytes == nullptr) {
        m_saSending.Resize(0);
        m_hexSending.UpdateView(CHexeditctrl1::kRedraw);
        ShowBlockError(this, plat::BlockStatus::NoMemory);
    }
    return bytes;
}

void CMainDlg::RestoreSending(const std::vector<unsigned char>& bytes)
{
    unsigned char* into = EmptySendingPaneFor(bytes.size());
    if (into == nullptr)
        return;
    std::copy(bytes.begin(), bytes.end(), into);
    m_saSending.Release();
    m_hexSending.UpdateView(CHexeditctrl1::kRedraw);
}

void CMainDlg::OnLoad()
{
    const std::optional<QString> path = plat::AskForFile(this, plat::FileDialogKind::Open);
    if (!path)
        return;
    // The open comes first: a file that cannot be had leaves the pane as it was.
    ExclusiveDataFile file;
    if (FileError error = file.OpenForLoad(path->toStdString()); error != FileError::None) {
        ShowFileError(this, error, *path);
        return;
    }
    std::uint64_t length = 0;
    if (FileError error = file.Length(length); error != FileError::None) {
        ShowFileError(this, error, *path);
        return;
    }

    unsigned char* bytes = EmptySendingPaneFor(length);
    if (bytes == nullptr)
        return;
    const FileError read = file.ReadExactly(bytes, static_cast<std::size_t>(length));
    m_saSending.Release();
    if (read != FileError::None) {
        // Part of a file followed by zeros would pass for the file: show nothing instead.
        m_saSending.Resize(0);
        m_hexSending.UpdateView(CHexeditctrl1::kRedraw);
        ShowFileError(this, read, *path);
        return;
    }
    m_hexSending.UpdateView(CHexeditctrl1::kRedraw);
    if (FileError closed = file.Close(); closed != FileError::None)
        ShowFileError(this, closed, *path);
}
