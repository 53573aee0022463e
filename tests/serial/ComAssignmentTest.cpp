// COM numbers for present devices: the names that reach them, and numbers from COM97 up for the
// devices no name reaches, which only opening the port by its number writes as a link; in
// temporary store folders.

#include "serial/ComAssignment.h"
#include "serial/ComNameTable.h"
#include "serial/SerialPort.h"
#include "tests/serial/RecordedDevices.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

class ComAssignment : public ::testing::Test {
protected:
    ComAssignment() { ForgetGivenComNumbers(); } // each test is a run of its own

    std::string UserLinks() const { return m_root.Path() + "/user/dosdevices"; }
    std::string MachineLinks() const { return m_root.Path() + "/machine/dosdevices"; }

    static void Link(const std::string& folder, int number, const std::string& target)
    {
        fs::create_directories(folder);
        fs::create_symlink(target, folder + "/com" + std::to_string(number));
    }
    static std::map<int, std::string> Numbers(const std::vector<UdevTtyRecord>& records)
    {
        std::map<int, std::string> numbers;
        std::vector<SerialDevice> devices;
        for (const UdevTtyRecord& record : records)
            devices.push_back(*SerialDeviceFromRecord(record));
        for (const PresentPort& port : AssignComPorts(devices))
            numbers[port.comNumber] = port.device.node;
        return numbers;
    }

    TempFolder m_root;
    ScopedEnv m_user{"RELVANTO_USER_STORE", m_root.Path() + "/user"};
    ScopedEnv m_machine{"RELVANTO_MACHINE_STORE", m_root.Path() + "/machine"};
};

TEST_F(ComAssignment, TableNamesReachTheirDevicesAndTheRestGetNumbersFrom97)
{
    const auto numbers = Numbers({recorded::Ftdi(), recorded::ArduinoAcm(), recorded::Pl011(), recorded::ExarUsb(),
                                  recorded::Ftdi("/dev/ttyUSB40", "B7")});
    EXPECT_EQ(numbers, (std::map<int, std::string>{{33, "/dev/ttyUSB0"},
                                                   {65, "/dev/ttyACM0"},
                                                   {97, "/dev/ttyAMA0"},
                                                   {98, "/dev/ttyXRUSB0"},
                                                   {99, "/dev/ttyUSB40"}}));
    EXPECT_FALSE(fs::exists(UserLinks()));
    EXPECT_FALSE(fs::exists(MachineLinks()));
}

TEST_F(ComAssignment, NumbersStayAcrossListingsAndPlugs)
{
    Numbers({recorded::Pl011(), recorded::ExarUsb()});
    // The Exar adapter alone and under another node: same number.
    UdevTtyRecord exar = recorded::ExarUsb();
    exar.properties["DEVNAME"] = "/dev/ttyXRUSB3";
    EXPECT_EQ(Numbers({exar}), (std::map<int, std::string>{{98, "/dev/ttyXRUSB3"}}));
    EXPECT_EQ(Numbers({recorded::ExarUsb(), recorded::Pl011()}),
              (std::map<int, std::string>{{97, "/dev/ttyAMA0"}, {98, "/dev/ttyXRUSB0"}}));
    // A third device takes the next free number; the unplugged ones keep theirs.
    EXPECT_EQ(Numbers({recorded::Rfcomm()}), (std::map<int, std::string>{{99, "/dev/rfcomm0"}}));
    EXPECT_FALSE(fs::exists(UserLinks()));
}

TEST_F(ComAssignment, OpeningAGivenNumberWritesItsOneLink)
{
    PtyPair pty;
    UdevTtyRecord onPty = recorded::Pl011();
    onPty.properties["DEVNAME"] = pty.SlavePath();
    const std::map<int, std::string> numbers{{97, pty.SlavePath()}, {98, "/dev/ttyXRUSB0"}};
    ASSERT_EQ(Numbers({onPty, recorded::ExarUsb()}), numbers);

    CSerialPort port;
    ASSERT_EQ(port.Open("COM97", 0, 0), serialstatus::kSuccess);
    std::uint32_t written = 0;
    ASSERT_EQ(port.WriteWithin("hi", 2, &written, 10000), serialstatus::kSuccess);
    EXPECT_EQ(pty.ReadMaster(2, 10000), "hi");
    EXPECT_EQ(FolderLinks(UserLinks()), (std::map<std::string, std::string>{{"com97", pty.SlavePath()}}));
    // The absent adapter's link goes to its by-id name, so it keeps its number whichever node it
    // gets; the open fails as for any missing device.
    CSerialPort absent;
    EXPECT_EQ(absent.Open("COM98", 0, 0), serialstatus::kFileNotFound);
    EXPECT_EQ(FolderLinks(UserLinks()),
              (std::map<std::string, std::string>{{"com97", pty.SlavePath()},
                                                  {"com98", "/dev/serial/by-id/usb-Exar_Corp._XR21V1410_XR0042-if00"}}));
    // A number given to no device writes nothing; the linked ones now reach their devices.
    EXPECT_EQ(absent.Open("COM99", 0, 0), serialstatus::kFileNotFound);
    EXPECT_EQ(FolderLinks(UserLinks()).size(), 2u);
    EXPECT_EQ(Numbers({onPty, recorded::ExarUsb()}), numbers);
    EXPECT_FALSE(fs::exists(MachineLinks()));
}

TEST_F(ComAssignment, LinksAPersonMadeAreUsedAndNeverChanged)
{
    Link(MachineLinks(), 97, "/dev/ttyS40");                                          // dangling
    Link(UserLinks(), 98, "/dev/serial/by-id/usb-Someone_Elses_Board-if00");          // absent device
    Link(UserLinks(), 5, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A123-if00-port0"); // the FTDI
    Link(UserLinks(), 65, "/dev/null");                                               // hides ttyACM0's table name
    const auto userBefore = FolderLinks(UserLinks());
    const auto machineBefore = FolderLinks(MachineLinks());

    const auto numbers = Numbers({recorded::Ftdi(), recorded::Pl011(), recorded::ArduinoAcm()});
    EXPECT_EQ(numbers, (std::map<int, std::string>{{5, "/dev/ttyUSB0"},
                                                   {33, "/dev/ttyUSB0"},
                                                   {99, "/dev/ttyAMA0"},
                                                   {100, "/dev/ttyACM0"}}));
    EXPECT_EQ(FolderLinks(UserLinks()), userBefore);
    EXPECT_EQ(FolderLinks(MachineLinks()), machineBefore);
}

TEST_F(ComAssignment, PresentPortsReadAsOneLine)
{
    std::vector<PresentPort> ports{{34, *SerialDeviceFromRecord(recorded::Ftdi("/dev/ttyUSB1"))},
                                   {1, *SerialDeviceFromRecord(recorded::OnBoardUart())}};
    EXPECT_EQ(PresentPortsText(ports), "COM34 (ttyUSB1, FTDI FT232R USB UART, A123), COM1 (ttyS0, serial)");
    EXPECT_EQ(PresentPortsText({}), "");
}

} // namespace
