#include "app/CommandLine.h"

#include "resources/Version.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace app {

namespace {

// Qt's standard options (QGuiApplication, QApplication and the X11 platform). Qt also takes each
// with two dashes, and the ones with a value as "-name=value".
constexpr std::array<std::string_view, 18> kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "name", "title", "icon", "visual", "style",
    "stylesheet", "qmljsdebugger", "fontengine"};
constexpr std::array<std::string_view, 6> kQtFlags = {"reverse", "widgetcount", "sync", "nograb",
                                                      "dograb", "testability"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

StartRequest Refuse(std::string why)
{
    StartRequest request;
    request.action = StartRequest::Action::Refuse;
    request.refusal = std::move(why);
    return request;
}

} // namespace

StartRequest ReadCommandLine(int argc, const char* const* argv)
{
    StartRequest request;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return StartRequest{StartRequest::Action::PrintHelp, {}, false, false};
        if (arg == "--version")
            return StartRequest{StartRequest::Action::PrintVersion, {}, false, false};
        if (arg == "--") {
            if (i + 1 < argc)
                return Refuse("extra operand '" + std::string(argv[i + 1]) + "'");
            break;
        }
        if (arg.size() < 2 || arg[0] != '-')
            return Refuse("extra operand '" + std::string(arg) + "'");
        std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueAttached = equals != std::string_view::npos;
        name = name.substr(0, equals);
        if (Contains(kQtOptionsWithValue, name)) {
            if (!valueAttached && ++i >= argc)
                return Refuse("option '" + std::string(arg) + "' requires an argument");
            request.platformGiven |= name == "platform";
            request.displayGiven |= name == "display";
        } else if (!Contains(kQtFlags, name) || valueAttached) {
            return Refuse("unrecognized option '" + std::string(arg) + "'");
        }
    }
    return request;
}

std::string UsageText()
{
    return "Usage: relvanto [QT-OPTION]...\n";
}

std::string HelpText()
{
    return UsageText() +
           "Send and receive raw bytes over TCP, UDP or a serial port, in one window.\n"
           "\n"
           "  -h, --help     display this help and exit\n"
           "      --version  output version information and exit\n"
           "\n"
           "Qt's standard options are accepted as well, for example -platform NAME,\n"
           "-display DISPLAY and -style STYLE.\n"
           "\n"
           "The window needs a display (DISPLAY or WAYLAND_DISPLAY). Without one,\n"
           "bash tools/start.sh in the source folder shows it on a virtual screen\n"
           "served over VNC.\n"
           "The serial settings are kept in /etc/xdg/relvanto or ~/.config/relvanto.\n"
           "Full documentation: man relvanto\n";
}

std::string VersionText()
{
    return "relvanto (" RELVANTO_PRODUCT_NAME ") " RELVANTO_VERSION_TEXT "\n"
           "Copyright (C) 2026 Dovrenix Relvanto developers.\n"
           "License MIT: <https://opensource.org/licenses/MIT>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

} // namespace app
