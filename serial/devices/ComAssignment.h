#pragma once
// Which COM name reaches each present serial device, and COM numbers for the devices no name
// reaches. Reads the dosdevices folders and writes nothing. Called on the window's thread (the
// configuration dialog, the open failure explanations).

#include "serial/devices/SerialDevices.h"

#include <vector>

struct PresentPort {
    int comNumber; // 1 to 255
    SerialDevice device;
};

inline constexpr int kFirstGivenComNumber = 97; // the default table ends at COM96
inline constexpr int kLastComNumber = 255;

// Every COM name that reaches one of the devices (through a dosdevices link or the default
// table), in COM order. A device no name reaches gets a number from 97 up that has no link in
// either dosdevices folder, kept in memory for the run (ComNameTable.h) under its
// /dev/serial/by-id name (its node when it has none), so the same adapter shows the same number
// each time. Nothing is written here: opening the port by that number makes its link.
std::vector<PresentPort> AssignComPorts(const std::vector<SerialDevice>& devices);

// "COM34 (ttyUSB1, FTDI FT232R USB UART, A123), COM1 (ttyS0, serial)"; empty for no ports.
std::string PresentPortsText(const std::vector<PresentPort>& ports);
