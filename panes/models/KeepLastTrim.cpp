#include "panes/models/KeepLastTrim.h"

#include <algorithm>

void KeepLastTrim::Trim(plat::ByteBlock& block, std::int64_t inFileEnd, ArrivalTimes& arrivals) const
{
    const std::size_t keep = m_bytes.load(std::memory_order_relaxed);
    if (keep == 0)
        return;
    // Once an eighth over, back to about what is kept, in whole pages, 2 MiB at a time where the
    // block is large enough (no byte is copied).
    const std::size_t size = block.Size();
    if (size <= keep || size - keep <= keep / 8)
        return;
    const std::size_t unit = keep >= (std::size_t{16} << 20) ? std::size_t{2} << 20 : plat::ByteBlock::DropUnit();
    const auto front = static_cast<std::int64_t>(block.FrontDropped());
    if (inFileEnd <= front)
        return;
    const std::size_t drop = std::min(size - keep, static_cast<std::size_t>(inFileEnd - front)) / unit * unit;
    if (drop != 0 && block.DropFront(drop) == plat::BlockStatus::Ok)
        arrivals.ForgetBefore(block.FrontDropped());
}
