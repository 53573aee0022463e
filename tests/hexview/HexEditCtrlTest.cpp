// The window's wrapper around a pane.
#include "panes/ui/HexEditCtrl.h"

#include "HexViewFixture.h"

#include <QAccessible>
#include <QLineEdit>
#include <QVBoxLayout>

#include <thread>

TEST_F(HexViewTest, WrapperBindsTheBlockAndPassesRequestsFromAnyThread)
{
    plat::ByteBlock pane;
    CHexeditctrl1 control;
    EXPECT_EQ(control.BindData(&pane, 0), -1) << "no view attached yet";
    control.Attach(&view);
    EXPECT_EQ(control.View(), &view);
    EXPECT_EQ(control.BindData(&pane, 0), 0);
    EXPECT_EQ(view.Block(), &pane);

    Type("41");
    EXPECT_EQ(pane.Size(), 1u) << "the user's edits change the bound block";
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_TRUE(view.IsModified());

    std::thread worker([&] {
        pane.Resize(16 * 1000);
        control.UpdateView(254);
        control.Modified(false);
    });
    worker.join();
    ApplyRedraws();
    EXPECT_FALSE(view.IsModified());
    EXPECT_EQ(view.RowCount(), 1001u);
    EXPECT_EQ(view.FirstVisibleRow(), 0u) << "254 does not scroll";

    std::thread([&] { control.UpdateView(CHexeditctrl1::kRedrawToEnd); }).join();
    ApplyRedraws();
    EXPECT_TRUE(view.IsEndInView());
    view.SetBlock(&block); // the fixture's block outlives the view, the local one does not
}

TEST(HexViewFocus, TheViewIsATabStopWithTheNameTheWindowGives)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit;
    auto* view = new plat::HexView;
    auto* after = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(view);
    layout->addWidget(after);
    view->setAccessibleName("Received Data");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    EXPECT_TRUE(view->hasFocus());
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus()) << "Tab leaves the view";

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QString("Received Data"));
}
