#pragma once
// The serial devices present on the machine, as udev describes them: a tty's udev record becomes a
// device with its node, its /dev/serial/by-id name, vendor, model, serial number and driver.
// Plain functions of their arguments: any thread.

#include <map>
#include <optional>
#include <string>
#include <vector>

// What udev tells about one device of the "tty" subsystem.
struct UdevTtyRecord {
    std::map<std::string, std::string> properties; // DEVNAME (the node), DEVPATH, DEVLINKS, ID_...
    std::string portType;     // the tty's sysfs attribute "type" (serial core port type); empty if none
    std::string parentDriver; // driver of the nearest parent device that has one; empty if none
};

struct SerialDevice {
    std::string node;   // "/dev/ttyUSB0"
    std::string byId;   // "/dev/serial/by-id/..."; empty when there is none
    std::vector<std::string> links; // every other name udev made for it (by-id, by-path, ...)
    std::string vendor; // each empty when unknown
    std::string model;
    std::string serial;
    std::string driver;

    // "ttyUSB0  FTDI FT232R USB UART  A123": the node's name, vendor and model (the driver when
    // neither is known) and serial number, joined by `separator`.
    std::string Summary(const char* separator = "  ") const;
};

// The serial port a tty record stands for. Nothing for ttys that are no serial port (virtual
// consoles, ptmx) and for the legacy ttyS stubs with no UART behind them (port type 0, unknown).
std::optional<SerialDevice> SerialDeviceFromRecord(const UdevTtyRecord& record);

// The serial ports among the records, in node order.
std::vector<SerialDevice> SerialDevicesFromRecords(const std::vector<UdevTtyRecord>& records);
