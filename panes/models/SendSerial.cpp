// The serial pass: the block in writes of at most kSerialWriteSize bytes, with a stop poll after
// every write. A write waits at most kStopLookMs for room, so that a Stop also ends a pass that a
// device holds up (handshaking, or nobody reading the other end); what the device took goes out.
#include "panes/models/SendEngine.h"

#include "core/SerialStatus.h"

#include <algorithm>

namespace {

// A device that hung up (I/O error) or vanished (not found) fails every write at once: it counts
// as a port that is not open rather than a write to retry.
bool PortIsGone(std::uint32_t status)
{
    return status == serialstatus::kNotOpen || status == serialstatus::kFileNotFound
        || status == serialstatus::kIoDevice;
}

} // namespace

SendEngine::Ending SendEngine::SerialPass(const plat::BlockSnapshot& bytes, const SendTicket& ticket)
{
    const unsigned char* data = bytes.Data();
    const std::size_t size = bytes.Size();
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(kSerialWriteSize, size - at);
        std::uint32_t written = 0;
        const std::uint32_t status = m_links.SerialWrite(data + at, static_cast<std::uint32_t>(n), &written, kStopLookMs);
        if (PortIsGone(status)) {
            // The teardown asks the sends to stop before it closes the port under a write: that
            // write ends as stopped, not as a port that was never open.
            if (StopRequested(ticket))
                return Ending::StoppedInPass;
            m_view.ShowSendMessage("Serial Port is not opened !");
            return Ending::Failed;
        }
        // A time-out or any other failure leaves the rest, this piece's unwritten part included, to
        // the next write.
        at += std::min<std::size_t>(written, n);
        if (StopRequested(ticket))
            return Ending::StoppedInPass;
    }
    return Ending::Done;
}
