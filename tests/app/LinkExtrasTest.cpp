// The serial line controls of the window over a line device of the test's own, whose input lines
// the test changes and which records when each output call came.
#include "app/LinkExtras.h"
#include "resources/ControlIds.h"
#include "tests/app/AppFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QAbstractButton>
#include <QSpinBox>

#include <chrono>
#include <condition_variable>

namespace {

using Clock = std::chrono::steady_clock;

class FakeLines : public LineDevice {
public:
    struct Call {
        Clock::time_point at;
        int lines;      // for a break: 0
        bool active;
    };
    int GetLines(int& lines) override
    {
        std::lock_guard guard(m_lock);
        lines = m_lines;
        return 0;
    }
    int SetLines(int lines, bool active) override
    {
        std::lock_guard guard(m_lock);
        m_lines = active ? (m_lines | lines) : (m_lines & ~lines);
        m_calls.push_back({Clock::now(), lines, active});
        return 0;
    }
    int SetBreak(bool on) override
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back({Clock::now(), 0, on});
        return 0;
    }
    int RingCount(long& count) override
    {
        std::lock_guard guard(m_lock);
        count = m_rings;
        return 0;
    }
    int WaitForChange() override
    {
        // As the driver's wait: a change made before the call is not seen by it.
        std::unique_lock lock(m_lock);
        const int seen = m_changes;
        m_waiting = true;
        m_changed.wait(lock, [&] { return m_woken || m_changes != seen; });
        m_waiting = false;
        return m_woken ? ECANCELED : 0;
    }
    void Wake() override
    {
        std::lock_guard guard(m_lock);
        m_woken = true;
        m_changed.notify_all();
    }
    // The peer changes the input lines once the watch waits for it; a ring counts when RI goes
    // inactive, as the driver counts.
    void SetInputs(int inputs)
    {
        ASSERT_TRUE(testwait::WaitUntil([this] {
            std::lock_guard guard(m_lock);
            return m_waiting;
        }));
        std::lock_guard guard(m_lock);
        if ((m_lines & LineRi) && !(inputs & LineRi))
            ++m_rings;
        m_lines = (m_lines & (LineDtr | LineRts)) | inputs;
        ++m_changes;
        m_waiting = false;
        m_changed.notify_all();
    }
    std::vector<Call> Calls()
    {
        std::lock_guard guard(m_lock);
        return m_calls;
    }
    int Lines()
    {
        std::lock_guard guard(m_lock);
        return m_lines;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_lines = 0;
    long m_rings = 0;
    int m_changes = 0;
    bool m_woken = false;
    bool m_waiting = false;
    std::vector<Call> m_calls;
};

class LinkExtrasTest : public MainWindowFixture {
protected:
    // RS-232 mode and the lines of `fake` as if the link had just opened.
    void Open(bool hardwareHandshaking)
    {
        QTest::mouseClick(Widget<QWidget>(IDC_MODE_RS232), Qt::LeftButton, {}, QPoint(5, 5));
        extras = dlg->findChild<LinkExtras*>();
        ASSERT_NE(extras, nullptr);
        auto device = std::make_unique<FakeLines>();
        fake = device.get();
        extras->BeginLines(std::move(device), hardwareHandshaking);
    }
    template <class T> T* Named(const QString& name)
    {
        for (T* control : extras->findChildren<T*>())
            if (control->accessibleName() == name)
                return control;
        ADD_FAILURE() << name.toStdString();
        return nullptr;
    }
    QString Words() { return extras->findChild<QLabel*>()->text(); }
    // The length between the last call that made `lines` active and the call after it.
    std::chrono::milliseconds Held(int lines)
    {
        const auto calls = fake->Calls();
        for (std::size_t i = calls.size() - 1; i-- > 0;)
            if (calls[i].lines == lines && calls[i].active)
                return std::chrono::duration_cast<std::chrono::milliseconds>(calls[i + 1].at - calls[i].at);
        return std::chrono::milliseconds(-1);
    }

    LinkExtras* extras = nullptr;
    FakeLines* fake = nullptr;
};

} // namespace

TEST_F(LinkExtrasTest, TogglesPulseAndBreakDriveTheDeviceAndTheWordsFollowItsInputs)
{
    Open(false);
    EXPECT_TRUE(extras->isVisibleTo(dlg.get()));
    auto* dtr = Named<QAbstractButton>("DTR");
    auto* rts = Named<QAbstractButton>("RTS");
    ASSERT_TRUE(dtr && rts);
    EXPECT_TRUE(dtr->isEnabled() && rts->isEnabled());
    EXPECT_FALSE(dtr->isChecked());
    QTest::mouseClick(dtr, Qt::LeftButton);
    EXPECT_EQ(fake->Lines(), LineDtr);
    EXPECT_TRUE(dtr->isChecked());
    QTest::keyClick(rts, Qt::Key_Space);
    EXPECT_EQ(fake->Lines(), LineDtr | LineRts);
    QTest::mouseClick(dtr, Qt::LeftButton);
    EXPECT_EQ(fake->Lines(), LineRts);

    fake->SetInputs(LineCts | LineDcd);
    ASSERT_TRUE(PumpUntil([&] { return Words() == "CTS on, DSR off, DCD on, RI off, 0 rings"; })) << Words().toStdString();
    EXPECT_EQ(dlg->Control(IDC_STATE)->toolTip(), Words());
    fake->SetInputs(LineRi);
    fake->SetInputs(0);
    ASSERT_TRUE(PumpUntil([&] { return Words() == "CTS off, DSR off, DCD off, RI off, 1 rings"; })) << Words().toStdString();

    // The pulse of the chosen line, its default length, timed off the window's thread.
    Named<QComboBox>("Reset pulse lines")->setCurrentIndex(0);
    EXPECT_EQ(Named<QSpinBox>("Reset pulse length")->value(), 100);
    QTest::mouseClick(Named<QAbstractButton>("Reset pulse"), Qt::LeftButton);
    EXPECT_FALSE(dtr->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return dtr->isEnabled(); }));
    const auto pulse = Held(LineDtr);
    EXPECT_GE(pulse.count(), 100);
    EXPECT_LT(pulse.count(), 120);
    EXPECT_EQ(fake->Lines() & (LineDtr | LineRts), LineRts);

    EXPECT_EQ(Named<QSpinBox>("Break length")->value(), 250);
    Named<QSpinBox>("Break length")->setValue(50);
    QTest::mouseClick(Named<QAbstractButton>("Break"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dtr->isEnabled(); }));
    const auto brk = Held(0);
    EXPECT_GE(brk.count(), 50);
    EXPECT_LT(brk.count(), 70);
    std::printf("pulse held %lld ms (asked 100), break held %lld ms (asked 50)\n",
                static_cast<long long>(pulse.count()), static_cast<long long>(brk.count()));

    // Close: the controls go quiet and a later change of the device shows nowhere.
    QTest::mouseClick(Widget<QWidget>(IDC_MODE_RS232), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(extras->isVisibleTo(dlg.get()));
    EXPECT_FALSE(dtr->isEnabled());
    EXPECT_TRUE(Words().isEmpty());
}

TEST_F(LinkExtrasTest, HardwareHandshakingLeavesRtsToTheDriverAndSaysSo)
{
    Open(true);
    auto* rts = Named<QAbstractButton>("RTS");
    ASSERT_NE(rts, nullptr);
    EXPECT_FALSE(rts->isEnabled());
    EXPECT_EQ(rts->accessibleDescription(), "Set by the driver for hardware handshaking (RTS/CTS)");
    EXPECT_TRUE(Named<QAbstractButton>("DTR")->isEnabled());
    // A pulse of both lines touches only DTR.
    Named<QComboBox>("Reset pulse lines")->setCurrentIndex(2);
    Named<QSpinBox>("Reset pulse length")->setValue(20);
    QTest::mouseClick(Named<QAbstractButton>("Reset pulse"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return fake->Calls().size() >= 2; }));
    for (const auto& call : fake->Calls())
        EXPECT_EQ(call.lines, LineDtr);
}
