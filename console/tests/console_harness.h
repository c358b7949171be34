#pragma once

// The console's main window as the tests drive it: shown, its timer
// stopped, so each test ticks the receive poll itself.

#include "console/files/file_chooser.h"
#include "console/frmmain.h"
#include "tests/support/recorders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

namespace harness {

// Milliseconds of a UTC wall-clock time on 2026-12-07 (suites that use it
// run with TZ=UTC).
inline qint64 utc(int h, int m, int s, int ms)
{
    return QDateTime(QDate(2026, 12, 7), QTime(h, m, s, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

// Answers the file dialogs as a user would have.
struct ScriptedFiles final : console::FileChooser {
    std::optional<SaveTarget> save;
    std::optional<QString> log;
    std::optional<ExportTarget> exported;
    std::optional<SaveTarget> saveTarget(QWidget *) override { return save; }
    std::optional<QString> logFile(QWidget *) override { return log; }
    std::optional<ExportTarget> exportTarget(QWidget *) override { return exported; }
};

// A shown window whose timer the test drives itself.
struct Console {
    testsupport::RecordingMessageBoxes boxes;
    console::frmMain w{boxes};
    Console()
    {
        w.Timer1->stop();
        w.show();
    }
    void typePort(int panel, const QString &text) { w.Combo1[panel]->setEditText(text); }
    void tick() { w.Timer1_Timer(); }
    bool waitFor(int panel, qint64 count)
    {
        for (int i = 0; i < 300 && w.MSComm1[panel].inBufferCount() < count; ++i)
            QTest::qWait(10);
        return w.MSComm1[panel].inBufferCount() >= count;
    }
    // Waits until the panel's control holds `count` bytes, then ticks.
    bool receive(int panel, qint64 count)
    {
        const bool ok = waitFor(panel, count);
        tick();
        return ok;
    }
    QString cell(int panel, bool hex, int row, int column)
    {
        auto *m = (hex ? w.MSHFlexGrid2 : w.MSHFlexGrid1)[panel]->model();
        return m->data(m->index(row, column)).toString();
    }
    bool runningLayout(int panel)
    {
        return w.Command2[panel]->isEnabled() && !w.Frame1[panel]->isEnabled() && !w.Frame4[panel]->isEnabled()
            && !w.Combo1[panel]->isEnabled() && !w.Check2[panel]->isEnabled() && !w.Check3[panel]->isEnabled();
    }
    bool stoppedLayout(int panel)
    {
        return !w.Command2[panel]->isEnabled() && w.Frame1[panel]->isEnabled() && w.Frame2[panel]->isEnabled()
            && w.Frame3[panel]->isEnabled() && w.Frame4[panel]->isEnabled() && w.Combo1[panel]->isEnabled()
            && w.Check2[panel]->isEnabled() && w.Check3[panel]->isEnabled();
    }
};

} // namespace harness
