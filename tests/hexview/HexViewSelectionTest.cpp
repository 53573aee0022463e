// Selection by keyboard and mouse, and the clipboard.
#include "HexViewFixture.h"

#include <QApplication>
#include <QClipboard>

using plat::HexArea;

TEST_F(HexViewTest, ShiftArrowsSelectAndDeleteRemovesTheSelection)
{
    SetBytes("0123456789");
    Click(2, HexArea::Hex);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectionStart(), 2u);
    EXPECT_EQ(view.SelectionEnd(), 5u);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Bytes(), QByteArray("01456789"));
    EXPECT_EQ(view.CursorOffset(), 2u);
    EXPECT_EQ(view.SelectionEnd(), 2u) << "nothing is selected after the delete";
}

TEST_F(HexViewTest, ShiftClickAndDragSelectAndTypingReplacesInInsertMode)
{
    SetBytes("abcdefgh");
    Click(1, HexArea::Text);
    Click(3, HexArea::Text, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectionStart(), 1u);
    EXPECT_EQ(view.SelectionEnd(), 3u);
    Key(Qt::Key_Insert);
    Type("X");
    EXPECT_EQ(Bytes(), QByteArray("aXdefgh"));

    // Dragging forward takes in the byte under the pointer.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.PointOfOffset(2, HexArea::Hex));
    QTest::mouseMove(view.viewport(), view.PointOfOffset(4, HexArea::Hex));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.PointOfOffset(4, HexArea::Hex));
    EXPECT_EQ(view.SelectionStart(), 2u);
    EXPECT_EQ(view.SelectionEnd(), 5u);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Bytes(), QByteArray("aXgh"));
}

TEST_F(HexViewTest, OverwriteTypingOverASelectionStartsAtItsStartAndKeepsTheSize)
{
    SetBytes("abcdef");
    Click(4, HexArea::Text);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Type("XY");
    EXPECT_EQ(Bytes(), QByteArray("abXYef"));
}

TEST_F(HexViewTest, CopyGivesHexInTheHexColumnAndRawTextInTheTextColumn)
{
    SetBytes(QByteArray("AB\x00\x7F" "C", 5));
    Click(1, HexArea::Hex);
    Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString("42 00 7F 43"));

    Click(0, HexArea::Text);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString("AB"));
    EXPECT_EQ(Bytes(), QByteArray("AB\x00\x7F" "C", 5)) << "copying changes nothing";
}

TEST_F(HexViewTest, CutRemovesWhatItCopies)
{
    SetBytes("abcdef");
    Click(1, HexArea::Text);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString("bc"));
    EXPECT_EQ(Bytes(), QByteArray("adef"));
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("adefbc"));
}

TEST_F(HexViewTest, PasteReadsHexInTheHexColumnAndBytesInTheTextColumn)
{
    SetBytes("abcd");
    Key(Qt::Key_Insert);
    QApplication::clipboard()->setText("de ad,0xBE\nef");
    Click(2, HexArea::Hex);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("ab\xDE\xAD\xBE\xEF" "cd"));
    EXPECT_EQ(view.CursorOffset(), 6u);

    QApplication::clipboard()->setText("12 3"); // odd count of digits: not hex
    Key(Qt::Key_V, Qt::ControlModifier);
    QApplication::clipboard()->setText("zz");
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("ab\xDE\xAD\xBE\xEF" "cd"));

    Click(0, HexArea::Text);
    QApplication::clipboard()->setText("zz");
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("zzab\xDE\xAD\xBE\xEF" "cd"));
}

TEST_F(HexViewTest, PasteInOverwriteModeWritesOverAndExtendsAtTheEnd)
{
    SetBytes("abcd");
    QApplication::clipboard()->setText("XYZ");
    Click(2, HexArea::Text);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Bytes(), QByteArray("abXYZ"));
}

TEST_F(HexViewTest, SelectAllThenDeleteEmptiesTheBlock)
{
    SetBytes("abcdef");
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_TRUE(view.IsModified());
}
