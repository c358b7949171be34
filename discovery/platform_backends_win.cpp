#include "discovery/platform_backends.h"

#include "discovery/registry_win.h"
#include "discovery/vendor_library_win.h"
#include "discovery/version_win.h"

namespace discovery {

PlatformBackends makePlatformBackends()
{
    PlatformBackends backends;
    backends.vendor = std::make_unique<WindowsVendorLibrary>();
    backends.registry = std::make_unique<WindowsRegistry>();
    backends.version = std::make_unique<WindowsVersion>();
    return backends;
}

} // namespace discovery
