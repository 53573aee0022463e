#pragma once
// A time-out in milliseconds as the serial operations take it: 0xFFFFFFFF waits for ever.

#include <chrono>
#include <cstdint>

class CDeadline {
public:
    explicit CDeadline(std::uint32_t timeoutMs)
        : m_forever(timeoutMs == 0xFFFFFFFFu),
          m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    // For poll(): -1 for ever, 0 once passed, else the milliseconds left rounded up.
    int RemainingMs() const
    {
        if (m_forever)
            return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        return left.count() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left.count());
    }
    bool Passed() const { return RemainingMs() == 0; }

private:
    bool m_forever;
    std::chrono::steady_clock::time_point m_end;
};
