// The TCP send thread: each pass sends the whole block on the connected socket.
#include "app/MainDlg.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

// False when a send failed (no connection, or it broke).
bool SendPass(const plat::SocketRef& socket, const std::vector<unsigned char>& bytes)
{
    if (!socket)
        return false;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket->Descriptor(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void TcpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket)
{
    const std::vector<unsigned char>& bytes = *ticket->bytes;
    if (dlg->SendPeriodic())
        dlg->ShowSendBegin(*ticket);
    const QString stopped = QStringLiteral("Periodic Stopped");
    for (;;) {
        if (dlg->SendStopRequested(*ticket)) {
            dlg->ShowSendEnd(SendLink::Tcp, *ticket, stopped);
            return;
        }
        if (!SendPass(dlg->m_link.TcpConnection(), bytes)) {
            dlg->ShowSendEnd(SendLink::Tcp, *ticket, stopped);
            return;
        }
        if (!dlg->SendPeriodic()) {
            dlg->ShowSendEnd(SendLink::Tcp, *ticket, QString::asprintf("%d bytes sent", static_cast<int>(bytes.size())));
            return;
        }
        if (!dlg->SendPause()) {
            dlg->ShowSendEnd(SendLink::Tcp, *ticket, stopped);
            return;
        }
    }
}
