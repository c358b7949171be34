#pragma once

// The vendor's manufacturing library on Windows: CP210xManufacturing.dll,
// found by name through the usual DLL search and loaded at the first call;
// each function is bound at its own first call.

#include "discovery/platform_api.h"

#include <array>

namespace discovery {

class WindowsVendorLibrary final : public VendorLibrary {
public:
    WindowsVendorLibrary() = default;
    ~WindowsVendorLibrary() override;
    WindowsVendorLibrary(const WindowsVendorLibrary &) = delete;
    WindowsVendorLibrary &operator=(const WindowsVendorLibrary &) = delete;

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
    enum class Function { GetNumDevices, Open, Close, GetDeviceVid, GetDevicePid,
                          GetDeviceSerialNumber, GetDeviceProductString, Count };
    using RawFunction = void (*)();
    RawFunction bind(Function function);

    void *m_module = nullptr;  // HMODULE
    std::array<RawFunction, static_cast<std::size_t>(Function::Count)> m_bound{};
};

} // namespace discovery
