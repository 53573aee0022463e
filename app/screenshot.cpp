// Draws the main window offscreen into a PNG file, for the README and for looking at the layout
// without a display: relvanto-screenshot OUTPUT.png [WIDTHxHEIGHT]. A size shows the window resized;
// QT_SCALE_FACTOR draws it as on a high-density screen.
#include "app/Controls.h"
#include "app/MainDlg.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [WIDTHxHEIGHT]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    res::InitResources();
    app::RegisterControlKinds();
    CMainDlg dialog;
    dialog.show();
    if (argc == 3) {
        const QStringList size = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (size.size() == 2)
            dialog.resize(size[0].toInt(), size[1].toInt());
    }
    QApplication::processEvents();
    if (!dialog.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
