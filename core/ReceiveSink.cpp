#include "core/ReceiveSink.h"

#include <algorithm>

void CReceiveSink::Deliver(const unsigned char* data, std::size_t size, DeliveryClaim claim)
{
    // One lock for the whole delivery: a datagram longer than a block stays in one piece in the pane.
    std::lock_guard guard(m_lock);
    if (!claim.Holds())
        return;
    for (std::size_t at = 0; at < size; at += kMaxBlock)
        AppendReceivedData(data + at, static_cast<int>(std::min(kMaxBlock, size - at)));
}
