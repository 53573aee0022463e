// Marks that a view's owner puts on the bytes: their labels in the offset column, widened for them,
// in what assistive technology reads (with the caret still where the user works), and tooltips.
#include "HexViewFixture.h"

#include "platform/hexview/HexMarks.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <vector>

namespace {

class FixedMarks : public plat::HexMarkSource {
public:
    std::vector<plat::HexMark> marks;
    mutable std::vector<std::pair<std::uint64_t, std::uint64_t>> asked;

    void MarksIn(std::uint64_t from, std::uint64_t to, std::vector<plat::HexMark>& out) const override
    {
        asked.emplace_back(from, to);
        for (const plat::HexMark& mark : marks)
            if (mark.offset >= from && mark.offset < to)
                out.push_back(mark);
    }
    int LabelWidth() const override { return 12; }
    QString ToolTipAt(std::uint64_t offset) const override
    {
        return offset % 2 == 0 ? QStringLiteral("byte %1").arg(offset) : QString();
    }
};

QString ToolTipAt(plat::HexView& view, QPoint at)
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel"))
            top->hide();
    QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

TEST_F(HexViewTest, MarksReadInTheOffsetColumnAndTheCaretStaysOnItsByte)
{
    SetBytes(QByteArray("0123456789abcdefGHIJKLMNOPQRSTUVWXYZ"));
    FixedMarks source;
    source.marks = {{0, QStringLiteral("first")}, {20, QStringLiteral("a label too long")}, {22, QStringLiteral("x")}};
    view.SetMarkSource(&source);
    ApplyRedraws();

    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&view)->textInterface();
    const QString all = text->text(0, text->characterCount());
    const QStringList rows = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringLiteral("first         30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  0123456789abcdef"));
    // One label a row, cut to the column; the other rows keep their offset.
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("a label too   47 48")));
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("00000020      57 58 59 5A")));
    EXPECT_EQ(rows[1].size(), rows[0].size());

    // The caret, a click and the characters of the text agree with the wider column.
    Click(17, plat::HexArea::Hex);
    EXPECT_EQ(view.CursorOffset(), 17u);
    EXPECT_EQ(text->text(text->cursorPosition(), text->cursorPosition() + 2), QStringLiteral("48"));
    text->setCursorPosition(static_cast<int>(all.indexOf(QStringLiteral("KLM"))));
    EXPECT_EQ(view.CursorOffset(), 20u);
    EXPECT_EQ(view.ActiveArea(), plat::HexArea::Text);
    const int at = text->cursorPosition();
    EXPECT_EQ(text->offsetAtPoint(text->characterRect(at).center()), at);

    // Only the rows in view are asked for.
    ASSERT_FALSE(source.asked.empty());
    for (const auto& [from, to] : source.asked)
        EXPECT_LE(to - from, 16u * 64);

    view.SetMarkSource(nullptr);
    const QString plain = text->text(0, text->characterCount());
    EXPECT_TRUE(plain.startsWith(QStringLiteral("00000000  30 31")));
}

TEST_F(HexViewTest, TheMarksGiveTheTooltipOfTheByteUnderTheMouseAndOnlyOfABytes)
{
    SetBytes(QByteArray("0123456789abcdefGHIJ"));
    FixedMarks source;
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(4, plat::HexArea::Hex)), QString()) << "no marks, no tooltip";
    view.SetMarkSource(&source);
    ApplyRedraws();
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(4, plat::HexArea::Hex)), QStringLiteral("byte 4"));
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(18, plat::HexArea::Text)), QStringLiteral("byte 18"));
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(5, plat::HexArea::Hex)), QString()) << "the source has none for it";
    // The offset column, the room after the last byte and the append position have none.
    EXPECT_EQ(ToolTipAt(view, QPoint(2, view.PointOfOffset(4, plat::HexArea::Hex).y())), QString());
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(20, plat::HexArea::Hex)), QString());
    EXPECT_EQ(ToolTipAt(view, view.PointOfOffset(0, plat::HexArea::Hex) + QPoint(0, 5 * view.fontMetrics().height())), QString());
}
