// The byte block used from several threads at once, as the receive threads, a save and the panes do.
#include "panes/models/ReceivedPane.h"
#include "platform/byteblock/ByteBlock.h"
#include "tests/support/Records.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/userfaultfd.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
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

// A repaint reading the pane never waits for an append's copy, however long the pages take: the
// copy's source here is a page whose fault the test answers only after the read is done.
TEST(ByteBlockThreads, AReaderDoesNotWaitForAnAppendsCopy)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const int faults = static_cast<int>(::syscall(SYS_userfaultfd, O_CLOEXEC | UFFD_USER_MODE_ONLY));
    uffdio_api api{};
    api.api = UFFD_API;
    if (faults < 0 || ::ioctl(faults, UFFDIO_API, &api) != 0)
        GTEST_SKIP() << "userfaultfd is not available here";
    void* source = ::mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(source, MAP_FAILED);
    uffdio_register watched{};
    watched.range = {reinterpret_cast<std::uintptr_t>(source), page};
    watched.mode = UFFDIO_REGISTER_MODE_MISSING;
    ASSERT_EQ(::ioctl(faults, UFFDIO_REGISTER, &watched), 0);

    ByteBlock block;
    const std::vector<unsigned char> before(100, 0x11);
    ASSERT_EQ(block.Overwrite(0, before.data(), before.size()), BlockStatus::Ok);
    std::thread appender([&] { block.Overwrite(before.size(), static_cast<unsigned char*>(source), page); });
    pollfd inCopy{faults, POLLIN, 0};
    ASSERT_EQ(::poll(&inCopy, 1, 10000), 1) << "the append never reached its copy";
    uffd_msg fault{};
    ASSERT_EQ(::read(faults, &fault, sizeof fault), static_cast<ssize_t>(sizeof fault));

    auto reading = std::async(std::launch::async, [&] {
        std::vector<unsigned char> out(2 * before.size());
        return block.Read(0, out.data(), out.size());
    });
    const bool answered = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    const std::vector<unsigned char> arriving(page, 0x22);
    uffdio_copy answer{};
    answer.dst = fault.arg.pagefault.address & ~static_cast<std::uint64_t>(page - 1);
    answer.src = reinterpret_cast<std::uintptr_t>(arriving.data());
    answer.len = page;
    ASSERT_EQ(::ioctl(faults, UFFDIO_COPY, &answer), 0);
    appender.join();

    EXPECT_TRUE(answered) << "the read waited for the append's copy";
    EXPECT_EQ(reading.get(), before.size()) << "the read saw bytes the append had not finished";
    ASSERT_EQ(block.Size(), before.size() + page);
    std::vector<unsigned char> all(block.Size());
    block.Read(0, all.data(), all.size());
    EXPECT_TRUE(std::equal(arriving.begin(), arriving.end(), all.begin() + static_cast<std::ptrdiff_t>(before.size())));
    ::munmap(source, page);
    ::close(faults);
}
