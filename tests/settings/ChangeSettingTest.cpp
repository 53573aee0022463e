// Change Setting over a real pseudo-terminal mapped to a COM number: only what the device accepts
// is stored, and the link is left closed.
#include "resources/ControlIds.h"
#include "tests/serial/RecordedDevices.h"
#include "tests/settings/SettingsWindow.h"

#include <filesystem>
#include <termios.h>

namespace {

constexpr int kPort = 5;

class ChangeSetting : public SettingsWindowTest {
protected:
    void SetUp() override
    {
        MapComPort(kPort, m_pty.SlavePath());
        OpenWindow();
        m_storedBefore = ReadFile(MachineKeyFile());
    }

    // Chooses port, baud index, data-bits index, parity, stop bits and handshaking, then OK.
    bool Choose(std::array<int, 6> selections)
    {
        return SettingsWindowTest::ChangeSetting([selections](CSerialConfigDlg& config) {
            for (int i = 0; i < 6; ++i)
                SelectInDialog(config, 1028 + i, selections[static_cast<std::size_t>(i)]);
            PressDialogButton(config, 1);
        });
    }

    PtyPair m_pty;
    std::string m_storedBefore;
};

TEST_F(ChangeSetting, AcceptedChoiceIsStoredShownAndOpensTheLinkWithExactlyThoseSettings)
{
    ASSERT_TRUE(Choose({kPort - 1, 14, 3, 0, 0, 0}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(ReadFile(MachineKeyFile()), "\"ComPort\"=dword:00000005\n"
                                          "\"BaudRates\"=dword:0001c200\n"
                                          "\"DataBits\"=dword:00000008\n"
                                          "\"ParityBits\"=dword:00000000\n"
                                          "\"StopBits\"=dword:00000000\n"
                                          "\"Handshaking\"=dword:00000000\n");
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_PORT), "COM5");
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_BAUD), "115200");
    // The trial opening leaves the link closed.
    EXPECT_FALSE(dlg->Owners().serial.Port().IsOpen());
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Closed");
    EXPECT_TRUE(dlg->IsEnabled(IDC_START));
    EXPECT_FALSE(dlg->IsEnabled(IDC_STOP));

    ASSERT_EQ(dlg->Owners().serial.OpenWithStoredSettings(), 0u);
    termios line{};
    ASSERT_EQ(::tcgetattr(m_pty.Master(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), B115200);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(ChangeSetting, OkWithANumberNoNameReachesWritesThatOneLink)
{
    PtyPair unreached;
    UdevTtyRecord record = recorded::Pl011();
    record.properties["DEVNAME"] = unreached.SlavePath();
    RecordedDevices present({record});
    ASSERT_TRUE(Choose({96, 10, 3, 0, 0, 0}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_PORT), "COM97");
    const std::string links = UserFolder() + "/dosdevices";
    EXPECT_EQ(std::filesystem::read_symlink(links + "/com97"), unreached.SlavePath());
    // Start opens the device through that link and writes nothing more.
    ASSERT_EQ(dlg->Owners().serial.OpenWithStoredSettings(), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(links), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(MachineFolder() + "/dosdevices"), {}), 1);
}

TEST_F(ChangeSetting, CancelChangesNothingNotEvenAnOpenLink)
{
    ASSERT_TRUE(Choose({kPort - 1, 10, 3, 0, 0, 0}));
    ASSERT_EQ(dlg->Owners().serial.OpenWithStoredSettings(), 0u);
    dlg->SetText(IDC_STATE, "Opened");
    const std::string stored = ReadFile(MachineKeyFile());

    ASSERT_TRUE(SettingsWindowTest::ChangeSetting([](CSerialConfigDlg& config) {
        SelectInDialog(config, 1029, 0);
        PressDialogButton(config, 2);
    }));
    EXPECT_TRUE(dlg->Owners().serial.Port().IsOpen());
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Opened");
    EXPECT_EQ(ReadFile(MachineKeyFile()), stored);
}

TEST_F(ChangeSetting, ASuccessfulChangeClosesALinkThatWasOpen)
{
    ASSERT_TRUE(Choose({kPort - 1, 10, 3, 0, 0, 0}));
    ASSERT_EQ(dlg->Owners().serial.OpenWithStoredSettings(), 0u);
    ASSERT_TRUE(dlg->Owners().serial.Port().IsOpen());

    ASSERT_TRUE(Choose({kPort - 1, 13, 3, 0, 2, 0}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(dlg->Owners().serial.Port().IsOpen());
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_BAUD), "57600");
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_STOP_BITS), "2 Stop Bit");
    EXPECT_EQ(dlg->GetText(IDC_STATE), "Closed");
}

TEST_F(ChangeSetting, AStoredBaudRateOutsideTheListIsKeptWhenTheUserLeavesItUnselected)
{
    CloseWindow();
    WriteMachineKey("\"ComPort\"=dword:00000005\n\"BaudRates\"=dword:00003840\n");   // 14400
    OpenWindow();
    // The user changes only the stop bits; the baud list opened without a selection.
    ASSERT_TRUE(SettingsWindowTest::ChangeSetting([](CSerialConfigDlg& config) {
        EXPECT_EQ(config.GetCurSel(1029), -1);
        SelectInDialog(config, 1032, 2);
        PressDialogButton(config, 1);
    }));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_BAUD), "14400");
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_STOP_BITS), "2 Stop Bit");
}

TEST_F(ChangeSetting, StoredNumbersFarOutsideTheListsSelectNothingAndAreKeptOnCancel)
{
    CloseWindow();
    const std::string stored = "\"ComPort\"=dword:80000000\n\"DataBits\"=dword:80000000\n";
    WriteMachineKey(stored);
    OpenWindow();
    ASSERT_TRUE(SettingsWindowTest::ChangeSetting([](CSerialConfigDlg& config) {
        EXPECT_EQ(config.GetCurSel(1028), -1);
        EXPECT_EQ(config.GetCurSel(1030), -1);
        PressDialogButton(config, 2);
    }));
    EXPECT_EQ(ReadFile(MachineKeyFile()), stored);
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_PORT), "COM-2147483648");
}

} // namespace
