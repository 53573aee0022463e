#pragma once
// The serial port of the main window: its event thread reads what the device has buffered at
// each pure receive event and hands the bytes to the window's receive sink.

#include "serial/SerialEventPort.h"

#include "platform/receive/ReceiveSink.h"

#include <memory>

class CSerialReceiver : public CSerialEventPort {
public:
    static constexpr std::uint32_t kReceiveBufferSize = 16384;

    CSerialReceiver();
    ~CSerialReceiver() override;

    // Starts the thread with the current receive buffer and owner, which it keeps for good.
    std::uint32_t StartEventThread() override;
    void OnSerialEvent(std::uint32_t events, std::uint32_t errors) override;

    // A fresh buffer of kReceiveBufferSize bytes for the next opening. A thread still using the
    // old one keeps it until it ends.
    void AllocateReceiveBuffer();
    // The sink the bytes go to; set before the port is opened for the link.
    void SetOwner(CReceiveSink* owner) { m_owner = owner; }

protected:
    CReceiveSink* m_owner = nullptr;
    std::shared_ptr<unsigned char[]> m_receiveBuffer;
};
