// The Sending Data pane's bytes: clear, refill, and the snapshot a Send takes.
#include "panes/ui/SendingPane.h"

#include "panes/ui/PaneTextExport.h"
#include "platform/toolkit/MessageBox.h"

#include <algorithm>

namespace {

// A failure to size the pane's block that is not a file's fault.
void ShowBlockError(QWidget* owner, plat::BlockStatus status)
{
    if (status == plat::BlockStatus::NoMemory)
        plat::ShowMessageBox(owner, QStringLiteral("Out of memory."), plat::MessageIcon::Exclamation);
    else
        plat::ShowMessageBox(owner, QStringLiteral("The data of the Sending Data pane is in use and cannot be resized."),
                             plat::MessageIcon::Stop);
}

} // namespace

void SendingPane::Attach(plat::HexView* view, QWidget* owner)
{
    m_owner = owner;
    m_view.Attach(view);
    AddPaneMenuEntries(view);
    if (view)
        m_menu = new SendingPaneMenu(view, [this](const std::vector<unsigned char>& bytes) { Restore(bytes); });
}

void SendingPane::Detach()
{
    if (plat::HexView* view = m_view.View()) {
        view->SetMarkSource(nullptr);
        view->SetBlock(nullptr);
    }
}

void SendingPane::Clear()
{
    // Running sends keep their own snapshot; only a search step may hold the block, for a moment.
    while (m_block.Resize(0) == plat::BlockStatus::Held)
        m_block.WaitUntilUnheld();
    m_view.UpdateView(CHexeditctrl1::kRedraw);
    m_sendBytes.Reset();
}

unsigned char* SendingPane::EmptyFor(std::uint64_t length)
{
    Clear();
    const plat::BlockStatus sized =
        length > SIZE_MAX ? plat::BlockStatus::NoMemory : m_block.Resize(static_cast<std::size_t>(length));
    if (sized != plat::BlockStatus::Ok) {
        ShowBlockError(m_owner, sized);
        return nullptr;
    }
    // The clear above left a running send's bytes to it, so the pane's storage is its own: the hold
    // for writing needs no copy. Should it fail all the same, the pane stays empty.
    unsigned char* bytes = m_block.Hold();
    if (bytes == nullptr) {
        m_block.Resize(0);
        m_view.UpdateView(CHexeditctrl1::kRedraw);
        ShowBlockError(m_owner, plat::BlockStatus::NoMemory);
    }
    return bytes;
}

void SendingPane::Restore(const std::vector<unsigned char>& bytes)
{
    unsigned char* into = EmptyFor(bytes.size());
    if (into == nullptr)
        return;
    std::copy(bytes.begin(), bytes.end(), into);
    m_block.Release();
    m_view.UpdateView(CHexeditctrl1::kRedraw);
}

bool SendingPane::TakeSendSnapshot()
{
    // The sends read a snapshot of the pane taken now, with no copy: the pane's next change moves
    // the pane to fresh storage and leaves these bytes to the sends. A copy is made only when the
    // pane is held; when none can be had the pane keeps its bytes and only this send is given up.
    if (m_block.TakeSnapshot(m_sendBytes) != plat::BlockStatus::Ok)
        return false;
    m_view.Modified(false);
    return true;
}

void SendingPane::NoteSent()
{
    if (m_menu)
        m_menu->NoteSent(m_sendBytes.Data(), m_sendBytes.Size());
}
