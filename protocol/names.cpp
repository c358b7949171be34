#include "protocol/protocol.h"

namespace protocol {

namespace {

struct Named {
    Protocol protocol;
    std::string_view setting;
    std::string_view display;
};

constexpr Named kNames[] = {
    {Protocol::None, "none", "None"},
    {Protocol::ModbusRtu, "modbus-rtu", "Modbus RTU"},
    {Protocol::ModbusAscii, "modbus-ascii", "Modbus ASCII"},
    {Protocol::FxProgramming, "fx-programming", "FX programming port"},
    {Protocol::McAscii, "mc-ascii", "A/Q computer link"},
    {Protocol::Mewtocol, "mewtocol", "MEWTOCOL"},
};

} // namespace

std::string_view settingName(Protocol protocol)
{
    for (const Named &entry : kNames)
        if (entry.protocol == protocol)
            return entry.setting;
    return "none";
}

std::optional<Protocol> protocolFromSettingName(std::string_view name)
{
    for (const Named &entry : kNames)
        if (entry.setting == name)
            return entry.protocol;
    return std::nullopt;
}

std::string_view displayName(Protocol protocol)
{
    for (const Named &entry : kNames)
        if (entry.protocol == protocol)
            return entry.display;
    return "None";
}

} // namespace protocol
