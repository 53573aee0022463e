#pragma once
// The modem lines of an open serial link: DTR and RTS set by hand, a reset pulse and a break of a
// chosen length, and CTS, DSR, DCD and RI watched by a waiter thread of their own, with the ring
// edges counted since Begin. No Qt.

#include "serial/link/LineDevice.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct LineState {
    bool available = false;   // false: the device has no lines, or its driver refuses the calls
    int lines = 0;            // ModemLine bits
    long rings = 0;           // ring edges since Begin
    bool busy = false;        // a pulse or a break is running
};

// What the lines show. Called from the waiter and the timing threads and from the window's thread
// without a lock held; it only queues its work for the window's thread.
class ModemLinesView {
public:
    virtual ~ModemLinesView() = default;
    virtual void ShowLines(const LineState& state) = 0;
    // A thread could not be made: the lines are not watched (or the pulse did not run).
    virtual void ShowLinesProblem(const std::string& text) = 0;
};

class ModemLines {
public:
    static constexpr std::chrono::milliseconds kDefaultPulse{100};
    static constexpr std::chrono::milliseconds kDefaultBreak{250};

    explicit ModemLines(ModemLinesView& view) : m_view(view) {}
    // End must have run.
    ~ModemLines();
    ModemLines(const ModemLines&) = delete;
    ModemLines& operator=(const ModemLines&) = delete;

    // Window thread, right after the link opened: the lines as the opening left them, watched until
    // End. A device that refuses to tell its lines is shown unavailable and nothing else happens.
    void Begin(std::unique_ptr<LineDevice> device);
    // Window thread, before the port closes: wakes and joins the waiter and a pulse or break.
    void End();

    // Window thread. False when refused (no lines, a pulse or a break running).
    bool SetLine(int line, bool active);
    // `lines` active for `length`, then inactive; a break held for `length`. Timed on a thread of
    // their own, which a pulse's end never waits behind the window for.
    bool Pulse(int lines, std::chrono::milliseconds length);
    bool Break(std::chrono::milliseconds length);

    // Any thread.
    LineState State();

private:
    void WatchLines();
    bool RunTimed(std::function<int()> start, std::function<int()> finish, std::chrono::milliseconds length);
    // Reads the lines and the ring count and shows them.
    void Refresh();

    ModemLinesView& m_view;
    std::unique_ptr<LineDevice> m_device;

    std::mutex m_lock;                 // guards the state, m_ending and the timing flag
    std::condition_variable m_ended;   // ends a pulse's wait early at End
    LineState m_state;
    long m_ringsAtBegin = 0;
    bool m_ending = false;

    std::thread m_waiter;
    std::thread m_timer;
};
