#include "app/MainControls.h"

#include "platform/toolkit/TemplateDialog.h"
#include "resources/ControlIds.h"

void MainControls::Bind(plat::TemplateDialog* dialog)
{
    state.Bind(dialog, IDC_STATE);
    senderState.Bind(dialog, IDC_SENDER_STATE);
    start.Bind(dialog, IDC_START);
    stop.Bind(dialog, IDC_STOP);
    receivedState.Bind(dialog, IDC_RECEIVED_STATE);
    autoScroll.Bind(dialog, IDC_AUTO_SCROLL);
    send.Bind(dialog, IDC_SEND);
    sendStop.Bind(dialog, IDC_SEND_STOP);
}
