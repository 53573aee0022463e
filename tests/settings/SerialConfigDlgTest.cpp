// The Serial Port Configuration dialog on its own: its lists, the selections it opens with, what
// OK and Cancel hand back, and the present ports as devices come and go (recorded descriptions
// stand in for plugged devices).
#include "tests/serial/RecordedDevices.h"
#include "tests/settings/SettingsWindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

class SerialConfigDialog : public SettingsWindowTest {
protected:
    RecordedDevices m_devices; // none plugged unless a test plugs one
};

QStringList Items(CSerialConfigDlg& dlg, int id)
{
    QStringList items;
    auto* list = dlg.ControlAs<QComboBox>(id);
    for (int i = 0; list != nullptr && i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

int Selected(CSerialConfigDlg& dlg, int id)
{
    return dlg.ControlAs<QComboBox>(id)->currentIndex();
}

// Runs the dialog; `answer` sees it shown and ends it.
int RunDialog(CSerialConfigDlg& dlg, const std::function<void(CSerialConfigDlg&)>& answer)
{
    QTimer::singleShot(0, &dlg, [&dlg, answer] { answer(dlg); });
    return dlg.DoModal();
}

TEST_F(SerialConfigDialog, ListsHoldEveryPortAndTheFixedItemsInOrder)
{
    CSerialConfigDlg dlg;
    dlg.SetSettings(1, 10, 3, 0, 0, 0);
    QStringList ports, bauds;
    RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        ports = Items(shown, 1028);
        bauds = Items(shown, 1029);
        EXPECT_EQ(shown.windowTitle(), "Serial Port Configuration");
        PressDialogButton(shown, 2);
    });
    ASSERT_EQ(ports.size(), 255);
    EXPECT_EQ(ports.first(), "COM1");
    EXPECT_EQ(ports[9], "COM10");
    EXPECT_EQ(ports.last(), "COM255");
    ASSERT_EQ(bauds.size(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bauds[i].toInt(), kBaudRates[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Items(dlg, 1030), (QStringList{"5 bits", "6 bits", "7 bits", "8 bits"}));
    EXPECT_EQ(Items(dlg, 1031), (QStringList{"No Parity", "Odd Parity", "Even Parity", "Mark Parity", "Space Parity"}));
    EXPECT_EQ(Items(dlg, 1032), (QStringList{"1 Stop Bit", "1.5 Stop Bit", "2 Stop Bit"}));
    EXPECT_EQ(Items(dlg, 1033), (QStringList{"No Handshaking", "Hardware Handshaking(RTS/CTS)",
                                             "Software Handshaking(XON/XOFF)"}));
}

TEST_F(SerialConfigDialog, OpensWithTheGivenSelectionsAndOkHandsBackTheUsersChoice)
{
    CSerialConfigDlg dlg;
    dlg.SetSettings(7, BaudRateIndex(19200), 8 - 5, 2, 1, 2);
    std::vector<int> opened;
    const int result = RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        for (int id = 1028; id <= 1033; ++id)
            opened.push_back(Selected(shown, id));
        SelectInDialog(shown, 1028, 254);
        SelectInDialog(shown, 1029, 15);
        SelectInDialog(shown, 1030, 0);
        SelectInDialog(shown, 1031, 4);
        SelectInDialog(shown, 1032, 2);
        SelectInDialog(shown, 1033, 1);
        PressDialogButton(shown, 1);
    });
    EXPECT_EQ(opened, (std::vector<int>{6, 10, 3, 2, 1, 2}));
    EXPECT_EQ(result, CSerialConfigDlg::kOk);
    EXPECT_EQ(dlg.m_comPort, 255);
    EXPECT_EQ(dlg.m_baudIndex, 15);
    EXPECT_EQ(dlg.m_dataBitsIndex, 0);
    EXPECT_EQ(dlg.m_parity, 4);
    EXPECT_EQ(dlg.m_stopBits, 2);
    EXPECT_EQ(dlg.m_handshaking, 1);
}

TEST_F(SerialConfigDialog, IndexesOutsideAListLeaveItWithoutASelection)
{
    CSerialConfigDlg dlg;
    dlg.SetSettings(300, BaudRateIndex(14400), 9 - 5, 7, -1, 5);
    EXPECT_EQ(BaudRateIndex(14400), -1);
    std::vector<int> opened;
    RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        for (int id = 1028; id <= 1033; ++id)
            opened.push_back(Selected(shown, id));
        PressDialogButton(shown, 1);
    });
    EXPECT_EQ(opened, std::vector<int>(6, -1));
    EXPECT_EQ(dlg.m_baudIndex, -1);
    EXPECT_EQ(dlg.m_comPort, 0);
}

TEST_F(SerialConfigDialog, CancelReportsCancel)
{
    CSerialConfigDlg dlg;
    dlg.SetSettings(1, 10, 3, 0, 0, 0);
    EXPECT_EQ(RunDialog(dlg, [](CSerialConfigDlg& shown) { PressDialogButton(shown, 2); }), CSerialConfigDlg::kCancel);
    EXPECT_EQ(RunDialog(dlg, [](CSerialConfigDlg& shown) { shown.close(); }), CSerialConfigDlg::kCancel);
}

TEST_F(SerialConfigDialog, PortListShowsTheMappedDeviceWithoutChangingTheNames)
{
    MapComPort(5, "/dev/pts/77");
    CSerialConfigDlg dlg;
    dlg.SetSettings(5, 10, 3, 0, 0, 0);
    QString item5, item1, item200, shownTip;
    RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        auto* list = shown.ControlAs<QComboBox>(1028);
        item5 = list->itemData(4, Qt::ToolTipRole).toString();
        item1 = list->itemData(0, Qt::ToolTipRole).toString();
        item200 = list->itemData(199, Qt::ToolTipRole).toString();
        shownTip = list->toolTip();
        PressDialogButton(shown, 2);
    });
    EXPECT_EQ(Items(dlg, 1028)[4], "COM5");
    EXPECT_TRUE(item5.contains("/dev/pts/77")) << item5.toStdString();
    EXPECT_EQ(shownTip, item5);
    EXPECT_EQ(item1, "/dev/ttyS0");
    EXPECT_FALSE(item200.startsWith("/")) << item200.toStdString();
}

// For the README: the dialog with its port list open below it, drawn offscreen.
void SaveDialogPicture(CSerialConfigDlg& shown, const QString& path)
{
    auto* list = shown.ControlAs<QComboBox>(1028);
    list->showPopup();
    const QPixmap dialog = shown.grab();
    const QPixmap open = list->view()->window()->grab();
    list->hidePopup();
    QPixmap picture(std::max(dialog.width(), open.width()), dialog.height() + open.height());
    picture.fill(shown.palette().window().color());
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, dialog);
    painter.drawPixmap(list->x(), dialog.height(), open);
    painter.end();
    picture.save(path);
}

bool IsBold(QComboBox* list, int index)
{
    return list->itemData(index, Qt::FontRole).value<QFont>().bold();
}

TEST_F(SerialConfigDialog, PresentPortsSayWhatTheyAreAndStandOut)
{
    m_devices.Plug(recorded::Ftdi());
    m_devices.Plug(recorded::OnBoardUart());
    m_devices.Plug(recorded::Pl011());
    m_devices.Plug(recorded::LegacyStub());
    CSerialConfigDlg dlg;
    dlg.SetSettings(33, 10, 3, 0, 0, 0);
    std::vector<bool> bold;
    QString tip33, tip97;
    int popupWidth = 0, longestItem = 0;
    const int result = RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        auto* list = shown.ControlAs<QComboBox>(1028);
        for (int i = 0; i < list->count(); ++i)
            bold.push_back(IsBold(list, i));
        tip33 = list->itemData(32, Qt::ToolTipRole).toString();
        tip97 = list->itemData(96, Qt::ToolTipRole).toString();
        popupWidth = list->view()->minimumWidth();
        longestItem = list->view()->sizeHintForColumn(0);
        PressDialogButton(shown, 1);
    });
    const QStringList ports = Items(dlg, 1028);
    ASSERT_EQ(ports.size(), 255);
    EXPECT_EQ(ports[0], "COM1  ttyS0  serial");
    EXPECT_EQ(ports[1], "COM2"); // ttyS1 has no UART
    EXPECT_EQ(ports[32], "COM33  ttyUSB0  FTDI FT232R USB UART  A123");
    EXPECT_EQ(ports[96], "COM97  ttyAMA0  uart-pl011");
    EXPECT_EQ(ports[254], "COM255");
    for (int i = 0; i < 255; ++i)
        EXPECT_EQ(bold[static_cast<std::size_t>(i)], i == 0 || i == 32 || i == 96) << ports[i].toStdString();
    EXPECT_EQ(tip33, "/dev/ttyUSB0");
    EXPECT_EQ(tip97, "/dev/ttyAMA0");
    EXPECT_GE(popupWidth, longestItem);
    // The stored value stays the COM number.
    EXPECT_EQ(result, CSerialConfigDlg::kOk);
    EXPECT_EQ(dlg.m_comPort, 33);
}

TEST_F(SerialConfigDialog, OpeningAndCancellingWriteNoLinkAndTheNumbersStay)
{
    MapComPort(1, "/dev/relvanto-gone"); // no name reaches ttyS0
    m_devices.Plug(recorded::OnBoardUart());
    m_devices.Plug(recorded::Pl011());
    auto shownPorts = [](int button) {
        CSerialConfigDlg dlg;
        RunDialog(dlg, [button](CSerialConfigDlg& shown) { PressDialogButton(shown, button); });
        return Items(dlg, 1028).mid(96, 3);
    };
    EXPECT_EQ(shownPorts(2), (QStringList{"COM97  ttyAMA0  uart-pl011", "COM98  ttyS0  serial", "COM99"}));
    // A device that comes meanwhile and would list first takes the next number.
    m_devices.Plug(recorded::Rfcomm());
    EXPECT_EQ(shownPorts(1), (QStringList{"COM97  ttyAMA0  uart-pl011", "COM98  ttyS0  serial", "COM99  rfcomm0"}));
    EXPECT_FALSE(std::filesystem::exists(UserFolder() + "/dosdevices"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(MachineFolder() + "/dosdevices"), {}), 1);
}

TEST_F(SerialConfigDialog, DevicesThatComeAndGoShowWhileOpenAndTheSelectionStays)
{
    m_devices.Plug(recorded::OnBoardUart());
    CSerialConfigDlg dlg;
    dlg.SetSettings(34, 10, 3, 0, 0, 0);
    // Waits, while the dialog runs, until item `index` reads `text`.
    auto shows = [](CSerialConfigDlg& shown, int index, const QString& text) {
        auto* list = shown.ControlAs<QComboBox>(1028);
        for (int i = 0; i < 1000 && list->itemText(index) != text; ++i)
            QTest::qWait(10);
        return list->itemText(index) == text;
    };
    const int result = RunDialog(dlg, [&](CSerialConfigDlg& shown) {
        EXPECT_EQ(Items(shown, 1028)[33], "COM34");
        m_devices.Plug(recorded::Ftdi("/dev/ttyUSB1"));
        EXPECT_TRUE(shows(shown, 33, "COM34  ttyUSB1  FTDI FT232R USB UART  A123"));
        EXPECT_TRUE(IsBold(shown.ControlAs<QComboBox>(1028), 33));
        m_devices.Plug(recorded::ExarUsb());
        EXPECT_TRUE(shows(shown, 96, "COM97  ttyXRUSB0  Exar Corp. XR21V1410  XR0042"));
        if (const char* picture = std::getenv("RELVANTO_DIALOG_PICTURE"))
            SaveDialogPicture(shown, picture);
        m_devices.Unplug("/dev/ttyUSB1");
        EXPECT_TRUE(shows(shown, 33, "COM34"));
        EXPECT_FALSE(IsBold(shown.ControlAs<QComboBox>(1028), 33));
        EXPECT_EQ(Selected(shown, 1028), 33);
        PressDialogButton(shown, 1);
    });
    EXPECT_EQ(result, CSerialConfigDlg::kOk);
    EXPECT_EQ(dlg.m_comPort, 34);
}

} // namespace
