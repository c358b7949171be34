#pragma once

// The three narrow interfaces the bridge scan calls: the vendor's
// manufacturing library, the registry and the version word. Each platform
// has its own back-ends (sibling *_win.cpp / *_linux.cpp files); tests use
// in-memory stand-ins.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace discovery {

// Vendor library status: success when the low 16 bits are zero.
using Status = std::uint32_t;
inline bool succeeded(Status s) { return (s & 0xFFFFu) == 0; }

// The vendor library or one of its functions could not be loaded. what()
// names the library or the function.
class LibraryLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A bridge handle as the vendor library gives it (pointer-sized on Windows).
using DeviceHandleType = std::uintptr_t;

class VendorLibrary {
public:
    virtual ~VendorLibrary() = default;
    // Each call may throw LibraryLoadError when the library or that function
    // cannot be bound (on its first call).
    virtual Status GetNumDevices(std::int32_t *numDevices) = 0;
    virtual Status Open(std::int32_t deviceIndex, DeviceHandleType *handle) = 0;
    virtual Status Close(DeviceHandleType handle) = 0;
    virtual Status GetDeviceVid(DeviceHandleType handle, std::uint32_t *vid) = 0;
    virtual Status GetDevicePid(DeviceHandleType handle, std::uint32_t *pid) = 0;
    // Fills at most `capacity` bytes of `buffer` and sets *length to the
    // number of bytes the device reported (which may exceed `capacity`: the
    // caller clamps it). convertToAscii asks for single-byte characters.
    virtual Status GetDeviceSerialNumber(DeviceHandleType handle, std::uint8_t *buffer,
                                         std::size_t capacity, std::int32_t *length,
                                         bool convertToAscii) = 0;
    virtual Status GetDeviceProductString(DeviceHandleType handle, std::uint8_t *buffer,
                                          std::size_t capacity, std::int32_t *length,
                                          bool convertToAscii) = 0;
};

using RegKey = std::uintptr_t;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;
constexpr std::uint32_t kKeyAllAccess = 0xF003Fu;
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorMoreData = 234;

// The ANSI registry calls, with Windows' semantics: names compare without
// regard to case; a value query writes at most *size bytes into `data` and
// sets *size to the bytes written (NUL included), or answers kErrorMoreData
// with *size set to the size needed.
class Registry {
public:
    virtual ~Registry() = default;
    virtual long RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t options,
                               std::uint32_t access, RegKey *result) = 0;
    virtual long RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result) = 0;
    virtual long RegQueryValueExA(RegKey key, const std::string &valueName, std::uint32_t *type,
                                  std::uint8_t *data, std::uint32_t *size) = 0;
    virtual long RegCloseKey(RegKey key) = 0;
};

// The 32-bit version word: bit 31 set for the 9x family, low byte the major
// version.
class VersionSource {
public:
    virtual ~VersionSource() = default;
    virtual std::uint32_t GetVersion() = 0;
};

} // namespace discovery
