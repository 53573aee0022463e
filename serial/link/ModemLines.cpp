#include "serial/link/ModemLines.h"

#include <cerrno>
#include <system_error>

namespace {
constexpr const char* kNoThreadText = "The modem lines cannot be shown: no thread could be created.";
}

ModemLines::~ModemLines()
{
    End();
}

void ModemLines::Begin(std::unique_ptr<LineDevice> device)
{
    End();
    int lines = 0;
    long rings = 0;
    const bool available = device && device->GetLines(lines) == 0;
    {
        std::lock_guard guard(m_lock);
        m_ending = false;
        m_state = LineState{};
        m_state.available = available;
        m_state.lines = lines;
        // A driver that counts no edges shows a count of 0.
        if (available && device->RingCount(rings) == 0)
            m_ringsAtBegin = rings;
        else
            m_ringsAtBegin = -1;
    }
    if (!available) {
        m_view.ShowLines(State());
        return;
    }
    m_device = std::move(device);
    m_view.ShowLines(State());
    try {
        m_waiter = std::thread([this] { WatchLines(); });
    } catch (const std::system_error&) {
        m_view.ShowLinesProblem(kNoThreadText);
    }
}

void ModemLines::End()
{
    {
        std::lock_guard guard(m_lock);
        m_ending = true;
    }
    // A pulse or a break first, so that it puts its line back while the device still answers.
    m_ended.notify_all();
    if (m_timer.joinable())
        m_timer.join();
    if (m_device)
        m_device->Wake();
    if (m_waiter.joinable())
        m_waiter.join();
    const bool wasShown = m_device != nullptr;
    m_device.reset();
    {
        std::lock_guard guard(m_lock);
        m_state = LineState{};
    }
    if (wasShown)
        m_view.ShowLines(State());
}

void ModemLines::WatchLines()
{
    // The driver's wait starts from the lines as they are when it is called: they are read right
    // before it, so that a change made since the last reading shows.
    for (;;) {
        Refresh();
        int result;
        do
            result = m_device->WaitForChange();
        while (result == EINTR);
        // Woken at End, unplugged (EIO), or a driver that cannot wait for its lines: the lamps
        // keep what they showed last.
        if (result != 0)
            return;
    }
}

void ModemLines::Refresh()
{
    int lines = 0;
    long rings = 0;
    const bool read = m_device->GetLines(lines) == 0;
    const bool counted = m_device->RingCount(rings) == 0;
    LineState shown;
    {
        std::lock_guard guard(m_lock);
        if (read) {
            // Without the driver's count, the edges this watch saw.
            if (m_ringsAtBegin < 0 && (lines & LineRi) && !(m_state.lines & LineRi))
                ++m_state.rings;
            m_state.lines = lines;
        }
        if (counted && m_ringsAtBegin >= 0)
            m_state.rings = rings - m_ringsAtBegin;
        shown = m_state;
    }
    m_view.ShowLines(shown);
}

LineState ModemLines::State()
{
    std::lock_guard guard(m_lock);
    return m_state;
}

bool ModemLines::SetLine(int line, bool active)
{
    const LineState now = State();
    if (!now.available || now.busy)
        return false;
    const int result = m_device->SetLines(line, active);
    Refresh();
    return result == 0;
}

bool ModemLines::Pulse(int lines, std::chrono::milliseconds length)
{
    return RunTimed([this, lines] { return m_device->SetLines(lines, true); },
                    [this, lines] { return m_device->SetLines(lines, false); }, length);
}

bool ModemLines::Break(std::chrono::milliseconds length)
{
    return RunTimed([this] { return m_device->SetBreak(true); }, [this] { return m_device->SetBreak(false); },
                    length);
}

bool ModemLines::RunTimed(std::function<int()> start, std::function<int()> finish, std::chrono::milliseconds length)
{
    {
        std::lock_guard guard(m_lock);
        if (!m_state.available || m_state.busy || m_ending)
            return false;
        m_state.busy = true;
    }
    // The last one has put its line back and is only leaving.
    if (m_timer.joinable())
        m_timer.join();
    const auto until = std::chrono::steady_clock::now() + length;
    if (start() != 0) {
        {
            std::lock_guard guard(m_lock);
            m_state.busy = false;
        }
        Refresh();
        return false;
    }
    Refresh();
    auto timed = [this, finish, until] {
        {
            std::unique_lock lock(m_lock);
            m_ended.wait_until(lock, until, [this] { return m_ending; });
        }
        finish();
        {
            std::lock_guard guard(m_lock);
            m_state.busy = false;
        }
        Refresh();
    };
    try {
        m_timer = std::thread(timed);
    } catch (const std::system_error&) {
        // Nothing can time it: it ends at once rather than never.
        finish();
        {
            std::lock_guard guard(m_lock);
            m_state.busy = false;
        }
        Refresh();
        m_view.ShowLinesProblem(kNoThreadText);
        return false;
    }
    return true;
}
