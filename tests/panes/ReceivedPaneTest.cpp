// The Received Data pane's bytes as the receive workers, the clear worker and the view's repaint use
// them at once. No widgets: the view is a recorder, the repaint reads the block as the hex view does.
#include "panes/models/ReceivedPane.h"
#include "tests/support/Records.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class RecordingView : public ReceivedPaneView {
public:
    void ShowReceivedState(ReceivedState state) override
    {
        std::lock_guard guard(m_lock);
        m_texts.push_back(state.Text());
    }
    void RedrawReceived(bool appended) override { (appended ? m_appendRedraws : m_clearRedraws)++; }

    std::vector<std::string> Texts()
    {
        std::lock_guard guard(m_lock);
        return m_texts;
    }
    std::atomic<int> m_appendRedraws{0};
    std::atomic<int> m_clearRedraws{0};

private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

std::vector<unsigned char> Contents(CReceivedPane& pane)
{
    std::lock_guard guard(pane.ReceivedLock());
    std::vector<unsigned char> out(pane.Block().Size());
    out.resize(pane.Block().Read(0, out.data(), out.size()));
    return out;
}

} // namespace

using testrecords::kRecord;
using testrecords::RecordIsWhole;
using testrecords::WriteRecord;

TEST(ReceivedPane, DeliverSplitsIntoBlocksAndAppendsInOrder)
{
    RecordingView view;
    CReceivedPane pane(view);
    std::vector<unsigned char> bytes(40000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    pane.Deliver(bytes.data(), 10);
    pane.Deliver(bytes.data() + 10, bytes.size() - 10);

    EXPECT_EQ(Contents(pane), bytes);
    EXPECT_EQ(pane.Total(), 40000);
    // 10, then 39990 as 16384 + 16384 + 7222: the text tells the size of each block.
    EXPECT_EQ(view.Texts(), (std::vector<std::string>{"10 bytes read", "16384 bytes read", "16384 bytes read",
                                                      "7222 bytes read"}));
    EXPECT_EQ(view.m_appendRedraws.load(), 4);

    // Start's clear empties the pane; the text stays that of the last block.
    pane.Clear();
    pane.Deliver(bytes.data(), 3);
    EXPECT_EQ(Contents(pane), std::vector<unsigned char>(bytes.begin(), bytes.begin() + 3));
    EXPECT_EQ(view.Texts().back(), "3 bytes read");
}

// Several receive workers deliver while the view repaints (reads the block, as the hex view's paint
// does, without the received lock) and Clear is clicked: the repaint never reads bytes an append is
// still writing, no delivery is torn, and each worker's records stay in order.
TEST(ReceivedPane, RepaintsAndClearsDuringDeliveriesFromSeveralThreads)
{
    RecordingView view;
    CReceivedPane pane(view);
    constexpr unsigned kWriters = 3;
    constexpr std::uint32_t kRecords = 40000;
    std::atomic<bool> delivering{true};
    std::atomic<int> torn{0};

    std::vector<std::thread> writers;
    for (unsigned w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (std::uint32_t seq = 0; seq < kRecords;) {
                const std::uint32_t count = std::min<std::uint32_t>(1 + (seq * 13) % 1024, kRecords - seq);
                std::vector<unsigned char> chunk(count * kRecord);
                for (std::uint32_t i = 0; i < count; ++i)
                    WriteRecord(chunk.data() + i * kRecord, w, seq + i);
                pane.Deliver(chunk.data(), chunk.size());
                seq += count;
            }
        });
    }
    std::thread painter([&] {
        std::vector<unsigned char> rows(4096);
        while (delivering.load()) {
            const std::size_t size = pane.Block().Size();
            const std::size_t from = size > rows.size() ? size - rows.size() : 0;
            pane.Block().Read(from, rows.data(), rows.size());
        }
    });
    std::thread clicker([&] {
        for (int i = 0; i < 20 && delivering.load(); ++i) {
            pane.ClearLater();
            std::this_thread::yield();
        }
    });

    for (std::thread& writer : writers)
        writer.join();
    clicker.join();
    // The last clear may still be pending; once the clear worker is done the pane holds whole
    // records only, each worker's in order.
    pane.EndClearWorker();
    delivering = false;
    painter.join();

    const std::vector<unsigned char> all = Contents(pane);
    ASSERT_EQ(all.size() % kRecord, 0u);
    EXPECT_EQ(static_cast<std::int64_t>(all.size()), pane.Total());
    std::vector<std::int64_t> last(kWriters, -1);
    for (std::size_t at = 0; at < all.size(); at += kRecord) {
        unsigned writer;
        std::uint32_t seq;
        if (!RecordIsWhole(&all[at], &writer, &seq))
            ++torn;
        ASSERT_LT(writer, kWriters);
        EXPECT_GT(static_cast<std::int64_t>(seq), last[writer]);
        last[writer] = seq;
    }
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GE(view.m_clearRedraws.load(), 1);
}

// Find and Export read the pane up to the size they see, without the received lock: every byte
// below that size is one that arrived, never the zero fill of a growth whose bytes are not in yet.
TEST(ReceivedPane, AReaderNeverSeesTheZerosOfAGrowthBeforeItsBytes)
{
    RecordingView view;
    CReceivedPane pane(view);
    std::atomic<bool> delivering{true};
    std::atomic<std::uint64_t> zerosSeen{0};
    std::atomic<std::uint64_t> looks{0};

    std::thread reader([&] {
        std::vector<unsigned char> tail(16384);
        while (delivering.load()) {
            const std::size_t size = pane.Block().Size();
            const std::size_t from = size > tail.size() ? size - tail.size() : 0;
            const std::size_t n = pane.Block().Read(from, tail.data(), size - from);
            if (std::find(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(n), 0) !=
                tail.begin() + static_cast<std::ptrdiff_t>(n))
                ++zerosSeen;
            ++looks;
        }
    });
    // No delivered byte is zero; blocks of the largest size grow the block the most at a time.
    const std::vector<unsigned char> block(16384, 0x5A);
    for (int i = 0; i < 4000 || looks.load() < 1000; ++i)
        pane.Deliver(block.data(), block.size());
    delivering = false;
    reader.join();
    EXPECT_EQ(zerosSeen.load(), 0u);
}
