// The traffic view's rows as a capture file, and a capture opened as rows.
#include "capture/capture_reader.h"
#include "console/traffic/traffic_capture.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/pseudo_terminal.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using console::TrafficModel;
using console::TrafficWindow;
using testsupport::PseudoTerminal;
using testsupport::readFile;
using testsupport::utc;

namespace {

struct Console : testsupport::ConsoleWindow {
    qint64 now = utc(14, 3, 10, 0);
    Console()
        : ConsoleWindow(QByteArray())
    {
        useClock(now);
    }
};

QString csvOf(const TrafficModel &model)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row)
        lines << console::exportLine(model, row, console::ExportFormat::Csv);
    return lines.join('\n');
}

} // namespace

class TestTrafficCapture : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

    // A Modbus conversation through the sniffing rig: the left panel hears
    // the master, the right the slave; the left panel also sends, and the
    // right far end goes away at the end.
    void converse(Console &c, PseudoTerminal &left, PseudoTerminal &right)
    {
        c.w.Combo1[0]->setEditText(left.slavePath());
        c.w.Combo1[1]->setEditText(right.slavePath());
        c.w.Check1[0]->click();
        c.now += 500;
        c.w.Check1[1]->click();
        auto arrive = [&](PseudoTerminal &pty, int panel, const char *hex) {
            pty.write(QByteArray::fromHex(hex));
            QTRY_COMPARE(c.w.MSComm1[panel].inBufferCount(), qint64(QByteArray::fromHex(hex).size()));
            c.w.Timer1_Timer();
        };
        c.now = utc(14, 3, 11, 0);
        arrive(left, 0, "010300000002C40B");
        c.now += 31;
        arrive(right, 1, "01030400010002 2A32");
        c.now += 100;
        QString failure;
        QVERIFY2(c.panel(0).send(QByteArray::fromHex("0106000100030009"), &failure), qPrintable(failure));
        c.now += 1000;
        right.closeMaster();
        QTRY_VERIFY(c.w.MSComm1[1].hasFault());
        c.w.Timer1_Timer();
    }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }

    void exportWritesEveryRow()
    {
        Console c;
        PseudoTerminal left, right;
        converse(c, left, right);
        TrafficWindow *view = c.openTrafficView(0);
        const TrafficModel &model = *view->model();
        QCOMPARE(model.rowCount(), 6);

        QTemporaryDir out;
        // The fault's box came first.
        const int boxes = c.boxes.texts().size();
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("missing/t.pcapng"), false, true};
        view->exportRows();
        QCOMPARE(c.boxes.texts().size(), boxes + 1);
        QCOMPARE(c.boxes.texts().last(),
                 "Could not export " + out.filePath("missing/t.pcapng") + ": No such file or directory");
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("t.pcapng"), false, true};
        view->exportRows();
        QCOMPARE(c.boxes.texts().size(), boxes + 1);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"t.pcapng"});

        const QByteArray file = readFile(out.filePath("t.pcapng"));
        const capture::Capture read = capture::readCapture(file);
        QVERIFY(!read.damage);
        QCOMPARE(int(read.interfaces.size()), 2);
        QCOMPARE(read.interfaces[0].name, left.slavePath());
        QCOMPARE(read.interfaces[1].name, right.slavePath());
        QCOMPARE(read.interfaces[1].description, QStringLiteral("9600,n,8,1"));
        QCOMPARE(read.interfaces[0].linkType, quint16(250));
        // Requests 0x01 on the left, answers 0x02 on the right, sent 0x01.
        QCOMPARE(int(read.packets.size()), 3);
        const struct {
            int interface;
            quint8 type;
            bool sent;
            const char *hex;
            qint64 wallMs;
        } packets[] = {{0, 1, false, "010300000002c40b", utc(14, 3, 11, 0)},
                       {1, 2, false, "01030400010002 2a32", utc(14, 3, 11, 31)},
                       {0, 1, true, "0106000100030009", utc(14, 3, 11, 131)}};
        for (int i = 0; i < 3; ++i) {
            const capture::Packet &p = read.packets[size_t(i)];
            QCOMPARE(p.interface, packets[i].interface);
            QCOMPARE(p.eventType, packets[i].type);
            QCOMPARE(p.sent, packets[i].sent);
            QCOMPARE(QByteArrayView(file).sliced(p.offset, p.length).toByteArray().toHex(),
                     QByteArray(packets[i].hex).replace(' ', ""));
            QCOMPARE(p.wallMs, packets[i].wallMs);
        }
        // The reply time, to the microsecond.
        QCOMPARE(read.packets[1].timeUs - read.packets[0].endUs, 31000);
        QCOMPARE(int(read.notes.size()), 3);
        QCOMPARE(read.notes[0].kind, capture::NoteKind::Started);
        QCOMPARE(read.notes[0].detail, QStringLiteral("9600,n,8,1"));
        QCOMPARE(read.notes[2].kind, capture::NoteKind::Fault);
        QCOMPARE(read.notes[2].port, right.slavePath());

        // Opened again (Ctrl+O), the same rows: times to the microsecond,
        // ports, events, sent rows.
        c.files.capture = out.filePath("t.pcapng");
        view->openCapture();
        TrafficWindow *opened = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "Tavrin Traffic - " + out.filePath("t.pcapng"))
                opened = qobject_cast<TrafficWindow *>(w);
        QVERIFY(opened);
        QAbstractItemModelTester tester(opened->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(csvOf(*opened->model()), csvOf(model));
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(opened->model()->startUs(row) - opened->model()->startUs(0), model.startUs(row) - model.startUs(0));
            QCOMPARE(opened->model()->endUs(row) - opened->model()->startUs(0), model.endUs(row) - model.startUs(0));
            QCOMPARE(opened->model()->index(row, TrafficModel::PanelColumn).data(),
                     model.index(row, TrafficModel::PanelColumn).data());
        }
        QVERIFY(!opened->splitBox()->isEnabled());
        QVERIFY(opened->message().isEmpty());
        opened->close();

        // Cut inside its last block: the rows before it, and where it broke.
        QVERIFY(testsupport::writeFile(out.filePath("cut.pcapng"), file.first(file.size() - 10)));
        QString failure;
        console::ConsoleSettings settings(out.filePath("settings.ini"));
        std::unique_ptr<TrafficWindow> cut(
            console::openCaptureWindow(out.filePath("cut.pcapng"), settings, c.boxes, &failure));
        QVERIFY(cut);
        QCOMPARE(cut->model()->rowCount(), model.rowCount() - 1);
        QVERIFY2(cut->message().contains("runs past the end of the file"), qPrintable(cut->message()));
        // Not a capture at all: nothing opens, and why.
        QVERIFY(testsupport::writeFile(out.filePath("t.csv"), "time,panel\n"));
        QVERIFY(!console::openCaptureWindow(out.filePath("t.csv"), settings, c.boxes, &failure));
        QVERIFY2(failure.contains("not a capture file"), qPrintable(failure));
    }

    // A pcap of raw bytes made by another tool opens with its frames.
    void otherToolsCaptureOpens()
    {
        const QString text2pcap = QStandardPaths::findExecutable(QStringLiteral("text2pcap"));
        if (text2pcap.isEmpty())
            QSKIP("text2pcap is not installed (wireshark-common)");
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath("dump.txt"), "0000 01 03 00 00 00 0a c5 cd\n0000 01 03 02 00 2a 38 4b\n"));
        QCOMPARE(QProcess::execute(text2pcap, {"-q", "-F", "pcap", "-l", "147", dir.filePath("dump.txt"),
                                               dir.filePath("raw.pcap")}),
                 0);
        testsupport::RecordingMessageBoxes boxes;
        console::ConsoleSettings settings(dir.filePath("settings.ini"));
        QString failure;
        std::unique_ptr<TrafficWindow> view(
            console::openCaptureWindow(dir.filePath("raw.pcap"), settings, boxes, &failure));
        QVERIFY2(view, qPrintable(failure));
        QCOMPARE(view->model()->rowCount(), 2);
        QCOMPARE(view->model()->index(0, TrafficModel::HexColumn).data().toString(), "01 03 00 00 00 0A C5 CD");
        QCOMPARE(view->model()->index(1, TrafficModel::HexColumn).data().toString(), "01 03 02 00 2A 38 4B");
        QCOMPARE(view->model()->panelOf(1), 0);
    }
};

QTEST_MAIN(TestTrafficCapture)
#include "tst_traffic_capture.moc"
