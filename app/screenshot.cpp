// Draws the main window offscreen into a PNG file, for the README and for looking at the layout
// without a display: relvanto-screenshot OUTPUT.png [WIDTHxHEIGHT | find]. A size shows the window
// resized; "find" shows a find in the Received pane with its Find window over the window's corner.
// QT_SCALE_FACTOR draws it as on a high-density screen.
#include "app/Controls.h"
#include "app/MainDlg.h"
#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFindDialog.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <cstring>

namespace {

// Some lines in the Received pane, the second line break found, the Find window drawn over the
// window's lower right corner.
QPixmap ShowFind(CMainDlg& dialog)
{
    auto* pane = dialog.ControlAs<plat::HexView>(IDC_HEX_RECEIVED);
    const QByteArray lines = "GET /status HTTP/1.1\r\nHost: 192.168.1.20\r\nAccept: */*\r\n\r\n";
    pane->Block()->Insert(0, reinterpret_cast<const unsigned char*>(lines.constData()), static_cast<std::size_t>(lines.size()));
    pane->RequestRedraw(false);
    pane->setFocus();
    plat::HexFind* finder = pane->Finder();
    finder->OpenDialog();
    finder->Dialog()->SetWhat(QStringLiteral("0d 0a"));
    for (int hit = 0; hit < 2; ++hit) {
        finder->Find(plat::SearchDirection::Forward);
        while (finder->IsSearching())
            QApplication::processEvents();
        QApplication::processEvents();
    }
    QPixmap picture = dialog.grab();
    const QPixmap box = finder->Dialog()->grab();
    QPainter painter(&picture);
    const QPoint corner(picture.width() - box.width() - 16, picture.height() - box.height() - 16);
    painter.fillRect(QRect(corner, box.size()).adjusted(-1, -1, 1, 1), Qt::darkGray);
    painter.drawPixmap(corner, box);
    return picture;
}

} // namespace

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
    const bool find = argc == 3 && std::strcmp(argv[2], "find") == 0;
    if (argc == 3 && !find) {
        const QStringList size = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (size.size() == 2)
            dialog.resize(size[0].toInt(), size[1].toInt());
    }
    QApplication::processEvents();
    const QPixmap picture = find ? ShowFind(dialog) : dialog.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
