#pragma once
// The serial settings remembered between runs: six 32-bit values of the key "Software\Relvanto"
// in the settings store, in this order: "ComPort", "BaudRates", "DataBits", "ParityBits",
// "StopBits", "Handshaking". The baud rate and the data bits are stored as plain numbers.

#include "platform/registry/RegistryKey.h"

#include <cstdint>

struct SerialSettings {
    std::int32_t comPort = 1;       // 1 stands for COM1
    std::int32_t baudRate = 19200;  // bits per second
    std::int32_t dataBits = 8;      // 5 to 8
    std::int32_t parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int32_t stopBits = 0;      // 0 one, 1 one and a half, 2 two
    std::int32_t handshaking = 0;   // 0 none, 1 RTS/CTS, 2 XON/XOFF

    bool operator==(const SerialSettings&) const = default;
};

namespace serialstore {

inline constexpr char kKeyPath[] = "Software\\Relvanto";

// The stored settings; a value that is missing or damaged keeps its default. When the key does not
// exist (or cannot be opened for writing) it is created with the six defaults; when that fails
// too, nothing is stored and the defaults are returned.
SerialSettings Load();

// The store opened for writing new settings. Opening fails when no store can be written.
class Writer {
public:
    bool Open();
    // All six values in one replacement: they are stored together or not at all.
    bool Write(const SerialSettings& settings);
    void Close() { m_key.Close(); }

private:
    plat::RegistryKey m_key;
};

} // namespace serialstore
