#include "serial/port/SerialReceiver.h"

#include "core/SerialStatus.h"

namespace {

// Reads per wake at most, so that a writer faster than the sink cannot keep the thread (and the
// port's lock) from seeing a stop; what is left wakes the next wait at once.
constexpr int kMaxReadsPerWake = 64;

// What an event thread reads into and hands to, fixed when it starts.
struct ReceiveTarget {
    std::shared_ptr<unsigned char[]> buffer;
    CReceiveSink* owner;
    std::function<void(std::uint64_t)> onDeviceLost;
};

} // namespace

CSerialReceiver::CSerialReceiver() = default;

CSerialReceiver::~CSerialReceiver()
{
    // The thread runs OnSerialEvent of this class: it must be gone before this part is.
    EndEventThreads();
}

void CSerialReceiver::AllocateReceiveBuffer()
{
    // Contents are not cleared: only bytes just read are ever handed over.
    m_receiveBuffer.reset(new unsigned char[kReceiveBufferSize]);
}

std::uint32_t CSerialReceiver::StartEventThread()
{
    if (HasEventThread())
        return StartEventThreadWith(nullptr);
    if (!m_receiveBuffer)
        AllocateReceiveBuffer();
    return StartEventThreadWith(std::make_shared<ReceiveTarget>(ReceiveTarget{m_receiveBuffer, m_owner, m_onDeviceLost}));
}

void CSerialReceiver::OnSerialEvent(std::uint32_t events, std::uint32_t)
{
    // Only a pure receive event hands over; bytes that came with a break or a line error wait
    // in the device for the next one.
    if (events != EV_RXCHAR)
        return;
    // On the event thread: what it was started with. Called directly: the current ones.
    auto started = std::static_pointer_cast<ReceiveTarget>(ThreadAttachment());
    const ReceiveTarget target = started ? *started : ReceiveTarget{m_receiveBuffer, m_owner, nullptr};
    if (!target.buffer)
        return;
    // Everything the device holds now, each read one delivery: fewer waits under a flood. A read
    // that fails on a hung-up device ends it; the wait then sees the hang-up. A read that did not
    // fill the buffer took all the device had: asking again would only read nothing, and what
    // comes meanwhile wakes the next wait at once.
    for (int reads = 0; reads < kMaxReadsPerWake; ++reads) {
        std::uint32_t count = 0;
        if (Read(target.buffer.get(), kReceiveBufferSize, &count, nullptr, kInfinite) != serialstatus::kSuccess
            || count == 0)
            return;
        if (target.owner != nullptr)
            target.owner->Deliver(target.buffer.get(), count);
        if (count < kReceiveBufferSize)
            return;
    }
}

void CSerialReceiver::AfterSerialEvent()
{
    auto started = std::static_pointer_cast<ReceiveTarget>(ThreadAttachment());
    if (started && started->owner != nullptr)
        started->owner->WaitForRoom();
}

void CSerialReceiver::OnDeviceLost(std::uint64_t opening)
{
    auto started = std::static_pointer_cast<ReceiveTarget>(ThreadAttachment());
    if (started && started->onDeviceLost)
        started->onDeviceLost(opening);
}
