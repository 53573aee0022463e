#pragma once
// What one Send hands to its thread: a snapshot of the Sending pane's bytes taken at Send, so that
// Clear, Load or edits of the pane never change or free what a running send reads, and the stop
// request of this send alone, so that a Stop ends only the sends running when it was made.

#include "platform/byteblock/BlockSnapshot.h"

#include <atomic>
#include <cstdint>
#include <memory>

enum class SendLink { Tcp, Udp, Serial };

struct SendTicket {
    // Only ever tested between writes and passes, never waited on: a flag is enough, and costs no
    // system call per pass.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    plat::BlockSnapshot bytes;
    std::uint64_t serial = 0;   // order of the Sends: a send's end shows only when no later Send came
};
