#pragma once
// When the Received pane's bytes arrived, kept per burst rather than per byte: a burst begins with
// the first block after a quiet spell of at least the burst gap, and only its start is kept (its
// offset in the pane and the wall-clock time in ms), 16 bytes a burst. A flood costs one coarse
// clock read per block; the precise wall clock is read only when a burst begins.
//
// Threads: NoteBlock, Clear and DropFront are called with the received lock held (the receive
// workers, the clear worker), so there is one writer at a time. Everything else may be called from
// any thread: the kept starts have a small lock of their own, which a writer takes only when a burst
// begins, so the paint, a tooltip and the export worker never wait for the received lock.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

class ArrivalTimes {
public:
    struct Burst {
        std::uint64_t offset;       // of its first byte, counted from the start of the capture
        std::int64_t msSinceEpoch;  // wall clock when that byte arrived
        bool operator==(const Burst&) const = default;
    };
    static constexpr int kDefaultGapMs = 100;

    // Any thread. The quiet spell that starts a new burst; counts from the next block on.
    void SetGapMs(int ms) { m_gapMs.store(ms < 1 ? 1 : ms); }
    int GapMs() const { return m_gapMs.load(); }
    // Any thread. While off, blocks are not timed at all (to measure what the timing costs).
    void SetRecording(bool on) { m_recording.store(on); }
    bool Recording() const { return m_recording.load(); }

    // Received lock held: a block was appended at `offset`. Reads the clocks itself. When the block
    // begins a burst, gives the burst's time (for a recording's companion file).
    std::optional<std::int64_t> NoteBlock(std::uint64_t offset);
    // The same with the clocks read by the caller: `steadyMs` for the gap, `wallMs` for the record.
    std::optional<std::int64_t> NoteBlockAt(std::uint64_t offset, std::int64_t steadyMs, std::int64_t wallMs);
    // Both clocks read now, for a block that lands in the pane later than it arrived.
    struct Stamp {
        std::int64_t steadyMs;
        std::int64_t wallMs;
    };
    static Stamp Now();
    // Received lock held: NoteBlock for a block that arrived at `arrived`.
    std::optional<std::int64_t> NoteBlockArrived(std::uint64_t offset, Stamp arrived);
    // Received lock held: the pane was emptied; the next block begins a burst whatever the gap.
    void Clear();
    // Received lock held: the pane dropped its bytes before `front` (offsets count from the start of
    // the capture, so nothing moves). Starts of bursts that ended before `front` go; the burst that
    // byte `front` belongs to keeps its time.
    void ForgetBefore(std::uint64_t front);

    // Any thread. The burst that the byte at `offset` belongs to (the last start at or before it).
    std::optional<Burst> BurstContaining(std::uint64_t offset) const;
    // Any thread. Appends the bursts that start in [from, to), in order.
    void StartsIn(std::uint64_t from, std::uint64_t to, std::vector<Burst>& out) const;
    // Any thread. The first burst that starts at or after `offset`.
    std::optional<Burst> FirstStartFrom(std::uint64_t offset) const;
    std::size_t Count() const;
    // Any thread. Memory the kept starts take (the vector's capacity).
    std::size_t BytesHeld() const;

private:
    std::atomic<int> m_gapMs{kDefaultGapMs};
    std::atomic<bool> m_recording{true};
    // Writers only (received lock held): when the previous block came, and whether one did.
    std::int64_t m_lastBlockMs = 0;
    bool m_anyBlock = false;

    mutable std::mutex m_lock;
    std::vector<Burst> m_starts; // sorted by offset
};
