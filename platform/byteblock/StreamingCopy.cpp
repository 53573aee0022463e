#include "platform/byteblock/StreamingCopy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::detail {

void StreamingCopy(unsigned char* to, const unsigned char* from, std::size_t n)
{
#if defined(__SSE2__)
    constexpr std::size_t kLine = 16;
    // The stores need an aligned destination: the head up to the first boundary goes plainly.
    const std::size_t head = std::min(n, (kLine - reinterpret_cast<std::uintptr_t>(to) % kLine) % kLine);
    std::memcpy(to, from, head);
    std::size_t at = head;
    for (; at + kLine <= n; at += kLine) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at));
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at), bytes);
    }
    std::memcpy(to + at, from + at, n - at);
    // Streaming stores are weakly ordered, even against the release of a lock: the fence makes
    // the bytes visible to whoever takes the block's lock next.
    _mm_sfence();
#else
    std::memcpy(to, from, n);
#endif
}

} // namespace plat::detail
