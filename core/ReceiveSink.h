#pragma once
// Where received bytes go, from any link: one way in, Deliver, which takes the sink's lock itself and
// hands the bytes on in blocks of at most kMaxBlock bytes, then WaitForRoom. Receivers never hold the
// lock themselves.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

// A receiver's right to deliver: the epoch of its link when it started, checked against the link's
// current epoch under the sink's lock. Once the link is torn down nothing more of it lands, so
// that what the window shows after the teardown is the last word.
struct DeliveryClaim {
    const std::atomic<std::uint64_t>* current = nullptr; // null: always delivers
    std::uint64_t epoch = 0;
    bool Holds() const { return current == nullptr || current->load(std::memory_order_acquire) == epoch; }
};

class CReceiveSink {
public:
    static constexpr std::size_t kMaxBlock = 16384;

    virtual ~CReceiveSink() = default;

    // Any thread (the receive workers). Appends `size` bytes in blocks of at most kMaxBlock bytes; no
    // other delivery, clear or save comes between the blocks of one delivery. Nothing when `claim`
    // no longer holds.
    void Deliver(const unsigned char* data, std::size_t size, DeliveryClaim claim = {});
    // Receive workers, after a delivery, holding no lock (not the port's either): returns once the
    // sink can take more. Deliveries never wait; whatever a receiver must wait for (a recording's
    // disk, a holder of the bytes) it waits for here, which also slows a TCP sender.
    virtual void WaitForRoom() {}

    // Any thread. Held by Deliver around each block; a clear or a save takes it to stand between two
    // blocks. Never held while waiting for the window's thread.
    std::mutex& ReceivedLock() { return m_lock; }

protected:
    // Called by Deliver with ReceivedLock() held and 1 to kMaxBlock bytes.
    virtual void AppendReceivedData(const unsigned char* data, int size) = 0;

private:
    std::mutex m_lock;
};
