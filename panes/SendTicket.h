#pragma once
// What one Send hands to its thread: a copy of the Sending pane's bytes taken at Send, so that
// Clear, Load or edits of the pane never change or free what a running send reads, and the stop
// request of this send alone, so that a Stop ends only the sends running when it was made.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

enum class SendLink { Tcp, Udp, Serial };

struct SendTicket {
    // Only ever tested between writes and passes, never waited on: a flag is enough, and costs no
    // system call per pass.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<const std::vector<unsigned char>> bytes;
    std::uint64_t serial = 0;   // order of the Sends: a send's end shows only when no later Send came
};
