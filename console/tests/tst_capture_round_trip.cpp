// A Modbus conversation between real peers heard by both panels, recorded
// by `tavrin --record` and exported from the traffic window as pcapng: both
// files open again with the live view's rows (the protocol chosen again on
// the opened capture finds the same frames), and the packet analyser reads
// both without a warning. Skipped with the reason when mbpoll or the
// pymodbus slave cannot run; only the analyser's part when tshark is missing.
#include "capture/capture_reader.h"
#include "console/traffic/capture_source.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/sniffing_rig.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>

#include <algorithm>

#include <algorithm>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

using console::TrafficModel;
using console::TrafficWindow;
using testsupport::readFile;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);
const QString kSlave = QStringLiteral(MODBUS_SLAVE_SCRIPT);

// The CSV header's columns, by name.
enum Csv { Time, Panel, Port, Gap, Length, Hex, Text, Check, Event, Protocol, Unit, Function, Address, Count,
           Values, Status, ReplyMs, RequestRow, Summary, CsvColumns };

QStringList csvLines(const QString &path)
{
    QStringList lines = QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines;
}

// The columns of a frame row that the line decides, whoever heard it:
// which side, the bytes and what they decode to, a side's frames in their
// order (how the two sides interleave is the hearer's: when it read each
// port). Event rows are the hearer's own.
// A side's frames after the other's, each in its order.
QStringList bySide(QStringList frames)
{
    std::stable_sort(frames.begin(), frames.end(),
                     [](const QString &a, const QString &b) { return a.section(u',', 0, 0) < b.section(u',', 0, 0); });
    return frames;
}

QStringList heardFrames(const QStringList &lines)
{
    QStringList frames;
    for (const QString &line : lines) {
        const QStringList f = testsupport::csvFields(line.toUtf8());
        if (f.size() < CsvColumns || !f[Event].isEmpty())
            continue;
        frames << QStringList{f[Panel], f[Length], f[Hex], f[Text], f[Check], f[Protocol], f[Unit], f[Function],
                              f[Address], f[Count], f[Values], f[Status]}
                      .join(',');
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const QString &a, const QString &b) { return a.startsWith("left") && b.startsWith("right"); });
    return frames;
}

void chooseProtocol(TrafficWindow *view, const char *name)
{
    QComboBox *box = view->protocolBox();
    const int index = box->findData(QString::fromLatin1(name));
    QVERIFY(index >= 0);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

TrafficWindow *windowTitled(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title)
            return qobject_cast<TrafficWindow *>(w);
    return nullptr;
}

} // namespace

class TestCaptureRoundTrip : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }

    void modbusThroughBothWays()
    {
        const QString missing = testsupport::missingModbusPeer();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QTemporaryDir dir;
        // Taps 0 for the console's panels, taps 1 for the recorder.
        testsupport::SniffingRig rig(2);
        QProcess slave;
        const QString silent = testsupport::startModbusSlave(slave, kSlave, rig);
        if (!silent.isEmpty())
            QSKIP(qPrintable(silent));

        testsupport::ConsoleWindow c(QByteArray{});
        c.typePort(0, rig.leftTap(0).path);
        c.typePort(1, rig.rightTap(0).path);
        c.w.Check1[0]->click();
        c.w.Check1[1]->click();
        QVERIFY(c.panel(0).started() && c.panel(1).started());
        c.w.Timer1->start();

        const QString recorded = dir.filePath("recorded.pcapng");
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", rig.leftTap(1).path, "--record", rig.rightTap(1).path, "--output",
                               recorded, "--protocol", "modbus-rtu"});
        QVERIFY(tavrin.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(recorded)).notes.size() >= 2, 30000);

        // Reads and writes, one after the other.
        const QList<QStringList> polls = {
            {"-t", "4", "-r", "1", "-c", "3"},
            {"-t", "3", "-r", "2", "-c", "2"},
            {"-t", "0", "-r", "1", "-c", "8"},
            {"-t", "4", "-r", "5", "--", "7", "8"},
        };
        for (const QStringList &poll : polls) {
            const QString failure = testsupport::runMbpoll(rig.master.path, poll);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        const int frames = 2 * int(polls.size());
        QTRY_COMPARE_WITH_TIMEOUT(int(capture::readCapture(readFile(recorded)).packets.size()), frames, 30000);
        ::kill(pid_t(tavrin.processId()), SIGTERM);
        QVERIFY(tavrin.waitForFinished(60000));
        QCOMPARE(tavrin.exitCode(), 0);
        slave.kill();
        slave.waitForFinished(10000);
        // Everything the recorder heard is in the panels too.
        qint64 heard[2] = {0, 0};
        for (const capture::Packet &p : capture::readCapture(readFile(recorded)).packets)
            heard[p.interface] += p.length;
        QTRY_COMPARE_WITH_TIMEOUT(c.panel(0).receive().shownSize(), heard[0], 10000);
        QTRY_COMPARE_WITH_TIMEOUT(c.panel(1).receive().shownSize(), heard[1], 10000);
        QTest::qWait(300); // the last frames end by the idle gap
        c.w.Timer1->stop();

        // The live view's rows: the split rule's, then Modbus RTU's.
        TrafficWindow *live = c.openTrafficView(0);
        const QString exported = dir.filePath("exported.pcapng");
        c.files.exported = console::FileChooser::ExportTarget{exported, false, true};
        live->exportRows();
        c.files.exported = console::FileChooser::ExportTarget{dir.filePath("live.csv"), true, false};
        live->exportRows();
        chooseProtocol(live, "modbus-rtu");
        c.files.exported = console::FileChooser::ExportTarget{dir.filePath("live-modbus.csv"), true, false};
        live->exportRows();
        QCOMPARE(c.boxes.texts(), QStringList{});
        const QStringList liveLines = csvLines(dir.filePath("live.csv"));
        const QStringList modbusLines = csvLines(dir.filePath("live-modbus.csv"));
        QCOMPARE(heardFrames(modbusLines).size(), frames);
        QVERIFY2(!modbusLines.join('\n').contains("unrecognised") && !modbusLines.join('\n').contains("bad check"),
                 qPrintable(modbusLines.join('\n')));

        // Both files opened by the window's open path, Modbus RTU chosen
        // (as kept in the settings) and then None and Modbus RTU again.
        for (const QString &file : {exported, recorded}) {
            c.files.capture = file;
            live->openCapture();
            TrafficWindow *opened = windowTitled("Tavrin Traffic - " + file);
            QVERIFY2(opened, qPrintable(file));
            QVERIFY2(opened->message().isEmpty(), qPrintable(opened->message()));
            QCOMPARE(opened->model()->protocol(), protocol::Protocol::ModbusRtu);
            chooseProtocol(opened, "none");
            c.files.exported = console::FileChooser::ExportTarget{dir.filePath("opened.csv"), true, false};
            opened->exportRows();
            const QStringList plain = csvLines(dir.filePath("opened.csv"));
            if (file == exported) {
                // The view's own file: every column, times to the
                // millisecond in the file and to the microsecond here.
                QCOMPARE(plain, liveLines);
                chooseProtocol(live, "none");
                const TrafficModel &a = *opened->model();
                const TrafficModel &b = *live->model();
                QCOMPARE(a.rowCount(), b.rowCount());
                for (int row = 0; row < a.rowCount(); ++row) {
                    QCOMPARE(a.startUs(row) - a.startUs(0), b.startUs(row) - b.startUs(0));
                    QCOMPARE(a.endUs(row) - a.startUs(0), b.endUs(row) - b.startUs(0));
                }
                chooseProtocol(live, "modbus-rtu");
            }
            chooseProtocol(opened, "modbus-rtu");
            c.files.exported = console::FileChooser::ExportTarget{dir.filePath("opened-modbus.csv"), true, false};
            opened->exportRows();
            const QStringList decoded = csvLines(dir.filePath("opened-modbus.csv"));
            QCOMPARE(c.boxes.texts(), QStringList{});
            if (file == exported) {
                // Framed again from the file's frames: the same frames and
                // what they say. A frame's start within a frame of the file
                // is the file's (a capture keeps frames, not the reads that
                // made them), so its time may differ from the live one's
                // when the line was read in pieces.
                QCOMPARE(bySide(heardFrames(decoded)), bySide(heardFrames(modbusLines)));
            } else {
                // The recorder heard the same line on lines of its own, at
                // its own moments: the frames and what they say.
                QCOMPARE(heardFrames(decoded).join("\n"), heardFrames(modbusLines).join("\n"));
            }
            opened->close();
        }

        const AnalyserCheck check = analyserReads({exported, recorded});
        if (!check.ran)
            QSKIP("tshark is not installed: the packet analyser's reading was not checked");
    }

private:
    struct AnalyserCheck {
        bool ran = false;
    };
    // The packet analyser reads each file without a warning; the last one's
    // packets as Modbus RTU frames.
    AnalyserCheck analyserReads(const QStringList &files)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
            return {};
        for (const QString &file : files) {
            const testsupport::AnalyserRun run = testsupport::runAnalyser(file, {"mbrtu.unit_id", "modbus.func_code"});
            if (!run.ran) {
                QTest::qFail("tshark did not end", __FILE__, __LINE__);
                return {true};
            }
            if (!run.warnings.isEmpty() || run.exitCode != 0) {
                QTest::qFail(qPrintable(file + ": " + run.warnings.join('\n')), __FILE__, __LINE__);
                return {true};
            }
            // The recorder writes a packet a Modbus frame: each one a
            // request or an answer of unit 1.
            if (file != files.last())
                continue;
            bool units = run.lines.size() == 8;
            for (const QString &line : run.lines)
                units = units && line.startsWith("1,");
            if (!units) {
                QTest::qFail(qPrintable(file + ": " + run.lines.join('\n')), __FILE__, __LINE__);
                return {true};
            }
        }
        return {true};
    }
};

QTEST_MAIN(TestCaptureRoundTrip)
#include "tst_capture_round_trip.moc"
