#pragma once
// What one Send hands to its thread: a copy of the Sending pane's bytes taken at Send, so that
// Clear, Load or edits of the pane never change or free what a running send reads, and the stop
// request of this send alone, so that a Stop ends only the sends running when it was made.

#include "platform/sync/Event.h"

#include <cstdint>
#include <memory>
#include <vector>

enum class SendLink { Tcp, Udp, Serial };

struct SendTicket {
    std::shared_ptr<plat::Event> stop = std::make_shared<plat::Event>(plat::Event::Kind::ManualReset);
    std::shared_ptr<const std::vector<unsigned char>> bytes;
    std::uint64_t serial = 0;   // order of the Sends: a send's end shows only when no later Send came
};
