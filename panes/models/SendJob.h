#pragma once
// The current send request: the UDP destination (guarded by the send engine's lock) and the
// periodic flag and period, which the send threads read live through atomic references.

#include <cstdint>
#include <cstring>
#include <string>

struct SendJob {
    char szDestIp[16] = {};
    std::int16_t nDestPort = 0;
    std::int32_t bPeriodic = 0;
    std::int32_t nPeriodMs = 0;

    // False, and the text unchanged, when it has more than 15 characters.
    bool SetDestIp(const std::string& text)
    {
        if (text.size() > sizeof szDestIp - 1)
            return false;
        std::memcpy(szDestIp, text.c_str(), text.size() + 1);
        return true;
    }
    std::int16_t GetDestPort() const { return nDestPort; }
};
