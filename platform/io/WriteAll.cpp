#include "platform/io/WriteAll.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace plat {

int WriteAll(int fd, const void* data, std::size_t size, const WriteAllHooks& hooks)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n > 0) {
            bytes += n;
            size -= static_cast<std::size_t>(n);
            if (hooks.wrote)
                hooks.wrote(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && hooks.waitForRoom) {
            if (const int stop = hooks.waitForRoom(); stop != 0)
                return stop;
            continue;
        }
        return n < 0 ? errno : ENOSPC;
    }
    return 0;
}

int PollForRoom(int fd, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = -1;
        if (timeoutMs >= 0) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            left = ms > 0 ? static_cast<int>(ms) : 0;
        }
        pollfd room{fd, POLLOUT, 0};
        const int n = ::poll(&room, 1, left);
        if (n > 0 || (n < 0 && errno != EINTR))
            return 0;
        if (n == 0)
            return ETIMEDOUT;
    }
}

} // namespace plat
