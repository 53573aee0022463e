#include "app/CommandLine.h"
#include "app/MainApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Text asked for on the command line goes to stdout; a failed write is an error, as a full disk
// must not look like a printed help.
int Print(const std::string& text)
{
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fputs("relvanto: write error\n", stderr);
        return 1;
    }
    return 0;
}

// Qt ends the process with abort() (and a core dump) when it cannot start, for example on a
// DISPLAY whose server is gone. Said in one line and ended with status 1 instead.
QtMessageHandler g_qtMessages = nullptr;
void EndWhenQtCannotStart(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        if (g_qtMessages != nullptr)
            g_qtMessages(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
        return;
    }
    if (text.contains(QStringLiteral("platform plugin")))
        std::fputs("relvanto: no display could be opened for the window\n", stderr);
    else
        std::fprintf(stderr, "relvanto: %s\n", qPrintable(text));
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    const app::StartRequest request = app::ReadCommandLine(argc, argv);
    switch (request.action) {
    case app::StartRequest::Action::PrintHelp:
        return Print(app::HelpText());
    case app::StartRequest::Action::PrintVersion:
        return Print(app::VersionText());
    case app::StartRequest::Action::Refuse:
        std::fprintf(stderr, "relvanto: %s\n%sTry 'relvanto --help' for more information.\n", request.refusal.c_str(),
                     app::UsageText().c_str());
        return 2;
    case app::StartRequest::Action::RunWindow:
        break;
    }
    // A platform chosen by the user (offscreen for tests and pictures) needs no display.
    const bool platformChosen = request.platformGiven || IsSet("QT_QPA_PLATFORM");
    if (!platformChosen && !request.displayGiven && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        std::fputs("relvanto: no display found (DISPLAY is not set); bash tools/start.sh in the source folder, "
                   "or setting DISPLAY, starts it\n",
                   stderr);
        return 1;
    }

    g_qtMessages = qInstallMessageHandler(EndWhenQtCannotStart);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_qtMessages);
    CMainApp app;
    return app.InitInstance() ? 0 : 1;
}
