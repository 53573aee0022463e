#pragma once
// Which device a port name stands for. A name that starts with '/' is a path and is used as it is.
// "COMn" is looked up as the symbolic link "comn" in the dosdevices folder of the per-user store,
// then of the machine-wide store, and otherwise in the default table:
//   COM1-COM32 -> /dev/ttyS0-31, COM33-COM64 -> /dev/ttyUSB0-31, COM65-COM96 -> /dev/ttyACM0-31.

#include <string>

// The device path for the name, or an empty text when the name maps to no device.
std::string ResolveComName(const std::string& name);
