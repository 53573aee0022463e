// Which ttys are serial ports and what each one is, from recorded udev descriptions; and a run
// against the machine's own libudev.

#include "serial/devices/SerialDeviceSource.h"
#include "tests/serial/RecordedDevices.h"

#include <gtest/gtest.h>

#include <regex>

TEST(SerialDiscovery, KeepsSerialPortsAndLeavesOutConsolesAndUartlessStubs)
{
    RecordedDevices machine({recorded::VirtualConsole(), recorded::PtyMultiplexer(), recorded::LegacyStub(),
                             recorded::OnBoardUart(), recorded::Ftdi(), recorded::Rfcomm(), recorded::Pl011()});
    const auto source = OpenSerialDeviceSource();
    std::vector<std::string> nodes;
    for (const SerialDevice& device : PresentSerialDevices(*source))
        nodes.push_back(device.node);
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/rfcomm0", "/dev/ttyAMA0", "/dev/ttyS0", "/dev/ttyUSB0"}));
}

TEST(SerialDiscovery, DescribesEachDeviceByWhatItIs)
{
    std::optional<SerialDevice> ftdi = SerialDeviceFromRecord(recorded::Ftdi());
    ASSERT_TRUE(ftdi);
    EXPECT_EQ(ftdi->byId, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A123-if00-port0");
    EXPECT_EQ(ftdi->vendor, "FTDI");
    EXPECT_EQ(ftdi->model, "FT232R USB UART");
    EXPECT_EQ(ftdi->serial, "A123");
    EXPECT_EQ(ftdi->driver, "ftdi_sio");
    EXPECT_EQ(ftdi->Summary(), "ttyUSB0  FTDI FT232R USB UART  A123");

    // The device's own strings are decoded; a plain value has its underscores turned back to spaces.
    EXPECT_EQ(SerialDeviceFromRecord(recorded::ArduinoAcm())->Summary(", "),
              "ttyACM0, Arduino (www.arduino.cc) 0043, 85736323838351F0E1A0");
    EXPECT_EQ(SerialDeviceFromRecord(recorded::ExarUsb())->Summary(), "ttyXRUSB0  Exar Corp. XR21V1410  XR0042");
    // Nothing but a driver is known of an on-board UART.
    std::optional<SerialDevice> uart = SerialDeviceFromRecord(recorded::OnBoardUart());
    ASSERT_TRUE(uart);
    EXPECT_EQ(uart->byId, "");
    EXPECT_EQ(uart->Summary(), "ttyS0  serial");
}

TEST(SerialDiscovery, MachineLibudevEnumeratesAndWatches)
{
    // No udev daemon may run here: enumeration still reads sysfs, and the monitor may stay silent.
    const auto source = OpenSerialDeviceSource();
    const std::regex notSerial("/dev/(tty[0-9]*|console|ptmx)");
    for (const SerialDevice& device : PresentSerialDevices(*source)) {
        EXPECT_EQ(device.node.rfind("/dev/", 0), 0u) << device.node;
        EXPECT_FALSE(std::regex_match(device.node, notSerial)) << device.node;
    }
    if (const int descriptor = source->ChangeDescriptor(); descriptor >= 0)
        source->TakeChanges(); // returns at once whether or not anything came
}
