#pragma once
// While recording, the Received pane may keep only about its last bytes: the file has the rest. The
// front goes in big steps, so that the cost per byte stays tiny, and never past the bytes that are
// in the file.
//
// Threads: Set and Bytes from any thread; Trim with the received lock held, after an append.

#include "panes/models/ArrivalTimes.h"
#include "platform/byteblock/ByteBlock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class KeepLastTrim {
public:
    // About the last `bytes` are kept; 0: everything.
    void Set(std::size_t bytes) { m_bytes.store(bytes); }
    std::size_t Bytes() const { return m_bytes.load(); }

    // Drops the front of `block` once it outgrew what is kept, never past `inFileEnd` (where the
    // bytes in the file end, counted in the capture). The arrival times of the bursts that ended
    // before the new front go with it. A holder (Save, a search step) keeps the block as it is: the
    // next append tries again.
    void Trim(plat::ByteBlock& block, std::int64_t inFileEnd, ArrivalTimes& arrivals) const;

private:
    std::atomic<std::size_t> m_bytes{0};
};
