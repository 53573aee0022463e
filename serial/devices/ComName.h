#pragma once
// Which device a port name stands for. Any thread. A name that starts with '/' is a path and is used as it is.
// "COMn" is looked up as the symbolic link "comn" in the dosdevices folder of the per-user store,
// then of the machine-wide store, and otherwise in the default table:
//   COM1-COM32 -> /dev/ttyS0-31, COM33-COM64 -> /dev/ttyUSB0-31, COM65-COM96 -> /dev/ttyACM0-31.

#include <string>

// The device path for the name, or an empty text when the name maps to no device. Reads only.
std::string ResolveComName(const std::string& name);

// The device path to open for the name: as ResolveComName, except that a "COMn" with no mapping
// whose number this run gave to a device (ComNameTable.h) first gets its link "comn" to that
// device in the user's dosdevices folder, so that the port a person picked keeps its number. The
// link is made with symlink(), which never replaces anything; when it cannot be made at all, the
// device itself is opened.
std::string ResolveComNameToOpen(const std::string& name);
