#pragma once
// A real main window, offscreen, with every message box recorded instead of shown.

#include "app/MainDlg.h"
#include "platform/toolkit/FrameClock.h"
#include "platform/toolkit/MessageBox.h"
#include "tests/support/QtWaitFor.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::SetMessageBoxHook([this](const plat::MessageBoxCall& call) {
            std::lock_guard guard(m_boxLock);
            m_boxes.push_back(call);
        });
        dlg = std::make_unique<CMainDlg>();
    }
    void TearDown() override
    {
        dlg.reset();
        plat::SetMessageBoxHook(nullptr);
    }

    std::vector<plat::MessageBoxCall> Boxes()
    {
        std::lock_guard guard(m_boxLock);
        return m_boxes;
    }
    // Lets the window's thread apply what workers queued.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        // Redraws and the Received State are paced to one a frame: the last of them may still wait.
        PumpUntil([] { return !plat::FrameClock::AnyWaiting(); });
    }
    // Runs the window's event loop until `done`, for at most the tests' usual limit.
    template <class Pred> static bool PumpUntil(Pred done) { return testwait::PumpUntil(done); }
    template <class T> T* Widget(int id) { return dlg->ControlAs<T>(id); }

    std::unique_ptr<CMainDlg> dlg;

private:
    std::mutex m_boxLock;
    std::vector<plat::MessageBoxCall> m_boxes;
};
