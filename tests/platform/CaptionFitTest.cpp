// No caption of the three windows is cut: each control's text, measured in the control's own font,
// fits the room its style leaves for text. CTest runs this program at the default scale and at
// QT_SCALE_FACTOR 1.25, 1.5 and 2.
#include "platform/toolkit/TemplateDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The widest line of a caption as the control draws it.
int TextWidth(const QWidget* control, const QString& text)
{
    const QFontMetrics metrics(control->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The room a control leaves for its caption; -1 for a control without one.
int CaptionRoom(const QWidget* control)
{
    if (const auto* box = qobject_cast<const QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text().isEmpty() ? -1 : label->contentsRect().width();
    return -1;
}

QString Caption(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    return {};
}

class CaptionFitTest : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(CaptionFitTest, EveryCaptionFitsItsControl)
{
    auto tmpl = plat::LoadDialogTemplate(GetParam());
    ASSERT_TRUE(tmpl.has_value());
    plat::TemplateDialog dialog(*tmpl);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    int measured = 0;
    for (const QWidget* control : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const int room = CaptionRoom(control);
        if (room < 0)
            continue;
        ++measured;
        const QString caption = Caption(control);
        EXPECT_LE(TextWidth(control, caption), room)
            << "\"" << caption.toStdString() << "\" is cut at scale " << qgetenv("QT_SCALE_FACTOR").toStdString();
    }
    EXPECT_GT(measured, 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, CaptionFitTest, ::testing::Values(100, 102, 130));
