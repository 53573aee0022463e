#pragma once
// Records that several writers deliver at once: which writer, its running number and a check byte,
// so that a reader can tell a torn or reordered record from a whole one.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace testrecords {

constexpr std::size_t kRecord = 8;

inline void WriteRecord(unsigned char* out, unsigned writer, std::uint32_t seq)
{
    out[0] = static_cast<unsigned char>(writer);
    std::memcpy(out + 1, &seq, sizeof seq);
    out[5] = out[6] = 0;
    out[7] = static_cast<unsigned char>(0xA5 ^ writer ^ seq);
}

inline bool RecordIsWhole(const unsigned char* in, unsigned* writer, std::uint32_t* seq)
{
    *writer = in[0];
    std::memcpy(seq, in + 1, sizeof *seq);
    return in[7] == static_cast<unsigned char>(0xA5 ^ *writer ^ *seq);
}

} // namespace testrecords
