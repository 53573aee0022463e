#pragma once
// The current send request. It owns no memory: pData points into the Sending block while a send
// that was given it runs.

#include <cstdint>
#include <cstring>
#include <string>

struct SendJob {
    char szDestIp[16] = {};
    std::int16_t nDestPort = 0;
    std::int32_t bPeriodic = 0;
    std::int32_t nPeriodMs = 0;
    const unsigned char* pData = nullptr;
    std::int32_t nDataLen = 0;

    // False, and the text unchanged, when it has more than 15 characters.
    bool SetDestIp(const std::string& text)
    {
        if (text.size() > sizeof szDestIp - 1)
            return false;
        std::memcpy(szDestIp, text.c_str(), text.size() + 1);
        return true;
    }
    std::string GetDestIp() const { return szDestIp; }
    std::int16_t GetDestPort() const { return nDestPort; }
};
