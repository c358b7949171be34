#pragma once

#include "console/frames/frame_checks.h"
#include "console/frames/frame_index.h"
#include "console/panel/console_settings.h"
#include "protocol/protocol.h"

#include <array>

namespace console {

// The checks the traffic view offers, in its order.
inline constexpr std::array<FrameCheck, 3> kTrafficChecks{FrameCheck::None, FrameCheck::ModbusRtu, FrameCheck::Sum8};

// The protocols the traffic view offers, in its order.
inline constexpr std::array<protocol::Protocol, 6> kTrafficProtocols{
    protocol::Protocol::None,          protocol::Protocol::ModbusRtu, protocol::Protocol::ModbusAscii,
    protocol::Protocol::FxProgramming, protocol::Protocol::McAscii,   protocol::Protocol::Mewtocol};

// How long a request waits for its answer (and a begun frame for its end).
constexpr int kMinReplyTimeoutMs = 1;
constexpr int kMaxReplyTimeoutMs = 60000;
constexpr int kDefaultReplyTimeoutMs = 1000;
// The reply timeout the user types: a whole number of milliseconds from 1 to
// 60000. Nothing, with the reason, for anything else.
std::optional<int> parseReplyTimeoutMs(const QString &text, QString *reason);

// What the traffic view keeps in the console's settings:
//
//   [Traffic]  Split = gap | delimiter | arrival
//              GapMs = 1..10000
//              Delimiter = two hex digits
//              Check = none | modbus-rtu | sum8
//              Protocol = none | modbus-rtu | modbus-ascii | fx-programming
//                         | mc-ascii | mewtocol
//              ReplyTimeoutMs = 1..60000
//
// Test rigs write these before the program starts, so the names and values
// are fixed. A value missing or out of its range reads as the default.
struct TrafficSettings {
    SplitRule split;
    FrameCheck check = FrameCheck::None;
    protocol::Protocol protocol = protocol::Protocol::None;
    int replyTimeoutMs = kDefaultReplyTimeoutMs;
    bool operator==(const TrafficSettings &) const = default;
};

TrafficSettings readTrafficSettings(const ConsoleSettings &settings);
void writeTrafficSettings(ConsoleSettings &settings, const TrafficSettings &traffic);

} // namespace console
