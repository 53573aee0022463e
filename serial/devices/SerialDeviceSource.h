#pragma once
// Where the serial devices come from: libudev on a real machine. Tests install a factory that
// hands out recorded device descriptions instead, so that discovery and hot-plug can be tested
// without plugging anything in.
//
// A source is used on the thread that opened it (the window's thread, for the configuration
// dialog and the open failure explanations). SetSerialDeviceSourceFactory and
// OpenSerialDeviceSource may be called from any thread.

#include "serial/devices/SerialDevices.h"

#include <functional>
#include <memory>
#include <vector>

class SerialDeviceSource {
public:
    virtual ~SerialDeviceSource() = default;
    // Every device of the "tty" subsystem.
    virtual std::vector<UdevTtyRecord> Enumerate() = 0;
    // Readable when a tty came or went; -1 when this source cannot watch for that.
    virtual int ChangeDescriptor() = 0;
    // Takes what made the descriptor readable; true when a tty came or went.
    virtual bool TakeChanges() = 0;
};

using SerialDeviceSourceFactory = std::function<std::unique_ptr<SerialDeviceSource>()>;

// The source tests installed, else one on libudev.
std::unique_ptr<SerialDeviceSource> OpenSerialDeviceSource();
// Installs the factory of OpenSerialDeviceSource; an empty one brings libudev back. The COM
// numbers given to the old source's devices are forgotten.
void SetSerialDeviceSourceFactory(SerialDeviceSourceFactory factory);

// The serial ports the source knows of, in node order.
std::vector<SerialDevice> PresentSerialDevices(SerialDeviceSource& source);
