#pragma once

// In-memory stand-ins for the vendor library, the registry and the version
// word, scripted by the test and recording every call.

#include "discovery/platform_api.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace discovery::fakes {

struct FakeBridge {
    std::uint32_t vid = 0x10C4;
    std::uint32_t pid = 0xEA60;
    std::string serial;
    std::string product;
    // Lengths reported instead of the strings' own.
    std::optional<std::int32_t> serialLength;
    std::optional<std::int32_t> productLength;
    Status open = 0;
    Status vidStatus = 0;
    Status pidStatus = 0;
    Status serialStatus = 0;
    Status productStatus = 0;
};

// Calls are logged as "Open 1", "GetDeviceVid 1" (the bridge index) and so
// on. A failing read still scribbles over what it was given, so a caller
// that keeps a failed result is caught.
class FakeVendorLibrary final : public VendorLibrary {
public:
    std::vector<FakeBridge> bridges;
    // What GetNumDevices writes; the number of bridges when unset.
    std::optional<std::int32_t> count;
    Status countStatus = 0;
    bool countWrites = true;
    // The function that cannot be bound, e.g. "CP210x_GetDeviceVid".
    std::string missingFunction;

    std::vector<std::string> calls;
    std::set<DeviceHandleType> openHandles;
    std::vector<std::size_t> serialCapacities;
    std::vector<std::size_t> productCapacities;

    static constexpr DeviceHandleType kHandleBase = 0x500;

    Status GetNumDevices(std::int32_t *numDevices) override
    {
        bind("CP210x_GetNumDevices");
        calls.push_back("GetNumDevices");
        if (countWrites)
            *numDevices = count.value_or(static_cast<std::int32_t>(bridges.size()));
        return countStatus;
    }
    Status Open(std::int32_t deviceIndex, DeviceHandleType *handle) override
    {
        bind("CP210x_Open");
        calls.push_back("Open " + std::to_string(deviceIndex));
        if (deviceIndex < 0 || deviceIndex >= static_cast<std::int32_t>(bridges.size()))
            return 0xFF;
        if (fails(bridges[deviceIndex].open))
            return bridges[deviceIndex].open;
        *handle = kHandleBase + static_cast<DeviceHandleType>(deviceIndex);
        openHandles.insert(*handle);
        return bridges[deviceIndex].open;
    }
    Status Close(DeviceHandleType handle) override
    {
        bind("CP210x_Close");
        calls.push_back("Close " + std::to_string(handle - kHandleBase));
        return openHandles.erase(handle) ? 0 : 1;
    }
    Status GetDeviceVid(DeviceHandleType handle, std::uint32_t *vid) override
    {
        bind("CP210x_GetDeviceVid");
        const FakeBridge &b = bridge(handle, "GetDeviceVid");
        *vid = fails(b.vidStatus) ? 0xDEAD : b.vid;
        return b.vidStatus;
    }
    Status GetDevicePid(DeviceHandleType handle, std::uint32_t *pid) override
    {
        bind("CP210x_GetDevicePid");
        const FakeBridge &b = bridge(handle, "GetDevicePid");
        *pid = fails(b.pidStatus) ? 0xBEEF : b.pid;
        return b.pidStatus;
    }
    Status GetDeviceSerialNumber(DeviceHandleType handle, std::uint8_t *buffer, std::size_t capacity,
                                 std::int32_t *length, bool) override
    {
        bind("CP210x_GetDeviceSerialNumber");
        const FakeBridge &b = bridge(handle, "GetDeviceSerialNumber");
        serialCapacities.push_back(capacity);
        return fill(b.serialStatus, b.serial, b.serialLength, buffer, capacity, length);
    }
    Status GetDeviceProductString(DeviceHandleType handle, std::uint8_t *buffer, std::size_t capacity,
                                  std::int32_t *length, bool) override
    {
        bind("CP210x_GetDeviceProductString");
        const FakeBridge &b = bridge(handle, "GetDeviceProductString");
        productCapacities.push_back(capacity);
        return fill(b.productStatus, b.product, b.productLength, buffer, capacity, length);
    }

private:
    // Only the low 16 bits tell a failure; the high ones may carry anything.
    static bool fails(Status status) { return (status & 0xFFFFu) != 0; }
    void bind(const std::string &function) const
    {
        if (function == missingFunction)
            throw LibraryLoadError("CP210xManufacturing.dll: " + function);
    }
    const FakeBridge &bridge(DeviceHandleType handle, const std::string &call)
    {
        const auto index = handle - kHandleBase;
        calls.push_back(call + " " + std::to_string(index));
        if (!openHandles.count(handle))
            throw std::logic_error(call + " on a bridge that is not open");
        return bridges.at(index);
    }
    static Status fill(Status status, const std::string &text, std::optional<std::int32_t> reported,
                       std::uint8_t *buffer, std::size_t capacity, std::int32_t *length)
    {
        const std::string written = fails(status) ? std::string("GARBAGE") : text;
        std::memcpy(buffer, written.data(), std::min(written.size(), capacity));
        *length = fails(status) ? 7 : reported.value_or(static_cast<std::int32_t>(text.size()));
        return status;
    }
};

// A registry of exact (case-sensitive) paths below HKEY_LOCAL_MACHINE, so a
// path built with the wrong case is not found. Logs "open <full path>",
// "query <full path> <value> <size offered>" and "close <full path>".
class FakeRegistry final : public Registry {
public:
    // Creates the key (and its parents) and a string value with its NUL.
    void setString(const std::string &keyPath, const std::string &name, const std::string &text)
    {
        addKey(keyPath);
        std::string data = text;
        data.push_back('\0');
        values[normalise(keyPath)][name] = data;
    }
    void addKey(const std::string &keyPath)
    {
        std::string path;
        for (const std::string &part : split(keyPath)) {
            path += (path.empty() ? "" : "\\") + part;
            keys.insert(path);
        }
    }

    std::vector<std::string> calls;
    std::vector<std::uint32_t> offered;
    std::vector<std::uint32_t> accessRequested;
    std::map<RegKey, std::string> open;

    long RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t, std::uint32_t access,
                       RegKey *result) override
    {
        accessRequested.push_back(access);
        return openKey(parent, subKey, result);
    }
    long RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result) override
    {
        return openKey(parent, subKey, result);
    }
    long RegQueryValueExA(RegKey key, const std::string &valueName, std::uint32_t *,
                          std::uint8_t *data, std::uint32_t *size) override
    {
        const std::string path = open.at(key);
        calls.push_back("query " + path + " " + valueName + " " + std::to_string(*size));
        offered.push_back(*size);
        const auto keyValues = values.find(path);
        if (keyValues == values.end() || !keyValues->second.count(valueName))
            return kErrorFileNotFound;
        const std::string &value = keyValues->second.at(valueName);
        if (*size < value.size()) {
            *size = static_cast<std::uint32_t>(value.size());
            return kErrorMoreData;
        }
        std::memcpy(data, value.data(), value.size());
        *size = static_cast<std::uint32_t>(value.size());
        return kErrorSuccess;
    }
    long RegCloseKey(RegKey key) override
    {
        calls.push_back("close " + open.at(key));
        open.erase(key);
        return kErrorSuccess;
    }

    // Calls of one kind ("open", "query", "close") without the kind word.
    std::vector<std::string> callsOf(const std::string &kind) const
    {
        std::vector<std::string> found;
        for (const std::string &call : calls)
            if (call.compare(0, kind.size() + 1, kind + " ") == 0)
                found.push_back(call.substr(kind.size() + 1));
        return found;
    }

private:
    static std::vector<std::string> split(const std::string &path)
    {
        std::vector<std::string> parts;
        std::string part;
        for (const char c : path + "\\") {
            if (c != '\\') {
                part += c;
            } else if (!part.empty()) {
                parts.push_back(part);
                part.clear();
            }
        }
        return parts;
    }
    static std::string normalise(const std::string &path)
    {
        std::string joined;
        for (const std::string &part : split(path))
            joined += (joined.empty() ? "" : "\\") + part;
        return joined;
    }
    long openKey(RegKey parent, const std::string &subKey, RegKey *result)
    {
        const std::string base = parent == kHkeyLocalMachine ? std::string() : open.at(parent);
        const std::string path = normalise(base + "\\" + subKey);
        calls.push_back("open " + path);
        if (!keys.count(path))
            return kErrorFileNotFound;
        *result = nextHandle++;
        open[*result] = path;
        return kErrorSuccess;
    }

    std::set<std::string> keys;
    std::map<std::string, std::map<std::string, std::string>> values;
    RegKey nextHandle = 0x7000;
};

class FakeVersion final : public VersionSource {
public:
    explicit FakeVersion(std::uint32_t w = 0x0A280105u) : word(w) {}
    std::uint32_t GetVersion() override { return word; }
    std::uint32_t word;
};

} // namespace discovery::fakes
