// Start and Stop of the link in RS-232 mode through the window's buttons, over a pseudo-terminal
// mapped to a COM number: bytes go out through Send and come in to the Received pane.
#include "app/LinkExtras.h"
#include "resources/ControlIds.h"
#include "tests/settings/SettingsWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <functional>
#include <unistd.h>

namespace {

class SerialStartStop : public SettingsWindowTest {
protected:
    void OpenInSerialMode(const std::string& values)
    {
        MapComPort(5, m_pty.SlavePath());
        WriteMachineKey("\"ComPort\"=dword:00000005\n" + values);
        OpenWindow();
        Click(IDC_MODE_RS232);
    }
    // A socat pair behind a stable name, as an adapter behind its by-id link: plugged again, the
    // name leads to a fresh pair.
    void PlugAdapter()
    {
        m_adapter = std::make_unique<SocatPair>();
        std::filesystem::remove(m_stableName);
        std::filesystem::create_symlink(m_adapter->EndA(), m_stableName);
    }
    void OpenThroughAdapter()
    {
        m_stableName = Scratch() + "/adapter";
        PlugAdapter();
        MapComPort(5, m_stableName);
        WriteMachineKey("\"ComPort\"=dword:00000005\n");
        OpenWindow();
        Click(IDC_MODE_RS232);
    }
    void SendFromFarEnd(const std::string& bytes)
    {
        CSerialPort far;
        ASSERT_EQ(far.Open(m_adapter->EndB(), 0, 0), 0u);
        ASSERT_EQ(far.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr, CSerialPort::kInfinite), 0u);
    }
    std::unique_ptr<SocatPair> m_adapter;
    std::string m_stableName;

    std::string Received()
    {
        std::string bytes(dlg->Owners().received.Block().Size(), '\0');
        dlg->Owners().received.Block().Read(0, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
        return bytes;
    }

    PtyPair m_pty;
};

TEST_F(SerialStartStop, OpenExchangesBytesBothWaysAndCloseEndsTheLink)
{
    OpenInSerialMode("\"BaudRates\"=dword:0001c200\n");
    EXPECT_EQ(dlg->ControlAs<QPushButton>(IDC_START)->text(), "Open");
    Click(IDC_START);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Opened");
    EXPECT_FALSE(dlg->IsEnabled(IDC_START));
    EXPECT_TRUE(dlg->IsEnabled(IDC_STOP));

    const std::string inbound("\x00\r\nfrom the line", 16);
    m_pty.WriteMaster(inbound.data(), inbound.size());
    for (int i = 0; i < 1000 && Received() != inbound; ++i)
        QTest::qWait(10);
    EXPECT_EQ(Received(), inbound);

    const std::string outbound("\x00\r\nto the line", 14);
    ASSERT_EQ(dlg->Owners().sending.Block().Overwrite(0, reinterpret_cast<const unsigned char*>(outbound.data()),
                                            outbound.size()),
              plat::BlockStatus::Ok);
    Click(IDC_SEND);
    EXPECT_EQ(m_pty.ReadMaster(outbound.size(), 10000), outbound);

    Click(IDC_STOP);
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Closed");
    EXPECT_FALSE(dlg->Owners().serial.Port().IsOpen());
    EXPECT_TRUE(dlg->IsEnabled(IDC_START));
}

TEST_F(SerialStartStop, StoredHandshakingOutsideTheTableLeavesStartEnabled)
{
    OpenInSerialMode("\"Handshaking\"=dword:00000005\n");
    Click(IDC_START);
    EXPECT_EQ(BoxTexts(), std::vector<QString>{"Unable to set Handshaking setting"});
    EXPECT_TRUE(dlg->IsEnabled(IDC_START));
    EXPECT_FALSE(dlg->IsEnabled(IDC_STOP));
    EXPECT_NE(dlg->GetText(IDC_STATE), "Opened");
}

TEST_F(SerialStartStop, AnOpenThatFailsSaysWhoHoldsThePort)
{
    OpenInSerialMode("");
    CSerialPort other; // the same kind of opener in this process: the lock refuses the window's
    ASSERT_EQ(other.Open(m_pty.SlavePath(), 0, 0), 0u);
    Click(IDC_START);
    EXPECT_EQ(BoxTexts(), std::vector<QString>{QString::fromStdString(
                              "Unable to open COM-port\n" + m_pty.SlavePath() + " is in use by settings_tests (process " +
                              std::to_string(::getpid()) + ").")});
    EXPECT_TRUE(dlg->IsEnabled(IDC_START));
}

// Waits, with the window running, until `done` holds.
bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

TEST_F(SerialStartStop, UnplugWhileOpenClosesTheLinkAndOpenWorksWhenItIsBack)
{
    OpenThroughAdapter();
    Click(IDC_START);
    ASSERT_EQ(dlg->GetText(IDC_STATE), "Opened");
    SendFromFarEnd("before");
    ASSERT_TRUE(WaitUntil([&] { return Received() == "before"; }));

    m_adapter->Kill();
    EXPECT_TRUE(WaitUntil([&] { return dlg->GetText(IDC_STATE) == "Disconnected"; }));
    EXPECT_TRUE(dlg->IsEnabled(IDC_START));
    EXPECT_FALSE(dlg->IsEnabled(IDC_STOP));
    EXPECT_FALSE(dlg->Owners().serial.Port().IsOpen());
    EXPECT_EQ(Received(), "before");
    EXPECT_TRUE(Boxes().empty());

    PlugAdapter();
    Click(IDC_START);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Opened");
    EXPECT_FALSE(dlg->IsEnabled(IDC_START));
    EXPECT_TRUE(dlg->IsEnabled(IDC_STOP));
    SendFromFarEnd("after");
    EXPECT_TRUE(WaitUntil([&] { return Received() == "after"; }));
}

TEST_F(SerialStartStop, WithReopenTickedTheReturningDeviceOpensAgainAndStopEndsTheWait)
{
    OpenThroughAdapter();
    QCheckBox* reopen = nullptr;
    for (auto* box : dlg->findChildren<QCheckBox*>())
        if (box->accessibleName() == "Reopen when the device comes back")
            reopen = box;
    ASSERT_NE(reopen, nullptr);
    EXPECT_FALSE(reopen->isChecked());
    EXPECT_TRUE(reopen->isVisible());
    reopen->click();
    Click(IDC_START);
    ASSERT_EQ(dlg->GetText(IDC_STATE), "Opened");
    SendFromFarEnd("before");
    ASSERT_TRUE(WaitUntil([&] { return Received() == "before"; }));

    m_adapter->Kill();
    ASSERT_TRUE(WaitUntil([&] { return dlg->GetText(IDC_STATE) == "Disconnected"; }));
    PlugAdapter();
    ASSERT_TRUE(WaitUntil([&] { return dlg->GetText(IDC_STATE) == "Opened"; }));
    EXPECT_TRUE(dlg->IsEnabled(IDC_STOP));
    EXPECT_EQ(dlg->Control(IDC_STATE)->toolTip(), "Modem lines: not available on this device");
    SendFromFarEnd("after");
    EXPECT_TRUE(WaitUntil([&] { return Received() == "beforeafter"; }));
    EXPECT_TRUE(Boxes().empty());

    m_adapter->Kill();
    ASSERT_TRUE(WaitUntil([&] { return dlg->GetText(IDC_STATE) == "Disconnected"; }));
    ASSERT_TRUE(dlg->Owners().serial.WaitingForReturn());
    Click(IDC_STOP);
    EXPECT_FALSE(dlg->Owners().serial.WaitingForReturn());
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Closed");
}

} // namespace

TEST_F(SerialStartStop, APseudoTerminalHasNoLinesToShowAndTheLinkWorksOn)
{
    OpenInSerialMode("");
    auto* extras = dlg->findChild<LinkExtras*>();
    ASSERT_NE(extras, nullptr);
    EXPECT_TRUE(extras->isVisible());
    QAbstractButton* dtr = nullptr;
    for (auto* button : extras->findChildren<QAbstractButton*>())
        if (button->text() == "DTR")
            dtr = button;
    ASSERT_NE(dtr, nullptr);
    Click(IDC_START);
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Opened");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(dtr->isEnabled());
    EXPECT_EQ(dtr->toolTip(), "not available on this device");
    EXPECT_EQ(dlg->Control(IDC_STATE)->toolTip(), "Modem lines: not available on this device");

    const std::string inbound("still received");
    m_pty.WriteMaster(inbound.data(), inbound.size());
    for (int i = 0; i < 1000 && Received() != inbound; ++i)
        QTest::qWait(10);
    EXPECT_EQ(Received(), inbound);
    Click(IDC_STOP);
    EXPECT_TRUE(dtr->toolTip().isEmpty());
    EXPECT_TRUE(dlg->Control(IDC_STATE)->toolTip().isEmpty());
}
