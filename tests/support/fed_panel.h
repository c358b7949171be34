#pragma once

// A panel without a window, fed by hand on a clock (monotonic microseconds)
// the test moves; panels fed together share one.

#include "console/panel/panel.h"

namespace testsupport {

struct FedPanel {
    console::Panel panel;
    qint64 &now;
    explicit FedPanel(qint64 &clock)
        : now(clock)
    {
        panel.receive().setClock(console::ArrivalClock{[this] { return now; }, [this] { return now; }});
    }
    // `bytes` arrive `afterUs` after the clock's last reading and a tick
    // shows them.
    void arrive(qint64 afterUs, const QByteArray &bytes)
    {
        now += afterUs;
        panel.show(bytes);
    }
};

} // namespace testsupport
