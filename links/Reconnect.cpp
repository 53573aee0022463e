#include "links/Reconnect.h"

#include <algorithm>

std::chrono::milliseconds ReconnectBackoff::Next()
{
    const std::chrono::milliseconds pause = m_next;
    m_next = std::min(m_next * 2, kLongest);
    return pause;
}

std::string ReconnectBackoff::NextTryText(std::chrono::milliseconds pause)
{
    const long long ms = pause.count();
    const std::string seconds = ms % 1000 == 0 ? std::to_string(ms / 1000)
                                               : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
    return "Next try in " + seconds + " s";
}
