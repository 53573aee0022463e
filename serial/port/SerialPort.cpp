#include "serial/port/SerialPort.h"

#include "serial/port/DeviceOpen.h"
#include "serial/port/LineSettings.h"
#include "serial/port/SerialSession.h"

#include <cstring>

using namespace serialstatus;

namespace {

// Which opening an event thread serves; set once when the thread starts.
struct ThreadBinding {
    const CSerialPort* port = nullptr;
    std::shared_ptr<CSerialSession> session;
};
thread_local ThreadBinding t_binding;

} // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    // Not the virtual Close: a derived part is already gone.
    if (m_session)
        m_session->Close();
}

std::shared_ptr<CSerialSession> CSerialPort::Session() const
{
    if (t_binding.port == this)
        return t_binding.session;
    std::lock_guard lock(m_sessionLock);
    return m_session;
}

void CSerialPort::BindThreadToSession(const CSerialPort* port, std::shared_ptr<CSerialSession> session)
{
    t_binding.port = port;
    t_binding.session = std::move(session);
}

bool CSerialPort::IsOpen() const
{
    std::shared_ptr<CSerialSession> session = Session();
    return session && !session->IsClosed();
}

std::uint32_t CSerialPort::Open(const std::string& deviceName, std::uint32_t, std::uint32_t)
{
    m_lastStatus = kSuccess;
    if (IsOpen())
        return Finish(kAlreadyOpen);
    int fd = -1;
    if (std::uint32_t status = OpenSerialDevice(deviceName, fd); status != kSuccess)
        return Finish(status);
    {
        std::lock_guard lock(m_sessionLock);
        m_session = std::make_shared<CSerialSession>(fd);
    }
    SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    // A failed read mode fails the open but leaves the device open, as Close expects.
    return Finish(SetReadMode(ReadModeNonBlocking));
}

std::uint32_t CSerialPort::Close()
{
    m_lastStatus = kSuccess;
    std::shared_ptr<CSerialSession> session;
    {
        std::lock_guard lock(m_sessionLock);
        session.swap(m_session);
    }
    // Wakes every call blocked on the device at once and closes it.
    if (session)
        session->Close();
    return Finish(kSuccess);
}

std::uint32_t CSerialPort::SetLineSettings(std::uint32_t baudRate, std::uint8_t dataBits,
                                           std::uint8_t parity, std::uint8_t stopBits)
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    return Finish(ApplyLineSettings(session.Descriptor(), {baudRate, dataBits, parity, stopBits}));
}

std::uint32_t CSerialPort::SetEventCharacter(std::uint8_t character, bool addToMask)
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    if (addToMask) {
        if (std::uint32_t status = SetEventMask(GetEventMask() | EV_RXFLAG); status != kSuccess)
            return Finish(status);
    }
    session->SetEventCharacter(character);
    return Finish(kSuccess);
}

std::uint32_t CSerialPort::SetEventMask(std::uint32_t mask)
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    session->SetEventMask(mask);
    return Finish(kSuccess);
}

std::uint32_t CSerialPort::SetHandshaking(HandshakingMode mode)
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    return Finish(ApplyHandshaking(session.Descriptor(), mode));
}

std::uint32_t CSerialPort::SetReadMode(ReadMode mode)
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    if (mode != ReadModeNonBlocking && mode != ReadModeBlocking)
        return Finish(kInvalidMode);
    session->SetReadMode(mode);
    return Finish(kSuccess);
}

namespace {

// Reads the line settings for a getter: -1 with the status on failure.
template <typename Pick>
std::int64_t ReadSetting(const std::shared_ptr<CSerialSession>& current, std::uint32_t& status, Pick pick)
{
    CSessionUse session(current);
    if (!session) {
        status = kNotOpen;
        return -1;
    }
    LineSettings settings;
    status = ReadLineSettings(session.Descriptor(), settings);
    return status == kSuccess ? pick(settings) : -1;
}

} // namespace

std::int64_t CSerialPort::GetBaudRate()
{
    std::uint32_t status = kSuccess;
    auto value = ReadSetting(Session(), status, [](const LineSettings& s) { return std::int64_t(s.baudRate); });
    Finish(status);
    return value;
}

int CSerialPort::GetDataBits()
{
    std::uint32_t status = kSuccess;
    auto value = ReadSetting(Session(), status, [](const LineSettings& s) { return s.dataBits; });
    Finish(status);
    return static_cast<int>(value);
}

int CSerialPort::GetParity()
{
    std::uint32_t status = kSuccess;
    auto value = ReadSetting(Session(), status, [](const LineSettings& s) { return s.parity; });
    Finish(status);
    return static_cast<int>(value);
}

int CSerialPort::GetStopBits()
{
    std::uint32_t status = kSuccess;
    auto value = ReadSetting(Session(), status, [](const LineSettings& s) { return s.stopBits; });
    Finish(status);
    return static_cast<int>(value);
}

int CSerialPort::GetHandshaking()
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session) {
        Finish(kNotOpen);
        return -1;
    }
    int mode = -1;
    if (Finish(ReadHandshaking(session.Descriptor(), mode)) != kSuccess)
        return -1;
    return mode;
}

std::uint32_t CSerialPort::GetEventMask()
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session) {
        Finish(kNotOpen);
        return 0;
    }
    return session->EventMask();
}

std::uint8_t CSerialPort::GetEventCharacter()
{
    m_lastStatus = kSuccess;
    CSessionUse session(Session());
    if (!session) {
        Finish(kNotOpen);
        return 0;
    }
    return session->EventCharacter();
}

std::uint32_t CSerialPort::TakeEvents()
{
    std::shared_ptr<CSerialSession> session = Session();
    return session ? session->TakeEvents() : 0;
}

std::uint32_t CSerialPort::ClearLineErrors(std::uint32_t& errors)
{
    errors = 0;
    CSessionUse session(Session());
    if (!session)
        return Finish(kNotOpen);
    errors = session->TakeLineErrors();
    return kSuccess;
}

std::uint32_t CSerialPort::WriteString(const char* text, std::uint32_t* written,
                                       CSerialCompletion* record, std::uint32_t timeoutMs)
{
    m_lastStatus = kSuccess;
    return Write(text, static_cast<std::uint32_t>(std::strlen(text)), written, record, timeoutMs);
}
