#pragma once

#include "console/frames/frame_checks.h"
#include "console/frames/frame_index.h"

#include <QString>

#include <array>
#include <memory>

class QSettings;

namespace console {

// The checks the traffic view offers, in its order.
inline constexpr std::array<FrameCheck, 3> kTrafficChecks{FrameCheck::None, FrameCheck::ModbusRtu, FrameCheck::Sum8};

struct TrafficSettings {
    SplitRule split;
    FrameCheck check = FrameCheck::None;
    bool operator==(const TrafficSettings &) const = default;
};

// What the console keeps between runs in the user's settings
// (~/.config/Tavrin/Tavrin.conf), or in an INI file the caller names:
//
//   [Panel0] / [Panel1]  ReconnectAutomatically = true | false
//   [Traffic]            Split = gap | delimiter | arrival
//                        GapMs = 1..10000
//                        Delimiter = two hex digits
//                        Check = none | modbus-rtu | sum8
//   [Receive]            MemoryBudgetMiB = 0.. (0: every byte in memory)
//
// Test rigs write these before the program starts, so the names and values
// are fixed. A value missing or out of its range reads as the default.
class ConsoleSettings {
public:
    explicit ConsoleSettings(const QString &file = {});
    ~ConsoleSettings();

    bool reconnectAutomatically(int panel) const;
    void setReconnectAutomatically(int panel, bool on);

    // How much of each panel's received bytes stays in memory before older
    // ones go to a file, in bytes; 0 keeps them all in memory. 64 MiB when
    // unset or not a whole number from 0 up.
    qint64 receiveMemoryBudget() const;

    TrafficSettings traffic() const;
    void setTraffic(const TrafficSettings &traffic);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace console
