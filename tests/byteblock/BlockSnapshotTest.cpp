// Snapshots of a byte block: the bytes as they were, whatever the block does afterwards, and no copy
// made for a snapshot that no change meets.
#include "platform/byteblock/ByteBlock.h"
#include "tests/support/WithoutThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using plat::BlockSnapshot;
using plat::BlockStatus;
using plat::ByteBlock;

namespace {

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (unsigned char& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    return bytes;
}

std::vector<unsigned char> Contents(const ByteBlock& block)
{
    std::vector<unsigned char> out(block.Size());
    out.resize(block.Read(0, out.data(), out.size()));
    return out;
}

std::vector<unsigned char> Contents(const BlockSnapshot& snapshot)
{
    if (snapshot.Size() == 0)
        return {};
    return {snapshot.Data(), snapshot.Data() + snapshot.Size()};
}

// Compared piece by piece, without a buffer as large as the block: for a child with no memory to spare.
bool Holds(const ByteBlock& block, const std::vector<unsigned char>& bytes)
{
    if (block.Size() != bytes.size())
        return false;
    unsigned char piece[4096];
    for (std::size_t at = 0; at < bytes.size(); at += sizeof piece) {
        const std::size_t n = block.Read(at, piece, sizeof piece);
        if (n == 0 || std::memcmp(piece, bytes.data() + at, n) != 0)
            return false;
    }
    return true;
}

bool Holds(const BlockSnapshot& snapshot, const std::vector<unsigned char>& bytes)
{
    return snapshot.Size() == bytes.size() && std::memcmp(snapshot.Data(), bytes.data(), bytes.size()) == 0;
}

const unsigned char* StorageOf(ByteBlock& block)
{
    const unsigned char* at = block.HoldToRead();
    block.Release();
    return at;
}

const unsigned char kX[] = {'x', 'y', 'z'};

// Every way the block's bytes or size can change, with the pane it leaves from a block of 8 MiB.
struct Change {
    const char* name;
    std::function<void(ByteBlock&)> apply;
};

const std::vector<Change>& Changes()
{
    static const std::vector<Change> changes = {
        {"overwrite in place", [](ByteBlock& b) { EXPECT_EQ(b.Overwrite(5, kX, 3), BlockStatus::Ok); }},
        {"overwrite past the end", [](ByteBlock& b) { EXPECT_EQ(b.Overwrite(b.Size() - 1, kX, 3), BlockStatus::Ok); }},
        {"insert at the front", [](ByteBlock& b) { EXPECT_EQ(b.Insert(0, kX, 3), BlockStatus::Ok); }},
        {"erase in the middle", [](ByteBlock& b) { EXPECT_EQ(b.Erase(1000, 5000), BlockStatus::Ok); }},
        {"resize to nothing", [](ByteBlock& b) { EXPECT_EQ(b.Resize(0), BlockStatus::Ok); }},
        {"resize smaller", [](ByteBlock& b) { EXPECT_EQ(b.Resize(100), BlockStatus::Ok); }},
        {"resize larger", [](ByteBlock& b) { EXPECT_EQ(b.Resize(b.Size() * 3), BlockStatus::Ok); }},
        {"make empty", [](ByteBlock& b) { b.MakeEmptyArray(); }},
        {"write through a hold", [](ByteBlock& b) {
             unsigned char* bytes = b.Hold();
             ASSERT_NE(bytes, nullptr);
             std::memset(bytes, 0xEE, b.Size());
             b.Release();
         }},
    };
    return changes;
}

} // namespace

TEST(BlockSnapshot, KeepsTheBytesThroughEveryChangeAndTheBlockGetsTheChange)
{
    const auto original = Pattern(8 << 20, 1);
    for (const Change& change : Changes()) {
        ByteBlock block;
        ASSERT_EQ(block.Insert(0, original.data(), original.size()), BlockStatus::Ok);
        // The same block changed without a snapshot: what the change must leave in the block.
        ByteBlock alone;
        ASSERT_EQ(alone.Insert(0, original.data(), original.size()), BlockStatus::Ok);
        change.apply(alone);

        BlockSnapshot snapshot;
        ASSERT_EQ(block.TakeSnapshot(snapshot), BlockStatus::Ok);
        BlockSnapshot second = snapshot;
        change.apply(block);
        EXPECT_FALSE(block.Shared()) << change.name;
        EXPECT_TRUE(Contents(snapshot) == original) << change.name << ": the snapshot changed";
        EXPECT_TRUE(Contents(block) == Contents(alone)) << change.name << ": the block lost the change";
        snapshot.Reset();
        EXPECT_TRUE(Contents(second) == original) << change.name << ": the last snapshot lost its bytes";
        // The block goes on from its own storage; later changes reach it as usual.
        EXPECT_EQ(block.Overwrite(0, kX, 1), BlockStatus::Ok) << change.name;
        EXPECT_EQ(Contents(block)[0], 'x') << change.name;
    }
}

TEST(BlockSnapshot, ASnapshotThatNoChangeMeetsCostsNoCopy)
{
    const auto original = Pattern(4 << 20, 2);
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, original.data(), original.size()), BlockStatus::Ok);
    const unsigned char* storage = StorageOf(block);
    {
        BlockSnapshot snapshot;
        ASSERT_EQ(block.TakeSnapshot(snapshot), BlockStatus::Ok);
        EXPECT_EQ(snapshot.Data(), storage) << "the snapshot reads the block's own bytes";
        EXPECT_TRUE(block.Shared());
        // Readers leave the sharing alone.
        unsigned char first = 0;
        block.Read(0, &first, 1);
        EXPECT_EQ(block.HoldToRead(), storage);
        block.Release();
        EXPECT_TRUE(block.Shared());
    }
    EXPECT_FALSE(block.Shared()) << "the last snapshot let go";
    EXPECT_EQ(block.Overwrite(0, kX, 3), BlockStatus::Ok);
    EXPECT_EQ(StorageOf(block), storage) << "the edit after the snapshot went needed no copy";
    EXPECT_EQ(Contents(block)[2], 'z');

    BlockSnapshot empty;
    ByteBlock nothing;
    ASSERT_EQ(nothing.TakeSnapshot(empty), BlockStatus::Ok);
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_FALSE(nothing.Shared());
}

TEST(BlockSnapshot, HoldsAndSnapshotsKeepEachOthersBytes)
{
    const auto original = Pattern(1 << 20, 3);
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, original.data(), original.size()), BlockStatus::Ok);

    // Taken while a holder may be writing: the snapshot gets a copy of its own.
    unsigned char* held = block.Hold();
    BlockSnapshot copied;
    ASSERT_EQ(block.TakeSnapshot(copied), BlockStatus::Ok);
    EXPECT_FALSE(block.Shared());
    held[0] = static_cast<unsigned char>(~original[0]);
    block.Release();
    EXPECT_TRUE(Contents(copied) == original) << "the holder's later write reached the snapshot";

    // A hold out on shared bytes: moving the block away would pull them from under the holder.
    BlockSnapshot shared;
    ASSERT_EQ(block.TakeSnapshot(shared), BlockStatus::Ok);
    const auto before = Contents(block);
    const unsigned char* reading = block.HoldToRead();
    EXPECT_EQ(block.Overwrite(0, kX, 1), BlockStatus::Held);
    EXPECT_EQ(block.Hold(), nullptr) << "no hold for writing while another holder reads shared bytes";
    EXPECT_EQ(reading, shared.Data());
    block.Release();
    EXPECT_TRUE(Contents(block) == before);
    EXPECT_EQ(block.Overwrite(0, kX, 1), BlockStatus::Ok) << "once the reader let go";
    EXPECT_EQ(Contents(shared)[0], before[0]);
}

TEST(BlockSnapshot, OutlivesItsBlock)
{
    const auto original = Pattern(6 << 20, 4);
    BlockSnapshot snapshot;
    {
        ByteBlock block;
        ASSERT_EQ(block.Insert(0, original.data(), original.size()), BlockStatus::Ok);
        ASSERT_EQ(block.TakeSnapshot(snapshot), BlockStatus::Ok);
    }
    EXPECT_TRUE(Contents(snapshot) == original);
}

TEST(BlockSnapshot, AChangeWithoutMemoryForTheCopyIsRefusedAndLosesNothing)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    const auto original = Pattern(16 << 20, 5);
    ByteBlock block;
    ASSERT_EQ(block.Insert(0, original.data(), original.size()), BlockStatus::Ok);
    BlockSnapshot snapshot;
    ASSERT_EQ(block.TakeSnapshot(snapshot), BlockStatus::Ok);
    // In a child whose address space has no room for a second copy of the block.
    const int status = testwait::InChildWithoutRoomForThreads([&] {
        int failures = 0;
        failures += block.Overwrite(0, kX, 3) != BlockStatus::NoMemory;
        failures += block.Insert(10, kX, 3) != BlockStatus::NoMemory;
        failures += block.Erase(10, 3) != BlockStatus::NoMemory;
        failures += block.Hold() != nullptr;
        failures += !block.Shared();
        failures += !Holds(snapshot, original);
        failures += !Holds(block, original);
        // Emptying needs no copy: the snapshot keeps the old storage, the block starts afresh.
        failures += block.Resize(0) != BlockStatus::Ok;
        failures += !Holds(snapshot, original);
        return failures;
    });
    EXPECT_EQ(status, 0) << "changes made or bytes lost without memory for the copy";
}

// Snapshots taken and dropped on send threads while the window's thread edits the block: each
// snapshot reads the bytes of the moment it was taken, to the end. (Writes through a hold are the
// holder's business to keep apart from snapshots taken meanwhile, as with any holder.)
TEST(BlockSnapshot, SendersReadWhatTheyTookWhileTheBlockIsEdited)
{
    ByteBlock block;
    const std::vector<unsigned char> first(256 << 10, 0xA5);
    ASSERT_EQ(block.Insert(0, first.data(), first.size()), BlockStatus::Ok);
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::atomic<int> reads{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 3; ++t) {
        senders.emplace_back([&] {
            while (!done.load()) {
                BlockSnapshot snapshot;
                if (block.TakeSnapshot(snapshot) != BlockStatus::Ok || snapshot.Size() == 0)
                    continue;
                // Every version the editor writes is one byte value repeated.
                const unsigned char value = snapshot.Data()[0];
                for (std::size_t at = 0; at < snapshot.Size(); ++at) {
                    if (snapshot.Data()[at] != value) {
                        wrong.fetch_add(1);
                        break;
                    }
                }
                BlockSnapshot handedOn = snapshot;
                snapshot.Reset();
                reads.fetch_add(handedOn.Size() != 0 ? 1 : 0);
            }
        });
    }
    std::vector<unsigned char> version;
    for (int round = 0; round < 400 || reads.load() < 50; ++round) {
        version.assign(static_cast<std::size_t>(1 + round % 7) * 40000, static_cast<unsigned char>(round));
        // Each change leaves the block whole under its lock: a snapshot sees one version or another.
        switch (round % 3) {
        case 0:
            ASSERT_EQ(block.Resize(0), BlockStatus::Ok);
            ASSERT_EQ(block.Insert(0, version.data(), version.size()), BlockStatus::Ok);
            break;
        case 1:
            block.MakeEmptyArray();
            ASSERT_EQ(block.Overwrite(0, version.data(), version.size()), BlockStatus::Ok);
            break;
        default:
            ASSERT_EQ(block.Erase(0, block.Size()), BlockStatus::Ok);
            ASSERT_EQ(block.Insert(0, version.data(), version.size()), BlockStatus::Ok);
            break;
        }
    }
    done = true;
    for (std::thread& sender : senders)
        sender.join();
    EXPECT_EQ(wrong.load(), 0) << "a snapshot saw the block change under it";
    EXPECT_FALSE(block.Shared());
}
