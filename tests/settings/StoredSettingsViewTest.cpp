// What the window shows of the stored serial settings at start-up.
#include "resources/ControlIds.h"
#include "tests/settings/SettingsWindow.h"

#include <QLineEdit>

namespace {

using StoredSettingsView = SettingsWindowTest;

std::vector<QString> ShownSettings(TestMainDlg& dlg)
{
    std::vector<QString> texts;
    for (int id = IDC_SERIAL_PORT; id <= IDC_SERIAL_HANDSHAKING; ++id)
        texts.push_back(dlg.ControlAs<QLineEdit>(id)->text());
    return texts;
}

const std::vector<QString> kDefaultTexts{"COM1", "19200", "8 bits", "No Parity", "1 Stop Bit", "No Handshaking"};

TEST_F(StoredSettingsView, FirstRunCreatesTheKeyWithTheDefaultsAndShowsThem)
{
    OpenWindow();
    EXPECT_EQ(ShownSettings(*dlg), kDefaultTexts);
    EXPECT_EQ(ReadFile(MachineKeyFile()), "\"ComPort\"=dword:00000001\n"
                                          "\"BaudRates\"=dword:00004b00\n"
                                          "\"DataBits\"=dword:00000008\n"
                                          "\"ParityBits\"=dword:00000000\n"
                                          "\"StopBits\"=dword:00000000\n"
                                          "\"Handshaking\"=dword:00000000\n");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(StoredSettingsView, StoredValuesAreShownAndMissingOnesTakeDefaultsWithoutAWriteBack)
{
    const std::string stored = "\"BaudRates\"=dword:0001c200\n\"Handshaking\"=dword:00000001\n";
    WriteMachineKey(stored);
    OpenWindow();
    EXPECT_EQ(ShownSettings(*dlg), (std::vector<QString>{"COM1", "115200", "8 bits", "No Parity", "1 Stop Bit",
                                                         "Hardware Handshaking(RTS/CTS)"}));
    EXPECT_EQ(ReadFile(MachineKeyFile()), stored);
}

TEST_F(StoredSettingsView, NumbersOutsideTheTablesAreShownAsTheyAreStored)
{
    WriteMachineKey("\"ComPort\"=dword:0000012c\n\"BaudRates\"=dword:ffffffff\n\"DataBits\"=dword:00000009\n"
                    "\"ParityBits\"=dword:00000007\n\"StopBits\"=dword:00000003\n\"Handshaking\"=dword:00000005\n");
    OpenWindow();
    const auto shown = ShownSettings(*dlg);
    EXPECT_EQ(shown[0], "COM300");
    EXPECT_EQ(shown[1], "-1");
    EXPECT_EQ(shown[2], "9 bits");
    for (int i = 3; i < 6; ++i) {
        EXPECT_FALSE(kDefaultTexts[i] == shown[i]) << shown[i].toStdString();
        EXPECT_FALSE(shown[i].isEmpty());
    }
    EXPECT_TRUE(shown[3].contains("7"));
    EXPECT_TRUE(shown[5].contains("5"));
}

TEST_F(StoredSettingsView, AStoreThatCannotBeWrittenShowsDefaultsAndRefusesChangeSetting)
{
    MakeStoreUnwritable();
    OpenWindow();
    EXPECT_EQ(ShownSettings(*dlg), kDefaultTexts);

    const QString stateBefore = dlg->GetText(IDC_STATE);
    ASSERT_TRUE(ChangeSetting([](CSerialConfigDlg& config) {
        SelectInDialog(config, 1029, 14);
        PressDialogButton(config, 1);
    }));
    Settle();
    EXPECT_EQ(ShownSettings(*dlg), kDefaultTexts);
    EXPECT_EQ(dlg->GetText(IDC_STATE), stateBefore);
    EXPECT_TRUE(Boxes().empty());
}

} // namespace
