#pragma once
// Save of a pane's bytes to a file, raw, with nothing added; window's thread. The Sending pane's
// own Save and Load are SendingPane's.

#include "panes/ui/HexEditCtrl.h"
#include "platform/byteblock/ByteBlock.h"

#include <mutex>

class CReceivedPane;
class QWidget;

// The Received pane: its bytes as they were between two appends.
void SaveReceivedPane(QWidget* owner, CReceivedPane& pane, CHexeditctrl1& view);
// `appendLock` is the lock receive threads append under, null when none appends.
void SavePaneToFile(QWidget* owner, plat::ByteBlock& block, CHexeditctrl1& view, std::mutex* appendLock);
