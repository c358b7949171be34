#pragma once

// The bridge scan: counts the attached CP210x bridges, reads each one's
// identity through the vendor library and finds its COM port in the
// registry. Qt-free; the two programs that use it turn its results into a
// device report or a port to open (port_checker_scan.h, configurator_scan.h).

#include "discovery/platform_api.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace discovery {

inline constexpr std::size_t kSerialCapacity = 64;
inline constexpr std::size_t kProductCapacity = 127;

// The working record of one scan. A scan starts it zeroed and reuses it for
// every bridge without clearing it: a field whose read did not happen or did
// not succeed keeps the previous bridge's value (zero on the first pass).
struct BridgeDevice {
    std::int32_t DeviceIndex = 0;
    std::uint32_t Vid = 0;
    std::uint32_t Pid = 0;
    // Single-byte characters in the code page. The port lookups rewrite
    // bytes of it in place (blanks, and on the 9x family the case).
    std::array<std::uint8_t, kSerialCapacity> SerialBytes{};
    std::int32_t SerialLength = 0;   // always within 0..64
    std::array<std::uint8_t, kProductCapacity> ProductBytes{};
    std::int32_t ProductLength = 0;  // always within 0..127
    // Port number; -1 when a lookup ran and found nothing; unchanged when
    // no lookup ran.
    std::int16_t ComPort = 0;
};

// How a caller takes the results of a scan as it goes.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // The bridge was opened and all four identity reads succeeded.
    virtual void identityRead(const BridgeDevice &) {}
    // The pass of record.DeviceIndex is over, its ComPort settled. Returning
    // false ends the scan here.
    virtual bool passDone(const BridgeDevice &) { return true; }
    // Where the NT 5 lookup records its latest result, or null.
    virtual std::int16_t *detectedPort() { return nullptr; }
};

// Registry value buffer of the port lookups: 102 bytes, and the size
// variable that describes it (100 at the start of a lookup).
inline constexpr std::size_t kValueBufferSize = 102;
inline constexpr std::uint32_t kInitialValueSize = 100;

struct RegistryValue {
    std::array<std::uint8_t, kValueBufferSize> bytes{};
    std::uint32_t size = kInitialValueSize;

    // What the next read offers: the size variable, capped at the buffer.
    std::uint32_t offer() const;
    // Reads `name` of `key`. The registry is offered the size variable, but
    // never more than the buffer holds. On success the size variable holds
    // the bytes written (NUL included); on ERROR_MORE_DATA it holds the size
    // the registry asked for, which may exceed the buffer.
    long read(Registry &registry, RegKey key, const std::string &name);
    // The value without its terminating NUL (size - 1 bytes).
    std::string text() const;
};

class Discovery {
public:
    Discovery(VendorLibrary &vendor, Registry &registry, VersionSource &version);
    Discovery(const Discovery &) = delete;
    Discovery &operator=(const Discovery &) = delete;

    // Process-wide state: the bridge count as last reported by the vendor
    // library (0 at start, kept between scans), and the handle of the bridge
    // open at the moment.
    std::int32_t NumDevices = 0;
    DeviceHandleType DeviceHandle = 0;

    // One whole scan: EnumDevices, then GetDeviceData. Returns the record as
    // the last pass left it. LibraryLoadError passes through.
    BridgeDevice FillDeviceList(ScanObserver &observer);
    // Refreshes NumDevices; the vendor's status is not examined.
    void EnumDevices();
    // One pass per bridge index 0..NumDevices-1, in order. All bridges are
    // read first; a bridge whose IDs and serial another attached bridge
    // reads too gets port -1, as a lookup that found nothing.
    BridgeDevice GetDeviceData(ScanObserver &observer);

    // The NT 5 lookup: SYSTEM\CurrentControlSet\Enum\USB\Vid_(vid)&Pid_(pid)
    // &Mi_00\(serial)_00\Device Parameters, value PortName. Turns the
    // serial's blanks into '_' in place. -1 when not found. When
    // `detectedPort` is given it is -1 during the lookup and then the result.
    std::int16_t GetPortNumXP2000(BridgeDevice &device, std::int16_t *detectedPort = nullptr);
    // The 9x lookup over Enum\SLABCR\guid\000n, matching CRLowerDeviceID.
    // Turns the serial's blanks into '_' and its letters to upper case in
    // place. -1 when not found.
    std::int16_t GetPortNum98(BridgeDevice &device);

    // True between a successful open and its close; only a scan cut short
    // by a LibraryLoadError leaves a bridge open.
    bool bridgeOpen() const { return m_bridgeOpen; }
    // Closes the bridge left open, if any (the window's unload).
    void closeBridgeLeftOpen();

private:
    // How far the reads of one bridge got: not opened or stopped before the
    // serial, stopped at the product string, or all four read.
    enum class ReadOutcome { None, Serial, All };
    struct ReadPass {
        BridgeDevice device;  // the record as this bridge's reads left it
        bool identityRead;    // all four reads succeeded
        bool serialRead;      // the IDs and the serial are this bridge's own
    };

    std::vector<ReadPass> readAllBridges();
    static std::set<std::string> sharedLookupIdentities(const std::vector<ReadPass> &reads);
    ReadOutcome readIdentity(BridgeDevice &device);
    ReadOutcome readAllFields(BridgeDevice &device);
    void lookUpPort(BridgeDevice &device, ScanObserver &observer, const std::set<std::string> &shared);

    VendorLibrary &m_vendor;
    Registry &m_registry;
    VersionSource &m_version;
    bool m_bridgeOpen = false;
};

// Bytes 0..count-1 as text, one character per byte in the code page. A count
// of 0 or less gives the empty text; a count beyond `capacity` stops there.
std::string ConvertToString(const std::uint8_t *bytes, std::size_t capacity, std::int32_t count);

template <std::size_t N>
std::string ConvertToString(const std::array<std::uint8_t, N> &bytes, std::int32_t count)
{
    return ConvertToString(bytes.data(), N, count);
}

// Port number of a PortName value just read into `value`: its first three
// bytes are overwritten with '0' and the decimal digits from the start are
// the number ("COM3" gives 3, "COM12" 12, "COM3x" 3, "LPT1" 1, "COM" 0).
// A number beyond 32767 gives -1, as a value that is not there.
std::int16_t ExtractPortNumber(RegistryValue &value);

// A 16-bit number as decimal digits behind a blank, or behind '-' when
// negative: 3 gives " 3", -1 gives "-1".
std::string numberText(std::int16_t n);
// Upper-case hexadecimal digits without leading zeros: 0x403 gives "403".
std::string hexText(std::uint32_t n);

} // namespace discovery
