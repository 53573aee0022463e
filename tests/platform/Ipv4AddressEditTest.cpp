#include "platform/toolkit/Ipv4AddressEdit.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using plat::Ipv4AddressEdit;

namespace {

// Types as a person would: each key goes to whichever field has the focus now.
void Type(Ipv4AddressEdit& edit, const QString& text)
{
    for (QChar ch : text) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : edit.Field(0), ch.toLatin1());
    }
}

void ShowAndFocus(Ipv4AddressEdit& edit)
{
    edit.resize(200, 24);
    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.Field(0)->setFocus();
}

} // namespace

TEST(Ipv4AddressEditTest, TypedAddressReadsAsOneValueAndAsOctets)
{
    Ipv4AddressEdit edit;
    ShowAndFocus(edit);
    Type(edit, QStringLiteral("192.168.1.20"));
    EXPECT_EQ(edit.Address(), 0xC0A80114u);
    EXPECT_EQ(edit.Octets(), (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
    EXPECT_EQ(edit.Text(), QStringLiteral("192.168.1.20"));
}

TEST(Ipv4AddressEditTest, BlankFieldsReadAsZero)
{
    Ipv4AddressEdit edit;
    EXPECT_TRUE(edit.IsBlank());
    EXPECT_EQ(edit.Address(), 0u);
    edit.SetText(QStringLiteral("10..5."));
    EXPECT_FALSE(edit.IsBlank());
    EXPECT_EQ(edit.Address(), 0x0A000500u);
    EXPECT_EQ(edit.Text(), QStringLiteral("10..5."));
}

TEST(Ipv4AddressEditTest, AThirdDigitMovesOnAndLargeNumbersAreClamped)
{
    Ipv4AddressEdit edit;
    ShowAndFocus(edit);
    Type(edit, QStringLiteral("127001"));
    EXPECT_EQ(edit.Field(0)->text(), QStringLiteral("127"));
    EXPECT_EQ(edit.Field(1)->text(), QStringLiteral("001"));
    QTest::keyClicks(edit.Field(2), QStringLiteral("999"));
    EXPECT_EQ(edit.Field(2)->text(), QStringLiteral("255"));
    // Letters are not taken.
    QTest::keyClicks(edit.Field(3), QStringLiteral("x7"));
    EXPECT_EQ(edit.Field(3)->text(), QStringLiteral("7"));
    EXPECT_EQ(edit.Octets(), (std::array<std::uint8_t, 4>{127, 1, 255, 7}));
}
