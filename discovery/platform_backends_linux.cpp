#include "discovery/platform_backends.h"

#include "discovery/sysfs_backend.h"

namespace discovery {

PlatformBackends makePlatformBackends()
{
    return makeSysfsBackends("/sys");
}

} // namespace discovery
