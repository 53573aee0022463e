#pragma once
// A completion record for the caller-waits mode: an operation started with a record only starts,
// and the caller waits on the record. Its event (eventfd-backed) is signalled on completion.

#include "platform/sync/Event.h"

#include <cstdint>
#include <memory>

class CSerialSession;

class CSerialCompletion {
public:
    explicit CSerialCompletion(plat::Event& event) : m_event(event) {}
    ~CSerialCompletion();
    CSerialCompletion(const CSerialCompletion&) = delete;
    CSerialCompletion& operator=(const CSerialCompletion&) = delete;

    plat::Event& Event() const { return m_event; }

    // Waits until `first` is signalled (0; it wins when both are), the operation started with
    // this record completes (1), or the time-out passes (-1). `first` may be null; a negative
    // time-out waits for ever. While an event wait is pending, this also watches the device, so
    // that the wait completes when the line has something to report.
    int Wait(plat::Event* first, int timeoutMs = -1);

private:
    friend class CSerialPort;
    friend class CSerialSession;

    plat::Event& m_event;
    std::shared_ptr<CSerialSession> m_session; // the opening an event wait was started on
};
