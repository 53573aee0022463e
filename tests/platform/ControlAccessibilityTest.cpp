// What assistive technology sees of a template dialog and what its actions do, through Qt's
// accessibility interface.
#include "platform/toolkit/TemplateDialog.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

using plat::TemplateDialog;

namespace {

plat::DialogTemplate Template(int id)
{
    auto tmpl = plat::LoadDialogTemplate(id);
    EXPECT_TRUE(tmpl.has_value());
    return tmpl.value_or(plat::DialogTemplate{});
}

QString Name(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The names of the labels that assistive technology reads for a control.
QStringList LabelNames(QWidget* widget)
{
    QStringList names;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (iface == nullptr)
        return names;
    for (const auto& [label, relation] : iface->relations(QAccessible::Label))
        names << label->text(QAccessible::Name);
    return names;
}

} // namespace

TEST(ControlAccessibilityTest, AButtonsNameIsItsCurrentCaption)
{
    TemplateDialog dialog(Template(102));
    EXPECT_EQ(Name(dialog.Control(1025)), QStringLiteral("Start Listening"));
    for (const char* caption : {"No Select", "Connect", "Stop Listen", "Open"}) {
        dialog.SetText(1025, QString::fromLatin1(caption));
        dialog.SetText(1028, QString::fromLatin1(caption));
        EXPECT_EQ(Name(dialog.Control(1025)), QString::fromLatin1(caption));
        EXPECT_EQ(Name(dialog.Control(1028)), QString::fromLatin1(caption));
    }
    // A two-line caption reads as one line; a caption shared by two buttons keeps the template's
    // fuller name, whatever the caption shows.
    EXPECT_EQ(Name(dialog.Control(1015)), QStringLiteral("Change Setting"));
    dialog.SetText(1029, QStringLiteral("Clear"));
    EXPECT_EQ(Name(dialog.Control(1029)), QStringLiteral("Clear Received Data"));
    EXPECT_EQ(Name(dialog.Control(1026)), QStringLiteral("Stop Sending"));
}

TEST(ControlAccessibilityTest, EveryChangeOfACheckBoxRunsItsHandlerOnceButSetCheckRunsNone)
{
    TemplateDialog dialog(Template(102));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* box = dialog.ControlAs<QCheckBox>(1001);
    ASSERT_NE(box, nullptr);
    std::vector<int> seen;   // the state the handler reads, once per call
    dialog.OnClicked(1001, [&] { seen.push_back(dialog.GetCheck(1001)); });

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(seen, (std::vector<int>{1}));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(seen, (std::vector<int>{1, 0}));

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(iface, nullptr);
    ASSERT_NE(iface->actionInterface(), nullptr);
    EXPECT_TRUE(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 1}));
    EXPECT_TRUE(iface->state().checked);

    box->setChecked(false);
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 1, 0}));

    // The program's own change is not a click.
    dialog.SetCheck(1001, 1);
    QApplication::processEvents();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(seen.size(), 4u);
}

TEST(ControlAccessibilityTest, EachListOfTheSerialDialogIsLabelledByTheTextAboveIt)
{
    TemplateDialog dialog(Template(130));
    const std::pair<int, const char*> lists[] = {{1028, "COM Port"},  {1029, "Baud Rate"}, {1030, "Data Bits"},
                                                 {1031, "Parity Bits"}, {1032, "Stop Bits"}, {1033, "Handshaking"}};
    for (const auto& [id, label] : lists) {
        QWidget* list = dialog.Control(id);
        ASSERT_NE(qobject_cast<QComboBox*>(list), nullptr) << id;
        EXPECT_EQ(LabelNames(list), QStringList{QString::fromLatin1(label)}) << id;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(list)->role(), QAccessible::ComboBox) << id;
    }
}

TEST(ControlAccessibilityTest, TheSerialFieldsOfTheMainWindowAreLabelledByTheTextAboveThem)
{
    TemplateDialog dialog(Template(102));
    EXPECT_EQ(LabelNames(dialog.Control(1009)), QStringList{QStringLiteral("COM Port")});
    EXPECT_EQ(LabelNames(dialog.Control(1014)), QStringList{QStringLiteral("Handshaking")});
    EXPECT_EQ(LabelNames(dialog.Control(1033)), QStringList{QStringLiteral("Received State")});
    EXPECT_EQ(LabelNames(dialog.Control(1027)), QStringList{QStringLiteral("State:")});
    EXPECT_EQ(LabelNames(dialog.Control(1004)), QStringList{QStringLiteral("Destination Port:")});
}
