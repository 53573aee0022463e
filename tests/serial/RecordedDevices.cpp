#include "tests/serial/RecordedDevices.h"

#include <algorithm>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace recorded {
namespace {

UdevTtyRecord Usb(const std::string& node, const std::string& devpath, std::map<std::string, std::string> ids,
                  const std::string& byId, const std::string& driver)
{
    UdevTtyRecord record;
    record.properties = std::move(ids);
    record.properties["DEVNAME"] = node;
    record.properties["DEVPATH"] = devpath;
    record.properties["SUBSYSTEM"] = "tty";
    record.properties["ID_BUS"] = "usb";
    record.properties["ID_USB_DRIVER"] = driver;
    record.properties["DEVLINKS"] = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0 " + byId;
    record.parentDriver = driver;
    return record;
}

} // namespace

UdevTtyRecord Ftdi(const std::string& node, const std::string& serial)
{
    const std::string name = node.substr(node.rfind('/') + 1);
    return Usb(node, "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/" + name + "/tty/" + name,
               {{"ID_VENDOR", "FTDI"},
                {"ID_VENDOR_ENC", "FTDI"},
                {"ID_VENDOR_ID", "0403"},
                {"ID_MODEL", "FT232R_USB_UART"},
                {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
                {"ID_MODEL_ID", "6001"},
                {"ID_SERIAL", "FTDI_FT232R_USB_UART_" + serial},
                {"ID_SERIAL_SHORT", serial},
                {"ID_VENDOR_FROM_DATABASE", "Future Technology Devices International, Ltd"},
                {"ID_MODEL_FROM_DATABASE", "FT232 Serial (UART) IC"}},
               "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0", "ftdi_sio");
}

UdevTtyRecord ArduinoAcm()
{
    return Usb("/dev/ttyACM0", "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0",
               {{"ID_VENDOR", "Arduino__www.arduino.cc_"},
                {"ID_VENDOR_ENC", "Arduino\\x20\\x28www.arduino.cc\\x29"},
                {"ID_MODEL", "0043"},
                {"ID_MODEL_ENC", "0043"},
                {"ID_SERIAL_SHORT", "85736323838351F0E1A0"},
                {"ID_MODEL_FROM_DATABASE", "Uno R3 (CDC ACM)"}},
               "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_85736323838351F0E1A0-if00", "cdc_acm");
}

UdevTtyRecord ExarUsb()
{
    return Usb("/dev/ttyXRUSB0", "/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/tty/ttyXRUSB0",
               {{"ID_VENDOR", "Exar_Corp."},
                {"ID_MODEL", "XR21V1410"},
                {"ID_SERIAL_SHORT", "XR0042"},
                {"ID_VENDOR_FROM_DATABASE", "Exar Corp."}},
               "/dev/serial/by-id/usb-Exar_Corp._XR21V1410_XR0042-if00", "cdc_xr_usb_serial");
}

UdevTtyRecord Pl011()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/ttyAMA0"},
                         {"DEVPATH", "/devices/platform/soc/fe201000.serial/tty/ttyAMA0"},
                         {"SUBSYSTEM", "tty"}};
    record.portType = "83";
    record.parentDriver = "uart-pl011";
    return record;
}

UdevTtyRecord Rfcomm()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/rfcomm0"}, {"DEVPATH", "/devices/virtual/tty/rfcomm0"}, {"SUBSYSTEM", "tty"}};
    return record;
}

UdevTtyRecord OnBoardUart()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/ttyS0"},
                         {"DEVPATH", "/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0"},
                         {"SUBSYSTEM", "tty"}};
    record.portType = "4";
    record.parentDriver = "serial";
    return record;
}

UdevTtyRecord LegacyStub()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/ttyS1"},
                         {"DEVPATH", "/devices/platform/serial8250/serial8250:0/serial8250:0.1/tty/ttyS1"},
                         {"SUBSYSTEM", "tty"}};
    record.portType = "0";
    record.parentDriver = "serial8250";
    return record;
}

UdevTtyRecord VirtualConsole()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/tty1"}, {"DEVPATH", "/devices/virtual/tty/tty1"}, {"SUBSYSTEM", "tty"}};
    return record;
}

UdevTtyRecord PtyMultiplexer()
{
    UdevTtyRecord record;
    record.properties = {{"DEVNAME", "/dev/ptmx"}, {"DEVPATH", "/devices/virtual/tty/ptmx"}, {"SUBSYSTEM", "tty"}};
    return record;
}

} // namespace recorded

struct RecordedDevices::State {
    std::vector<UdevTtyRecord> records;
    int changes = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~State() { ::close(changes); }
    void Announce()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(changes, &one, sizeof one);
    }
};

namespace {

class RecordedSource : public SerialDeviceSource {
public:
    explicit RecordedSource(std::shared_ptr<RecordedDevices::State> state) : m_state(std::move(state)) {}
    std::vector<UdevTtyRecord> Enumerate() override;
    int ChangeDescriptor() override;
    bool TakeChanges() override;

private:
    std::shared_ptr<RecordedDevices::State> m_state;
};

} // namespace

std::vector<UdevTtyRecord> RecordedSource::Enumerate()
{
    return m_state->records;
}

int RecordedSource::ChangeDescriptor()
{
    return m_state->changes;
}

bool RecordedSource::TakeChanges()
{
    std::uint64_t count = 0;
    return ::read(m_state->changes, &count, sizeof count) == sizeof count && count > 0;
}

RecordedDevices::RecordedDevices(std::vector<UdevTtyRecord> records) : m_state(std::make_shared<State>())
{
    m_state->records = std::move(records);
    SetSerialDeviceSourceFactory([state = m_state] { return std::make_unique<RecordedSource>(state); });
}

RecordedDevices::~RecordedDevices()
{
    SetSerialDeviceSourceFactory(nullptr);
}

void RecordedDevices::Plug(const UdevTtyRecord& record)
{
    m_state->records.push_back(record);
    m_state->Announce();
}

void RecordedDevices::Unplug(const std::string& node)
{
    auto& records = m_state->records;
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&node](const UdevTtyRecord& r) { return r.properties.at("DEVNAME") == node; }),
                  records.end());
    m_state->Announce();
}
