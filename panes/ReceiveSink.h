#pragma once
// What a receiver needs from the window it delivers to: the lock that serialises changes of the
// Received Data block, and the sink that appends to it. The caller holds the lock around the call.

#include <mutex>

class CReceiveSink {
public:
    virtual ~CReceiveSink() = default;
    virtual std::mutex& ReceivedLock() = 0;
    // Called with ReceivedLock() held and 1 to 16384 bytes.
    virtual void AppendReceivedData(const unsigned char* data, int size) = 0;
};
