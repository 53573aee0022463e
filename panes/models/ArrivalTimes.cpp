#include "panes/models/ArrivalTimes.h"

#include <algorithm>
#include <ctime>

namespace {

std::int64_t ClockMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool StartsBefore(const ArrivalTimes::Burst& burst, std::uint64_t offset)
{
    return burst.offset < offset;
}

} // namespace

std::optional<std::int64_t> ArrivalTimes::NoteBlock(std::uint64_t offset)
{
    if (!m_recording.load(std::memory_order_relaxed))
        return std::nullopt;
    // The coarse clock costs a few nanoseconds (a few ms resolution, well below any useful gap); the
    // precise wall clock is read only for the start of a burst.
    const std::int64_t steady = ClockMs(CLOCK_MONOTONIC_COARSE);
    if (m_anyBlock && steady - m_lastBlockMs < m_gapMs.load(std::memory_order_relaxed)) {
        m_lastBlockMs = steady;
        return std::nullopt;
    }
    return NoteBlockAt(offset, steady, ClockMs(CLOCK_REALTIME));
}

ArrivalTimes::Stamp ArrivalTimes::Now()
{
    return {ClockMs(CLOCK_MONOTONIC_COARSE), ClockMs(CLOCK_REALTIME)};
}

std::optional<std::int64_t> ArrivalTimes::NoteBlockArrived(std::uint64_t offset, Stamp arrived)
{
    if (!m_recording.load(std::memory_order_relaxed))
        return std::nullopt;
    return NoteBlockAt(offset, arrived.steadyMs, arrived.wallMs);
}

std::optional<std::int64_t> ArrivalTimes::NoteBlockAt(std::uint64_t offset, std::int64_t steadyMs, std::int64_t wallMs)
{
    const bool begins = !m_anyBlock || steadyMs - m_lastBlockMs >= m_gapMs.load(std::memory_order_relaxed);
    m_anyBlock = true;
    m_lastBlockMs = steadyMs;
    if (!begins)
        return std::nullopt;
    std::lock_guard guard(m_lock);
    // A block that lands before the last start (the pane was shortened under it) would break the
    // order that lookups rely on: the later start gives way.
    while (!m_starts.empty() && m_starts.back().offset >= offset)
        m_starts.pop_back();
    m_starts.push_back({offset, wallMs});
    return wallMs;
}

void ArrivalTimes::Clear()
{
    m_anyBlock = false;
    std::lock_guard guard(m_lock);
    m_starts.clear();
    m_starts.shrink_to_fit();
}

void ArrivalTimes::ForgetBefore(std::uint64_t front)
{
    std::lock_guard guard(m_lock);
    // The first start after byte `front`; the one before it (if any) is the burst that byte is in.
    auto after = std::upper_bound(m_starts.begin(), m_starts.end(), front,
                                  [](std::uint64_t at, const Burst& burst) { return at < burst.offset; });
    if (after != m_starts.begin())
        --after;
    m_starts.erase(m_starts.begin(), after);
}

std::optional<ArrivalTimes::Burst> ArrivalTimes::BurstContaining(std::uint64_t offset) const
{
    std::lock_guard guard(m_lock);
    auto after = std::upper_bound(m_starts.begin(), m_starts.end(), offset,
                                  [](std::uint64_t at, const Burst& burst) { return at < burst.offset; });
    if (after == m_starts.begin())
        return std::nullopt;
    return *(after - 1);
}

void ArrivalTimes::StartsIn(std::uint64_t from, std::uint64_t to, std::vector<Burst>& out) const
{
    std::lock_guard guard(m_lock);
    for (auto it = std::lower_bound(m_starts.begin(), m_starts.end(), from, StartsBefore);
         it != m_starts.end() && it->offset < to; ++it)
        out.push_back(*it);
}

std::optional<ArrivalTimes::Burst> ArrivalTimes::FirstStartFrom(std::uint64_t offset) const
{
    std::lock_guard guard(m_lock);
    auto it = std::lower_bound(m_starts.begin(), m_starts.end(), offset, StartsBefore);
    if (it == m_starts.end())
        return std::nullopt;
    return *it;
}

std::size_t ArrivalTimes::Count() const
{
    std::lock_guard guard(m_lock);
    return m_starts.size();
}

std::size_t ArrivalTimes::BytesHeld() const
{
    std::lock_guard guard(m_lock);
    return m_starts.capacity() * sizeof(Burst);
}
