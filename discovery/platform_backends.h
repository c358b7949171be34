#pragma once

// The vendor library, registry and version word of the platform the program
// runs on: on Windows the real ones, elsewhere the sysfs stand-ins.

#include "discovery/platform_api.h"

#include <memory>

namespace discovery {

struct PlatformBackends {
    std::unique_ptr<VendorLibrary> vendor;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<VersionSource> version;
};

PlatformBackends makePlatformBackends();

} // namespace discovery
