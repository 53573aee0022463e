#pragma once
// Why opening a serial port failed, in plain words: the device is not there, the user may not
// open it, another program holds it, or it is no serial port. Called on the window's thread.

#include <cstdint>
#include <string>

// One line that explains `status`, the result of opening `portName` ("COM5" or a path); empty
// when there is nothing more to say than the status.
std::string ExplainOpenFailure(const std::string& portName, std::uint32_t status);

// `message`, then the explanation on a line of its own when there is one.
std::string WithOpenFailureExplanation(const std::string& message, const std::string& portName,
                                       std::uint32_t status);
