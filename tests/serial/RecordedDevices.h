#pragma once
// Recorded udev descriptions of serial devices, in the shape a real enumeration gives them, fed to
// the program in place of libudev: plugging and unplugging becomes a change of the records. Used
// on the test's main thread (the window's thread).

#include "serial/devices/SerialDeviceSource.h"

#include <memory>
#include <string>
#include <vector>

namespace recorded {

UdevTtyRecord Ftdi(const std::string& node = "/dev/ttyUSB0", const std::string& serial = "A123");
UdevTtyRecord ArduinoAcm();      // /dev/ttyACM0, cdc_acm
UdevTtyRecord ExarUsb();         // /dev/ttyXRUSB0: a driver outside the default table
UdevTtyRecord Pl011();           // /dev/ttyAMA0: an on-board UART without a by-id name
UdevTtyRecord Rfcomm();          // /dev/rfcomm0: a virtual tty that is a serial link
UdevTtyRecord OnBoardUart();     // /dev/ttyS0 with a 16550A behind it
UdevTtyRecord LegacyStub();      // /dev/ttyS1 with no UART (type 0)
UdevTtyRecord VirtualConsole();  // /dev/tty1
UdevTtyRecord PtyMultiplexer();  // /dev/ptmx

} // namespace recorded

// Installs itself as the device source for its lifetime; libudev is back afterwards.
class RecordedDevices {
public:
    explicit RecordedDevices(std::vector<UdevTtyRecord> records = {});
    ~RecordedDevices();
    RecordedDevices(const RecordedDevices&) = delete;
    RecordedDevices& operator=(const RecordedDevices&) = delete;

    // Each announces the change as udev's monitor would.
    void Plug(const UdevTtyRecord& record);
    void Unplug(const std::string& node);

    struct State;

private:
    std::shared_ptr<State> m_state;
};
