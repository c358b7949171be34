#include "discovery/vendor_library_win.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <type_traits>

namespace discovery {

namespace {

constexpr const char *kLibraryName = "CP210xManufacturing.dll";

// The library's own parameter types: a DWORD count and index, a WORD for
// the IDs, a BYTE for the string lengths, a 32-bit status.
using VendorStatus = DWORD;
using GetNumDevicesFunction = VendorStatus(WINAPI *)(LPDWORD);
using OpenFunction = VendorStatus(WINAPI *)(DWORD, HANDLE *);
using CloseFunction = VendorStatus(WINAPI *)(HANDLE);
using GetIdFunction = VendorStatus(WINAPI *)(HANDLE, LPWORD);
using GetStringFunction = VendorStatus(WINAPI *)(HANDLE, LPVOID, LPBYTE, BOOL);

constexpr const char *kFunctionNames[] = {
    "CP210x_GetNumDevices",      "CP210x_Open",         "CP210x_Close",
    "CP210x_GetDeviceVid",       "CP210x_GetDevicePid", "CP210x_GetDeviceSerialNumber",
    "CP210x_GetDeviceProductString",
};

HANDLE toHandle(DeviceHandleType handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Each call behaves as if the library wrote into the caller's variables
// themselves: a narrower out-parameter starts as the low bytes of the
// caller's value and replaces only those afterwards (as it would in memory
// on this little-endian machine), whether the call succeeded or not.
template <typename Narrow, typename Wide>
class NarrowView {
public:
    explicit NarrowView(Wide *wide) : m_wide(wide), m_narrow(static_cast<Narrow>(*wide)) {}
    ~NarrowView()
    {
        using Unsigned = std::make_unsigned_t<Wide>;
        constexpr Unsigned mask = static_cast<Narrow>(~Narrow{});
        *m_wide = static_cast<Wide>((static_cast<Unsigned>(*m_wide) & ~mask) | m_narrow);
    }
    NarrowView(const NarrowView &) = delete;
    NarrowView &operator=(const NarrowView &) = delete;
    Narrow *get() { return &m_narrow; }

private:
    Wide *m_wide;
    Narrow m_narrow;
};

// The library writes as many bytes as the device reports, knowing nothing of
// the caller's buffer. It writes here instead: room for the longest string a
// one-byte length can describe, two bytes a character when not converted.
// What lands within the caller's capacity is copied back.
Status readString(GetStringFunction function, DeviceHandleType handle, std::uint8_t *buffer,
                  std::size_t capacity, std::int32_t *length, bool convertToAscii)
{
    std::array<std::uint8_t, 2 * 256> room{};
    const std::size_t kept = std::min(capacity, room.size());
    std::memcpy(room.data(), buffer, kept);
    Status status;
    {
        NarrowView<BYTE, std::int32_t> reported(length);
        status = function(toHandle(handle), room.data(), reported.get(), convertToAscii ? TRUE : FALSE);
    }
    std::memcpy(buffer, room.data(), kept);
    return status;
}

} // namespace

WindowsVendorLibrary::~WindowsVendorLibrary()
{
    if (m_module)
        FreeLibrary(static_cast<HMODULE>(m_module));
}

WindowsVendorLibrary::RawFunction WindowsVendorLibrary::bind(Function function)
{
    const auto index = static_cast<std::size_t>(function);
    if (m_bound[index])
        return m_bound[index];
    if (!m_module) {
        m_module = LoadLibraryA(kLibraryName);
        if (!m_module)
            throw LibraryLoadError(std::string("Cannot load ") + kLibraryName);
    }
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(m_module), kFunctionNames[index]);
    if (!address)
        throw LibraryLoadError(std::string("Cannot load ") + kFunctionNames[index] + " from " + kLibraryName);
    m_bound[index] = reinterpret_cast<RawFunction>(address);
    return m_bound[index];
}

Status WindowsVendorLibrary::GetNumDevices(std::int32_t *numDevices)
{
    const auto function = reinterpret_cast<GetNumDevicesFunction>(bind(Function::GetNumDevices));
    NarrowView<DWORD, std::int32_t> count(numDevices);
    return function(count.get());
}

Status WindowsVendorLibrary::Open(std::int32_t deviceIndex, DeviceHandleType *handle)
{
    const auto function = reinterpret_cast<OpenFunction>(bind(Function::Open));
    HANDLE opened = toHandle(*handle);
    const Status status = function(static_cast<DWORD>(deviceIndex), &opened);
    *handle = reinterpret_cast<DeviceHandleType>(opened);
    return status;
}

Status WindowsVendorLibrary::Close(DeviceHandleType handle)
{
    const auto function = reinterpret_cast<CloseFunction>(bind(Function::Close));
    return function(toHandle(handle));
}

Status WindowsVendorLibrary::GetDeviceVid(DeviceHandleType handle, std::uint32_t *vid)
{
    const auto function = reinterpret_cast<GetIdFunction>(bind(Function::GetDeviceVid));
    NarrowView<WORD, std::uint32_t> id(vid);
    return function(toHandle(handle), id.get());
}

Status WindowsVendorLibrary::GetDevicePid(DeviceHandleType handle, std::uint32_t *pid)
{
    const auto function = reinterpret_cast<GetIdFunction>(bind(Function::GetDevicePid));
    NarrowView<WORD, std::uint32_t> id(pid);
    return function(toHandle(handle), id.get());
}

Status WindowsVendorLibrary::GetDeviceSerialNumber(DeviceHandleType handle, std::uint8_t *buffer,
                                                   std::size_t capacity, std::int32_t *length,
                                                   bool convertToAscii)
{
    const auto function = reinterpret_cast<GetStringFunction>(bind(Function::GetDeviceSerialNumber));
    return readString(function, handle, buffer, capacity, length, convertToAscii);
}

Status WindowsVendorLibrary::GetDeviceProductString(DeviceHandleType handle, std::uint8_t *buffer,
                                                    std::size_t capacity, std::int32_t *length,
                                                    bool convertToAscii)
{
    const auto function = reinterpret_cast<GetStringFunction>(bind(Function::GetDeviceProductString));
    return readString(function, handle, buffer, capacity, length, convertToAscii);
}

} // namespace discovery
