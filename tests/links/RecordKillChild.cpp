// A program that records what it receives and then waits to be killed: the window, offscreen, as
// a TCP server on the port given, recording to the file given. Started by the recording tests.
#include "app/Controls.h"
#include "app/MainDlg.h"
#include "platform/toolkit/FileDialogs.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    QApplication application(argc, argv);
    res::InitResources();
    app::RegisterControlKinds();
    const QString port = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    plat::SetFileDialogHook([path](plat::FileDialogKind) { return std::optional<QString>(path); });

    CMainDlg dlg;
    dlg.ControlAs<QLineEdit>(IDC_TCP_SERVER_PORT)->setText(port);
    dlg.ControlAs<QAbstractButton>(IDC_MODE_TCP)->click();
    dlg.Owners().recording->RecordAction()->trigger();
    dlg.ControlAs<QAbstractButton>(IDC_START)->click();
    std::puts(dlg.Owners().recording->IsRecording() ? "recording" : "not recording");
    std::fflush(stdout);
    return application.exec();
}
