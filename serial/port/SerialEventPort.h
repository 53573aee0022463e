#pragma once
// A serial port with an event thread: one worker that waits for line events and hands each one
// to OnSerialEvent while it holds the port lock. The thread sleeps in a single poll on the device
// and its stop event; it never polls on a timer.

#include "serial/port/SerialPort.h"

#include "platform/sync/Event.h"

#include <memory>
#include <thread>
#include <vector>

class CSerialEventPort : public CSerialPort {
public:
    CSerialEventPort();
    ~CSerialEventPort() override;

    std::uint32_t Open(const std::string& deviceName, std::uint32_t inputQueueSize,
                       std::uint32_t outputQueueSize) override;
    // Wakes every blocked call and closes the device, then waits at most 100 ms for the thread.
    std::uint32_t Close() override;

    // Starts the thread; 0 without a second thread when one is running already.
    virtual std::uint32_t StartEventThread();
    // Asks the thread to end and waits for it at most the time-out; always 0.
    virtual std::uint32_t StopEventThread(std::uint32_t timeoutMs);
    // Called on the event thread, port lock held, with the events that occurred (masked) and the
    // line errors gathered since the last wake-up.
    virtual void OnSerialEvent(std::uint32_t events, std::uint32_t errors) = 0;
    // Called on the event thread after each OnSerialEvent, port lock released: where the handler
    // waits for whatever it must (never under the port lock).
    virtual void AfterSerialEvent() {}

    // Called on the event thread as it ends because the device hung up (an adapter unplugged, the
    // far end of a pseudo-terminal closed); the port is still open. `opening` names this
    // opening for IsCurrentOpening.
    virtual void OnDeviceLost(std::uint64_t opening);
    // Whether the event thread of `opening` is still the port's current one (window's thread).
    bool IsCurrentOpening(std::uint64_t opening) const;

    static constexpr std::uint32_t kStopWaitMs = 100;

    // Closes the port, stops every thread and waits for each as long as it takes: before the
    // object, or the window its threads deliver to, goes away, no thread may be left running.
    void EndEventThreads();

protected:
    // Starts the thread with data of the derived class that it keeps for its whole life, so
    // that a thread Close stopped waiting for never sees data of a later opening.
    std::uint32_t StartEventThreadWith(std::shared_ptr<void> attachment);
    // The attachment of the event thread of this object that calls; null on any other thread.
    std::shared_ptr<void> ThreadAttachment() const;
    bool HasEventThread() const { return m_hThread != nullptr; }

private:
    struct ThreadState;
    struct ThreadSlot {
        std::thread thread;
        std::shared_ptr<ThreadState> state;
    };

    static void EventThreadMain(CSerialEventPort* port, std::shared_ptr<ThreadState> state);
    // True when the loop ended because the device hung up.
    bool RunEventLoop(ThreadState& state);
    void JoinEndedThreads();

    std::unique_ptr<ThreadSlot> m_hThread;  // the running thread; null when none
    std::vector<ThreadSlot> m_staleThreads; // threads that outlived their stop wait
    std::uint64_t m_nThreadStarts = 0;       // numbers each thread's opening
};
