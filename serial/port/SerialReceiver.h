#pragma once
// The serial port of the main window: its event thread reads what the device has buffered at
// each pure receive event and hands the bytes to the window's receive sink.

#include "serial/port/SerialEventPort.h"

#include "core/ReceiveSink.h"

#include <functional>
#include <memory>

class CSerialReceiver : public CSerialEventPort {
public:
    static constexpr std::uint32_t kReceiveBufferSize = CReceiveSink::kMaxBlock;

    CSerialReceiver();
    ~CSerialReceiver() override;

    // Starts the thread with the current receive buffer and owner, which it keeps for good.
    std::uint32_t StartEventThread() override;
    void OnSerialEvent(std::uint32_t events, std::uint32_t errors) override;
    // Lets the owner the thread was started with wait for room, port lock released.
    void AfterSerialEvent() override;
    // Passes the loss on to the handler the thread was started with.
    void OnDeviceLost(std::uint64_t opening) override;

    // A fresh buffer of kReceiveBufferSize bytes for the next opening. A thread still using the
    // old one keeps it until it ends.
    void AllocateReceiveBuffer();
    // The sink the bytes go to; set before the port is opened for the link.
    void SetOwner(CReceiveSink* owner) { m_owner = owner; }
    // Called on the event thread when the device of an opening hung up; set before the port is
    // opened for the link, like the owner.
    void SetDeviceLostHandler(std::function<void(std::uint64_t opening)> handler) { m_onDeviceLost = std::move(handler); }

protected:
    CReceiveSink* m_owner = nullptr;
    std::function<void(std::uint64_t)> m_onDeviceLost;
    std::shared_ptr<unsigned char[]> m_receiveBuffer;
};
