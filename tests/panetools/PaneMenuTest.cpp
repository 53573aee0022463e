// The panes' context menus in the real window, and Export as text through them: real files, the
// file dialog answered through its seam, the message boxes recorded.
#include "tests/app/AppFixture.h"
#include "tests/support/WithoutThreads.h"

#include "panes/ui/PaneTextExport.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QAction>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class PaneMenuTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        char pattern[] = "/tmp/relvanto-panemenu-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void TearDown() override
    {
        plat::SetFileDialogHook(nullptr);
        MainWindowFixture::TearDown();
        std::filesystem::remove_all(folder);
    }

    plat::HexView* Pane(int id) { return Widget<plat::HexView>(id); }
    PaneTextExport* Exporter(int id) { return Pane(id)->findChild<PaneTextExport*>(); }

    // Right click at a point of the window; returns the texts of the menu that opened, and leaves it open.
    QMenu* RightClick(QPoint inWindow)
    {
        QTest::mouseClick(dlg->windowHandle(), Qt::RightButton, Qt::NoModifier, inWindow);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    static QStringList Texts(const QMenu* menu)
    {
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                texts << action->text();
        return texts;
    }
    QAction* MenuEntry(int paneId, const QString& text)
    {
        plat::HexView* pane = Pane(paneId);
        QMenu* menu = RightClick(pane->viewport()->mapTo(dlg.get(), QPoint(20, 10)));
        if (!menu)
            return nullptr;
        QAction* found = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == text)
                found = action;
        menu->close();
        return found;
    }

    // Exports the pane through its menu entry into `path`; returns when the export has ended.
    void ExportThroughMenu(int paneId, const std::string& path)
    {
        plat::SetFileDialogHook([path](plat::FileDialogKind kind) -> std::optional<QString> {
            EXPECT_EQ(kind, plat::FileDialogKind::Save);
            return QString::fromStdString(path);
        });
        QAction* entry = MenuEntry(paneId, QStringLiteral("&Export as text..."));
        ASSERT_TRUE(entry);
        entry->trigger();
        ASSERT_TRUE(PumpUntil([&] { return !Exporter(paneId)->IsRunning(); }));
    }

    static std::string FileText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string folder;
};

TEST_F(PaneMenuTest, EachPaneHasItsOwnMenuAndTheBackgroundKeepsTheWindowMenu)
{
    const QStringList common{"&Find...", "Find &Next", "Find &Previous", "&Export as text..."};
    // Only received bytes have arrival times and can be recorded.
    const QStringList received{"Show &times", "Burst &gap", "&Record to file...", "Record to file &with times...",
                               "&Keep only the last 64 MiB while recording"};
    const QStringList sending{"&Line ending for Enter", "Paste with &escapes", "&Recent sends"};
    for (int id : {IDC_HEX_RECEIVED, IDC_HEX_SENDING}) {
        QMenu* menu = RightClick(Pane(id)->viewport()->mapTo(dlg.get(), QPoint(20, 10)));
        ASSERT_TRUE(menu);
        EXPECT_EQ(Texts(menu), id == IDC_HEX_RECEIVED ? common + received : common + sending);
        menu->close();
    }
    QMenu* windowMenu = RightClick(QPoint(2, 2));
    ASSERT_TRUE(windowMenu);
    EXPECT_EQ(Texts(windowMenu).last(), res::LoadString(res::kStringAboutMenuItem));
    windowMenu->close();
}

TEST_F(PaneMenuTest, ExportWritesThePaneAsItsRows)
{
    const char bytes[] = "0123456789abcdef\r\n";
    Pane(IDC_HEX_SENDING)->Block()->Insert(0, reinterpret_cast<const unsigned char*>(bytes), 18);
    const std::string path = folder + "/sending.txt";
    ExportThroughMenu(IDC_HEX_SENDING, path);
    EXPECT_EQ(FileText(path),
              "00000000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  0123456789abcdef\n"
              "00000010  0D 0A                                            ..              \n");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PaneMenuTest, AFailedExportIsExplainedWithTheDataFileTexts)
{
    Pane(IDC_HEX_RECEIVED)->Block()->Resize(100);
    ExportThroughMenu(IDC_HEX_RECEIVED, "/dev/full");
    const std::string missing = folder + "/no/such/folder.txt";
    ExportThroughMenu(IDC_HEX_RECEIVED, missing);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.toStdString(), "Disk full while accessing /dev/full.");
    EXPECT_EQ(boxes[1].text.toStdString(), "The folder " + folder + "/no/such does not exist, so " + missing + " could not be created.");
    EXPECT_EQ(boxes[1].icon, plat::MessageIcon::Stop);
    EXPECT_TRUE(boxes[1].onWindowThread);
}

TEST_F(PaneMenuTest, ALongExportShowsItsProgressAndCancelLeavesNoFile)
{
    // A gibibyte of zeros: no memory is taken for it, and it takes seconds to write as text.
    ASSERT_EQ(Pane(IDC_HEX_RECEIVED)->Block()->Resize(std::size_t{1} << 30), plat::BlockStatus::Ok);
    const std::string path = folder + "/long.txt";
    plat::SetFileDialogHook([path](plat::FileDialogKind) -> std::optional<QString> { return QString::fromStdString(path); });
    QAction* entry = MenuEntry(IDC_HEX_RECEIVED, QStringLiteral("&Export as text..."));
    ASSERT_TRUE(entry);
    entry->trigger();
    PaneTextExport* exporter = Exporter(IDC_HEX_RECEIVED);
    ASSERT_TRUE(PumpUntil([&] { return exporter->Progress() && exporter->Progress()->isVisible(); }));
    // The window goes on answering while the worker writes.
    EXPECT_TRUE(exporter->IsRunning());
    EXPECT_FALSE(entry->isEnabled());
    QPushButton* cancel = exporter->Progress()->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !exporter->IsRunning(); }));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(entry->isEnabled());
}

TEST_F(PaneMenuTest, AnExportToAPipeNeverWaitsForItsReaderAndCancelEndsItAtOnce)
{
    const std::string fifo = folder + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(Pane(IDC_HEX_RECEIVED)->Block()->Resize(1 << 20), plat::BlockStatus::Ok);
    ExportThroughMenu(IDC_HEX_RECEIVED, fifo);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text.toStdString(), "Nothing is reading from " + fifo + ", so the data could not be written.");

    // A reader that never reads: the pipe fills, and Cancel ends the wait.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    QAction* entry = MenuEntry(IDC_HEX_RECEIVED, QStringLiteral("&Export as text..."));
    ASSERT_TRUE(entry);
    entry->trigger();
    PaneTextExport* exporter = Exporter(IDC_HEX_RECEIVED);
    ASSERT_TRUE(PumpUntil([&] { return exporter->Progress() && exporter->Progress()->isVisible(); }));
    QTest::mouseClick(exporter->Progress()->findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !exporter->IsRunning(); }));
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_EQ(Boxes().size(), 1u);
    ::close(reader);
}

TEST_F(PaneMenuTest, AnExportWithoutAThreadSaysItCouldNotStart)
{
    if (!testwait::kThreadLimitsWork)
        GTEST_SKIP() << "thread limits do not work under the sanitizers";
    Pane(IDC_HEX_SENDING)->Block()->Resize(100);
    const std::string path = folder + "/unmade.txt";
    plat::SetFileDialogHook([path](plat::FileDialogKind) -> std::optional<QString> { return QString::fromStdString(path); });
    QAction* entry = MenuEntry(IDC_HEX_SENDING, QStringLiteral("&Export as text..."));
    ASSERT_TRUE(entry);
    const int status = testwait::InChildWithoutRoomForThreads([&] {
        entry->trigger();
        const auto boxes = Boxes();
        const bool told = boxes.size() == 1 &&
                          boxes[0].text == QStringLiteral("The export could not be started: the system has no thread to spare for it.");
        return told && entry->isEnabled() && !Exporter(IDC_HEX_SENDING)->IsRunning() && !std::filesystem::exists(path) ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "100: an exception escaped instead of a message";
}

} // namespace
