#pragma once
// The modem lines of a serial device through its own duplicate of the port's descriptor, so that
// the port's Close never closes a descriptor a line call is using. Wake puts a descriptor that
// refuses every call in its place and interrupts the waiter with a signal: a waiter about to
// block finds the refusing descriptor, one already blocked is interrupted. No Qt.

#include "serial/link/LineDevice.h"

#include <memory>
#include <mutex>
#include <pthread.h>

class DescriptorLines : public LineDevice {
public:
    // Window thread: a duplicate of `fd`; null when it cannot be made.
    static std::unique_ptr<DescriptorLines> Duplicate(int fd);
    ~DescriptorLines() override;

    int GetLines(int& lines) override;
    int SetLines(int lines, bool active) override;
    int SetBreak(bool on) override;
    int RingCount(long& count) override;
    int WaitForChange() override;
    void Wake() override;

private:
    explicit DescriptorLines(int fd) : m_fd(fd) {}
    int Call(unsigned long request, void* argument);

    const int m_fd;
    std::mutex m_lock;        // guards the two below
    bool m_woken = false;
    bool m_waiting = false;
    pthread_t m_waiter{};
};
