#include "platform/toolkit/DialogUnits.h"
#include "platform/toolkit/TemplateDialog.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using plat::TemplateDialog;

namespace {

plat::DialogTemplate MainTemplate()
{
    auto tmpl = plat::LoadDialogTemplate(102);
    EXPECT_TRUE(tmpl.has_value());
    return tmpl.value_or(plat::DialogTemplate{});
}

} // namespace

TEST(DialogTemplateTest, RejectsTextThatIsNotATemplate)
{
    EXPECT_FALSE(plat::ParseDialogTemplate("not json").has_value());
    EXPECT_FALSE(plat::ParseDialogTemplate(R"({"width": 0, "height": 10})").has_value());
    EXPECT_FALSE(plat::ParseDialogTemplate(R"({"width": 5, "height": 10, "controls": [{"id": 3}]})").has_value());
    auto ok = plat::ParseDialogTemplate(
        R"({"id": 7, "caption": "C", "width": 5, "height": 10, "controls": [{"id": 3, "kind": "edit", "style": ["center"]}]})");
    ASSERT_TRUE(ok.has_value());
    ASSERT_NE(ok->Find(3), nullptr);
    EXPECT_TRUE(ok->Find(3)->HasStyle("center"));
}

TEST(DialogUnitsTest, ConvertsFromTheFontAverageWidthAndHeight)
{
    const plat::DialogUnits units(7, 16);
    EXPECT_EQ(units.ToPixelsX(4), 7);
    EXPECT_EQ(units.ToPixelsY(8), 16);
    // Far edges are converted, so two controls that touch in dialog units touch in pixels.
    const QRect left = units.ToPixels(10, 10, 33, 11);
    const QRect right = units.ToPixels(43, 10, 20, 11);
    EXPECT_EQ(left.right() + 1, right.left());
}

TEST(TemplateDialogTest, BuildsEveryControlAtItsTemplatePlaceWithItsCaption)
{
    TemplateDialog dialog(MainTemplate());
    const plat::DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Dovrenix Relvanto"));
    EXPECT_EQ(dialog.size(), QSize(units.ToPixelsX(459), units.ToPixelsY(308)));

    auto* tcp = dialog.ControlAs<QCheckBox>(1000);
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->text(), QStringLiteral("TCP Server/Client"));
    EXPECT_EQ(tcp->geometry(), units.ToPixels(15, 20, 75, 10));

    // The caption keeps its trailing blank, and the two-line caption breaks where it says.
    EXPECT_EQ(dialog.GetText(1026), QStringLiteral("Stop "));
    EXPECT_EQ(dialog.ControlAs<QPushButton>(1026)->text(), QStringLiteral("Stop "));
    EXPECT_EQ(dialog.GetText(1015), QStringLiteral("Change \r\nSetting"));
    EXPECT_EQ(dialog.ControlAs<QPushButton>(1015)->text(), QStringLiteral("Change \nSetting"));

    auto* state = dialog.ControlAs<QLineEdit>(1027);
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->isReadOnly());
    EXPECT_EQ(state->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    auto* period = dialog.ControlAs<QLineEdit>(1023);
    ASSERT_NE(period, nullptr);
    EXPECT_FALSE(period->isReadOnly());
    EXPECT_EQ(period->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    // A kind the toolkit does not know and nobody registered is left out, not guessed.
    EXPECT_EQ(dialog.Control(1016), nullptr);
    EXPECT_EQ(dialog.Control(4242), nullptr);
}

TEST(TemplateDialogTest, TabMovesThroughTheControlsInTemplateOrder)
{
    TemplateDialog dialog(MainTemplate());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Control(1000)->setFocus();
    QApplication::processEvents();

    const int expected[] = {1000, 1001, 1002, 1003, 1005, 1004, 1006, 1008, 1007, 1009, 1010,
                            1011, 1012, 1013, 1014, 1015, 1025, 1020, 1022, 1023, 1024};
    for (int id : expected) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QWidget* control = dialog.Control(id);
        EXPECT_TRUE(focus == control || control->isAncestorOf(focus))
            << "expected control " << id << ", focus is on " << focus->objectName().toStdString();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}

TEST(TemplateDialogTest, AssistiveTechnologyFindsControlsByTheirCaptionsAndLabels)
{
    TemplateDialog dialog(MainTemplate());
    auto name = [](QWidget* w) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        return iface ? iface->text(QAccessible::Name) : QString();
    };
    EXPECT_EQ(name(dialog.Control(1000)), QStringLiteral("TCP Server/Client"));
    EXPECT_EQ(name(dialog.Control(1024)), QStringLiteral("Send"));
    EXPECT_EQ(name(dialog.Control(1015)), QStringLiteral("Change Setting"));
    EXPECT_EQ(name(dialog.Control(1003)), QStringLiteral("TCP Server Port"));
    EXPECT_EQ(name(dialog.Control(1007)), QStringLiteral("UDP Destination Port"));
    EXPECT_EQ(name(dialog.Control(1032)), QStringLiteral("Sender State"));

    // The label beside a field points at it.
    int linked = 0;
    for (auto* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("Destination Port:")) {
            ASSERT_NE(label->buddy(), nullptr);
            EXPECT_TRUE(label->buddy() == dialog.Control(1004) || label->buddy() == dialog.Control(1007));
            ++linked;
        }
    }
    EXPECT_EQ(linked, 2);
}
