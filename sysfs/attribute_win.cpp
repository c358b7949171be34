#include "sysfs/attribute.h"

namespace sysfs {

std::optional<std::string> readAttribute(const std::filesystem::path &)
{
    return std::nullopt;
}

} // namespace sysfs
