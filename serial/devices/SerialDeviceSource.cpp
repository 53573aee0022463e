#include "serial/devices/SerialDeviceSource.h"

#include "serial/devices/ComNameTable.h"

#include <libudev.h>

#include <cstring>
#include <mutex>

namespace {

std::mutex g_factoryLock;
SerialDeviceSourceFactory g_factory;

struct UdevDeleter {
    void operator()(udev* handle) const { udev_unref(handle); }
    void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
    void operator()(udev_device* handle) const { udev_device_unref(handle); }
    void operator()(udev_monitor* handle) const { udev_monitor_unref(handle); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

// The driver that tells what kind of port this is. The serial core's own port and controller
// devices (bus "serial-base") sit between the tty and the hardware: look past them.
std::string ParentDriver(udev_device* tty)
{
    for (udev_device* parent = udev_device_get_parent(tty); parent != nullptr; parent = udev_device_get_parent(parent)) {
        const char* subsystem = udev_device_get_subsystem(parent);
        if (subsystem != nullptr && std::strcmp(subsystem, "serial-base") == 0)
            continue;
        if (const char* driver = udev_device_get_driver(parent))
            return driver;
    }
    return {};
}

UdevTtyRecord RecordOf(udev_device* device)
{
    UdevTtyRecord record;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device))
    {
        const char* value = udev_list_entry_get_value(entry);
        record.properties[udev_list_entry_get_name(entry)] = value != nullptr ? value : "";
    }
    // Without a udev daemon the properties hold only what the kernel said: fill in the node.
    if (const char* node = udev_device_get_devnode(device))
        record.properties["DEVNAME"] = node;
    if (const char* devpath = udev_device_get_devpath(device))
        record.properties["DEVPATH"] = devpath;
    if (const char* type = udev_device_get_sysattr_value(device, "type"))
        record.portType = type;
    record.parentDriver = ParentDriver(device);
    return record;
}

class UdevSource : public SerialDeviceSource {
public:
    UdevSource() : m_udev(udev_new()) {}

    std::vector<UdevTtyRecord> Enumerate() override
    {
        std::vector<UdevTtyRecord> records;
        if (!m_udev)
            return records;
        UdevPtr<udev_enumerate> enumeration(udev_enumerate_new(m_udev.get()));
        if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "tty") < 0 ||
            udev_enumerate_scan_devices(enumeration.get()) < 0)
            return records;
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get()))
        {
            UdevPtr<udev_device> device(udev_device_new_from_syspath(m_udev.get(), udev_list_entry_get_name(entry)));
            if (device)
                records.push_back(RecordOf(device.get()));
        }
        return records;
    }

    int ChangeDescriptor() override
    {
        // Made on first use: a caller that only enumerates needs no socket.
        if (!m_monitor && m_udev && !m_monitorFailed) {
            // The "udev" source announces a device after its rules ran, so its by-id link exists.
            m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
            if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "tty", nullptr) < 0 ||
                udev_monitor_enable_receiving(m_monitor.get()) < 0) {
                m_monitor.reset();
                m_monitorFailed = true;
            }
        }
        return m_monitor ? udev_monitor_get_fd(m_monitor.get()) : -1;
    }

    bool TakeChanges() override
    {
        bool changed = false;
        if (!m_monitor)
            return changed;
        // The socket does not block: this drains what is waiting and returns.
        while (UdevPtr<udev_device> device{udev_monitor_receive_device(m_monitor.get())}) {
            const char* action = udev_device_get_action(device.get());
            if (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                changed = true;
        }
        return changed;
    }

private:
    UdevPtr<udev> m_udev;
    UdevPtr<udev_monitor> m_monitor;
    bool m_monitorFailed = false;
};

} // namespace

std::unique_ptr<SerialDeviceSource> OpenSerialDeviceSource()
{
    {
        std::lock_guard lock(g_factoryLock);
        if (g_factory)
            return g_factory();
    }
    return std::make_unique<UdevSource>();
}

void SetSerialDeviceSourceFactory(SerialDeviceSourceFactory factory)
{
    {
        std::lock_guard lock(g_factoryLock);
        g_factory = std::move(factory);
    }
    // The numbers were given to the devices of the old source.
    ForgetGivenComNumbers();
}

std::vector<SerialDevice> PresentSerialDevices(SerialDeviceSource& source)
{
    return SerialDevicesFromRecords(source.Enumerate());
}
