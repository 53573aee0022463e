#pragma once
// The serial port of the main window: its event thread reads what the device has buffered at
// each pure receive event and hands the bytes to the window's receive sink.
//
// Threads: everything here on the controlling thread (the window's); the handler a thread is
// started with runs on that event thread.

#include "serial/port/SerialEventPort.h"

#include "core/ReceiveSink.h"

#include <functional>
#include <memory>

class CSerialReceiver : public CSerialEventPort {
public:
    static constexpr std::uint32_t kReceiveBufferSize = CReceiveSink::kMaxBlock;

    CSerialReceiver();
    ~CSerialReceiver() override;

    // Handles events of the current opening here, on the calling thread, with the current buffer
    // and owner: reads and hands over at a pure receive event. The event thread does the same with
    // what it was started with.
    void OnSerialEvent(std::uint32_t events, std::uint32_t errors);

    // A fresh buffer of kReceiveBufferSize bytes for the next opening. A thread still using the
    // old one keeps it until it ends.
    void AllocateReceiveBuffer();
    // The sink the bytes go to; set before the event thread is started.
    void SetOwner(CReceiveSink* owner) { m_owner = owner; }
    // Called on the event thread when the device of its opening hung up; set before the event
    // thread is started, like the owner.
    void SetDeviceLostHandler(std::function<void(std::uint64_t opening)> handler) { m_onDeviceLost = std::move(handler); }

protected:
    // The receive buffer (allocated now if there is none), the owner and the lost-device handler
    // as they are now, for the thread being started to keep.
    std::unique_ptr<CSerialEventHandler> MakeEventHandler() override;

private:
    CReceiveSink* m_owner = nullptr;
    std::function<void(std::uint64_t)> m_onDeviceLost;
    std::shared_ptr<unsigned char[]> m_receiveBuffer;
};
