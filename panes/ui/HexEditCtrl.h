#pragma once
// The window's handle on one hex view pane: binds the pane's byte block and passes on redraw and
// modified requests. UpdateView and Modified may be called from any thread; Attach and BindData run
// on the window's thread.

#include "platform/byteblock/ByteBlock.h"
#include "platform/hexview/HexView.h"

#include <atomic>

class CHexeditctrl1 {
public:
    // UpdateView values: the first drawing once the block is bound, a plain redraw, and a redraw
    // that brings the block's end into view. Every value but kRedrawToEnd redraws where it is.
    static constexpr short kFirstDraw = 15;
    static constexpr short kRedraw = 254;
    static constexpr short kRedrawToEnd = 255;

    void Attach(plat::HexView* view);
    plat::HexView* View() const { return view_.load(); }

    // From now on the view shows and edits `block`. 0 on success, -1 without a view or a block.
    long BindData(plat::ByteBlock* block, long flags);
    void UpdateView(short how);
    void Modified(bool value);

private:
    std::atomic<plat::HexView*> view_{nullptr};
};
