#pragma once
// The COM numbers this run gave to devices that no name reaches. They live in memory only, so that
// the same devices show the same numbers each time the ports are listed, and become a link only
// when the port is opened by such a number. Any thread: a lock guards the table, and nothing
// touches a file while it is held.

#include <string>

// The number given to `device` (the path its link would point at), or 0 when it has none.
int GivenComNumber(const std::string& device);

// The device `number` was given to, or an empty text.
std::string GivenComDevice(int number);

// Gives `number` to `device` unless another device has it; the device gives up any number it had
// before. True when the number is the device's now.
bool GiveComNumber(int number, const std::string& device);

// Forgets every number given, as a new run would: the devices they were given to are no more.
void ForgetGivenComNumbers();
