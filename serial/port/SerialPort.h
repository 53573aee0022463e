#pragma once
// One serial communications device: open and close, line settings, handshaking, event mask and
// read mode, event waits, and reads and writes with a time-out. Every operation stores its status
// (core/SerialStatus.h) in the object and returns it; nothing here talks to the user.
//
// An operation called without a completion record waits for its own completion (waited mode).
// With a record, an event wait only starts and the caller waits on the record (caller-waits
// mode); a read or a write with a record completes before it returns and signals the record.

#include "serial/port/SerialCompletion.h"
#include "serial/port/SerialEvents.h"
#include "core/SerialStatus.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CSerialSession;

enum HandshakingMode : int { HandshakingNone = 0, HandshakingHardware = 1, HandshakingSoftware = 2 };
// Non-blocking: a read returns at once with what is buffered. Blocking: a read waits for the full
// count (or its time-out).
enum ReadMode : int { ReadModeNonBlocking = 0, ReadModeBlocking = 1 };

class CSerialPort {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // "COMn" or a path; the queue sizes have no counterpart here and are accepted and ignored.
    virtual std::uint32_t Open(const std::string& deviceName, std::uint32_t inputQueueSize,
                               std::uint32_t outputQueueSize);
    virtual std::uint32_t Close();
    virtual std::uint32_t SetLineSettings(std::uint32_t baudRate, std::uint8_t dataBits,
                                          std::uint8_t parity, std::uint8_t stopBits);
    // The character is kept for GetEventCharacter; this build does not watch for it, so EV_RXFLAG
    // never occurs.
    virtual std::uint32_t SetEventCharacter(std::uint8_t character, bool addToMask);
    virtual std::uint32_t SetEventMask(std::uint32_t mask);
    virtual std::uint32_t WaitForEvent(CSerialCompletion* record, std::uint32_t timeoutMs);
    virtual std::uint32_t SetHandshaking(HandshakingMode mode);
    virtual std::uint32_t SetReadMode(ReadMode mode);
    virtual std::int64_t GetBaudRate();
    virtual int GetDataBits();
    virtual int GetParity();
    virtual int GetStopBits();
    virtual int GetHandshaking();
    virtual std::uint32_t GetEventMask();
    virtual std::uint8_t GetEventCharacter();
    virtual std::uint32_t WriteString(const char* text, std::uint32_t* written,
                                      CSerialCompletion* record, std::uint32_t timeoutMs);
    virtual std::uint32_t Write(const void* data, std::uint32_t length, std::uint32_t* written,
                                CSerialCompletion* record, std::uint32_t timeoutMs);
    // Any thread. Writes what the device takes within `timeoutMs`; when the time runs out it
    // returns the time-out status with `written` saying how much went, and unlike Write's time-out
    // it drops nothing already queued for the line (a send that must notice its Stop writes so).
    std::uint32_t WriteWithin(const void* data, std::uint32_t length, std::uint32_t* written,
                              std::uint32_t timeoutMs);
    virtual std::uint32_t Read(void* buffer, std::uint32_t capacity, std::uint32_t* read,
                               CSerialCompletion* record, std::uint32_t timeoutMs);

    // The events of the last completed wait, masked by the event mask; clears them.
    std::uint32_t TakeEvents();

    std::uint32_t LastStatus() const { return m_lastStatus.load(); }
    // Open from a successful Open until Close, also after the device hung up.
    bool IsOpen() const;

protected:
    // The opening the calling thread acts on: the one its event thread was started for when
    // called on an event thread of this object, else the current one (null when closed).
    std::shared_ptr<CSerialSession> Session() const;
    // Makes the calling thread act on this opening of the port whatever opening is current.
    static void BindThreadToSession(const CSerialPort* port, std::shared_ptr<CSerialSession> session);

    // Line errors since the last call, clearing them (the event thread does this every wake-up).
    std::uint32_t ClearLineErrors(std::uint32_t& errors);

    std::uint32_t WriteFor(const void* data, std::uint32_t length, std::uint32_t* written,
                           CSerialCompletion* record, std::uint32_t timeoutMs, bool dropQueuedOnTimeout);

    std::uint32_t Finish(std::uint32_t status)
    {
        m_lastStatus = status;
        return status;
    }

    std::atomic<std::uint32_t> m_lastStatus{0};

public:
    // Held by Write for its whole duration and by the event thread while it handles an event.
    std::mutex m_portLock;

private:
    mutable std::mutex m_sessionLock;
    std::shared_ptr<CSerialSession> m_session; // the current opening; null when closed
};
