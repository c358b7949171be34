#pragma once

// The Linux stand-ins: bridges are the USB devices whose serial ports are
// bound to the cp210x driver, read from a sysfs tree; the registry is held
// in memory and filled from the same tree with the keys of the NT 5 lookup;
// the version word is of the NT 5 family.

#include "discovery/in_memory_registry.h"
#include "discovery/platform_api.h"
#include "discovery/platform_backends.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace discovery {

// One bridge: a USB device with one or more cp210x serial ports.
struct SysfsBridge {
    std::filesystem::path usbDevice;  // holds idVendor, idProduct, serial, product
    // The port the bridge is known by: n for /dev/ttyUSB(n-1), the port of
    // its lowest interface.
    int portNumber = 0;
};

// The bridges below `sysfsRoot` (normally "/sys"), in the order of their
// port numbers. Entries that cannot be read are left out; a missing tree
// gives none.
std::vector<SysfsBridge> findBridges(const std::filesystem::path &sysfsRoot);

// Writes PortName "COMn" of every bridge under the key the NT 5 lookup
// reads, SYSTEM\CurrentControlSet\Enum\USB\Vid_(vid)&Pid_(pid)&Mi_00
// \(serial, blanks as '_')_00\Device Parameters, the serial cut to the 64
// bytes that the vendor read hands the scan. A bridge whose identifiers
// cannot be read gets no key; when two bridges share a key, the first keeps
// it. Everything else in the registry is removed first.
void registerPorts(InMemoryRegistry &registry, const std::vector<SysfsBridge> &bridges);

// Vendor library status codes of the stand-in.
inline constexpr Status kStatusInvalidHandle = 0x01;
inline constexpr Status kStatusDeviceIoFailed = 0x03;
inline constexpr Status kStatusDeviceNotFound = 0xFF;

// The vendor library over sysfs. Counting the bridges takes a snapshot of
// the tree (and refills the registry from it); the device index and the
// reads refer to that snapshot, so a bridge unplugged since then fails to
// open or to read. Strings come out in Latin-1, '?' for a character it
// lacks; a device without a serial or product string gives an empty one.
// Nothing is loaded, so nothing throws LibraryLoadError.
class SysfsVendorLibrary final : public VendorLibrary {
public:
    SysfsVendorLibrary(std::filesystem::path sysfsRoot, InMemoryRegistry *registry);

    Status GetNumDevices(std::int32_t *numDevices) override;
    Status Open(std::int32_t deviceIndex, DeviceHandleType *handle) override;
    Status Close(DeviceHandleType handle) override;
    Status GetDeviceVid(DeviceHandleType handle, std::uint32_t *vid) override;
    Status GetDevicePid(DeviceHandleType handle, std::uint32_t *pid) override;
    Status GetDeviceSerialNumber(DeviceHandleType handle, std::uint8_t *buffer, std::size_t capacity,
                                 std::int32_t *length, bool convertToAscii) override;
    Status GetDeviceProductString(DeviceHandleType handle, std::uint8_t *buffer, std::size_t capacity,
                                  std::int32_t *length, bool convertToAscii) override;

private:
    const SysfsBridge *openBridge(DeviceHandleType handle) const;
    Status readId(DeviceHandleType handle, const char *file, std::uint32_t *id) const;
    Status readString(DeviceHandleType handle, const char *file, std::uint8_t *buffer,
                      std::size_t capacity, std::int32_t *length) const;

    std::filesystem::path m_root;
    InMemoryRegistry *m_registry;
    std::vector<SysfsBridge> m_bridges;
    std::set<DeviceHandleType> m_open;
};

// A version word of Windows XP (5.1, build 2600).
class Nt5Version final : public VersionSource {
public:
    std::uint32_t GetVersion() override { return 0x0A280105u; }
};

// The three stand-ins over the tree at `sysfsRoot`, the registry filled by
// the vendor library at each count.
PlatformBackends makeSysfsBackends(const std::filesystem::path &sysfsRoot);

} // namespace discovery
