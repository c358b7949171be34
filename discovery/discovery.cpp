#include "discovery/discovery.h"

#include <algorithm>
#include <climits>
#include <set>
#include <vector>

namespace discovery {

namespace {

constexpr std::uint32_t kFamilyMask = 0x8000000Fu;
constexpr std::uint32_t kFamilyNt5 = 0x00000005u;
constexpr std::uint32_t kFamily9x = 0x80000004u;

std::int32_t clampLength(std::int32_t length, std::size_t capacity)
{
    return std::clamp<std::int32_t>(length, 0, static_cast<std::int32_t>(capacity));
}

// Runs `read` into temporaries and keeps what it gave only when it
// succeeded, clamping the reported length to the buffer.
template <typename Read>
bool keepOnSuccess(std::uint32_t &field, Read read)
{
    std::uint32_t value = 0;
    if (!succeeded(read(&value)))
        return false;
    field = value;
    return true;
}

template <std::size_t N, typename Read>
bool keepOnSuccess(std::array<std::uint8_t, N> &bytes, std::int32_t &length, Read read)
{
    auto copy = bytes;
    std::int32_t reported = 0;
    if (!succeeded(read(copy.data(), copy.size(), &reported)))
        return false;
    bytes = copy;
    length = clampLength(reported, N);
    return true;
}

bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

std::string lowerCase(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return text;
}

std::string serialText(const BridgeDevice &device)
{
    return ConvertToString(device.SerialBytes, device.SerialLength);
}

// What tells one bridge's registry entry from another's on either family:
// the IDs and the serial as both lookups rewrite it, letters in one case
// (the NT 5 registry compares names without regard to case).
std::string lookupIdentity(const BridgeDevice &device)
{
    std::string serial = serialText(device);
    for (char &c : serial) {
        if (c == ' ')
            c = '_';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    }
    return hexText(device.Vid) + "&" + hexText(device.Pid) + "\\" + serial;
}

// A registry key that closes itself when it leaves its scope, so nested keys
// close innermost first and every key closes within the lookup.
class OpenKey {
public:
    explicit OpenKey(Registry &registry) : m_registry(registry) {}
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;
    ~OpenKey()
    {
        if (m_open)
            m_registry.RegCloseKey(m_key);
    }

    bool openWithFullAccess(RegKey parent, const std::string &path)
    {
        m_open = m_registry.RegOpenKeyExA(parent, path, 0, kKeyAllAccess, &m_key) == kErrorSuccess;
        return m_open;
    }
    bool open(RegKey parent, const std::string &path)
    {
        m_open = m_registry.RegOpenKeyA(parent, path, &m_key) == kErrorSuccess;
        return m_open;
    }
    RegKey key() const { return m_key; }

private:
    Registry &m_registry;
    RegKey m_key = 0;
    bool m_open = false;
};

} // namespace

std::uint32_t RegistryValue::offer() const
{
    return std::min<std::uint32_t>(size, kValueBufferSize);
}

long RegistryValue::read(Registry &registry, RegKey key, const std::string &name)
{
    const std::uint32_t offered = offer();
    std::uint32_t answer = offered;
    std::uint32_t type = 0;
    const long result = registry.RegQueryValueExA(key, name, &type, bytes.data(), &answer);
    // A registry that claims more bytes written than it was offered is not
    // believed beyond the offer.
    size = result == kErrorSuccess ? std::min(answer, offered) : answer;
    return result;
}

std::string RegistryValue::text() const
{
    const auto length = static_cast<std::int32_t>(std::min<std::uint32_t>(size, kValueBufferSize + 1)) - 1;
    return ConvertToString(bytes, length);
}

std::string ConvertToString(const std::uint8_t *bytes, std::size_t capacity, std::int32_t count)
{
    const std::int32_t n = clampLength(count, capacity);
    return std::string(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(n));
}

std::int16_t ExtractPortNumber(RegistryValue &value)
{
    std::fill_n(value.bytes.begin(), 3, static_cast<std::uint8_t>('0'));
    std::int32_t number = 0;
    for (const char c : value.text()) {
        if (!isDigit(static_cast<std::uint8_t>(c)))
            break;
        number = number * 10 + (c - '0');
        if (number > INT16_MAX)
            return -1;
    }
    return static_cast<std::int16_t>(number);
}

std::string numberText(std::int16_t n)
{
    return n < 0 ? std::to_string(n) : " " + std::to_string(n);
}

std::string hexText(std::uint32_t n)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[n & 0xFu]);
        n >>= 4;
    } while (n != 0);
    return text;
}

Discovery::Discovery(VendorLibrary &vendor, Registry &registry, VersionSource &version)
    : m_vendor(vendor), m_registry(registry), m_version(version)
{
}

BridgeDevice Discovery::FillDeviceList(ScanObserver &observer)
{
    EnumDevices();
    return GetDeviceData(observer);
}

void Discovery::EnumDevices()
{
    m_vendor.GetNumDevices(&NumDevices);
}

// Every bridge is read before any port is handed on: a port may be handed
// on only once it is known that no other attached bridge answers to the same
// registry entry. The reads and the passes keep their order, so the vendor
// library sees the same calls as with one pass per bridge.
BridgeDevice Discovery::GetDeviceData(ScanObserver &observer)
{
    const std::vector<ReadPass> reads = readAllBridges();
    const std::set<std::string> shared = sharedLookupIdentities(reads);

    BridgeDevice device;
    for (const ReadPass &read : reads) {
        // The lookups' in-place rewrites of the serial need not be carried
        // over from the previous pass: they give the same bytes when applied
        // again to what this pass's record holds.
        const std::int16_t port = device.ComPort;
        device = read.device;
        device.ComPort = port;
        if (read.identityRead)
            observer.identityRead(device);
        lookUpPort(device, observer, shared);
        if (!observer.passDone(device))
            break;
    }
    return device;
}

std::vector<Discovery::ReadPass> Discovery::readAllBridges()
{
    std::vector<ReadPass> reads;
    BridgeDevice device;
    for (std::int32_t index = 0; index < NumDevices; ++index) {
        device.DeviceIndex = index;
        const ReadOutcome outcome = readIdentity(device);
        reads.push_back({device, outcome == ReadOutcome::All, outcome >= ReadOutcome::Serial});
    }
    return reads;
}

std::set<std::string> Discovery::sharedLookupIdentities(const std::vector<ReadPass> &reads)
{
    std::set<std::string> seen;
    std::set<std::string> shared;
    for (const ReadPass &read : reads) {
        if (!read.serialRead)
            continue;
        const std::string identity = lookupIdentity(read.device);
        if (!seen.insert(identity).second)
            shared.insert(identity);
    }
    return shared;
}

Discovery::ReadOutcome Discovery::readIdentity(BridgeDevice &device)
{
    if (!succeeded(m_vendor.Open(device.DeviceIndex, &DeviceHandle)))
        return ReadOutcome::None;
    m_bridgeOpen = true;
    const ReadOutcome outcome = readAllFields(device);
    m_vendor.Close(DeviceHandle);
    m_bridgeOpen = false;
    return outcome;
}

// The chain stops at the first read that fails; the fields it did not
// reach keep their values.
Discovery::ReadOutcome Discovery::readAllFields(BridgeDevice &device)
{
    const DeviceHandleType handle = DeviceHandle;
    const bool serialRead =
        keepOnSuccess(device.Vid, [&](std::uint32_t *vid) { return m_vendor.GetDeviceVid(handle, vid); })
        && keepOnSuccess(device.Pid, [&](std::uint32_t *pid) { return m_vendor.GetDevicePid(handle, pid); })
        && keepOnSuccess(device.SerialBytes, device.SerialLength,
                         [&](std::uint8_t *buffer, std::size_t capacity, std::int32_t *length) {
                             return m_vendor.GetDeviceSerialNumber(handle, buffer, capacity, length, true);
                         });
    if (!serialRead)
        return ReadOutcome::None;
    const bool productRead = keepOnSuccess(device.ProductBytes, device.ProductLength,
                         [&](std::uint8_t *buffer, std::size_t capacity, std::int32_t *length) {
                             return m_vendor.GetDeviceProductString(handle, buffer, capacity, length, true);
                         });
    return productRead ? ReadOutcome::All : ReadOutcome::Serial;
}

// The lookup follows the Windows family of the version word; on any other
// family ComPort keeps its value. It runs whatever the reads gave, with the
// identity the record holds at this moment. An identity that more than one
// attached bridge reads finds nothing: its registry entry names one port
// for all of them, and it cannot say whose.
void Discovery::lookUpPort(BridgeDevice &device, ScanObserver &observer, const std::set<std::string> &shared)
{
    const std::uint32_t family = m_version.GetVersion() & kFamilyMask;
    if (family != kFamilyNt5 && family != kFamily9x)
        return;
    std::int16_t *detectedPort = observer.detectedPort();
    device.ComPort = family == kFamilyNt5 ? GetPortNumXP2000(device, detectedPort) : GetPortNum98(device);
    if (shared.count(lookupIdentity(device))) {
        device.ComPort = -1;
        if (detectedPort && family == kFamilyNt5)
            *detectedPort = -1;
    }
}

std::int16_t Discovery::GetPortNumXP2000(BridgeDevice &device, std::int16_t *detectedPort)
{
    std::int16_t result = -1;
    if (detectedPort)
        *detectedPort = -1;

    OpenKey controlSet(m_registry);
    if (controlSet.openWithFullAccess(kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\")) {
        OpenKey usb(m_registry);
        if (usb.open(controlSet.key(), "Enum\\USB\\")) {
            for (std::int32_t i = 0; i < device.SerialLength; ++i)
                if (device.SerialBytes[i] == ' ')
                    device.SerialBytes[i] = '_';
            const std::string instancePath = "Vid_" + lowerCase(hexText(device.Vid)) + "&Pid_"
                + lowerCase(hexText(device.Pid)) + "&Mi_00\\" + serialText(device) + "_00";

            OpenKey instance(m_registry);
            if (instance.open(usb.key(), instancePath)) {
                OpenKey parameters(m_registry);
                RegistryValue value;
                if (parameters.open(instance.key(), "Device Parameters")
                    && value.read(m_registry, parameters.key(), "PortName") == kErrorSuccess)
                    result = ExtractPortNumber(value);
            }
        }
    }

    if (detectedPort)
        *detectedPort = result;
    return result;
}

std::int16_t Discovery::GetPortNum98(BridgeDevice &device)
{
    std::int16_t result = -1;
    RegistryValue value;

    for (std::int32_t i = 0; i < device.SerialLength; ++i) {
        std::uint8_t &c = device.SerialBytes[i];
        if (c == ' ')
            c = '_';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<std::uint8_t>(c - 32);
    }
    const std::string expected = "USB\\VID_" + hexText(device.Vid) + "&PID_" + hexText(device.Pid)
        + "&MI_00\\" + serialText(device) + "_00";

    // The size variable carries over from entry to entry: a shorter value
    // read before makes the next read answer "more data", and that entry is
    // read again with the size asked for. A value that does not fit the
    // buffer at all is passed over, so the loop always moves on.
    for (std::int16_t entry = 0;;) {
        OpenKey key(m_registry);
        if (!key.open(kHkeyLocalMachine, "Enum\\SLABCR\\guid\\000" + std::to_string(entry)))
            break;
        const std::uint32_t offered = value.offer();
        const long status = value.read(m_registry, key.key(), "CRLowerDeviceID");
        if (status == kErrorMoreData && value.size > offered && value.size <= kValueBufferSize)
            continue;
        if (status == kErrorSuccess && value.text() == expected
            && value.read(m_registry, key.key(), "PortName") == kErrorSuccess)
            result = ExtractPortNumber(value);
        if (entry == INT16_MAX)
            break;
        ++entry;
    }
    return result;
}

void Discovery::closeBridgeLeftOpen()
{
    if (!m_bridgeOpen)
        return;
    m_bridgeOpen = false;
    m_vendor.Close(DeviceHandle);
}

} // namespace discovery
