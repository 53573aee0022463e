#include "serial/devices/SerialDevices.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

std::string Property(const UdevTtyRecord& record, const std::string& key)
{
    const auto found = record.properties.find(key);
    return found == record.properties.end() ? std::string() : found->second;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// udev's "_ENC" values keep the device's own text with \xHH escapes for spaces and the like.
std::string DecodeEscapes(const std::string& text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    return text.substr(first);
}

// The device's own text first (what is printed on the cable), then udev's plain value, whose
// spaces became underscores, then the name from the hardware database.
std::string Identity(const UdevTtyRecord& record, const std::string& key)
{
    if (std::string text = Trimmed(DecodeEscapes(Property(record, key + "_ENC"))); !text.empty())
        return text;
    if (std::string text = Property(record, key); !text.empty()) {
        std::replace(text.begin(), text.end(), '_', ' ');
        return Trimmed(text);
    }
    return Property(record, key + "_FROM_DATABASE");
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Ttys without a device of their own are consoles and the like, except Bluetooth's serial links.
bool IsSerialPort(const UdevTtyRecord& record, const std::string& node)
{
    const std::string devpath = Property(record, "DEVPATH");
    if (StartsWith(devpath, "/devices/virtual/"))
        return StartsWith(BaseName(node), "rfcomm");
    // The serial core says "0" (PORT_UNKNOWN) for a ttyS slot with no UART found behind it.
    return record.portType != "0";
}

} // namespace

std::string SerialDevice::Summary(const char* separator) const
{
    // Database names often repeat the vendor: "FTDI" and "FTDI FT232R" read "FTDI FT232R".
    std::string identity = vendor;
    const std::string rest = StartsWith(model, vendor) ? Trimmed(model.substr(vendor.size())) : model;
    if (!rest.empty())
        identity += (identity.empty() ? "" : " ") + rest;
    if (identity.empty())
        identity = driver;
    std::string summary = BaseName(node);
    for (const std::string& part : {identity, serial})
        if (!part.empty())
            summary += separator + part;
    return summary;
}

std::optional<SerialDevice> SerialDeviceFromRecord(const UdevTtyRecord& record)
{
    SerialDevice device;
    device.node = Property(record, "DEVNAME");
    if (!device.node.empty() && device.node[0] != '/')
        device.node = "/dev/" + device.node;
    if (device.node.empty() || !IsSerialPort(record, device.node))
        return std::nullopt;
    std::istringstream links(Property(record, "DEVLINKS"));
    for (std::string link; links >> link;) {
        device.links.push_back(link);
        if (device.byId.empty() && StartsWith(link, "/dev/serial/by-id/"))
            device.byId = link;
    }
    device.vendor = Identity(record, "ID_VENDOR");
    device.model = Identity(record, "ID_MODEL");
    device.serial = Property(record, "ID_SERIAL_SHORT");
    device.driver = Property(record, "ID_USB_DRIVER");
    if (device.driver.empty())
        device.driver = record.parentDriver;
    return device;
}

std::vector<SerialDevice> SerialDevicesFromRecords(const std::vector<UdevTtyRecord>& records)
{
    std::vector<SerialDevice> devices;
    for (const UdevTtyRecord& record : records)
        if (std::optional<SerialDevice> device = SerialDeviceFromRecord(record))
            devices.push_back(std::move(*device));
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.node < b.node; });
    return devices;
}
