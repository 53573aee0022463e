// Message boxes raised by workers while the main window runs exactly as the program runs it. Input
// goes through the window system's path, where the toolkit applies modality.
#include "app/MainApp.h"
#include "app/MainDlg.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"
#include "tests/support/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

using testboxes::FindBox;
using testboxes::PumpUntil;

CMainDlg* ShownMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CMainDlg*>(w); dlg && dlg->isVisible())
            return dlg;
    return nullptr;
}

void ClickOn(QWidget* target)
{
    QWidget* top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, target->rect().center()));
}

// A worker that raises one box and goes on once the box lets it.
class BoxWorker {
public:
    explicit BoxWorker(const QString& text)
        : m_thread([this, text] {
              plat::ShowMessageBox(nullptr, text);
              m_released = true;
          })
    {
    }
    ~BoxWorker()
    {
        // A box nobody could close would keep this worker forever: release it for the next test.
        if (!m_released) {
            plat::ShutDownMessageBoxes();
            m_thread.join();
            plat::ResumeMessageBoxes();
        } else {
            m_thread.join();
        }
    }
    bool Released() const { return m_released; }

private:
    std::atomic<bool> m_released{false};
    std::thread m_thread;
};

// Runs the program's start-up, with `scenario` run once the main window is shown; the window is
// closed afterwards, as a person closes it.
void WithTheProgramsWindow(const std::function<void(CMainDlg*)>& scenario)
{
    QTimer::singleShot(0, [&] {
        CMainDlg* window = nullptr;
        if (PumpUntil([&] { return (window = ShownMainWindow()) != nullptr; }))
            scenario(window);
        if (window)
            window->close();
    });
    CMainApp app;
    ASSERT_TRUE(app.InitInstance());
}

} // namespace

TEST(WorkerBoxTest, APersonClosesAWorkersBoxWithOkReturnSpaceOrEscape)
{
    struct Way {
        const char* name;
        std::function<void(QMessageBox*)> dismiss;
    };
    const Way ways[] = {
        {"OK", [](QMessageBox* box) { ClickOn(box->button(QMessageBox::Ok)); }},
        {"Return", [](QMessageBox* box) { QTest::keyClick(box->windowHandle(), Qt::Key_Return); }},
        {"Space", [](QMessageBox* box) { QTest::keyClick(box->windowHandle(), Qt::Key_Space); }},
        {"Escape", [](QMessageBox* box) { QTest::keyClick(box->windowHandle(), Qt::Key_Escape); }},
    };
    WithTheProgramsWindow([&](CMainDlg*) {
        for (const Way& way : ways) {
            const QString text = QStringLiteral("connect() error ! Server does not exist !");
            BoxWorker worker(text);
            QMessageBox* box = nullptr;
            ASSERT_TRUE(PumpUntil([&] { return (box = FindBox(text)) != nullptr; })) << way.name;
            way.dismiss(box);
            EXPECT_TRUE(PumpUntil([&] { return worker.Released(); })) << way.name << " did not close the box";
            EXPECT_TRUE(PumpUntil([&] { return FindBox(text) == nullptr; })) << way.name;
        }
    });
}

TEST(WorkerBoxTest, TheWindowTakesInputWhileAWorkersBoxIsOpen)
{
    WithTheProgramsWindow([&](CMainDlg* window) {
        BoxWorker worker(QStringLiteral("bind() error"));
        QMessageBox* box = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (box = FindBox(QStringLiteral("bind() error"))) != nullptr; }));
        auto* autoScroll = window->ControlAs<QCheckBox>(IDC_AUTO_SCROLL);
        ASSERT_NE(autoScroll, nullptr);
        const bool before = autoScroll->isChecked();
        ClickOn(autoScroll);
        EXPECT_NE(autoScroll->isChecked(), before) << "the window ignored a click while the box was open";
        EXPECT_FALSE(worker.Released()) << "the box is still waiting for its person";
        QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        EXPECT_TRUE(PumpUntil([&] { return worker.Released(); }));
    });
}

TEST(WorkerBoxTest, AWorkersBoxTakesInputWhileABoxOfTheWindowIsOpen)
{
    WithTheProgramsWindow([&](CMainDlg* window) {
        const QString workerText = QStringLiteral("Serial Port is not opened !");
        const QString windowText = QStringLiteral("Zero length buffer cannot be sent !!");
        BoxWorker worker(workerText);
        ASSERT_TRUE(PumpUntil([&] { return FindBox(workerText) != nullptr; }));
        bool releasedMeanwhile = false;
        QTimer::singleShot(0, [&] {
            QMessageBox* windowBox = nullptr;
            PumpUntil([&] { return (windowBox = FindBox(windowText)) != nullptr; });
            QTest::keyClick(FindBox(workerText)->windowHandle(), Qt::Key_Escape);
            releasedMeanwhile = PumpUntil([&] { return worker.Released(); });
            if (windowBox)
                QTest::keyClick(windowBox->windowHandle(), Qt::Key_Return);
        });
        plat::ShowMessageBox(window, windowText);
        EXPECT_TRUE(releasedMeanwhile);
    });
}

// Serial Port Configuration is open on the window: a worker's box still takes a person's keys.
TEST(WorkerBoxTest, AWorkersBoxTakesInputWhileSerialPortConfigurationIsOpen)
{
    WithTheProgramsWindow([&](CMainDlg* window) {
        const QString workerText = QStringLiteral("Serial Port is not opened !");
        BoxWorker worker(workerText);
        ASSERT_TRUE(PumpUntil([&] { return FindBox(workerText) != nullptr; }));
        // Change Setting is offered in RS-232 mode.
        ClickOn(window->ControlAs<QCheckBox>(IDC_MODE_RS232));
        auto* change = window->ControlAs<QPushButton>(IDC_CHANGE_SETTING);
        ASSERT_NE(change, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return change->isEnabled(); }));
        bool configShown = false;
        bool releasedMeanwhile = false;
        QTimer::singleShot(0, [&] {
            QDialog* config = nullptr;
            PumpUntil([&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* d = qobject_cast<QDialog*>(w); d && d != window && d->isVisible() &&
                                                             !qobject_cast<QMessageBox*>(w))
                        config = d;
                return config != nullptr;
            });
            configShown = config != nullptr;
            QTest::keyClick(FindBox(workerText)->windowHandle(), Qt::Key_Escape);
            releasedMeanwhile = PumpUntil([&] { return worker.Released(); });
            if (config)
                config->reject();
        });
        change->click();
        EXPECT_TRUE(configShown);
        EXPECT_TRUE(releasedMeanwhile);
    });
}
