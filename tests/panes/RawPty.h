#pragma once
// A pseudo-terminal pair in raw mode for the serial send tests: the port opens the slave by its
// name, the test reads what was sent at the master. The slave stays open in the test too, so the
// master keeps what it has not read yet.

#include "tests/links/LinkPeers.h"

#include <pty.h>
#include <string>
#include <termios.h>

namespace linktest {

struct RawPty {
    Fd master;
    Fd slave;
    std::string name;

    // False when no pair can be had.
    bool Open()
    {
        int masterFd = -1;
        int slaveFd = -1;
        char path[128] = {};
        if (::openpty(&masterFd, &slaveFd, path, nullptr, nullptr) != 0)
            return false;
        termios raw{};
        ::tcgetattr(slaveFd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slaveFd, TCSANOW, &raw);
        master = Fd(masterFd);
        slave = Fd(slaveFd);
        name = path;
        return true;
    }
};

} // namespace linktest
