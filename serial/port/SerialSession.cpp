#include "serial/port/SerialSession.h"

#include "serial/port/SerialEvents.h"

#include <cerrno>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

CSerialSession::CSerialSession(int fd) : m_hDevice(fd)
{
    ReadCounts(m_counts);
}

CSerialSession::~CSerialSession()
{
    if (m_hDevice >= 0)
        ::close(m_hDevice);
}

bool CSerialSession::Enter()
{
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return false;
    ++m_users;
    return true;
}

void CSerialSession::Leave()
{
    std::lock_guard lock(m_mutex);
    if (--m_users == 0)
        m_idle.notify_all();
}

void CSerialSession::Close()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_closed = true;
    }
    m_cancel.Set();
    std::unique_lock lock(m_mutex);
    // Every call inside polls the cancel descriptor or does not block, so this wait is short.
    m_idle.wait(lock, [this] { return m_users == 0; });
    // The exclusive flag belongs to the terminal, not to this descriptor: lift it, or the next
    // opener would be refused after we are gone.
    ::ioctl(m_hDevice, TIOCNXCL);
    ::close(m_hDevice);
    m_hDevice = -1;
}

bool CSerialSession::IsClosed()
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

std::uint32_t CSerialSession::EventMask()
{
    std::lock_guard lock(m_mutex);
    return m_eventMask;
}

void CSerialSession::SetEventMask(std::uint32_t mask)
{
    std::lock_guard lock(m_mutex);
    m_eventMask = mask;
}

std::uint32_t CSerialSession::TakeEvents()
{
    std::lock_guard lock(m_mutex);
    std::uint32_t events = m_occurredEvents & m_eventMask;
    m_occurredEvents = 0;
    return events;
}

std::uint32_t CSerialSession::TakeLineErrors()
{
    std::lock_guard lock(m_mutex);
    std::uint32_t errors = m_lineErrors;
    m_lineErrors = 0;
    return errors;
}

bool CSerialSession::ReadCounts(LineCounts& counts)
{
    if (!m_countsLines)
        return false;
    serial_icounter_struct icount{};
    if (::ioctl(m_hDevice, TIOCGICOUNT, &icount) != 0) {
        // A device without counters (a pseudo-terminal) answers ENOTTY or EINVAL: there is
        // nothing to count. Any other failure is passing; try again next time.
        if (errno == ENOTTY || errno == EINVAL)
            m_countsLines = false;
        return false;
    }
    counts.breaks = icount.brk;
    counts.frames = icount.frame;
    counts.parities = icount.parity;
    counts.overruns = icount.overrun;
    counts.bufferOverruns = icount.buf_overrun;
    return true;
}

std::uint32_t CSerialSession::SenseEvents(short revents)
{
    std::uint32_t events = (revents & POLLIN) ? EV_RXCHAR : 0;
    LineCounts now;
    std::lock_guard lock(m_mutex);
    if (revents & (POLLHUP | POLLERR | POLLNVAL))
        m_hungUp = true;
    if (ReadCounts(now)) {
        std::uint32_t errors = 0;
        if (now.breaks != m_counts.breaks)
            errors |= CE_BREAK;
        if (now.frames != m_counts.frames)
            errors |= CE_FRAME;
        if (now.parities != m_counts.parities)
            errors |= CE_RXPARITY;
        if (now.overruns != m_counts.overruns)
            errors |= CE_OVERRUN;
        if (now.bufferOverruns != m_counts.bufferOverruns)
            errors |= CE_RXOVER;
        m_counts = now;
        m_lineErrors |= errors;
        if (errors & CE_BREAK)
            events |= EV_BREAK;
        if (errors & ~CE_BREAK)
            events |= EV_ERR;
    }
    return events;
}

bool CSerialSession::HungUp()
{
    std::lock_guard lock(m_mutex);
    return m_hungUp;
}

int CSerialSession::ReadMode()
{
    std::lock_guard lock(m_mutex);
    return m_readMode;
}

void CSerialSession::SetReadMode(int mode)
{
    std::lock_guard lock(m_mutex);
    m_readMode = mode;
}

unsigned char CSerialSession::EventCharacter()
{
    std::lock_guard lock(m_mutex);
    return m_eventCharacter;
}

void CSerialSession::SetEventCharacter(unsigned char character)
{
    std::lock_guard lock(m_mutex);
    m_eventCharacter = character;
}
