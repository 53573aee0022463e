#include "serial/port/SerialPort.h"

#include "serial/port/DeviceOpen.h"
#include "serial/port/LineSettings.h"

#include <cstring>

using namespace serialstatus;

namespace {

// Gives the status to a caller that asked for it and passes the value on.
template <typename T>
T Report(T value, std::uint32_t status, std::uint32_t* out)
{
    if (out != nullptr)
        *out = status;
    return value;
}

// Reads the line settings for a getter: -1 with the status on failure.
template <typename Pick>
std::int64_t ReadSetting(std::shared_ptr<CSerialSession> current, std::uint32_t* status, Pick pick)
{
    CSessionUse session(std::move(current));
    if (!session)
        return Report<std::int64_t>(-1, kNotOpen, status);
    LineSettings settings;
    const std::uint32_t result = ReadLineSettings(session.Descriptor(), settings);
    return Report<std::int64_t>(result == kSuccess ? pick(settings) : -1, result, status);
}

} // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    // Not the virtual Close: a derived part is already gone.
    if (m_session)
        m_session->Close();
}

CSerialPort::CWriteTurn::CWriteTurn(CSerialPort& port) : m_port(port)
{
    std::unique_lock lock(m_port.m_turnLock);
    m_port.m_turnFree.wait(lock, [this] { return !m_port.m_writing; });
    m_port.m_writing = true;
}

CSerialPort::CWriteTurn::~CWriteTurn()
{
    {
        std::lock_guard lock(m_port.m_turnLock);
        m_port.m_writing = false;
    }
    m_port.m_turnFree.notify_one();
}

std::shared_ptr<CSerialSession> CSerialPort::CurrentOpening() const
{
    std::lock_guard lock(m_sessionLock);
    return m_session;
}

bool CSerialPort::IsOpen() const
{
    std::shared_ptr<CSerialSession> session = CurrentOpening();
    return session && !session->IsClosed();
}

std::uint32_t CSerialPort::Open(const std::string& deviceName, std::uint32_t, std::uint32_t)
{
    if (IsOpen())
        return kAlreadyOpen;
    int fd = -1;
    if (std::uint32_t status = OpenSerialDevice(deviceName, fd); status != kSuccess)
        return status;
    {
        std::lock_guard lock(m_sessionLock);
        m_session = std::make_shared<CSerialSession>(fd);
    }
    SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    // A failed read mode fails the open but leaves the device open, as Close expects.
    return SetReadMode(ReadModeNonBlocking);
}

std::uint32_t CSerialPort::Close()
{
    std::shared_ptr<CSerialSession> session;
    {
        std::lock_guard lock(m_sessionLock);
        session.swap(m_session);
    }
    // Wakes every call blocked on the device at once and closes it.
    if (session)
        session->Close();
    return kSuccess;
}

std::uint32_t CSerialPort::SetLineSettings(std::uint32_t baudRate, std::uint8_t dataBits,
                                           std::uint8_t parity, std::uint8_t stopBits)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return kNotOpen;
    return ApplyLineSettings(session.Descriptor(), {baudRate, dataBits, parity, stopBits});
}

std::uint32_t CSerialPort::SetEventCharacter(std::uint8_t character, bool addToMask)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return kNotOpen;
    if (addToMask) {
        if (std::uint32_t status = SetEventMask(GetEventMask() | EV_RXFLAG); status != kSuccess)
            return status;
    }
    session->SetEventCharacter(character);
    return kSuccess;
}

std::uint32_t CSerialPort::SetEventMask(std::uint32_t mask)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return kNotOpen;
    session->SetEventMask(mask);
    return kSuccess;
}

std::uint32_t CSerialPort::SetHandshaking(HandshakingMode mode)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return kNotOpen;
    return ApplyHandshaking(session.Descriptor(), mode);
}

std::uint32_t CSerialPort::SetReadMode(ReadMode mode)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return kNotOpen;
    if (mode != ReadModeNonBlocking && mode != ReadModeBlocking)
        return kInvalidMode;
    session->SetReadMode(mode);
    return kSuccess;
}

std::int64_t CSerialPort::GetBaudRate(std::uint32_t* status)
{
    return ReadSetting(CurrentOpening(), status, [](const LineSettings& s) { return std::int64_t(s.baudRate); });
}

int CSerialPort::GetDataBits(std::uint32_t* status)
{
    return static_cast<int>(ReadSetting(CurrentOpening(), status, [](const LineSettings& s) { return s.dataBits; }));
}

int CSerialPort::GetParity(std::uint32_t* status)
{
    return static_cast<int>(ReadSetting(CurrentOpening(), status, [](const LineSettings& s) { return s.parity; }));
}

int CSerialPort::GetStopBits(std::uint32_t* status)
{
    return static_cast<int>(ReadSetting(CurrentOpening(), status, [](const LineSettings& s) { return s.stopBits; }));
}

int CSerialPort::GetHandshaking(std::uint32_t* status)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return Report(-1, kNotOpen, status);
    int mode = -1;
    const std::uint32_t result = ReadHandshaking(session.Descriptor(), mode);
    return Report(result == kSuccess ? mode : -1, result, status);
}

std::uint32_t CSerialPort::GetEventMask(std::uint32_t* status)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return Report<std::uint32_t>(0, kNotOpen, status);
    return Report(session->EventMask(), kSuccess, status);
}

std::uint8_t CSerialPort::GetEventCharacter(std::uint32_t* status)
{
    CSessionUse session(CurrentOpening());
    if (!session)
        return Report<std::uint8_t>(0, kNotOpen, status);
    return Report<std::uint8_t>(session->EventCharacter(), kSuccess, status);
}

std::uint32_t CSerialPort::TakeEvents()
{
    std::shared_ptr<CSerialSession> session = CurrentOpening();
    return session ? session->TakeEvents() : 0;
}

std::uint32_t CSerialPort::WriteString(const char* text, std::uint32_t* written, std::uint32_t timeoutMs)
{
    return Write(text, static_cast<std::uint32_t>(std::strlen(text)), written, timeoutMs);
}
