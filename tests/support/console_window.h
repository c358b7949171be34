#pragma once

// The console's main window as the tests drive it: shown, its timer
// stopped, so each test ticks the receive poll itself, its boxes recorded
// and its file dialogs answered by the test.

#include "console/files/file_chooser.h"
#include "console/frmmain.h"
#include "console/panel/panel_view.h"
#include "console/receive/byte_grid_view.h"
#include "console/receive/receive_menu.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/files.h"
#include "tests/support/recorders.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

namespace testsupport {

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
    std::optional<ExportTarget> exportTarget(QWidget *) override
    {
        askedKeptRows = false;
        return exported;
    }
    // Whether the last export asked for a file of only the rows kept.
    bool askedKeptRows = false;
    std::optional<ExportTarget> keptRowsExportTarget(QWidget *) override
    {
        askedKeptRows = true;
        return exported;
    }
    std::optional<QString> capture;
    std::optional<QString> captureFile(QWidget *) override { return capture; }
    std::optional<QString> recording;
    std::optional<QString> recordingFile(QWidget *) override { return recording; }
    std::optional<QString> tableToLoad, tableToSave;
    std::optional<QString> registerTableFile(QWidget *, bool save) override { return save ? tableToSave : tableToLoad; }
};

struct ConsoleWindow {
    // Its settings file, when it has one of its own.
    QTemporaryDir dir;
    RecordingMessageBoxes boxes;
    ScriptedFiles files;
    console::frmMain w;

    explicit ConsoleWindow(const console::PortEnvironment &ports = {})
        : w(boxes, ports)
    {
        w.Timer1->stop();
        w.setFileChooser(&files);
        w.show();
    }
    // On an INI settings file of its own that holds `settings` at the start.
    explicit ConsoleWindow(const QByteArray &settings, console::PortEnvironment ports = {})
        : w(boxes, withSettingsFile(ports, settings))
    {
        w.Timer1->stop();
        w.setFileChooser(&files);
        w.show();
    }

    QString settingsFile() const { return dir.filePath(QStringLiteral("settings.ini")); }
    QVariant stored(const QString &key) const { return QSettings(settingsFile(), QSettings::IniFormat).value(key); }

    console::PanelView &view(int panel) { return *w.views()[size_t(panel)]; }
    console::Panel &panel(int panel) { return view(panel).panel(); }
    // Arrival times from `now` (ms since the epoch), which the test moves.
    void useClock(const qint64 &now)
    {
        for (int p = 0; p < 2; ++p)
            panel(p).receive().setClock([&now] { return now; });
    }

    void typePort(int panel, const QString &text) { w.Combo1[panel]->setEditText(text); }
    void tick() { w.Timer1_Timer(); }
    // Waits until the panel's control holds `count` bytes.
    bool waitFor(int panel, qint64 count)
    {
        for (int i = 0; i < 300 && w.MSComm1[panel].inBufferCount() < count; ++i)
            QTest::qWait(10);
        return w.MSComm1[panel].inBufferCount() >= count;
    }
    // Waits for `count` bytes, then ticks.
    bool receive(int panel, qint64 count)
    {
        const bool ok = waitFor(panel, count);
        tick();
        return ok;
    }
    // Waits for the serial control to see a fault, then lets a tick stop
    // the panel.
    bool fault(int panel)
    {
        for (int i = 0; i < 300 && !w.MSComm1[panel].hasFault(); ++i)
            QTest::qWait(10);
        const bool ok = w.MSComm1[panel].hasFault();
        tick();
        return ok;
    }
    QString cell(int panel, bool hex, int row, int column)
    {
        auto *m = (hex ? w.MSHFlexGrid2 : w.MSHFlexGrid1)[panel]->model();
        return m->data(m->index(row, column)).toString();
    }
    // `count` text cells of a row from column `from`, run together.
    QString text(int panel, int row, int from, int count)
    {
        QString t;
        for (int c = from; c < from + count; ++c)
            t += cell(panel, false, row, c);
        return t;
    }
    void setReconnect(int panel, bool on)
    {
        QAction *item = view(panel).menu()->reconnectAction();
        if (item->isChecked() != on)
            item->trigger();
    }
    // The traffic view from a panel's menu, active for the keys a test
    // types.
    console::TrafficWindow *openTrafficView(int panel = 0)
    {
        view(panel).menu()->trafficAction()->trigger();
        w.trafficWindow()->activateWindow();
        (void)QTest::qWaitForWindowActive(w.trafficWindow()); // else its keys go astray and the test fails
        return w.trafficWindow();
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

private:
    console::PortEnvironment withSettingsFile(console::PortEnvironment ports, const QByteArray &settings)
    {
        ports.settingsFile = settingsFile();
        writeFile(ports.settingsFile, settings);
        return ports;
    }
};

} // namespace testsupport
