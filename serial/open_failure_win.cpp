#include "open_failure.h"

namespace serial {

// Windows tells permission and possession apart only as "access denied",
// and has no descriptor table to read; the open's own reason is the text.

bool deviceExists(const QString &)
{
    return true;
}

std::optional<DeviceNode> readDeviceNode(const QString &)
{
    return std::nullopt;
}

QString deviceGroup(const QString &)
{
    return {};
}

std::optional<PortHolder> findPortHolder(const QString &, const QString &)
{
    return std::nullopt;
}

std::optional<PortHolder> findOtherPortHolder(const QString &, const QString &)
{
    return std::nullopt;
}

} // namespace serial
