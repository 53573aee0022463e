#include "panes/ui/HexEditCtrl.h"

void CHexeditctrl1::Attach(plat::HexView* view)
{
    view_.store(view);
}

long CHexeditctrl1::BindData(plat::ByteBlock* block, long /*flags: no options are defined*/)
{
    plat::HexView* view = view_.load();
    if (!view || !block)
        return -1;
    view->SetBlock(block);
    return 0;
}

void CHexeditctrl1::UpdateView(short how)
{
    if (plat::HexView* view = view_.load())
        view->RequestRedraw(how == kRedrawToEnd);
}

void CHexeditctrl1::Modified(bool value)
{
    if (plat::HexView* view = view_.load())
        view->SetModified(value);
}
