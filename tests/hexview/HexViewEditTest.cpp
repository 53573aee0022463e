// Real key presses and clicks change the bound block exactly.
#include "HexViewFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QToolTip>

using plat::HexArea;

TEST_F(HexViewTest, HexDigitsOverwriteOrInsertByMode)
{
    SetBytes("ABC");
    Click(1, HexArea::Hex);
    Type("7");
    EXPECT_EQ(Bytes(), QByteArray("ArC")) << "the high digit is written at once";
    Type("3");
    EXPECT_EQ(Bytes(), QByteArray("AsC"));
    Key(Qt::Key_End, Qt::ControlModifier);
    Type("7a7");
    EXPECT_EQ(Bytes(), QByteArray("AsCzp")) << "typing at the end appends";
    EXPECT_TRUE(view.IsModified());

    const QPoint lowDigit = view.PointOfOffset(0, HexArea::Hex) + QPoint(view.fontMetrics().horizontalAdvance('0'), 0);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, lowDigit);
    Type("2");
    EXPECT_EQ(Bytes(), QByteArray("BsCzp")) << "a click on the low digit writes only that digit";

    Key(Qt::Key_Insert);
    ASSERT_FALSE(view.IsOverwriteMode());
    Type("4");
    EXPECT_EQ(Bytes(), QByteArray("B@sCzp")) << "a lone high digit already makes a byte";
    Type("4");
    EXPECT_EQ(Bytes(), QByteArray("BDsCzp"));
    EXPECT_EQ(view.CursorOffset(), 2u);
}

TEST_F(HexViewTest, TextColumnTypesCharactersInBothModes)
{
    SetBytes("abcd");
    Click(1, HexArea::Text);
    Type("XY");
    EXPECT_EQ(Bytes(), QByteArray("aXYd"));
    Key(Qt::Key_Insert);
    Type("1 f");
    EXPECT_EQ(Bytes(), QByteArray("aXY1 fd")) << "hex digits are characters here";
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(view.ActiveArea(), HexArea::Hex);
    Type("21");
    EXPECT_EQ(Bytes(), QByteArray("aXY1 f!d"));
}

TEST_F(HexViewTest, DeleteAndBackspaceRemoveOneByteAndStopAtTheEnds)
{
    SetBytes("abcde");
    Click(1, HexArea::Hex);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("acde"));
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cde")) << "nothing before the first byte";
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("cde")) << "nothing after the last byte";
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cd"));

    // Backspace after a half-typed inserted byte takes that byte back.
    Key(Qt::Key_Insert);
    Click(1, HexArea::Hex);
    Type("7");
    ASSERT_EQ(Bytes(), QByteArray("cpd"));
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cd"));
    EXPECT_EQ(view.CursorOffset(), 1u);
}

TEST_F(HexViewTest, EditsThatChangeTheSizeAreRefusedWhileTheBlockIsHeld)
{
    SetBytes("abc");
    Click(1, HexArea::Hex);
    block.Hold(); // a save in progress
    Key(Qt::Key_Delete);
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Insert);
    Type("41");
    Key(Qt::Key_Insert);
    Key(Qt::Key_End, Qt::ControlModifier);
    Type("41");
    EXPECT_EQ(Bytes(), QByteArray("abc"));
    EXPECT_FALSE(view.IsModified());
    EXPECT_EQ(view.CursorOffset(), 3u);

    Key(Qt::Key_Home, Qt::ControlModifier);
    Type("41");
    EXPECT_EQ(Bytes(), QByteArray("Abc")) << "writing over a byte keeps the size and is allowed";
    block.Release();
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("Ac"));
}

TEST_F(HexViewTest, SelectionByKeysAndMouseIsReplacedOrDeleted)
{
    SetBytes("0123456789");
    Click(2, HexArea::Hex);
    for (int i = 0; i < 3; ++i)
        Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectionStart(), 2u);
    EXPECT_EQ(view.SelectionEnd(), 4u);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("01456789"));

    Click(1, HexArea::Text);
    Click(3, HexArea::Text, Qt::ShiftModifier);
    Type("XYZ");
    EXPECT_EQ(Bytes(), QByteArray("0XYZ6789")) << "overwrite starts at the selection and keeps going";

    // Dragging forward takes in the byte under the pointer; insert mode replaces the selection.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.PointOfOffset(2, HexArea::Text));
    QTest::mouseMove(view.viewport(), view.PointOfOffset(4, HexArea::Text));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.PointOfOffset(4, HexArea::Text));
    EXPECT_EQ(view.SelectionEnd(), 5u);
    Key(Qt::Key_Insert);
    Type("-");
    EXPECT_EQ(Bytes(), QByteArray("0X-789"));

    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(block.Size(), 0u);
}

TEST_F(HexViewTest, ClipboardCarriesHexInTheHexColumnAndRawBytesInTheTextColumn)
{
    QClipboard* clipboard = QApplication::clipboard();
    SetBytes(QByteArray("AB\x00\x7F" "C", 5));
    Click(1, HexArea::Hex);
    Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QString("42 00 7F 43"));
    Click(0, HexArea::Text);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QString("AB"));
    EXPECT_EQ(Bytes(), QByteArray("\x00\x7F" "C", 3));

    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("\x00\x7F" "CAB", 5)) << "overwrite mode extends at the end";

    Key(Qt::Key_Insert);
    clipboard->setText("de ad,0xBE\nef");
    Click(1, HexArea::Hex);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("\x00\xDE\xAD\xBE\xEF\x7F" "CAB", 9));
    EXPECT_EQ(view.CursorOffset(), 5u);
    for (const char* notHex : {"12 3", "zz"}) {
        clipboard->setText(notHex);
        Key(Qt::Key_V, Qt::ControlModifier);
    }
    EXPECT_EQ(block.Size(), 9u) << "text that is not hex is refused in the hex column";

    for (const char* form : {"0D 0A", "0x0D,0x0A", "0d0a", "0D-0A", "0D:0A"}) {
        SetBytes("");
        clipboard->setText(form);
        Key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Bytes(), QByteArray("\r\n")) << form;
    }
}

TEST_F(HexViewTest, EnterTypesTheLineEndingOnlyInTheTextColumn)
{
    EXPECT_FALSE(view.TakesEnter()) << "no line ending until one is chosen";
    for (const QByteArray& ending : {QByteArray("\r"), QByteArray("\n"), QByteArray("\r\n")}) {
        view.SetEnterBytes(ending);
        SetBytes("abcd");
        view.SetOverwriteMode(true);
        Click(1, HexArea::Text);
        Key(Qt::Key_Return);
        EXPECT_EQ(Bytes(), "a" + ending + QByteArray("abcd").mid(1 + ending.size())) << "overwrite";
        Key(Qt::Key_Insert);
        Key(Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(Bytes().left(1 + 2 * ending.size()), "a" + ending + ending) << "insert";
        EXPECT_EQ(view.CursorOffset(), 1 + 2 * static_cast<std::size_t>(ending.size()));

        const QByteArray before = Bytes();
        Click(0, HexArea::Hex);
        EXPECT_FALSE(view.TakesEnter());
        Key(Qt::Key_Return);
        EXPECT_EQ(Bytes(), before) << "Enter types nothing in the hex column";
    }
}

TEST_F(HexViewTest, PasteWithEscapesTurnsEachEscapeIntoItsByteAndRefusesMalformedText)
{
    QClipboard* clipboard = QApplication::clipboard();
    SetBytes("");
    view.SetOverwriteMode(false);
    Click(0, HexArea::Text);
    clipboard->setText(QStringLiteral(R"(a\r\n\t\0\\\e\x1b\xFFz)"));
    view.PasteWithEscapes();
    EXPECT_EQ(Bytes(), QByteArray("a\r\n\t\0\\\x1b\x1b\xFFz", 10));

    for (const char* malformed : {R"(ok\q)", R"(ok\x4)", R"(ok\xG0)", "ok\\"}) {
        clipboard->setText(QString::fromLatin1(malformed));
        view.PasteWithEscapes();
        EXPECT_EQ(block.Size(), 10u) << malformed << " changed the pane";
        EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("at character 3"))) << QToolTip::text().toStdString();
    }
    clipboard->setText(QStringLiteral("\u20ac"));
    view.PasteWithEscapes();
    EXPECT_EQ(block.Size(), 10u) << "a character that is no byte";
    clipboard->setText(QStringLiteral(R"(\n)"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes().right(2), QByteArray(R"(\n)")) << "plain Paste stays literal";
}
