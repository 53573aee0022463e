#include "platform/toolkit/MessageBox.h"
#include "tests/support/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using testboxes::FindBox;
using testboxes::PumpUntil;

TEST(MessageBoxTest, TheSeamSeesTextCaptionAndThread)
{
    std::vector<plat::MessageBoxCall> calls;
    std::mutex lock;
    plat::SetMessageBoxHook([&](const plat::MessageBoxCall& call) {
        std::lock_guard guard(lock);
        calls.push_back(call);
    });
    QWidget owner;
    plat::ShowMessageBox(&owner, QStringLiteral("from the window"));
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        plat::ShowMessageBox(&owner, QStringLiteral("from a worker"));
    });
    worker.join();
    plat::SetMessageBoxHook(nullptr);

    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, QStringLiteral("from the window"));
    EXPECT_TRUE(calls[0].onWindowThread);
    EXPECT_EQ(calls[0].owner, &owner);
    EXPECT_EQ(calls[0].caption, QStringLiteral("toolkit_tests"));
    EXPECT_EQ(calls[1].thread, workerId);
    EXPECT_FALSE(calls[1].onWindowThread);
    EXPECT_EQ(calls[1].owner, nullptr) << "a worker's box has no owner";
}

TEST(MessageBoxTest, AWorkersBoxBlocksOnlyThatWorkerUntilDismissed)
{
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        plat::ShowMessageBox(nullptr, QStringLiteral("worker box"));
        returned = true;
    });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = FindBox(QStringLiteral("worker box"))) != nullptr; }));
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("toolkit_tests"));
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_FALSE(box->isModal());
    // The window's thread goes on while the worker waits.
    QTest::qWait(50);
    EXPECT_FALSE(returned.load());
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
}

TEST(MessageBoxTest, ShuttingDownReleasesWaitingWorkersAndClosesTheirBoxes)
{
    std::atomic<int> returned{0};
    std::thread first([&] { plat::ShowMessageBox(nullptr, QStringLiteral("first")); ++returned; });
    ASSERT_TRUE(PumpUntil([&] { return FindBox(QStringLiteral("first")) != nullptr; }));
    plat::ShutDownMessageBoxes();
    first.join();
    // A box asked for during the shutdown returns at once instead of blocking a worker being joined.
    std::thread late([&] { plat::ShowMessageBox(nullptr, QStringLiteral("late")); ++returned; });
    late.join();
    plat::ResumeMessageBoxes();
    EXPECT_EQ(returned.load(), 2);
    EXPECT_TRUE(PumpUntil([&] { return FindBox(QStringLiteral("first")) == nullptr; }));
}

TEST(MessageBoxTest, OnTheWindowsThreadTheBoxIsModalToItsOwner)
{
    QWidget owner;
    owner.show();
    bool sawModal = false;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr) {
            sawModal = box->parentWidget() == &owner && box->text() == QStringLiteral("modal");
            box->button(QMessageBox::Ok)->click();
        }
    });
    plat::ShowMessageBox(&owner, QStringLiteral("modal"));
    EXPECT_TRUE(sawModal);
}
