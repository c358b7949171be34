#pragma once

namespace desktop {

// The kit's version: set once, by project(... VERSION) in the top-level
// CMakeLists.txt, and shared by the three programs and the package.
inline constexpr const char *kitVersion = KIT_VERSION;

} // namespace desktop
