#include "serial/port/SerialReceiver.h"

#include "core/SerialStatus.h"

namespace {

// Reads per wake at most, so that a writer faster than the sink cannot keep the thread (and the
// port's lock) from seeing a stop; what is left wakes the next wait at once.
constexpr int kMaxReadsPerWake = 64;

// What an event thread reads into and hands to, fixed when it starts.
class CReceiveHandler : public CSerialEventHandler {
public:
    CReceiveHandler(std::shared_ptr<unsigned char[]> buffer, CReceiveSink* owner,
                    std::function<void(std::uint64_t)> onDeviceLost)
        : m_buffer(std::move(buffer)), m_owner(owner), m_onDeviceLost(std::move(onDeviceLost)) {}

    void OnSerialEvent(CSerialSession& opening, std::uint32_t events, std::uint32_t) override
    {
        // Only a pure receive event hands over; bytes that came with a break or a line error wait
        // in the device for the next one.
        if (events != EV_RXCHAR || !m_buffer)
            return;
        // Everything the device holds now, each read one delivery: fewer waits under a flood. A
        // read that fails on a hung-up device ends it; the wait then sees the hang-up. A read that
        // did not fill the buffer took all the device had: asking again would only read nothing,
        // and what comes meanwhile wakes the next wait at once.
        const CDeadline never(CSerialPort::kInfinite);
        for (int reads = 0; reads < kMaxReadsPerWake; ++reads) {
            std::uint32_t count = 0;
            if (opening.Read(m_buffer.get(), CSerialReceiver::kReceiveBufferSize, count, never) != serialstatus::kSuccess
                || count == 0)
                return;
            if (m_owner != nullptr)
                m_owner->Deliver(m_buffer.get(), count);
            if (count < CSerialReceiver::kReceiveBufferSize)
                return;
        }
    }

    // Lets the owner wait for room, port lock released.
    void AfterSerialEvent() override
    {
        if (m_owner != nullptr)
            m_owner->WaitForRoom();
    }

    void OnDeviceLost(std::uint64_t opening) override
    {
        if (m_onDeviceLost)
            m_onDeviceLost(opening);
    }

private:
    const std::shared_ptr<unsigned char[]> m_buffer;
    CReceiveSink* const m_owner;
    const std::function<void(std::uint64_t)> m_onDeviceLost;
};

} // namespace

CSerialReceiver::CSerialReceiver() = default;

CSerialReceiver::~CSerialReceiver()
{
    // The thread's handler may use the owner and handler this object was given: end it first.
    EndEventThreads();
}

void CSerialReceiver::AllocateReceiveBuffer()
{
    // Contents are not cleared: only bytes just read are ever handed over.
    m_receiveBuffer.reset(new unsigned char[kReceiveBufferSize]);
}

std::unique_ptr<CSerialEventHandler> CSerialReceiver::MakeEventHandler()
{
    if (!m_receiveBuffer)
        AllocateReceiveBuffer();
    return std::make_unique<CReceiveHandler>(m_receiveBuffer, m_owner, m_onDeviceLost);
}

void CSerialReceiver::OnSerialEvent(std::uint32_t events, std::uint32_t errors)
{
    const std::shared_ptr<CSerialSession> opening = CurrentOpening();
    if (opening)
        CReceiveHandler(m_receiveBuffer, m_owner, nullptr).OnSerialEvent(*opening, events, errors);
}
