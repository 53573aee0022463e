#pragma once
// The program's own command line: --help, --version, and Qt's standard options passed through.
// Read on the main thread before Qt is started, so that none of it needs a display.

#include <string>

namespace app {

struct StartRequest {
    enum class Action { RunWindow, PrintHelp, PrintVersion, Refuse };
    Action action = Action::RunWindow;
    std::string refusal;        // for Refuse: "unrecognized option '--x'"
    bool platformGiven = false; // -platform NAME: the user chose where the window goes
    bool displayGiven = false;  // -display NAME
};

StartRequest ReadCommandLine(int argc, const char* const* argv);

std::string HelpText();
std::string VersionText();
// The short form printed with a refusal.
std::string UsageText();

} // namespace app
