#include "discovery/version_win.h"

#include <windows.h>

namespace discovery {

std::uint32_t WindowsVersion::GetVersion()
{
    return ::GetVersion();
}

} // namespace discovery
