#pragma once

// The scan as the configurator uses it: no report, but the port the
// configurator will open, the text of its bridge-port label, and the fatal
// "no port found" outcome. Qt-free, so it is tested without a window.

#include "discovery/platform_api.h"

#include <cstdint>
#include <string>

namespace discovery {

class Discovery;

// Fields the configurator's window keeps; they keep their values between
// scans until a scan changes them.
struct ConfiguratorPorts {
    std::uint8_t CommPortNumber = 0;
    std::int16_t DetectedPort = 0;
};

enum class ConfiguratorScanStatus {
    Done,          // every pass found a port, or no pass ran
    PortNotFound,  // a pass ended with port -1: show the box, end the program
    PortOutOfRange // a pass found a port above 255, which CommPortNumber cannot hold
};

struct ConfiguratorScanResult {
    ConfiguratorScanStatus status = ConfiguratorScanStatus::Done;
    std::string lblComm;       // UTF-8 caption, "COM 3"; set only when status is Done
    std::int16_t ComPort = 0;  // the last pass's port
};

// The message box text of the fatal outcome (UTF-8), title "系統訊息".
inline constexpr const char *kPortNotFoundMessage =
    "通訊埠發生錯誤!請確定通訊埠存在且正常或未被開啟。";

// Runs one scan (FillDeviceList in the configurator's variant). Stops at the
// first pass whose port is -1 (or above 255). May throw LibraryLoadError.
ConfiguratorScanResult FillDeviceListForConfigurator(Discovery &discovery, ConfiguratorPorts &ports);

} // namespace discovery
