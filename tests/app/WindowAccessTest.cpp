// The real main window through Qt's accessibility interface, and as it resizes.
#include "AppFixture.h"

#include "platform/hexview/HexView.h"
#include "platform/toolkit/DialogUnits.h"
#include "resources/ControlIds.h"

#include <QAccessible>
#include <QMenu>
#include <QPushButton>

#include <map>

using WindowAccessTest = MainWindowFixture;

namespace {

QAccessibleInterface* Access(QWidget* widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

} // namespace

TEST_F(WindowAccessTest, AModeBoxToggledByAssistiveTechnologyChoosesItsLinkAsAClickDoes)
{
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    QAccessibleInterface* udp = Access(dlg->Control(IDC_MODE_UDP));
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->role(), QAccessible::CheckBox);
    udp->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    Settle();

    EXPECT_EQ(dlg->GetCheck(IDC_MODE_UDP), 1);
    EXPECT_EQ(Widget<QPushButton>(IDC_START)->text(), QStringLiteral("Bind"));
    EXPECT_TRUE(dlg->Control(IDC_START)->isEnabled());
    // What a screen reader says is what the buttons show.
    EXPECT_EQ(Access(dlg->Control(IDC_START))->text(QAccessible::Name), QStringLiteral("Bind"));
    EXPECT_EQ(Access(dlg->Control(IDC_STOP))->text(QAccessible::Name), QStringLiteral("Stop Bind"));

    // Toggling TCP through the same action moves the choice, as a click would.
    Access(dlg->Control(IDC_MODE_TCP))->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    Settle();
    EXPECT_EQ(dlg->GetCheck(IDC_MODE_UDP), 0);
    EXPECT_EQ(Access(dlg->Control(IDC_START))->text(QAccessible::Name), Widget<QPushButton>(IDC_START)->text());
    EXPECT_NE(Widget<QPushButton>(IDC_START)->text(), QStringLiteral("Bind"));
}

TEST_F(WindowAccessTest, EveryControlHasANameAndBothPanesReadAsText)
{
    for (QWidget* control : dlg->ControlsInOrder()) {
        QAccessibleInterface* iface = Access(control);
        ASSERT_NE(iface, nullptr) << control->objectName().toStdString();
        const bool labelled = !iface->relations(QAccessible::Label).isEmpty();
        EXPECT_TRUE(!iface->text(QAccessible::Name).trimmed().isEmpty() || labelled)
            << control->objectName().toStdString();
    }
    for (int id : {IDC_HEX_RECEIVED, IDC_HEX_SENDING}) {
        QAccessibleInterface* pane = Access(dlg->Control(id));
        ASSERT_NE(pane->textInterface(), nullptr) << id;
        EXPECT_TRUE(pane->textInterface()->text(0, 8) == QStringLiteral("00000000")) << id;
    }
    EXPECT_EQ(Access(dlg->Control(IDC_HEX_RECEIVED))->text(QAccessible::Name), QStringLiteral("Received Data"));
}

TEST_F(WindowAccessTest, ExtraRoomGoesToThePanesAndTheControlsBesideThemFollowTheRightEdge)
{
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    const QSize start = dlg->size();
    const plat::DialogUnits units(dlg->font());
    EXPECT_EQ(start, QSize(units.ToPixelsX(459), units.ToPixelsY(308)));
    EXPECT_EQ(dlg->minimumSize(), start);
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);

    auto geometry = [this](int id) { return dlg->Control(id)->geometry(); };
    auto* received = Widget<plat::HexView>(IDC_HEX_RECEIVED);
    auto* sending = Widget<plat::HexView>(IDC_HEX_SENDING);
    const int rowsBefore = received->VisibleRowCount();
    std::map<int, QRect> before;
    for (QWidget* control : dlg->ControlsInOrder())
        before[control->objectName().mid(7).toInt()] = control->geometry();

    const int dw = 300;
    const int dh = 400;
    dlg->resize(start + QSize(dw, dh));
    QApplication::processEvents();
    ASSERT_EQ(dlg->size(), start + QSize(dw, dh));

    // The panes take all the width and half the height each.
    EXPECT_EQ(geometry(IDC_HEX_RECEIVED).size(), before[IDC_HEX_RECEIVED].size() + QSize(dw, dh / 2));
    EXPECT_EQ(geometry(IDC_HEX_SENDING).size(), before[IDC_HEX_SENDING].size() + QSize(dw, dh / 2));
    EXPECT_EQ(geometry(IDC_HEX_SENDING).top(), before[IDC_HEX_SENDING].top() + dh / 2);
    EXPECT_GE(received->VisibleRowCount(), rowsBefore + dh / 2 / received->fontMetrics().height() - 1);
    EXPECT_GT(sending->VisibleRowCount(), rowsBefore);

    // Beside the panes: same distance to the right edge; the rows under a pane stay under it.
    for (int id : {IDC_RECEIVED_STATE, IDC_AUTO_SCROLL})
        EXPECT_EQ(geometry(id), before[id].translated(dw, 0)) << id;
    for (int id : {IDC_CLEAR_RECEIVED, IDC_SAVE_RECEIVED})
        EXPECT_EQ(geometry(id), before[id].translated(dw, dh / 2)) << id;
    for (int id : {IDC_SENDER_STATE, IDC_PERIODIC, IDC_PERIOD, IDC_SEND, IDC_SEND_STOP})
        EXPECT_EQ(geometry(id), before[id].translated(dw, dh / 2)) << id;
    for (int id : {IDC_CLEAR_SENDING, IDC_SAVE_SENDING, IDC_LOAD})
        EXPECT_EQ(geometry(id), before[id].translated(dw, dh)) << id;
    // The settings rows keep their place.
    for (int id : {IDC_MODE_TCP, IDC_TCP_DEST_PORT, IDC_UDP_DEST_IP, IDC_SERIAL_HANDSHAKING, IDC_CHANGE_SETTING,
                   IDC_START, IDC_STOP, IDC_STATE})
        EXPECT_EQ(geometry(id), before[id]) << id;
    // No control reaches past the window.
    for (QWidget* control : dlg->ControlsInOrder())
        EXPECT_TRUE(dlg->rect().contains(control->geometry())) << control->objectName().toStdString();

    // The window menu maximises it; the panes then show more rows than at the template size.
    dlg->resize(start);
    QApplication::processEvents();
    QMenu* menu = dlg->BuildWindowMenu();
    QAction* maximise = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == QStringLiteral("Ma&ximize"))
            maximise = action;
    ASSERT_NE(maximise, nullptr);
    maximise->trigger();
    delete menu;
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isMaximized(); }));
    if (dlg->height() > start.height() + received->fontMetrics().height() * 2) {
        EXPECT_GT(received->VisibleRowCount(), rowsBefore);
    }
    dlg->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->isMaximized(); }));

    // Back to the template size, everything is where it started; it does not get smaller.
    dlg->resize(start - QSize(50, 50));
    QApplication::processEvents();
    EXPECT_EQ(dlg->size(), start);
    for (QWidget* control : dlg->ControlsInOrder())
        EXPECT_EQ(control->geometry(), before[control->objectName().mid(7).toInt()]) << control->objectName().toStdString();
}
