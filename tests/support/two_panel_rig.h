#pragma once

// Two started panels on pseudo-terminals, a panel each way, and the traffic
// view open on them, on a clock the test moves: what the tests of the
// decoded view through the window start from.

#include "tests/support/console_window.h"
#include "tests/support/pseudo_terminal.h"

namespace testsupport {

struct TwoPanelRig {
    ConsoleWindow c;
    // Arrival times: ms since the epoch, moved by the test.
    qint64 now;
    PseudoTerminal left, right;
    console::TrafficWindow *view = nullptr;

    // On a settings file that holds `settings` (a [Traffic] protocol, say),
    // the clock at `start`. view stays null when a panel did not start.
    TwoPanelRig(const QByteArray &settings, qint64 start)
        : c(settings)
        , now(start)
    {
        c.useClock(now);
        c.w.Combo1[0]->setEditText(left.slavePath());
        c.w.Combo1[1]->setEditText(right.slavePath());
        c.w.Check1[0]->click();
        c.w.Check1[1]->click();
        if (c.w.Started0 && c.w.Started1)
            view = c.openTrafficView(0);
    }

    // Bytes from the far end of `panel` (0 left, 1 right), received and
    // shown by a tick; false when they did not all arrive.
    bool send(int panel, const QByteArray &bytes)
    {
        (panel ? right : left).write(bytes);
        return c.receive(panel, bytes.size());
    }
};

} // namespace testsupport
