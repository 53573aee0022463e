#pragma once
// Where received bytes go, from any link: one way in, Deliver, which takes the sink's lock itself and
// hands the bytes on in blocks of at most kMaxBlock bytes. Receivers never hold the lock themselves.

#include <cstddef>
#include <mutex>

class CReceiveSink {
public:
    static constexpr std::size_t kMaxBlock = 16384;

    virtual ~CReceiveSink() = default;

    // Any thread (the receive workers). Appends `size` bytes in blocks of at most kMaxBlock bytes; no
    // other delivery, clear or save comes between the blocks of one delivery.
    void Deliver(const unsigned char* data, std::size_t size);

    // Any thread. Held by Deliver around each block; a clear or a save takes it to stand between two
    // blocks. Never held while waiting for the window's thread.
    std::mutex& ReceivedLock() { return m_lock; }

protected:
    // Called by Deliver with ReceivedLock() held and 1 to kMaxBlock bytes.
    virtual void AppendReceivedData(const unsigned char* data, int size) = 0;

private:
    std::mutex m_lock;
};
