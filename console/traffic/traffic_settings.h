#pragma once

#include "console/frames/frame_checks.h"
#include "console/frames/frame_index.h"
#include "console/panel/console_settings.h"

#include <array>

namespace console {

// The checks the traffic view offers, in its order.
inline constexpr std::array<FrameCheck, 3> kTrafficChecks{FrameCheck::None, FrameCheck::ModbusRtu, FrameCheck::Sum8};

// What the traffic view keeps in the console's settings:
//
//   [Traffic]  Split = gap | delimiter | arrival
//              GapMs = 1..10000
//              Delimiter = two hex digits
//              Check = none | modbus-rtu | sum8
//
// Test rigs write these before the program starts, so the names and values
// are fixed. A value missing or out of its range reads as the default.
struct TrafficSettings {
    SplitRule split;
    FrameCheck check = FrameCheck::None;
    bool operator==(const TrafficSettings &) const = default;
};

TrafficSettings readTrafficSettings(const ConsoleSettings &settings);
void writeTrafficSettings(ConsoleSettings &settings, const TrafficSettings &traffic);

} // namespace console
