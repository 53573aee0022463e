// COM numbers for present devices: the names that reach them, and numbers from COM97 up for the
// devices no name reaches, linked only when a port is opened by one; in temporary store folders.

#include "serial/devices/ComAssignment.h"
#include "serial/devices/ComNameTable.h"
#include "serial/port/SerialPort.h"
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
    // Every link of a folder and what it points at.
    static std::map<std::string, std::string> Links(const std::string& folder)
    {
        std::map<std::string, std::string> links;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error))
            links[entry.path().filename().string()] = fs::read_symlink(entry.path()).string();
        return links;
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
    // Opening one by its number writes its one link, to the by-id name, so the adapter keeps its
    // number whichever node it gets; the absent adapter then fails as any missing device.
    EXPECT_EQ(CSerialPort().Open("COM98", 0, 0), serialstatus::kFileNotFound);
    EXPECT_EQ(Links(UserLinks()),
              (std::map<std::string, std::string>{{"com98", "/dev/serial/by-id/usb-Exar_Corp._XR21V1410_XR0042-if00"}}));
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
}

TEST_F(ComAssignment, LinksAPersonMadeAreUsedAndNeverChanged)
{
    Link(MachineLinks(), 97, "/dev/ttyS40");                                          // dangling
    Link(UserLinks(), 98, "/dev/serial/by-id/usb-Someone_Elses_Board-if00");          // absent device
    Link(UserLinks(), 5, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A123-if00-port0"); // the FTDI
    Link(UserLinks(), 65, "/dev/null");                                               // hides ttyACM0's table name
    const auto userBefore = Links(UserLinks());
    const auto machineBefore = Links(MachineLinks());

    const auto numbers = Numbers({recorded::Ftdi(), recorded::Pl011(), recorded::ArduinoAcm()});
    EXPECT_EQ(numbers, (std::map<int, std::string>{{5, "/dev/ttyUSB0"},
                                                   {33, "/dev/ttyUSB0"},
                                                   {99, "/dev/ttyAMA0"},
                                                   {100, "/dev/ttyACM0"}}));
    EXPECT_EQ(Links(UserLinks()), userBefore);
    EXPECT_EQ(Links(MachineLinks()), machineBefore);
}

TEST_F(ComAssignment, PresentPortsReadAsOneLine)
{
    std::vector<PresentPort> ports{{34, *SerialDeviceFromRecord(recorded::Ftdi("/dev/ttyUSB1"))},
                                   {1, *SerialDeviceFromRecord(recorded::OnBoardUart())}};
    EXPECT_EQ(PresentPortsText(ports), "COM34 (ttyUSB1, FTDI FT232R USB UART, A123), COM1 (ttyS0, serial)");
    EXPECT_EQ(PresentPortsText({}), "");
}

} // namespace
