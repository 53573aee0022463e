// The byte block used from several threads at once, as the receive threads, a save and the panes do.
#include "panes/models/ReceivedPane.h"
#include "platform/byteblock/ByteBlock.h"
#include "tests/support/Records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using plat::BlockStatus;
using plat::ByteBlock;

using testrecords::kRecord;
using testrecords::RecordIsWhole;
using testrecords::WriteRecord;

// Appenders go through the real receive path (the Received pane's sink), savers hold the block as
// Save does (taken between two deliveries), readers read it as the view's repaint does.
TEST(ByteBlockThreads, AppendersSaversAndReadersLoseNoByte)
{
    class SilentView : public ReceivedPaneView {
        void ShowReceivedState(ReceivedState) override {}
        void RedrawReceived(bool) override {}
    } view;
    CReceivedPane pane(view);
    ByteBlock& block = pane.Block();
    constexpr unsigned kWriters = 3;
    constexpr std::uint32_t kRecordsPerWriter = 4000;
    std::atomic<bool> writing{true};
    std::atomic<int> failures{0};

    std::vector<std::thread> threads;
    for (unsigned w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            std::uint32_t seq = 0;
            while (seq < kRecordsPerWriter) {
                const std::uint32_t count = std::min<std::uint32_t>(1 + seq % 7, kRecordsPerWriter - seq);
                std::array<unsigned char, 7 * kRecord> chunk;
                for (std::uint32_t i = 0; i < count; ++i)
                    WriteRecord(chunk.data() + i * kRecord, w, seq + i);
                pane.Deliver(chunk.data(), count * kRecord);
                // As every receiver does: blocks set aside while a save held the block land here.
                pane.WaitForRoom();
                seq += count;
            }
        });
    }
    for (int s = 0; s < 2; ++s) {
        threads.emplace_back([&] {
            while (writing.load()) {
                {
                    std::lock_guard betweenDeliveries(pane.ReceivedLock());
                    block.Hold();
                }
                const std::size_t size = block.Size();
                std::this_thread::yield();
                if (block.Size() != size)
                    ++failures; // the size moved under a hold
                block.Release();
                std::this_thread::sleep_for(std::chrono::microseconds(20)); // saves are occasional
            }
        });
    }
    threads.emplace_back([&] {
        // Reads the newest rows over and over, as a repaint that follows the end does.
        std::vector<unsigned char> rows(64 * kRecord);
        while (writing.load())
            block.Read(block.Size() > rows.size() ? block.Size() - rows.size() : 0, rows.data(), rows.size());
    });

    for (unsigned w = 0; w < kWriters; ++w)
        threads[w].join();
    writing = false;
    for (std::size_t i = kWriters; i < threads.size(); ++i)
        threads[i].join();

    EXPECT_EQ(failures.load(), 0);
    ASSERT_EQ(block.Size(), kWriters * kRecordsPerWriter * kRecord);
    std::vector<unsigned char> all(block.Size());
    block.Read(0, all.data(), all.size());
    std::array<std::uint32_t, kWriters> next{};
    for (std::size_t at = 0; at < all.size(); at += kRecord) {
        unsigned writer;
        std::uint32_t seq;
        ASSERT_TRUE(RecordIsWhole(all.data() + at, &writer, &seq)) << "at " << at;
        ASSERT_LT(writer, kWriters);
        ASSERT_EQ(seq, next[writer]) << "writer " << writer << " out of order or lost at " << at;
        ++next[writer];
    }
}
