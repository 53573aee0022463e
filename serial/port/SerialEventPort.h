#pragma once
// A serial port with an event thread: one worker that waits for line events on the opening it was
// started for and hands each one to the handler it was started with, while it holds the port lock.
// The thread sleeps in a single poll on the device, the opening's cancel descriptor and its stop
// event; it never polls on a timer.
//
// Threads: Open, Close, StartEventThread, StopEventThread, IsCurrentOpening and EndEventThreads on
// the controlling thread (the window's); the handler's functions on the event thread.

#include "serial/port/SerialPort.h"

#include "platform/sync/Event.h"

#include <memory>
#include <thread>
#include <vector>

// What an event thread serves: handed to it when it starts and kept until it ends, so that a thread
// Close stopped waiting for never sees anything of a later opening.
class CSerialEventHandler {
public:
    virtual ~CSerialEventHandler() = default;
    // Event thread, port lock held: the events that occurred on the thread's opening (masked) and
    // the line errors gathered since the last wake-up.
    virtual void OnSerialEvent(CSerialSession& opening, std::uint32_t events, std::uint32_t errors) = 0;
    // Event thread, after each OnSerialEvent, no lock held: where the handler waits for whatever it
    // must.
    virtual void AfterSerialEvent() {}
    // Event thread, as it ends because the device hung up (an adapter unplugged, the far end of a
    // pseudo-terminal closed); the port is still open. `opening` names this opening for
    // IsCurrentOpening.
    virtual void OnDeviceLost(std::uint64_t /*opening*/) {}
};

class CSerialEventPort : public CSerialPort {
public:
    CSerialEventPort();
    ~CSerialEventPort() override;

    std::uint32_t Open(const std::string& deviceName, std::uint32_t inputQueueSize,
                       std::uint32_t outputQueueSize) override;
    // Wakes every blocked call and closes the device, then waits at most 100 ms for the thread.
    std::uint32_t Close() override;

    // Starts the thread on the current opening with the handler MakeEventHandler gives; 0 without
    // a second thread when one is running already.
    virtual std::uint32_t StartEventThread();
    // Asks the thread to end and waits for it at most the time-out; always 0.
    virtual std::uint32_t StopEventThread(std::uint32_t timeoutMs);
    // Whether the event thread of `opening` is still the port's current one.
    bool IsCurrentOpening(std::uint64_t opening) const;

    static constexpr std::uint32_t kStopWaitMs = 100;

    // Closes the port, stops every thread and waits for each as long as it takes: before the
    // object, or the window its threads deliver to, goes away, no thread may be left running.
    void EndEventThreads();

protected:
    // What a thread started now serves (controlling thread, from StartEventThread).
    virtual std::unique_ptr<CSerialEventHandler> MakeEventHandler() = 0;

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
