// The view's context menu: opened by a right click and by the Menu key, it lists what the view's
// owner added, and its entries act.
#include "HexViewFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace {

class HexViewMenuTest : public HexViewTest {
protected:
    void SetUp() override
    {
        HexViewTest::SetUp();
        QObject::connect(&mark, &QAction::triggered, [this] { ++marks; });
        view.addAction(&mark);
    }
    void TearDown() override { view.removeAction(&mark); }

    // The popup open now, if any.
    static QMenu* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    QAction* MarkIn(QMenu* menu) { return menu->actions().contains(&mark) ? &mark : nullptr; }

    QAction mark{QStringLiteral("Mark")};
    int marks = 0;
};

TEST_F(HexViewMenuTest, ARightClickOpensTheMenuWithTheOwnersEntriesWhichAct)
{
    SetBytes("abc");
    const QPoint at = view.viewport()->mapTo(view.window(), view.PointOfOffset(1, plat::HexArea::Hex));
    QTest::mouseClick(view.window()->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    QMenu* menu = OpenMenu();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(MarkIn(menu));
    menu->close();
    MarkIn(menu)->trigger();
    EXPECT_EQ(marks, 1);
}

TEST_F(HexViewMenuTest, TheMenuKeyOpensItByTheCursor)
{
    SetBytes(QByteArray(64, 'x'));
    view.SetCursorOffset(33, plat::HexArea::Text);
    Key(Qt::Key_Menu);
    QMenu* menu = OpenMenu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(MarkIn(menu));
    const QRect cursorCell = view.CellRect(33, plat::HexArea::Text, 0);
    EXPECT_EQ(view.viewport()->mapFromGlobal(menu->pos()), cursorCell.bottomLeft());
    menu->close();
}

} // namespace
