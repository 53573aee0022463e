#include "serial/store/SerialSettingsStore.h"

#include <string>
#include <utility>
#include <vector>

namespace serialstore {
namespace {

using Values = std::vector<std::pair<std::string, std::uint32_t>>;

Values AsValues(const SerialSettings& s)
{
    auto dword = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    return {{"ComPort", dword(s.comPort)},   {"BaudRates", dword(s.baudRate)},
            {"DataBits", dword(s.dataBits)}, {"ParityBits", dword(s.parity)},
            {"StopBits", dword(s.stopBits)}, {"Handshaking", dword(s.handshaking)}};
}

void ReadInto(const plat::RegistryKey& key, const char* name, std::int32_t& member)
{
    if (auto value = key.QueryDword(name))
        member = static_cast<std::int32_t>(*value);
}

} // namespace

SerialSettings Load()
{
    SerialSettings settings;
    plat::RegistryKey key;
    if (key.Open(kKeyPath, plat::KeyAccess::ReadWrite) == plat::regstatus::kSuccess) {
        ReadInto(key, "ComPort", settings.comPort);
        ReadInto(key, "BaudRates", settings.baudRate);
        ReadInto(key, "DataBits", settings.dataBits);
        ReadInto(key, "ParityBits", settings.parity);
        ReadInto(key, "StopBits", settings.stopBits);
        ReadInto(key, "Handshaking", settings.handshaking);
        return settings;
    }
    // First run, or a key this user cannot change: start it with the defaults where possible.
    if (key.Create(kKeyPath, plat::KeyAccess::ReadWrite) == plat::regstatus::kSuccess)
        key.SetDwords(AsValues(settings));
    return settings;
}

bool Writer::Open()
{
    // A key removed while the program runs is made again rather than refusing the change.
    return m_key.Create(kKeyPath, plat::KeyAccess::Write) == plat::regstatus::kSuccess;
}

bool Writer::Write(const SerialSettings& settings)
{
    return m_key.SetDwords(AsValues(settings)) == plat::regstatus::kSuccess;
}

} // namespace serialstore
