#include "discovery/registry_win.h"

#include <windows.h>

namespace discovery {

namespace {

// The predefined roots (HKEY_CLASSES_ROOT 0x80000000 up to 0x80000007) are
// 32-bit values that Windows sign-extends into a 64-bit HKEY; RegKey holds
// them as the plain 32-bit value, so they are mapped both ways here.
constexpr std::uintptr_t kFirstPredefinedKey = 0x80000000u;
constexpr std::uintptr_t kLastPredefinedKey = 0x80000007u;

HKEY toHkey(RegKey key)
{
    if (key >= kFirstPredefinedKey && key <= kLastPredefinedKey)
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(key)));
    return reinterpret_cast<HKEY>(key);
}

RegKey fromHkey(HKEY key)
{
    const RegKey low = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    return toHkey(low) == key ? low : reinterpret_cast<RegKey>(key);
}

} // namespace

// The out-parameters stand for the caller's own variables: what a call
// leaves in them, success or not, it leaves in the caller's.
long WindowsRegistry::RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t options,
                                    std::uint32_t access, RegKey *result)
{
    HKEY opened = toHkey(*result);
    const LONG status = ::RegOpenKeyExA(toHkey(parent), subKey.c_str(), options, access, &opened);
    *result = fromHkey(opened);
    return status;
}

long WindowsRegistry::RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result)
{
    HKEY opened = toHkey(*result);
    const LONG status = ::RegOpenKeyA(toHkey(parent), subKey.c_str(), &opened);
    *result = fromHkey(opened);
    return status;
}

long WindowsRegistry::RegQueryValueExA(RegKey key, const std::string &valueName, std::uint32_t *type,
                                       std::uint8_t *data, std::uint32_t *size)
{
    DWORD valueType = type ? *type : 0;
    DWORD valueSize = size ? *size : 0;
    const LONG status = ::RegQueryValueExA(toHkey(key), valueName.c_str(), nullptr,
                                           type ? &valueType : nullptr, data,
                                           size ? &valueSize : nullptr);
    if (type)
        *type = valueType;
    if (size)
        *size = valueSize;
    return status;
}

long WindowsRegistry::RegCloseKey(RegKey key)
{
    return ::RegCloseKey(toHkey(key));
}

} // namespace discovery
