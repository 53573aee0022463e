// Draws the main window offscreen into a PNG file, for the README and for looking at the layout
// without a display: relvanto-screenshot OUTPUT.png [WIDTHxHEIGHT | find | times | sending | lines]. A size
// shows the window resized; "find" shows a find in the Received pane with its Find window over the
// window's corner; "times" shows three bursts received with "Show times" ticked and the pane's menu
// beside; "sending" shows a line typed in the Sending pane and that pane's menu with its recent sends;
// "lines" shows RS-232 mode with the modem lines of an open link.
// QT_SCALE_FACTOR draws it as on a high-density screen.
#include "app/Controls.h"
#include "app/LinkExtras.h"
#include "app/MainDlg.h"
#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFindDialog.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QAbstractButton>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// Draws `boxes` side by side over the window's right side, each with a thin frame, their lower
// edges at `bottom` (16 pixels above the window's lower edge when -1).
void PaintBoxes(QPixmap& picture, const std::vector<QPixmap>& boxes, int bottom = -1)
{
    QPainter painter(&picture);
    int right = picture.width() - 16;
    if (bottom < 0)
        bottom = picture.height() - 16;
    for (auto box = boxes.rbegin(); box != boxes.rend(); ++box) {
        const QPoint corner(right - box->width(), bottom - box->height());
        painter.fillRect(QRect(corner, box->size()).adjusted(-1, -1, 1, 1), Qt::darkGray);
        painter.drawPixmap(corner, *box);
        right = corner.x() - 8;
    }
}

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
    PaintBoxes(picture, {finder->Dialog()->grab()});
    return picture;
}

// Three bursts of a device's replies, well apart, in the Received pane with their times shown, and
// the pane's menu drawn over the window's lower right corner.
QPixmap ShowTimes(CMainDlg& dialog)
{
    auto* pane = dialog.ControlAs<plat::HexView>(IDC_HEX_RECEIVED);
    using namespace std::string_view_literals;
    for (const std::string_view burst : {"AT+CSQ\r\n+CSQ: 21,99\r\nOK\r\n"sv, "AT+CREG?\r\n+CREG: 0,1\r\n"sv,
                                         "\x02\x10\x00\x7f\x55\xaa\x03RING\r\n"sv}) {
        dialog.Owners().received.Deliver(reinterpret_cast<const unsigned char*>(burst.data()), burst.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    for (QAction* action : pane->actions())
        if (action->text() == QStringLiteral("Show &times"))
            action->trigger();
    pane->RequestRedraw(false);
    pane->setFocus();
    QApplication::processEvents();
    QPixmap picture = dialog.grab();
    QMenu menu;
    menu.addActions(pane->actions());
    menu.adjustSize();
    PaintBoxes(picture, {menu.grab()});
    return picture;
}

// A command typed in the Sending pane with CR LF chosen, three earlier sends in "Recent sends", and
// the pane's menu with its two submenus drawn above the pane.
QPixmap ShowSending(CMainDlg& dialog)
{
    auto* pane = dialog.ControlAs<plat::HexView>(IDC_HEX_SENDING);
    SendingPaneMenu* entries = dialog.Owners().sending.Menu();
    using namespace std::string_view_literals;
    for (const std::string_view sent : {"AT\r\n"sv, "\x1b[0m\x1b[2J"sv, "AT+CREG?\r\n"sv})
        entries->NoteSent(reinterpret_cast<const unsigned char*>(sent.data()), sent.size());
    entries->LineEndingAction("\r\n")->trigger();
    pane->setFocus();
    pane->SetCursorOffset(0, plat::HexArea::Text);
    // Typed as a person types it: through the window, which passes Enter to the pane.
    for (const QChar c : QStringLiteral("AT+CSQ")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(pane, &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(pane, &enter);
    QApplication::processEvents();
    QPixmap picture = dialog.grab();
    QMenu menu;
    menu.addActions(pane->actions());
    menu.adjustSize();
    std::vector<QPixmap> boxes{menu.grab()};
    for (QMenu* submenu : {entries->LineEndingMenu(), entries->RecentMenu()}) {
        submenu->adjustSize();
        boxes.push_back(submenu->grab());
    }
    PaintBoxes(picture, boxes, pane->mapTo(&dialog, QPoint(0, 0)).y() - 24);
    return picture;
}

// A device whose lines stand still as a board holds them: DTR, CTS and DSR active.
class StillLines : public LineDevice {
public:
    int GetLines(int& lines) override
    {
        lines = LineDtr | LineCts | LineDsr;
        return 0;
    }
    int SetLines(int, bool) override { return 0; }
    int SetBreak(bool) override { return 0; }
    int RingCount(long& count) override
    {
        count = 0;
        return 0;
    }
    int WaitForChange() override
    {
        std::unique_lock lock(m_lock);
        m_woken.wait(lock, [this] { return m_wake; });
        return ECANCELED;
    }
    void Wake() override
    {
        std::lock_guard guard(m_lock);
        m_wake = true;
        m_woken.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_woken;
    bool m_wake = false;
};

QPixmap ShowLines(CMainDlg& dialog)
{
    dialog.ControlAs<QAbstractButton>(IDC_MODE_RS232)->click();
    // The buttons and the State of an open link, without a device behind them.
    dialog.SetText(IDC_STATE, QStringLiteral("Opened"));
    dialog.Enable(IDC_START, false);
    dialog.Enable(IDC_STOP, true);
    auto* extras = dialog.findChild<LinkExtras*>();
    extras->BeginLines(std::make_unique<StillLines>(), false);
    QApplication::processEvents();
    const QPixmap picture = dialog.grab();
    extras->EndLines();
    return picture;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [WIDTHxHEIGHT | find | times | sending | lines]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    res::InitResources();
    app::RegisterControlKinds();
    CMainDlg dialog;
    dialog.show();
    const bool find = argc == 3 && std::strcmp(argv[2], "find") == 0;
    const bool times = argc == 3 && std::strcmp(argv[2], "times") == 0;
    const bool sending = argc == 3 && std::strcmp(argv[2], "sending") == 0;
    const bool lines = argc == 3 && std::strcmp(argv[2], "lines") == 0;
    if (argc == 3 && !find && !times && !sending && !lines) {
        const QStringList size = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (size.size() == 2)
            dialog.resize(size[0].toInt(), size[1].toInt());
    }
    QApplication::processEvents();
    const QPixmap picture = find      ? ShowFind(dialog)
                            : times   ? ShowTimes(dialog)
                            : sending ? ShowSending(dialog)
                            : lines   ? ShowLines(dialog)
                                      : dialog.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
