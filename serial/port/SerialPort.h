#pragma once
// One serial communications device: open and close, line settings, handshaking, event mask and
// read mode, event waits, and reads and writes with a time-out. Every operation returns its status
// (serial/SerialStatus.h) with the call; nothing here talks to the user. Each operation waits for
// its own completion.
//
// Threads:
// - Open, Close, the setters, the getters: one controlling thread at a time (the window's).
// - Write, WriteWithin, WriteString: any thread (the send threads), also while the event thread
//   runs. One write goes at a time, whole; while it waits for room on the device it holds no lock.
// - Read, WaitForEvent, TakeEvents: a thread that reads the port itself while no event thread
//   runs (the event thread of CSerialEventPort reads its own opening).
// - IsOpen: any thread.

#include "serial/port/SerialEvents.h"
#include "serial/port/SerialSession.h"
#include "core/SerialStatus.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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
    // Applies from the next event wait.
    virtual std::uint32_t SetEventMask(std::uint32_t mask);
    // Waits until the line has an event the mask lets through (then TakeEvents gives it).
    virtual std::uint32_t WaitForEvent(std::uint32_t timeoutMs);
    virtual std::uint32_t SetHandshaking(HandshakingMode mode);
    virtual std::uint32_t SetReadMode(ReadMode mode);
    // The getters give their failure result (-1, or 0 for the mask and the character) when they
    // fail, and the status in `status` when one is asked for.
    virtual std::int64_t GetBaudRate(std::uint32_t* status = nullptr);
    virtual int GetDataBits(std::uint32_t* status = nullptr);
    virtual int GetParity(std::uint32_t* status = nullptr);
    virtual int GetStopBits(std::uint32_t* status = nullptr);
    virtual int GetHandshaking(std::uint32_t* status = nullptr);
    virtual std::uint32_t GetEventMask(std::uint32_t* status = nullptr);
    virtual std::uint8_t GetEventCharacter(std::uint32_t* status = nullptr);
    virtual std::uint32_t WriteString(const char* text, std::uint32_t* written, std::uint32_t timeoutMs);
    // When the time runs out, what is still queued for the line is dropped.
    virtual std::uint32_t Write(const void* data, std::uint32_t length, std::uint32_t* written,
                                std::uint32_t timeoutMs);
    // Writes what the device takes within `timeoutMs`; when the time runs out it returns the
    // time-out status with `written` saying how much went, and unlike Write's time-out it drops
    // nothing already queued for the line (a send that must notice its Stop writes so).
    std::uint32_t WriteWithin(const void* data, std::uint32_t length, std::uint32_t* written,
                              std::uint32_t timeoutMs);
    virtual std::uint32_t Read(void* buffer, std::uint32_t capacity, std::uint32_t* read, std::uint32_t timeoutMs);

    // The events of the last completed wait, masked by the event mask; clears them.
    std::uint32_t TakeEvents();

    // Open from a successful Open until Close, also after the device hung up.
    bool IsOpen() const;

protected:
    // The current opening; null when closed.
    std::shared_ptr<CSerialSession> CurrentOpening() const;
    // Held while the device is written to and while the event thread handles an event, so that a
    // send and the receive path never use the device at the same moment. The event thread holds
    // it for no wait; a write lets go of it while it waits for room.
    [[nodiscard]] std::unique_lock<std::mutex> HoldPort() { return std::unique_lock(m_portLock); }

private:
    // A write's turn: taken before the write and given back after it, waiting (with no lock held)
    // while another write has it.
    class CWriteTurn {
    public:
        explicit CWriteTurn(CSerialPort& port);
        ~CWriteTurn();
        CWriteTurn(const CWriteTurn&) = delete;
        CWriteTurn& operator=(const CWriteTurn&) = delete;

    private:
        CSerialPort& m_port;
    };

    std::uint32_t WriteFor(const void* data, std::uint32_t length, std::uint32_t* written,
                           std::uint32_t timeoutMs, CSerialSession::OnTimeout onTimeout);

    std::mutex m_portLock;

    std::mutex m_turnLock; // a leaf: guards m_writing only
    std::condition_variable m_turnFree;
    bool m_writing = false;

    mutable std::mutex m_sessionLock;
    std::shared_ptr<CSerialSession> m_session; // the current opening; null when closed
};
