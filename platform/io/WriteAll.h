#pragma once
// Writing everything to a descriptor: a write that took part is continued, one interrupted by a
// signal is made again, and one that found no room (EAGAIN on a pipe, a socket or a device) waits
// the way its caller says before it tries again.
//
// Threads: any; the hooks run on the calling thread.

#include <cstddef>
#include <functional>

namespace plat {

struct WriteAllHooks {
    // Called when the descriptor has no room: 0 to write again, or a non-zero code to give up with,
    // which WriteAll returns as it is. Empty: EAGAIN is the failure.
    std::function<int()> waitForRoom;
    // Called after each write that took bytes, with their number.
    std::function<void(std::size_t)> wrote;
};

// 0 once all `size` bytes are written; else the errno of the failed write (ENOSPC for a write that
// took nothing) or the code waitForRoom gave up with.
int WriteAll(int fd, const void* data, std::size_t size, const WriteAllHooks& hooks = {});

// Waits up to `timeoutMs` (-1: for ever) for room to write on `fd`: 0 when there is room or an
// error that the next write will report, ETIMEDOUT when the time passed without either.
int PollForRoom(int fd, int timeoutMs);

} // namespace plat
