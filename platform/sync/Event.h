#pragma once
// Signalling events in the manner of the window system's events: auto-reset (a successful wait
// consumes the signal, one waiter wakes) or manual-reset (stays signalled until Reset). Each event is
// an eventfd, so a worker can also wait for one together with a socket or a device in poll().

namespace plat {

class Event {
public:
    enum class Kind { AutoReset, ManualReset };

    explicit Event(Kind kind = Kind::AutoReset);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits until the event is signalled; a negative time-out waits for ever. Returns true when the
    // event was signalled (and, for an auto-reset event, consumed by this wait), false on time-out.
    bool Wait(int timeoutMs = -1);
    // Whether the event is signalled now, without consuming it.
    bool IsSet() const;
    // A descriptor that polls readable while the event is signalled.
    int Descriptor() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }

    // Consumes the signal of an auto-reset event without waiting; true when there was one. A
    // manual-reset event is only tested.
    bool TryTake();

private:
    int m_fd;
    Kind m_kind;
};

// Waits for either event; the first wins when both are signalled. Returns 0 or 1 for the event that
// ended the wait (consumed when auto-reset), or -1 on time-out. A negative time-out waits for ever.
int WaitAny(Event& first, Event& second, int timeoutMs = -1);

} // namespace plat
