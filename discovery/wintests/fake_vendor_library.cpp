// CP210xManufacturing.dll for the tests: the vendor's seven functions with
// its stdcall signatures and parameter widths, over bridges a test sets up.

#include "fake_vendor.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kInvalidHandle = 0x01;
constexpr DWORD kInvalidParameter = 0x02;
constexpr DWORD kDeviceNotFound = 0xFF;

struct Slot {
    FakeBridge bridge;
    bool open = false;
};

std::vector<Slot> bridges;

// Handles are pointer-sized and, on 64-bit Windows, use the upper half, so
// a caller that cuts them to 32 bits does not find its bridge again.
HANDLE handleOf(std::size_t index)
{
    auto value = static_cast<std::uintptr_t>(0x10 * (index + 1));
    if constexpr (sizeof(value) > 4)
        value |= static_cast<std::uintptr_t>(0x5A5Au) << (8 * sizeof(value) - 16);
    return reinterpret_cast<HANDLE>(value);
}

Slot *openSlot(HANDLE handle)
{
    for (std::size_t i = 0; i < bridges.size(); ++i)
        if (handleOf(i) == handle && bridges[i].open)
            return &bridges[i];
    return nullptr;
}

DWORD readId(HANDLE handle, LPWORD id, WORD FakeBridge::*value, DWORD FakeBridge::*status)
{
    const Slot *slot = openSlot(handle);
    if (!slot)
        return kInvalidHandle;
    if (slot->bridge.*status == 0)
        *id = slot->bridge.*value;
    return slot->bridge.*status;
}

// The flag is a 32-bit BOOL, TRUE or FALSE: anything else means the caller
// laid the arguments out otherwise than the library reads them.
DWORD readString(HANDLE handle, LPVOID buffer, LPBYTE length, BOOL convert, const char *text, DWORD status)
{
    if (!openSlot(handle))
        return kInvalidHandle;
    if (convert != TRUE && convert != FALSE)
        return kInvalidParameter;
    if (status != 0)
        return status;
    const std::size_t size = std::strlen(text);
    std::memcpy(buffer, text, size);
    *length = static_cast<BYTE>(size);
    return 0;
}

} // namespace

extern "C" {

DWORD WINAPI CP210x_GetNumDevices(LPDWORD numDevices)
{
    *numDevices = static_cast<DWORD>(bridges.size());
    return 0;
}

DWORD WINAPI CP210x_Open(DWORD deviceIndex, HANDLE *handle)
{
    if (deviceIndex >= bridges.size())
        return kDeviceNotFound;
    Slot &slot = bridges[deviceIndex];
    if (slot.bridge.openStatus != 0)
        return slot.bridge.openStatus;
    slot.open = true;
    *handle = handleOf(deviceIndex);
    return 0;
}

DWORD WINAPI CP210x_Close(HANDLE handle)
{
    Slot *slot = openSlot(handle);
    if (!slot)
        return kInvalidHandle;
    slot->open = false;
    return 0;
}

DWORD WINAPI CP210x_GetDeviceVid(HANDLE handle, LPWORD vid)
{
    return readId(handle, vid, &FakeBridge::vid, &FakeBridge::vidStatus);
}

DWORD WINAPI CP210x_GetDevicePid(HANDLE handle, LPWORD pid)
{
    return readId(handle, pid, &FakeBridge::pid, &FakeBridge::pidStatus);
}

DWORD WINAPI CP210x_GetDeviceSerialNumber(HANDLE handle, LPVOID buffer, LPBYTE length, BOOL convert)
{
    const Slot *slot = openSlot(handle);
    return readString(handle, buffer, length, convert, slot ? slot->bridge.serial : "",
                      slot ? slot->bridge.serialStatus : 0);
}

DWORD WINAPI CP210x_GetDeviceProductString(HANDLE handle, LPVOID buffer, LPBYTE length, BOOL convert)
{
    const Slot *slot = openSlot(handle);
    return readString(handle, buffer, length, convert, slot ? slot->bridge.product : "",
                      slot ? slot->bridge.productStatus : 0);
}

void WINAPI FakeVendor_Reset()
{
    bridges.clear();
}

void WINAPI FakeVendor_AddBridge(const FakeBridge *bridge)
{
    bridges.push_back(Slot{*bridge});
}

DWORD WINAPI FakeVendor_OpenBridges()
{
    DWORD open = 0;
    for (const Slot &slot : bridges)
        open += slot.open ? 1 : 0;
    return open;
}

} // extern "C"
