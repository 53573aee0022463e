#pragma once
// The Sending Data pane: its bytes, its view, its menu and the snapshot a Send takes of it. Window's
// thread only; the send threads get the snapshot, never the pane.

#include "panes/ui/HexEditCtrl.h"
#include "panes/ui/SendingPaneMenu.h"
#include "platform/byteblock/ByteBlock.h"

#include <cstdint>
#include <vector>

class QWidget;

class SendingPane {
public:
    // The view of the pane's bytes, with the pane's menu; `owner` parents the messages.
    void Attach(plat::HexView* view, QWidget* owner);
    // Unbinds the view from the bytes, which go before it.
    void Detach();

    plat::ByteBlock& Block() { return m_block; }
    CHexeditctrl1& View() { return m_view; }
    // The line ending, escaped paste and recent sends; null until attached.
    SendingPaneMenu* Menu() const { return m_menu; }

    // Empties the pane; running sends keep their own snapshot.
    void Clear();
    // Empties the pane and sizes it for `length` bytes, held for the caller to fill and release;
    // null, with the pane empty and the user told, when it cannot be had.
    unsigned char* EmptyFor(std::uint64_t length);
    // A recent send chosen in the pane's menu: its bytes replace the pane's, as Load does.
    void Restore(const std::vector<unsigned char>& bytes);
    // Save and Load of the pane's bytes, raw, through the file dialogs.
    void Save();
    void Load();

    // The pane's bytes as they are now, for a Send: no copy unless the pane is held. False when no
    // memory could be had; the pane keeps its bytes.
    bool TakeSendSnapshot();
    const plat::BlockSnapshot& SendSnapshot() const { return m_sendBytes; }
    // The sends took their snapshot: the pane keeps none, so that its edits need no copy. A sent
    // snapshot is noted among the recent sends first.
    void NoteSent();
    void DropSendSnapshot() { m_sendBytes.Reset(); }

private:
    QWidget* m_owner = nullptr;
    CHexeditctrl1 m_view;
    plat::ByteBlock m_block;
    // Between the Send click and the send threads' start only.
    plat::BlockSnapshot m_sendBytes;
    // A child of the view.
    SendingPaneMenu* m_menu = nullptr;
};
