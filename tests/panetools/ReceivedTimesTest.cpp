// Arrival times in the real window: bytes from a real TCP client on loopback, "Show times" and
// "Burst gap" through the Received pane's context menu, what the pane then paints, reads to
// assistive technology and shows as tooltips, its text export, and Clear.
#include "tests/links/LinkFixture.h"

#include "panes/models/ArrivalTimeText.h"
#include "panes/ui/PaneTextExport.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"

#include <QAccessible>
#include <QAction>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace linktest;

namespace {

class ReceivedTimesTest : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        const std::uint16_t port = FreeTcpPort();
        ChooseTcp(Num(port), QString(), QString());
        Click(IDC_START);
        ASSERT_TRUE(WaitState(QStringLiteral("Listening")));
        m_client = ConnectTcp(port);
        ASSERT_TRUE(m_client);
        ASSERT_TRUE(WaitState(QStringLiteral("Connected")));
    }
    void TearDown() override
    {
        QToolTip::hideText();
        plat::SetFileDialogHook(nullptr);
        m_client = Fd();
        LinkFixture::TearDown();
    }

    plat::HexView* Pane() { return Widget<plat::HexView>(IDC_HEX_RECEIVED); }
    ArrivalTimes& Times() { return dlg->ReceivedArrivals(); }

    // The client sends `size` bytes of `value`; returns when the pane holds them.
    void Send(std::size_t size, unsigned char value)
    {
        const std::vector<unsigned char> bytes(size, value);
        const std::int64_t expected = dlg->ReceivedTotal() + static_cast<std::int64_t>(size);
        ASSERT_TRUE(SendAll(m_client.Get(), bytes.data(), bytes.size()));
        ASSERT_TRUE(WaitFor([&] { return dlg->ReceivedTotal() == expected; }));
    }
    // A quiet spell well beyond the default gap of 100 ms.
    static void Quiet() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }

    // The entry of the Received pane's context menu, opened with a right click, that reads `text`;
    // `inSubmenu` looks in the submenu of that name.
    QAction* MenuEntry(const QString& text, const QString& inSubmenu = QString())
    {
        QTest::mouseClick(dlg->windowHandle(), Qt::RightButton, Qt::NoModifier,
                          Pane()->viewport()->mapTo(dlg.get(), QPoint(20, 10)));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return nullptr;
        QAction* found = nullptr;
        for (QAction* action : menu->actions()) {
            if (inSubmenu.isEmpty() && action->text() == text)
                found = action;
            if (!inSubmenu.isEmpty() && action->text() == inSubmenu && action->menu())
                for (QAction* choice : action->menu()->actions())
                    if (choice->text() == text)
                        found = choice;
        }
        menu->close();
        return found;
    }
    void SetShowTimes(bool on)
    {
        QAction* entry = MenuEntry(QStringLiteral("Show &times"));
        ASSERT_TRUE(entry);
        ASSERT_TRUE(entry->isCheckable());
        if (entry->isChecked() != on)
            entry->trigger();
        ASSERT_EQ(entry->isChecked(), on);
        Settle();
    }

    // The tooltip the pane shows when the mouse rests on a byte; empty for none.
    QString ToolTipOn(std::size_t offset)
    {
        // QToolTip::hideText only fades the shown one out later: the probe starts without one.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->inherits("QTipLabel"))
                top->hide();
        Pane()->ScrollOffsetIntoView(offset);
        const QPoint at = Pane()->PointOfOffset(offset, plat::HexArea::Hex);
        QHelpEvent help(QEvent::ToolTip, at, Pane()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(Pane()->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    // The colour painted just before a byte's hex digits, where the line of a burst's start goes.
    QColor ColourBefore(std::size_t offset)
    {
        Settle();
        const QRect cell = Pane()->CellRect(offset, plat::HexArea::Hex, 0);
        const QImage image = Pane()->viewport()->grab().toImage();
        return image.pixelColor(cell.x() - cell.width() / 2 - 1, cell.center().y());
    }
    // Export as text through the pane's menu into `path`; returns when the export has ended.
    void ExportTo(const std::string& path)
    {
        plat::SetFileDialogHook([path](plat::FileDialogKind) -> std::optional<QString> { return QString::fromStdString(path); });
        QAction* entry = MenuEntry(QStringLiteral("&Export as text..."));
        ASSERT_TRUE(entry);
        entry->trigger();
        ASSERT_TRUE(WaitFor([&] { return !Pane()->findChild<PaneTextExport*>()->IsRunning(); }));
    }
    static std::string FileText(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    QStringList AccessibleLines() { return Pane()->AccessibleRows().Text().split(QLatin1Char('\n')); }

    static QString Clock(const ArrivalTimes::Burst& burst)
    {
        return QString::fromStdString(ArrivalClockText(burst.msSinceEpoch));
    }
    static std::string DateTime(const ArrivalTimes::Burst& burst) { return ArrivalDateTimeText(burst.msSinceEpoch); }

    Fd m_client;
};

} // namespace

TEST_F(ReceivedTimesTest, ShowTimesMarksEachBurstInThePaneItsTooltipsAndItsAccessibleRows)
{
    Send(20, 'A');
    Quiet();
    Send(30, 'B'); // from offset 20, inside the second row
    ASSERT_EQ(Times().Count(), 2u);
    const ArrivalTimes::Burst first = *Times().BurstContaining(0);
    const ArrivalTimes::Burst second = *Times().BurstContaining(20);
    ASSERT_EQ(second.offset, 20u);
    EXPECT_EQ(*Times().BurstContaining(49), second);

    // Off (the start): rows read as offsets, no tooltip, nothing drawn before the burst's byte.
    const QColor base = Pane()->palette().color(QPalette::Base);
    EXPECT_TRUE(AccessibleLines()[0].startsWith(QStringLiteral("00000000  41 41")));
    EXPECT_EQ(ToolTipOn(5), QString());
    EXPECT_EQ(ColourBefore(20), base);

    SetShowTimes(true);
    const QStringList lines = AccessibleLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0].left(16), Clock(first) + QStringLiteral("  41"));
    EXPECT_EQ(lines[1].left(16), Clock(second) + QStringLiteral("  41"));
    // The offset column is wide enough for a time; rows without a burst keep their offset.
    EXPECT_EQ(lines[2].left(16), QStringLiteral("00000020      42"));
    EXPECT_EQ(ToolTipOn(5).toStdString(), "Received " + DateTime(first));
    EXPECT_EQ(ToolTipOn(19).toStdString(), "Received " + DateTime(first));
    EXPECT_EQ(ToolTipOn(20).toStdString(), "Received " + DateTime(second));
    EXPECT_EQ(ToolTipOn(49).toStdString(), "Received " + DateTime(second));
    EXPECT_EQ(ToolTipOn(50), QString()) << "the append position is no byte";
    EXPECT_EQ(ColourBefore(20), Pane()->palette().color(QPalette::Link));
    EXPECT_EQ(ColourBefore(19), base);

    SetShowTimes(false);
    EXPECT_TRUE(AccessibleLines()[1].startsWith(QStringLiteral("00000010  41 41")));
    EXPECT_EQ(ToolTipOn(5), QString());
    EXPECT_EQ(ColourBefore(20), base);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ReceivedTimesTest, TheExportWritesTheTimeBeforeEachRowWhereABurstBegins)
{
    char pattern[] = "/tmp/relvanto-times-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    Send(16, 'A');
    Quiet();
    Send(19, 'B'); // a burst from the start of the second row
    Quiet();
    Send(2, 'C');  // one from offset 0x23, inside the third row
    ASSERT_EQ(Times().Count(), 3u);
    const ArrivalTimes::Burst first = *Times().BurstContaining(0);
    const ArrivalTimes::Burst second = *Times().BurstContaining(16);
    const ArrivalTimes::Burst third = *Times().BurstContaining(35);

    const std::string rows = "00000000  41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA\n";
    ExportTo(folder + "/plain.txt");
    const std::string withoutTimes = FileText(folder + "/plain.txt");
    EXPECT_EQ(withoutTimes.rfind(rows, 0), 0u) << "without Show times the export is the rows alone";
    EXPECT_EQ(withoutTimes.find("--"), std::string::npos);

    SetShowTimes(true);
    ExportTo(folder + "/times.txt");
    std::ifstream in(folder + "/times.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "-- " + DateTime(first) + " --");
    EXPECT_EQ(lines[1].substr(0, 8), "00000000");
    EXPECT_EQ(lines[2], "-- " + DateTime(second) + " --");
    EXPECT_EQ(lines[3].substr(0, 14), "00000010  42 4");
    EXPECT_EQ(lines[4], "-- " + DateTime(third) + " from offset 00000023 --");
    EXPECT_EQ(lines[5].substr(0, 8), "00000020");
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ReceivedTimesTest, TheBurstGapChosenInTheMenuDecidesWhereNewBurstsBegin)
{
    QAction* fiveSeconds = MenuEntry(QStringLiteral("5 s"), QStringLiteral("Burst &gap"));
    ASSERT_TRUE(fiveSeconds);
    EXPECT_TRUE(MenuEntry(QStringLiteral("100 ms"), QStringLiteral("Burst &gap"))->isChecked()) << "the default";
    fiveSeconds->trigger();
    EXPECT_TRUE(fiveSeconds->isChecked());
    EXPECT_FALSE(MenuEntry(QStringLiteral("100 ms"), QStringLiteral("Burst &gap"))->isChecked());

    Send(10, 'A');
    Quiet(); // shorter than five seconds: the same burst
    Send(10, 'B');
    EXPECT_EQ(Times().Count(), 1u);

    MenuEntry(QStringLiteral("100 ms"), QStringLiteral("Burst &gap"))->trigger();
    Quiet();
    Send(10, 'C');
    ASSERT_EQ(Times().Count(), 2u);
    EXPECT_EQ(Times().BurstContaining(25)->offset, 20u);
    EXPECT_EQ(Times().BurstContaining(19)->offset, 0u);
}

TEST_F(ReceivedTimesTest, ClearForgetsTheTimesWithTheBytes)
{
    Send(40, 'A');
    SetShowTimes(true);
    ASSERT_EQ(Times().Count(), 1u);
    const ArrivalTimes::Burst before = *Times().BurstContaining(0);
    EXPECT_TRUE(AccessibleLines()[0].startsWith(Clock(before)));

    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return dlg->ReceivedBlock().Size() == 0 && dlg->ReceivedTotal() == 0; }));
    EXPECT_EQ(Times().Count(), 0u);
    EXPECT_FALSE(AccessibleLines()[0].contains(QLatin1Char(':'))) << AccessibleLines()[0].toStdString();

    // Bytes right after the clear begin a burst of their own, however short the pause.
    Send(3, 'B');
    ASSERT_EQ(Times().Count(), 1u);
    EXPECT_EQ(Times().BurstContaining(2)->offset, 0u);
    EXPECT_EQ(ToolTipOn(2).toStdString(), "Received " + DateTime(*Times().BurstContaining(2)));
}

TEST_F(ReceivedTimesTest, AssistiveTechnologyFindsTheEntriesByTheirCaptionsAndPressesThem)
{
    Send(8, 'A');
    QTest::mouseClick(dlg->windowHandle(), Qt::RightButton, Qt::NoModifier,
                      Pane()->viewport()->mapTo(dlg.get(), QPoint(20, 10)));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(menu);
    ASSERT_TRUE(iface);
    QAccessibleInterface* showTimes = nullptr;
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        names << child->text(QAccessible::Name);
        if (child->text(QAccessible::Name) == QStringLiteral("Show times"))
            showTimes = child;
    }
    EXPECT_TRUE(names.contains(QStringLiteral("Burst gap"))) << names.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(showTimes) << names.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(showTimes->state().checkable);
    ASSERT_TRUE(showTimes->actionInterface());
    showTimes->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(WaitFor([&] { return Pane()->MarkSource() != nullptr; }));
    EXPECT_TRUE(AccessibleLines()[0].startsWith(Clock(*Times().BurstContaining(0))));
    if (QApplication::activePopupWidget())
        QApplication::activePopupWidget()->close();
}
