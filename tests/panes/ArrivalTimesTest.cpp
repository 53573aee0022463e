// When the Received pane's bytes arrived: bursts split by the gap, lookups by offset, clear, dropping
// the front, the export lines, and readers beside a writer. The clocks are given where the gap
// matters; the pane's own path uses the real clocks with gaps far from the setting.
#include "panes/models/ArrivalTimeText.h"
#include "panes/models/ArrivalTimes.h"
#include "panes/models/ReceivedPane.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Burst = ArrivalTimes::Burst;

std::vector<Burst> All(const ArrivalTimes& times)
{
    std::vector<Burst> out;
    times.StartsIn(0, UINT64_MAX, out);
    return out;
}

std::string Lines(const ArrivalTimes& times, std::uint64_t size)
{
    auto lines = ArrivalExportLines(times);
    std::string out;
    for (std::uint64_t row = 0; row < size; row += 16) {
        lines(row, std::min(row + 16, size), out);
        out += "row " + std::to_string(row) + "\n";
    }
    return out;
}

class NullView : public ReceivedPaneView {
public:
    void ShowReceivedState(ReceivedState) override {}
    void RedrawReceived(bool) override {}
};

std::int64_t WallMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

TEST(ArrivalTimes, ABurstStartsOnlyAfterAQuietSpellOfTheGapAndItsBytesShareItsTime)
{
    ArrivalTimes times; // gap 100 ms
    times.NoteBlockAt(0, 1000, 5000);
    times.NoteBlockAt(10, 1099, 5099);   // 99 ms later: the same burst
    times.NoteBlockAt(20, 1198, 5198);   // the gap counts from the previous block, not the burst's start
    times.NoteBlockAt(30, 1298, 5298);   // 100 ms quiet: a new burst
    times.NoteBlockAt(45, 1400, 5400);
    EXPECT_EQ(All(times), (std::vector<Burst>{{0, 5000}, {30, 5298}, {45, 5400}}));

    ASSERT_TRUE(times.BurstContaining(0));
    EXPECT_EQ(times.BurstContaining(0)->msSinceEpoch, 5000);
    EXPECT_EQ(times.BurstContaining(29)->msSinceEpoch, 5000);
    EXPECT_EQ(times.BurstContaining(30)->msSinceEpoch, 5298);
    EXPECT_EQ(times.BurstContaining(44)->offset, 30u);
    EXPECT_EQ(times.BurstContaining(1u << 30)->offset, 45u);
    EXPECT_EQ(times.FirstStartFrom(31)->offset, 45u);
    EXPECT_FALSE(times.FirstStartFrom(46).has_value());
    std::vector<Burst> some;
    times.StartsIn(1, 45, some);
    EXPECT_EQ(some, (std::vector<Burst>{{30, 5298}}));

    // A longer gap joins what a shorter one splits, from the next block on.
    times.SetGapMs(1000);
    times.NoteBlockAt(50, 2300, 6300);   // 900 ms quiet
    times.NoteBlockAt(60, 3300, 7300);   // 1000 ms quiet
    EXPECT_EQ(All(times).back(), (Burst{60, 7300}));
    EXPECT_EQ(times.Count(), 4u);
}

TEST(ArrivalTimes, ClearForgetsAndTheNextBlockBeginsABurstWhileOffNothingIsKept)
{
    ArrivalTimes times;
    times.NoteBlockAt(0, 1000, 5000);
    times.NoteBlockAt(8, 1010, 5010);
    times.Clear();
    EXPECT_EQ(times.Count(), 0u);
    EXPECT_FALSE(times.BurstContaining(0).has_value());
    // 5 ms after the last block, but the pane was emptied: these bytes need a time of their own.
    times.NoteBlockAt(0, 1015, 5015);
    EXPECT_EQ(All(times), (std::vector<Burst>{{0, 5015}}));

    ArrivalTimes off;
    off.SetRecording(false);
    off.NoteBlock(0);
    EXPECT_EQ(off.Count(), 0u);
    off.SetRecording(true);
    off.NoteBlock(16);
    EXPECT_EQ(off.Count(), 1u);
}

TEST(ArrivalTimes, DroppingTheFrontKeepsTheTimeOfTheBurstTheNewFirstByteBelongsTo)
{
    ArrivalTimes times;
    times.NoteBlockAt(0, 0, 100);
    times.NoteBlockAt(100, 1000, 200);
    times.NoteBlockAt(250, 2000, 300);
    times.NoteBlockAt(400, 3000, 400);

    times.ForgetBefore(150); // byte 150 is in the burst from 100
    EXPECT_EQ(All(times), (std::vector<Burst>{{100, 200}, {250, 300}, {400, 400}}));
    times.ForgetBefore(250); // exactly at a start: the burst before it goes
    EXPECT_EQ(All(times), (std::vector<Burst>{{250, 300}, {400, 400}}));
    times.ForgetBefore(0);
    EXPECT_EQ(times.Count(), 2u);
    times.ForgetBefore(10000); // past everything: the last burst holds what comes after
    EXPECT_EQ(All(times), (std::vector<Burst>{{400, 400}}));
    // New blocks go after the kept start.
    times.NoteBlockAt(10020, 4000, 500);
    EXPECT_EQ(times.BurstContaining(10019)->msSinceEpoch, 400);
    EXPECT_EQ(times.BurstContaining(10020)->msSinceEpoch, 500);
}

TEST(ArrivalTimes, TheExportWritesALineBeforeEachRowInWhichABurstBegins)
{
    ArrivalTimes times;
    const std::int64_t t0 = 1800000000123; // a fixed moment; shown in local time
    times.NoteBlockAt(0, 0, t0);
    times.NoteBlockAt(16, 500, t0 + 500);   // at a row's start
    times.NoteBlockAt(37, 1000, t0 + 1000); // inside the third row
    times.NoteBlockAt(40, 2000, t0 + 2000); // a second one in the same row
    const std::string expected = "-- " + ArrivalDateTimeText(t0) + " --\nrow 0\n"
                                 "-- " + ArrivalDateTimeText(t0 + 500) + " --\nrow 16\n"
                                 "-- " + ArrivalDateTimeText(t0 + 1000) + " from offset 00000025 --\n"
                                 "-- " + ArrivalDateTimeText(t0 + 2000) + " from offset 00000028 --\nrow 32\n"
                                 "row 48\n";
    EXPECT_EQ(Lines(times, 64), expected);
    // Every export made from the same function starts afresh.
    EXPECT_EQ(Lines(times, 64), expected);

    EXPECT_EQ(ArrivalDateTimeText(t0).size(), 23u);
    EXPECT_EQ(ArrivalDateTimeText(t0).substr(19), ".123");
    EXPECT_EQ(ArrivalClockText(t0), ArrivalDateTimeText(t0).substr(11));
    EXPECT_EQ(ArrivalClockText(-1).substr(8), ".999");
}

TEST(ArrivalTimes, ThePaneTimesItsBlocksAsTheyArriveAndClearForgetsThem)
{
    NullView view;
    CReceivedPane pane(view);
    pane.Arrivals().SetGapMs(5000);
    const std::vector<unsigned char> bytes(40000, 0x41);
    const std::int64_t before = WallMs();
    pane.Deliver(bytes.data(), 10);
    pane.Deliver(bytes.data(), bytes.size()); // three blocks, well within the gap
    const std::int64_t after = WallMs();
    ASSERT_EQ(pane.Arrivals().Count(), 1u);
    const Burst first = *pane.Arrivals().BurstContaining(40009);
    EXPECT_EQ(first.offset, 0u);
    EXPECT_GE(first.msSinceEpoch, before);
    EXPECT_LE(first.msSinceEpoch, after);

    // A quiet spell longer than the gap: the next delivery begins a burst where it lands.
    pane.Arrivals().SetGapMs(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::int64_t secondBefore = WallMs();
    pane.Deliver(bytes.data(), 5);
    const std::int64_t secondAfter = WallMs();
    ASSERT_EQ(pane.Arrivals().Count(), 2u);
    const Burst second = *pane.Arrivals().BurstContaining(40014);
    EXPECT_EQ(second.offset, 40010u);
    EXPECT_GE(second.msSinceEpoch, secondBefore);
    EXPECT_LE(second.msSinceEpoch, secondAfter);
    EXPECT_EQ(pane.Arrivals().BurstContaining(40009)->offset, 0u);

    pane.Clear();
    EXPECT_EQ(pane.Arrivals().Count(), 0u);
    pane.Deliver(bytes.data(), 3);
    EXPECT_EQ(All(pane.Arrivals()).size(), 1u);
    EXPECT_EQ(All(pane.Arrivals())[0].offset, 0u);
}

TEST(ArrivalTimes, ReadersBesideTheReceiveWorkerAlwaysSeeOrderedStarts)
{
    NullView view;
    CReceivedPane pane(view);
    pane.Arrivals().SetGapMs(1);
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    std::thread writer([&] {
        const std::vector<unsigned char> bytes(64, 1);
        for (int i = 0; i < 400; ++i) {
            pane.Deliver(bytes.data(), bytes.size());
            if (i % 50 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(6));
            if (i == 200)
                pane.Clear();
        }
        done = true;
    });
    std::thread reader([&] {
        while (!done) {
            std::vector<Burst> all;
            pane.Arrivals().StartsIn(0, UINT64_MAX, all);
            for (std::size_t i = 1; i < all.size(); ++i)
                if (all[i].offset <= all[i - 1].offset)
                    ++faults;
            if (auto burst = pane.Arrivals().BurstContaining(1000); burst && burst->offset > 1000)
                ++faults;
        }
    });
    writer.join();
    reader.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_GE(pane.Arrivals().Count(), 1u);
}
