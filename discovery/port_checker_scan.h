#pragma once

// The scan as the port checker uses it: a readable report of every bridge.
// Qt-free, so the report is tested without a window.

#include <string>

namespace discovery {

class Discovery;

// Runs one scan (FillDeviceList in the port checker's variant) and returns
// the whole text of the report box, in the code page (one byte per
// character), lines ended by CR LF. Per bridge:
//   "  Serial Num = <serial>" CR LF "  Device Name = <product>" CR LF
//     (only when the bridge opened and all its reads succeeded)
//   "  This device is on COM Port : <number text of the port>" CR LF CR LF
// and CR LF CR LF after the last bridge, so no bridge gives CR LF CR LF.
// May throw LibraryLoadError.
std::string FillDeviceListForPortChecker(Discovery &discovery);

} // namespace discovery
