#pragma once

#include "discovery/platform_api.h"

namespace discovery {

// The version word of the running Windows.
class WindowsVersion final : public VersionSource {
public:
    std::uint32_t GetVersion() override;
};

} // namespace discovery
