#pragma once
// The window's controls that its handlers and views change most: the State fields and the link and
// send buttons. Window's thread only.

#include "platform/toolkit/DlgItem.h"

namespace plat {
class TemplateDialog;
}

struct MainControls {
    void Bind(plat::TemplateDialog* dialog);

    plat::DlgItem state;
    plat::DlgItem senderState;
    plat::DlgItem start;
    plat::DlgItem stop;
    plat::DlgItem receivedState;
    plat::DlgItem autoScroll;
    plat::DlgItem send;
    plat::DlgItem sendStop;
};
