#pragma once
// Waits, on a thread of its own, for a lost serial device to come back under its name: it follows
// udev's announcements of new ttys and, for names udev does not announce (a "comN" link to a
// pseudo-terminal, a link to a link), watches with inotify the folder of each link on the way.
// Nothing polls: the thread sleeps in poll() until one of those, or End, wakes it.
//
// Begin, End and Waiting run on one thread (the window's); `back` runs on the watch's thread.

#include <functional>
#include <string>
#include <thread>

class DeviceReturnWatch {
public:
    DeviceReturnWatch() = default;
    ~DeviceReturnWatch() { End(); }
    DeviceReturnWatch(const DeviceReturnWatch&) = delete;
    DeviceReturnWatch& operator=(const DeviceReturnWatch&) = delete;

    // Waits for `name` (a "COMn" or a path) to lead to a device that can be opened and, when
    // `identity` is not empty, whose /dev/serial/by-id name is `identity`; then calls `back` once
    // and ends. Ends a wait already running first. Returns an empty text when waiting, else what
    // prevented it.
    std::string Begin(const std::string& name, const std::string& identity, std::function<void()> back);
    // Ends the waiting at once; `back` is not called after this returns.
    void End();
    bool Waiting() const { return m_thread.joinable(); }

    // Any thread. The /dev/serial/by-id name of the device `path` leads to; empty when it has none.
    static std::string IdentityOf(const std::string& path);

private:
    std::thread m_thread;
    int m_wake = -1; // an eventfd End writes to
};
