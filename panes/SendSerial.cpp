// The serial send thread: each pass writes the block in pieces of at most 2048 bytes, with a stop
// poll after every write.
#include "app/MainDlg.h"

#include "platform/toolkit/MessageBox.h"

#include <algorithm>

namespace {

constexpr std::size_t kSerialWriteSize = 2048;
constexpr std::uint32_t kPortNotOpen = 6;

enum class PassEnd { Done, Stopped, NotOpen };

} // namespace

void SerialSendThread(CMainDlg* dlg, std::shared_ptr<SendTicket> ticket)
{
    const std::vector<unsigned char>& bytes = *ticket->bytes;
    auto end = [&](const QString& text = QString()) {
        const bool periodic = dlg->SendPeriodic();
        dlg->ShowSendEnd(SendLink::Serial, *ticket, periodic ? QStringLiteral("Periodic Stopped") : text);
    };
    auto pass = [&] {
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = std::min(kSerialWriteSize, bytes.size() - at);
            std::uint32_t written = 0;
            const std::uint32_t status = dlg->m_serial.Write(bytes.data() + at, static_cast<std::uint32_t>(n),
                                                             &written, nullptr, CSerialPort::kInfinite);
            // The teardown asks the sends to stop before it closes the port under a write: that
            // write ends as stopped, not as a port that was never open.
            if (status == kPortNotOpen)
                return dlg->SendStopRequested(*ticket) ? PassEnd::Stopped : PassEnd::NotOpen;
            // Any other failure leaves the rest, this piece's unwritten part included, to the
            // next write.
            at += std::min<std::size_t>(written, n);
            if (dlg->SendStopRequested(*ticket))
                return PassEnd::Stopped;
        }
        return PassEnd::Done;
    };

    if (dlg->SendPeriodic())
        dlg->ShowSendBegin(*ticket);
    for (;;) {
        if (dlg->SendStopRequested(*ticket))
            return end();
        switch (pass()) {
        case PassEnd::NotOpen:
            plat::ShowMessageBox(nullptr, QStringLiteral("Serial Port is not opened !"));
            return end();
        case PassEnd::Stopped:
            return end(QStringLiteral("Send Stopped"));
        case PassEnd::Done:
            break;
        }
        // A single serial send leaves the Sender State as it is.
        if (!dlg->SendPeriodic())
            return end();
        if (!dlg->SendPause())
            return end();
    }
}
