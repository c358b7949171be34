#pragma once

// The registry through the real ANSI calls.

#include "discovery/platform_api.h"

namespace discovery {

class WindowsRegistry final : public Registry {
public:
    long RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t options,
                       std::uint32_t access, RegKey *result) override;
    long RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result) override;
    long RegQueryValueExA(RegKey key, const std::string &valueName, std::uint32_t *type,
                          std::uint8_t *data, std::uint32_t *size) override;
    long RegCloseKey(RegKey key) override;
};

} // namespace discovery
