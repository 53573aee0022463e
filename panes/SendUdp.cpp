// The UDP send thread: each pass sends the block as datagrams of at most m_nUdpChunkSize bytes
// from the endpoint's socket, or from a socket of its own when no endpoint is bound.
#include "app/MainDlg.h"

#include "links/LinkAddress.h"
#include "platform/toolkit/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace {

// False when a datagram could not be sent.
bool SendPass(const plat::SocketRef& socket, const std::vector<unsigned char>& bytes, std::size_t chunk,
              const sockaddr_in& destination)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = std::min(chunk, bytes.size() - at);
        const ssize_t sent = ::sendto(socket->Descriptor(), bytes.data() + at, n, MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        at += n;
    }
    return true;
}

} // namespace

void UdpSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket)
{
    const std::vector<unsigned char>& bytes = *ticket->bytes;
    auto end = [&](const QString& text = QString()) {
        const bool periodic = dlg->SendPeriodic();
        dlg->ShowSendEnd(SendLink::Udp, *ticket, periodic ? QStringLiteral("Periodic Stopped") : text);
    };
    const UdpSendSocket chosen = dlg->m_link.ChooseUdpSendSocket();
    if (!chosen.socket) {
        plat::ShowMessageBox(nullptr, QString::fromLatin1(chosen.failure));
        return end();
    }
    const plat::SocketRef& socket = chosen.socket;
    if (dlg->SendPeriodic())
        dlg->ShowSendBegin(*ticket);
    const std::size_t chunk = static_cast<std::size_t>(std::max(1, dlg->m_nUdpChunkSize));
    for (;;) {
        if (dlg->SendStopRequested(*ticket))
            return end();
        sockaddr_in destination;
        {
            // Rebuilt before every pass from the destination of the latest Send.
            std::lock_guard guard(dlg->m_csSend);
            destination = links::Ipv4Address(links::DottedAddress(dlg->m_sendJob.GetDestIp()),
                                              static_cast<std::uint16_t>(dlg->m_sendJob.GetDestPort()));
        }
        if (!SendPass(socket, bytes, chunk, destination))
            return end();
        if (!dlg->SendPeriodic())
            return end(QString::asprintf("%d bytes sent", static_cast<int>(bytes.size())));
        if (!dlg->SendPause())
            return end();
    }
}
