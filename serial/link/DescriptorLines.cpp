#include "serial/link/DescriptorLines.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The signal that interrupts a waiter; its handler does nothing, its arrival is the point.
int WakeSignal()
{
    static std::once_flag installed;
    static const int signal = SIGRTMIN + 3;
    std::call_once(installed, [] {
        struct sigaction action{};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the blocked call returns EINTR
        ::sigaction(signal, &action, nullptr);
    });
    return signal;
}

} // namespace

std::unique_ptr<DescriptorLines> DescriptorLines::Duplicate(int fd)
{
    WakeSignal();
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    return std::unique_ptr<DescriptorLines>(new DescriptorLines(own));
}

DescriptorLines::~DescriptorLines()
{
    ::close(m_fd);
}

int DescriptorLines::Call(unsigned long request, void* argument)
{
    return ::ioctl(m_fd, request, argument) == 0 ? 0 : errno;
}

int DescriptorLines::GetLines(int& lines)
{
    return Call(TIOCMGET, &lines);
}

int DescriptorLines::SetLines(int lines, bool active)
{
    return Call(active ? TIOCMBIS : TIOCMBIC, &lines);
}

int DescriptorLines::SetBreak(bool on)
{
    return ::ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno;
}

int DescriptorLines::RingCount(long& count)
{
    serial_icounter_struct counts{};
    const int result = Call(TIOCGICOUNT, &counts);
    count = counts.rng;
    return result;
}

int DescriptorLines::WaitForChange()
{
    {
        std::lock_guard guard(m_lock);
        if (m_woken)
            return ECANCELED;
        m_waiting = true;
        m_waiter = ::pthread_self();
    }
    const unsigned long mask = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
    const int result = ::ioctl(m_fd, TIOCMIWAIT, mask) == 0 ? 0 : errno;
    std::lock_guard guard(m_lock);
    m_waiting = false;
    return m_woken ? ECANCELED : result;
}

void DescriptorLines::Wake()
{
    // The refusing descriptor first: a waiter between its check and its call then fails at once.
    const int refusing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    std::lock_guard guard(m_lock);
    m_woken = true;
    if (refusing >= 0) {
        ::dup2(refusing, m_fd);
        ::close(refusing);
    }
    if (m_waiting)
        ::pthread_kill(m_waiter, WakeSignal());
}
