#pragma once
// A shown hex view bound to a block, and helpers to drive it with real key presses and clicks.

#include "platform/byteblock/ByteBlock.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FrameClock.h"

#include <QByteArray>
#include <QTest>
#include <gtest/gtest.h>

class HexViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(640, 20 * view.fontMetrics().height() + 2 * view.frameWidth());
        view.SetBlock(&block);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.activateWindow();
        view.setFocus();
    }

    void SetBytes(const QByteArray& bytes)
    {
        block.MakeEmptyArray();
        block.Insert(0, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
        view.RequestRedraw(false);
        ApplyRedraws();
    }

    // Runs the window's event loop until the redraws asked for so far are done: they are paced to
    // one a frame, so a second request soon after the first waits for the next frame.
    static void ApplyRedraws()
    {
        ASSERT_TRUE(QTest::qWaitFor([] { return !plat::FrameClock::AnyWaiting(); }));
    }

    QByteArray Bytes() const
    {
        QByteArray out(static_cast<qsizetype>(block.Size()), '\0');
        block.Read(0, reinterpret_cast<unsigned char*>(out.data()), block.Size());
        return out;
    }

    void Type(const char* keys) { QTest::keyClicks(&view, keys); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(&view, key, modifiers); }
    void Click(std::size_t offset, plat::HexArea area, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, view.PointOfOffset(offset, area));
    }

    plat::ByteBlock block;
    plat::HexView view;
};
