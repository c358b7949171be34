#include "discovery/sysfs_backend.h"

#include "discovery/discovery.h"
#include "sysfs/attribute.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

namespace fs = std::filesystem;

namespace discovery {

namespace {

constexpr int kMaxTtyNumber = 999999;

// 1 to 8 hexadecimal digits, as idVendor, idProduct and bInterfaceNumber
// hold them; anything else is not a number.
std::optional<std::uint32_t> parseHex(const std::string &text)
{
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value << 4 | digit;
    }
    return value;
}

std::optional<std::uint32_t> readHexAttribute(const fs::path &file)
{
    const auto text = sysfs::readAttribute(file);
    return text ? parseHex(*text) : std::nullopt;
}

// Sysfs gives USB strings in UTF-8; the scan wants one byte per character.
std::string utf8ToLatin1(const std::string &utf8)
{
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t extra = 0;
        std::uint32_t codePoint = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            codePoint = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            codePoint = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            codePoint = lead & 0x07u;
        }
        bool valid = extra != 0 && i + extra < utf8.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            codePoint = codePoint << 6 | (next & 0x3Fu);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
        i += extra + 1;
    }
    return out;
}

// A USB string attribute of a device that is still there: empty when the
// device has no such string.
std::optional<std::string> readUsbString(const fs::path &usbDevice, const char *file)
{
    std::error_code ec;
    if (!fs::is_directory(usbDevice, ec))
        return std::nullopt;
    return utf8ToLatin1(sysfs::readAttribute(usbDevice / file).value_or(std::string()));
}

std::optional<int> ttyNumber(const std::string &name)
{
    static constexpr std::string_view kPrefix = "ttyUSB";
    if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0)
        return std::nullopt;
    int number = 0;
    for (std::size_t i = kPrefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return std::nullopt;
        number = number * 10 + (name[i] - '0');
        if (number > kMaxTtyNumber)
            return std::nullopt;
    }
    return number;
}

std::string lowerHex(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

} // namespace

std::vector<SysfsBridge> findBridges(const fs::path &sysfsRoot)
{
    // Per USB device the port of its lowest interface (then lowest tty), so
    // the ports of a dual-port bridge make one bridge.
    std::map<fs::path, std::pair<std::uint32_t, int>> lowestPort;

    std::error_code ec;
    fs::directory_iterator it(sysfsRoot / "bus" / "usb-serial" / "devices", ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path entry = it->path();
        const auto tty = ttyNumber(entry.filename().string());
        if (!tty)
            continue;
        std::error_code linkError;
        const fs::path driver = fs::read_symlink(entry / "driver", linkError);
        if (linkError || driver.filename() != "cp210x")
            continue;
        const fs::path port = fs::canonical(entry, linkError);
        if (linkError)
            continue;
        const fs::path interface = port.parent_path();
        const fs::path usbDevice = interface.parent_path();
        const std::uint32_t interfaceNumber =
            readHexAttribute(interface / "bInterfaceNumber").value_or(UINT32_MAX);

        const std::pair<std::uint32_t, int> candidate{interfaceNumber, *tty};
        const auto found = lowestPort.find(usbDevice);
        if (found == lowestPort.end())
            lowestPort.emplace(usbDevice, candidate);
        else
            found->second = std::min(found->second, candidate);
    }

    std::vector<SysfsBridge> bridges;
    for (const auto &[usbDevice, port] : lowestPort)
        bridges.push_back({usbDevice, port.second + 1});
    std::sort(bridges.begin(), bridges.end(),
              [](const SysfsBridge &a, const SysfsBridge &b) { return a.portNumber < b.portNumber; });
    return bridges;
}

void registerPorts(InMemoryRegistry &registry, const std::vector<SysfsBridge> &bridges)
{
    registry.clear();
    for (const SysfsBridge &bridge : bridges) {
        const auto vid = readHexAttribute(bridge.usbDevice / "idVendor");
        const auto pid = readHexAttribute(bridge.usbDevice / "idProduct");
        auto serial = readUsbString(bridge.usbDevice, "serial");
        if (!vid || !pid || !serial)
            continue;
        // The lookup sees the serial as the vendor read hands it to the
        // scan: no more than the scan's buffer holds.
        serial->resize(std::min(serial->size(), kSerialCapacity));
        std::replace(serial->begin(), serial->end(), ' ', '_');
        const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + lowerHex(*vid) + "&Pid_"
            + lowerHex(*pid) + "&Mi_00\\" + *serial + "_00\\Device Parameters";
        if (!registry.value(key, "PortName"))
            registry.setString(key, "PortName", "COM" + std::to_string(bridge.portNumber));
    }
}

SysfsVendorLibrary::SysfsVendorLibrary(fs::path sysfsRoot, InMemoryRegistry *registry)
    : m_root(std::move(sysfsRoot)), m_registry(registry)
{
}

Status SysfsVendorLibrary::GetNumDevices(std::int32_t *numDevices)
{
    m_bridges = findBridges(m_root);
    if (m_registry)
        registerPorts(*m_registry, m_bridges);
    *numDevices = static_cast<std::int32_t>(std::min<std::size_t>(m_bridges.size(), INT32_MAX));
    return 0;
}

// Handle = index + 1 of the snapshot, so no handle is 0.
Status SysfsVendorLibrary::Open(std::int32_t deviceIndex, DeviceHandleType *handle)
{
    std::error_code ec;
    if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= m_bridges.size()
        || !fs::is_directory(m_bridges[static_cast<std::size_t>(deviceIndex)].usbDevice, ec))
        return kStatusDeviceNotFound;
    *handle = static_cast<DeviceHandleType>(deviceIndex) + 1;
    m_open.insert(*handle);
    return 0;
}

Status SysfsVendorLibrary::Close(DeviceHandleType handle)
{
    return m_open.erase(handle) ? 0 : kStatusInvalidHandle;
}

const SysfsBridge *SysfsVendorLibrary::openBridge(DeviceHandleType handle) const
{
    if (!m_open.count(handle) || handle - 1 >= m_bridges.size())
        return nullptr;
    return &m_bridges[handle - 1];
}

Status SysfsVendorLibrary::readId(DeviceHandleType handle, const char *file, std::uint32_t *id) const
{
    const SysfsBridge *bridge = openBridge(handle);
    if (!bridge)
        return kStatusInvalidHandle;
    const auto value = readHexAttribute(bridge->usbDevice / file);
    if (!value)
        return kStatusDeviceIoFailed;
    *id = *value;
    return 0;
}

Status SysfsVendorLibrary::readString(DeviceHandleType handle, const char *file, std::uint8_t *buffer,
                                      std::size_t capacity, std::int32_t *length) const
{
    const SysfsBridge *bridge = openBridge(handle);
    if (!bridge)
        return kStatusInvalidHandle;
    const auto text = readUsbString(bridge->usbDevice, file);
    if (!text)
        return kStatusDeviceIoFailed;
    std::copy_n(text->begin(), std::min(text->size(), capacity), buffer);
    *length = static_cast<std::int32_t>(text->size());
    return 0;
}

Status SysfsVendorLibrary::GetDeviceVid(DeviceHandleType handle, std::uint32_t *vid)
{
    return readId(handle, "idVendor", vid);
}

Status SysfsVendorLibrary::GetDevicePid(DeviceHandleType handle, std::uint32_t *pid)
{
    return readId(handle, "idProduct", pid);
}

Status SysfsVendorLibrary::GetDeviceSerialNumber(DeviceHandleType handle, std::uint8_t *buffer,
                                                 std::size_t capacity, std::int32_t *length, bool)
{
    return readString(handle, "serial", buffer, capacity, length);
}

Status SysfsVendorLibrary::GetDeviceProductString(DeviceHandleType handle, std::uint8_t *buffer,
                                                  std::size_t capacity, std::int32_t *length, bool)
{
    return readString(handle, "product", buffer, capacity, length);
}

PlatformBackends makeSysfsBackends(const fs::path &sysfsRoot)
{
    auto registry = std::make_unique<InMemoryRegistry>();
    auto vendor = std::make_unique<SysfsVendorLibrary>(sysfsRoot, registry.get());
    return {std::move(vendor), std::move(registry), std::make_unique<Nt5Version>()};
}

} // namespace discovery
