// The hex view as assistive technology reads it through Qt's accessibility interface: the rows as
// text, the caret and the selection, and the announcements while bytes stream in.
#include "HexViewFixture.h"

#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexViewAccessible.h"

#include <QAccessible>
#include <QTimer>

#include <vector>

namespace {

QAccessibleTextInterface* TextOf(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->textInterface() : nullptr;
}

QString AllText(QAccessibleTextInterface* text)
{
    return text->text(0, text->characterCount());
}

// The events that reach assistive technology while it is active.
class AnnouncementRecorder {
public:
    AnnouncementRecorder()
    {
        s_events = &events;
        plat::HexViewAccessible::SetAnnouncementSinkForTests(&Record);
    }
    ~AnnouncementRecorder()
    {
        plat::HexViewAccessible::SetAnnouncementSinkForTests(nullptr);
        s_events = nullptr;
    }
    struct Event {
        QAccessible::Event type;
        QString inserted;
        int cursor;
    };
    std::vector<Event> events;
    std::vector<Event> Of(QAccessible::Event type) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.type == type)
                out.push_back(e);
        return out;
    }

private:
    static void Record(QAccessibleEvent* event)
    {
        if (s_events == nullptr || !qobject_cast<plat::HexView*>(event->object()))
            return;
        Event e{event->type(), QString(), -1};
        if (event->type() == QAccessible::TextUpdated)
            e.inserted = static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted();
        if (event->type() == QAccessible::TextCaretMoved)
            e.cursor = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
        s_events->push_back(e);
    }
    static inline std::vector<Event>* s_events = nullptr;
};

} // namespace

TEST_F(HexViewTest, AssistiveTechnologyReadsTheRowsAsTheViewShowsThem)
{
    QByteArray bytes;
    for (int i = 0; i < 20; ++i)
        bytes.append(static_cast<char>(0x41 + i));
    bytes[3] = '\0';
    SetBytes(bytes);

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    EXPECT_TRUE(iface->state().multiLine);
    QAccessibleTextInterface* text = iface->textInterface();
    ASSERT_NE(text, nullptr);

    const QStringList rows = AllText(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], QStringLiteral("00000000  41 42 43 00 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  ABC.EFGHIJKLMNOP"));
    EXPECT_EQ(rows[1].trimmed(), QStringLiteral("00000010  51 52 53 54                                      QRST"));
    // A reader asks for a line at a time.
    int start = 0;
    int end = 0;
    EXPECT_EQ(text->textAtOffset(rows[0].size() + 5, QAccessible::LineBoundary, &start, &end).trimmed(), rows[1].trimmed());
}

TEST_F(HexViewTest, TheCaretAndTheSelectionAreWhereTheUserWorks)
{
    SetBytes(QByteArray("0123456789abcdefGHIJ"));
    QAccessibleTextInterface* text = TextOf(&view);
    ASSERT_NE(text, nullptr);

    Click(17, plat::HexArea::Hex);
    EXPECT_EQ(text->text(text->cursorPosition(), text->cursorPosition() + 2), QStringLiteral("48"));
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(text->text(text->cursorPosition(), text->cursorPosition() + 1), QStringLiteral("H"));

    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    ASSERT_EQ(text->selectionCount(), 1);
    int start = 0;
    int end = 0;
    text->selection(0, &start, &end);
    EXPECT_EQ(text->text(start, end), QStringLiteral("HI"));
    Key(Qt::Key_Tab, Qt::ControlModifier);
    text->selection(0, &start, &end);
    EXPECT_EQ(text->text(start, end), QStringLiteral("48 49"));

    // Assistive technology moves the caret and selects as the user would.
    const QString all = AllText(text);
    text->setCursorPosition(static_cast<int>(all.indexOf(QStringLiteral("63 64"))));
    EXPECT_EQ(view.CursorOffset(), 12u);
    EXPECT_EQ(view.ActiveArea(), plat::HexArea::Hex);
    const int from = static_cast<int>(all.indexOf(QStringLiteral("bcd")));
    text->setSelection(0, from, from + 3);
    EXPECT_EQ(view.ActiveArea(), plat::HexArea::Text);
    EXPECT_EQ(view.SelectionStart(), 11u);
    EXPECT_EQ(view.SelectionEnd(), 14u);
    text->removeSelection(0);
    EXPECT_EQ(text->selectionCount(), 0);

    // A character's place on screen and the character at a place agree.
    const int at = text->cursorPosition();
    EXPECT_EQ(text->offsetAtPoint(text->characterRect(at).center()), at);
}

TEST_F(HexViewTest, AHugeBlockIsReadOnlyAroundTheRowsInView)
{
    const std::size_t size = std::size_t{1} << 30;
    ASSERT_EQ(block.Resize(size), plat::BlockStatus::Ok);
    view.RequestRedraw(true);
    ApplyRedraws();
    QAccessibleTextInterface* text = TextOf(&view);
    ASSERT_NE(text, nullptr);

    const QString all = AllText(text);
    const QStringList rows = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // The rows in view and at most as many again either side.
    EXPECT_LE(rows.size(), 3 * view.VisibleRowCount());
    EXPECT_GE(rows.size(), view.VisibleRowCount());
    EXPECT_TRUE(rows.last().startsWith(QStringLiteral("40000000"))) << rows.last().toStdString();
    const QString firstShown = plat::hexformat::OffsetText(view.FirstVisibleRow() * 16, 8);
    EXPECT_TRUE(all.contains(firstShown));
    // The caret at the end of the block is at the start of the last row's hex digits.
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(text->text(text->cursorPosition() - 10, text->cursorPosition()), QStringLiteral("40000000  "));
}

TEST_F(HexViewTest, BytesStreamingInAreAnnouncedAsFewChangesAndNothingWhenNobodyListens)
{
    // Nobody listens (offscreen Qt has no accessibility bridge): the view starts no announcement.
    ASSERT_FALSE(QAccessible::isActive());
    SetBytes(QByteArray("quiet"));
    EXPECT_EQ(view.findChild<QTimer*>(), nullptr);

    AnnouncementRecorder recorder;
    const unsigned char chunk[] = {0x52, 0x58};
    for (int i = 0; i < 2000; ++i) {
        block.Insert(block.Size(), chunk, sizeof chunk);
        view.RequestRedraw(true);
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.Of(QAccessible::TextUpdated).empty(); }));
    // The last bytes are in what was announced, and a few announcements stand for 2000 appends.
    QTest::qWait(400);
    const auto updates = recorder.Of(QAccessible::TextUpdated);
    EXPECT_LE(updates.size(), 3u);
    EXPECT_TRUE(updates.back().inserted.contains(QStringLiteral("52 58 52 58")));

    // The user's caret is told at once.
    recorder.events.clear();
    Key(Qt::Key_Home, Qt::ControlModifier);
    const auto carets = recorder.Of(QAccessible::TextCaretMoved);
    ASSERT_EQ(carets.size(), 1u);
    ASSERT_NE(TextOf(&view), nullptr);
    EXPECT_EQ(carets[0].cursor, TextOf(&view)->cursorPosition());
}
