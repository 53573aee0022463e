// Typing into the view changes the bound block exactly.
#include "HexViewFixture.h"

using plat::HexArea;

TEST_F(HexViewTest, HexDigitsOverwriteInPlaceAndAppendAtTheEnd)
{
    SetBytes("ABC");
    Click(1, HexArea::Hex);
    Type("7");
    EXPECT_EQ(Bytes(), QByteArray("ArC")) << "the high digit is written at once";
    Type("3");
    EXPECT_EQ(Bytes(), QByteArray("AsC"));
    EXPECT_EQ(view.CursorOffset(), 2u);
    Key(Qt::Key_End, Qt::ControlModifier);
    Type("7a7");
    EXPECT_EQ(Bytes(), QByteArray("AsCzp"));
    EXPECT_EQ(view.CursorOffset(), 4u) << "half-way through the appended byte";
    EXPECT_TRUE(view.IsModified());
}

TEST_F(HexViewTest, ClickOnTheLowDigitOverwritesOnlyThatDigit)
{
    SetBytes(QByteArray("\x12\x34", 2));
    const QPoint lowDigit = view.PointOfOffset(0, HexArea::Hex) + QPoint(view.fontMetrics().horizontalAdvance('0'), 0);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, lowDigit);
    Type("f");
    EXPECT_EQ(Bytes(), QByteArray("\x1F\x34", 2));
    EXPECT_EQ(view.CursorOffset(), 1u);
}

TEST_F(HexViewTest, InsertKeySwitchesToInsertingWholeBytes)
{
    SetBytes("AC");
    ASSERT_TRUE(view.IsOverwriteMode());
    Key(Qt::Key_Insert);
    EXPECT_FALSE(view.IsOverwriteMode());
    Click(1, HexArea::Hex);
    Type("42");
    EXPECT_EQ(Bytes(), QByteArray("ABC"));
    Type("4");
    EXPECT_EQ(Bytes(), QByteArray("AB@C")) << "a lone high digit already makes a byte";
    Type("4");
    EXPECT_EQ(Bytes(), QByteArray("ABDC"));
    Key(Qt::Key_Insert);
    EXPECT_TRUE(view.IsOverwriteMode());
    Type("45");
    EXPECT_EQ(Bytes(), QByteArray("ABDE"));
}

TEST_F(HexViewTest, TextColumnTypesCharactersInBothModes)
{
    SetBytes("abcd");
    Click(1, HexArea::Text);
    EXPECT_EQ(view.ActiveArea(), HexArea::Text);
    Type("XY");
    EXPECT_EQ(Bytes(), QByteArray("aXYd"));
    Key(Qt::Key_Insert);
    Type("1 ");
    EXPECT_EQ(Bytes(), QByteArray("aXY1 d"));
    Key(Qt::Key_End, Qt::ControlModifier);
    Type("!");
    EXPECT_EQ(Bytes(), QByteArray("aXY1 d!"));
    // Hex digits in the text column are characters, not digits.
    Key(Qt::Key_Home, Qt::ControlModifier);
    Type("f");
    EXPECT_EQ(Bytes(), QByteArray("faXY1 d!"));
}

TEST_F(HexViewTest, CtrlTabMovesBetweenColumnsAndKeepsTheCursor)
{
    SetBytes("abc");
    Click(2, HexArea::Hex);
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(view.ActiveArea(), HexArea::Text);
    Type("Z");
    EXPECT_EQ(Bytes(), QByteArray("abZ"));
}

TEST_F(HexViewTest, DeleteAndBackspaceRemoveOneByteAndStopAtTheEnds)
{
    SetBytes("abcde");
    Click(1, HexArea::Hex);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("acde"));
    EXPECT_EQ(view.CursorOffset(), 1u);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cde"));
    EXPECT_EQ(view.CursorOffset(), 0u);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cde")) << "nothing before the first byte";
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("cde")) << "nothing after the last byte";
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("cd"));
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(block.Size(), 0u);
}

TEST_F(HexViewTest, BackspaceAfterAHalfTypedInsertTakesThatByteBack)
{
    SetBytes("ab");
    Key(Qt::Key_Insert);
    Click(1, HexArea::Hex);
    Type("7");
    ASSERT_EQ(Bytes(), QByteArray("apb"));
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("ab"));
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

TEST_F(HexViewTest, KeysWithoutABlockDoNothing)
{
    view.SetBlock(nullptr);
    Type("41");
    Key(Qt::Key_Delete);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.CursorOffset(), 0u);
    EXPECT_FALSE(view.IsModified());
    view.grab(); // paints an empty view
}
