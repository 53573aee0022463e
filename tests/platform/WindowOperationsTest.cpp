#include "platform/toolkit/TemplateDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

using plat::TemplateDialog;

namespace {

class Dialog : public TemplateDialog {
public:
    Dialog() : TemplateDialog(*plat::LoadDialogTemplate(102)) {}
    std::vector<int> commands;

protected:
    void OnSysCommand(int id) override { commands.push_back(id); }
};

// Lets the window's thread apply what workers queued.
void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

} // namespace

TEST(WindowOperationsTest, AWorkerReadsWhatItWroteAndTheWindowShowsItInOrder)
{
    Dialog dialog;
    bool readBack = false;
    std::thread worker([&] {
        dialog.SetText(1027, QStringLiteral("Connecting"));
        dialog.Enable(1025, false);
        dialog.SetText(1027, QStringLiteral("Connected"));
        dialog.SetCheck(1034, 1);
        // The call returns with the new state in place, without waiting for the window's thread.
        readBack = dialog.GetText(1027) == QStringLiteral("Connected") && !dialog.IsEnabled(1025) &&
                   dialog.GetCheck(1034) == 1;
    });
    worker.join();
    EXPECT_TRUE(readBack);
    // Nothing touched the widgets from the worker.
    EXPECT_EQ(dialog.ControlAs<QLineEdit>(1027)->text(), QString());

    QStringList shown;
    QObject::connect(dialog.ControlAs<QLineEdit>(1027), &QLineEdit::textChanged,
                     [&](const QString& t) { shown << t; });
    Settle();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Connecting"), QStringLiteral("Connected")}));
    EXPECT_FALSE(dialog.Control(1025)->isEnabled());
    EXPECT_TRUE(dialog.ControlAs<QCheckBox>(1034)->isChecked());
}

TEST(WindowOperationsTest, WhatTheUserTypesAndClicksIsReadableFromAnyThread)
{
    Dialog dialog;
    dialog.show();
    QTest::keyClicks(dialog.Control(1003), QStringLiteral("5000"));
    QTest::mouseClick(dialog.Control(1034), Qt::LeftButton);
    QString port;
    int check = -1;
    std::thread([&] {
        port = dialog.GetText(1003);
        check = dialog.GetCheck(1034);
    }).join();
    EXPECT_EQ(port, QStringLiteral("5000"));
    EXPECT_EQ(check, 1);
}

TEST(WindowOperationsTest, SettingACheckFromCodeIsNotAClick)
{
    Dialog dialog;
    dialog.show();
    int clicks = 0;
    dialog.OnClicked(1000, [&] { ++clicks; });
    dialog.SetCheck(1000, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(dialog.ControlAs<QCheckBox>(1000)->isChecked());
    QTest::mouseClick(dialog.Control(1000), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialog.GetCheck(1000), 0);
}

TEST(WindowOperationsTest, EnterAndEscapeNeverPressAButtonNorCloseTheWindow)
{
    Dialog dialog;
    dialog.SetDiscardEnterAndEscape(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    int sends = 0;
    dialog.OnClicked(1024, [&] { ++sends; });
    auto* send = dialog.ControlAs<QPushButton>(1024);
    send->setFocus();
    for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(send, key);
        QTest::keyClick(dialog.Control(1003), key);
        QTest::keyClick(&dialog, key);
    }
    EXPECT_EQ(sends, 0);
    EXPECT_TRUE(dialog.isVisible());
    // The space bar still presses the focused button: only Enter and Escape are taken away.
    QTest::keyClick(send, Qt::Key_Space);
    EXPECT_EQ(sends, 1);

    dialog.SetDiscardEnterAndEscape(false);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible()) << "without the filter Escape closes a dialog";
}

TEST(WindowOperationsTest, TheWindowMenuEndsWithWhatTheProgramAppended)
{
    Dialog dialog;
    dialog.AppendMenuSeparator();
    dialog.AppendMenuItem(16, QStringLiteral("About(&A)..."));
    QMenu* menu = dialog.BuildWindowMenu();
    const auto actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), QStringLiteral("About(&A)..."));
    actions.last()->trigger();
    EXPECT_EQ(dialog.commands, std::vector<int>{16});
    delete menu;
}

TEST(WindowOperationsTest, OperationsAfterTheWindowIsGoneAreDropped)
{
    auto* dialog = new Dialog;
    EXPECT_TRUE(dialog->ControlExists(1027));
    std::thread([&] { dialog->SetText(1027, QStringLiteral("late")); }).join();
    delete dialog;
    // The queued write died with the window instead of touching freed widgets.
    Settle();
    SUCCEED();
}
