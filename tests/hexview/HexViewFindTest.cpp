// The view's context menu and Find, driven as a person does: right click and the Menu key, Ctrl+F,
// typing into the Find window, F3 and Shift+F3.
#include "HexViewFixture.h"
#include "tests/support/WithoutThreads.h"

#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFindDialog.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace {

QStringList Texts(const QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// The popup that is open now.
QMenu* OpenMenu()
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

class HexViewFindTest : public HexViewTest {
protected:
    plat::HexFindDialog* Dialog() const { return view.Finder()->Dialog(); }
    QLineEdit* WhatField() const { return Dialog()->findChild<QLineEdit*>(); }
    QPushButton* Button(const QString& text) const
    {
        for (QPushButton* button : Dialog()->findChildren<QPushButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }

    // Ctrl+F in the view, the bytes typed into the Find window and Return.
    void FindFromKeyboard(const char* what)
    {
        Key(Qt::Key_F, Qt::ControlModifier);
        ASSERT_TRUE(Dialog() && Dialog()->isVisible());
        QTest::keyClicks(WhatField(), what);
        QTest::keyClick(WhatField(), Qt::Key_Return);
        WaitForSearch();
    }
    void WaitForSearch()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !view.Finder()->IsSearching(); }));
    }
    // Back in the pane from the Find window, as a click in it does.
    void BackToView()
    {
        view.activateWindow();
        view.setFocus();
        ASSERT_TRUE(QTest::qWaitFor([this] { return view.isActiveWindow(); }));
    }
    std::string Status() const { return Dialog()->Status().toStdString(); }
    void Selected(std::size_t start, std::size_t end)
    {
        EXPECT_EQ(view.SelectionStart(), start);
        EXPECT_EQ(view.SelectionEnd(), end);
    }

    void TearDown() override
    {
        if (Dialog())
            Dialog()->close();
    }
};

TEST_F(HexViewFindTest, TheContextMenuOffersFindWhichOpensTheFindWindow)
{
    SetBytes("abc");
    Key(Qt::Key_Menu);
    QMenu* menu = OpenMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(Texts(menu), (QStringList{"&Find...", "Find &Next", "Find &Previous"}));
    QAction* find = menu->actions().first();
    menu->close();
    find->trigger();
    ASSERT_TRUE(Dialog());
    EXPECT_TRUE(Dialog()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([this] { return WhatField()->hasFocus(); }));
}

TEST_F(HexViewFindTest, FindNextAndPreviousSelectEachHitAndSayWhenThereIsNoMore)
{
    SetBytes(QByteArray("one\r\ntwo\r\nthree\r\n"));
    FindFromKeyboard("0d 0a");
    Selected(3, 5);
    EXPECT_EQ(view.ActiveArea(), plat::HexArea::Hex);
    EXPECT_EQ(Status(), "Found at offset 00000003.");

    BackToView();
    Key(Qt::Key_F3);
    WaitForSearch();
    Selected(8, 10);
    Key(Qt::Key_F3);
    WaitForSearch();
    Selected(15, 17);
    Key(Qt::Key_F3);
    WaitForSearch();
    Selected(15, 17);
    EXPECT_EQ(Status(), "Not found between the cursor and the end.");

    Key(Qt::Key_F3, Qt::ShiftModifier);
    WaitForSearch();
    Selected(8, 10);
    // The other spellings of the same bytes, through the window's own button.
    for (const char* spelling : {"0x0D,0x0A", "0d0a"}) {
        WhatField()->setText(QString::fromLatin1(spelling));
        QTest::mouseClick(Button(QStringLiteral("Find &Previous")), Qt::LeftButton);
        WaitForSearch();
        Selected(3, 5);
        view.SetCursorOffset(6, plat::HexArea::Hex);
    }
}

TEST_F(HexViewFindTest, TextIsFoundInTheTextColumnAndTheKindFollowsTheColumnWorkedIn)
{
    SetBytes("GET / HTTP/1.1\r\nHost: x\r\n");
    view.SetCursorOffset(0, plat::HexArea::Text);
    FindFromKeyboard("Host");
    EXPECT_FALSE(Dialog()->IsHex());
    Selected(16, 20);
    EXPECT_EQ(view.ActiveArea(), plat::HexArea::Text);
}

TEST_F(HexViewFindTest, UnreadableHexIsExplainedAndSearchesNothing)
{
    SetBytes("abc");
    view.SetCursorOffset(1, plat::HexArea::Hex);
    FindFromKeyboard("0d 0");
    EXPECT_EQ(Status(), "The hex digit at position 4 has no second digit to make a byte; type the bytes as pairs of hex digits, such as 0d 0a.");
    EXPECT_EQ(view.CursorOffset(), 1u);
}

TEST_F(HexViewFindTest, OnlyTheWholePatternIsSearchedForAndWhatCannotBeIsSaidPlainly)
{
    SetBytes(QByteArray(1000, 'a') + QByteArray(40000, 'b'));
    view.SetCursorOffset(0, plat::HexArea::Text);
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Dialog());
    auto findNext = [this](const QString& what) {
        Dialog()->SetWhat(what);
        QTest::mouseClick(Button(QStringLiteral("Find &Next")), Qt::LeftButton);
        WaitForSearch();
        return Status();
    };
    // Longer than the field's old limit, and longer than the run of b's in the pane.
    EXPECT_EQ(findNext(QString(100000, QLatin1Char('b'))), "Not found between the cursor and the end.");
    EXPECT_EQ(findNext(QString(plat::HexFindDialog::kMostPatternChars + 5, QLatin1Char('b'))),
              "What to look for can be at most 1048575 characters long; this is too long to look for.");
    EXPECT_EQ(findNext(QString::fromUtf8("ab\xF0\x9F\x98\x80")),
              "\"\xF0\x9F\x98\x80\" (U+1F600) is not a character of one byte; look for its bytes in hex instead.");
    EXPECT_EQ(findNext(QString()), "Type what to look for first.");
    Dialog()->SetHex(true);
    EXPECT_EQ(findNext(QStringLiteral("0d 0g")), "\"g\" at position 5 is not a hex digit; type the bytes as pairs of hex digits, such as 0d 0a.");
    EXPECT_EQ(view.CursorOffset(), 0u);
}

TEST_F(HexViewFindTest, ASearchWithoutAThreadSaysItCouldNotStart)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "thread limits do not work under the sanitizers";
    SetBytes("abc");
    view.SetCursorOffset(1, plat::HexArea::Hex);
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Dialog());
    Dialog()->SetWhat(QStringLiteral("62"));
    const int status = testwait::InChildWithoutRoomForThreads([&] {
        QTest::mouseClick(Button(QStringLiteral("Find &Next")), Qt::LeftButton);
        const bool told = Status() == "The search could not be started: the system has no thread to spare for it.";
        return told && !view.Finder()->IsSearching() && view.CursorOffset() == 1u ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "100: an exception escaped instead of a message";
}

TEST_F(HexViewFindTest, AHitFarDownIsScrolledIntoView)
{
    plat::ByteBlock big;
    ASSERT_EQ(big.Resize(std::size_t{64} << 20), plat::BlockStatus::Ok);
    const unsigned char mark[] = {0xDE, 0xAD, 0xBE, 0xEF};
    const std::size_t at = (std::size_t{50} << 20) + 7;
    big.Overwrite(at, mark, sizeof mark);
    view.SetBlock(&big);
    FindFromKeyboard("de ad be ef");
    Selected(at, at + 4);
    const std::uint64_t row = at / 16;
    EXPECT_LE(view.FirstVisibleRow(), row);
    EXPECT_LT(row, view.FirstVisibleRow() + static_cast<std::uint64_t>(view.VisibleRowCount()));
    view.SetBlock(&block);
}

// The search reads the block on a worker: a view that lets go of its block ends the search first,
// so the block may go right after (the window does this as it closes).
TEST_F(HexViewFindTest, LettingGoOfTheBlockEndsARunningSearch)
{
    auto big = std::make_unique<plat::ByteBlock>();
    ASSERT_EQ(big->Resize(std::size_t{512} << 20), plat::BlockStatus::Ok);
    view.SetBlock(big.get());
    FindFromKeyboard("01 02 03"); // zeros all through: a search over the whole block
    view.SetBlock(nullptr);
    EXPECT_FALSE(view.Finder()->IsSearching());
    EXPECT_EQ(big->HoldCount(), 0u);
    big.reset();
    QCoreApplication::processEvents(); // a result posted before the end must not touch the view
    view.SetBlock(&block);
}

// An edit changes the bytes the worker reads, and would make its hit stale: it ends the search first.
TEST_F(HexViewFindTest, AnEditEndsARunningSearchAndWins)
{
    plat::ByteBlock big;
    ASSERT_EQ(big.Resize(std::size_t{512} << 20), plat::BlockStatus::Ok);
    view.SetBlock(&big);
    view.SetCursorOffset(0, plat::HexArea::Hex);
    view.Finder()->OpenDialog();
    WhatField()->setText(QStringLiteral("01 02 03"));
    QTest::mouseClick(Button(QStringLiteral("Find &Next")), Qt::LeftButton);
    ASSERT_TRUE(view.Finder()->IsSearching());
    Type("7");
    EXPECT_FALSE(view.Finder()->IsSearching());
    EXPECT_EQ(Status(), "Search stopped.");
    unsigned char first = 0;
    big.Read(0, &first, 1);
    EXPECT_EQ(first, 0x70);
    // A result the worker had posted is already queued: it must not select anything.
    QCoreApplication::processEvents();
    EXPECT_EQ(view.SelectionEnd(), view.SelectionStart());
    view.SetBlock(&block);
}

TEST_F(HexViewFindTest, TheFindWindowsControlsAreNamedByTheirCaptions)
{
    SetBytes("abc");
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Dialog());
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(WhatField());
    ASSERT_TRUE(field);
    EXPECT_EQ(field->text(QAccessible::Name), QStringLiteral("Find what:"));
    QAccessibleInterface* next = QAccessible::queryAccessibleInterface(Button(QStringLiteral("Find &Next")));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text(QAccessible::Name), QStringLiteral("Find Next"));
    // Its action does what a click does.
    WhatField()->setText(QStringLiteral("62"));
    next->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([this] { return view.SelectionStart() == 1 && view.SelectionEnd() == 2; }));
}

} // namespace
