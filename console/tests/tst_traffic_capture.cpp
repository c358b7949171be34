// The traffic view's rows as a capture file, and a capture opened as rows.
#include "capture/capture_reader.h"
#include "capture/pcapng_writer.h"
#include "console/traffic/capture_source.h"
#include "console/traffic/decoded_tools.h"
#include "console/traffic/traffic_capture.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

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

// A classic pcap of raw bytes: record n holds one byte, n * 7, at
// 1 000 000 s + n ms.
QByteArray tinyPcap(int records)
{
    QByteArray file = QByteArray::fromHex("d4c3b2a1020004000000000000000000ffff000093000000");
    file.resize(24 + qsizetype(records) * 17);
    uchar *at = reinterpret_cast<uchar *>(file.data()) + 24;
    for (int n = 0; n < records; ++n, at += 17) {
        const qint64 us = 1000000000000 + qint64(n) * 1000;
        qToLittleEndian(quint32(us / 1000000), at);
        qToLittleEndian(quint32(us % 1000000), at + 4);
        qToLittleEndian(quint32(1), at + 8);
        qToLittleEndian(quint32(1), at + 12);
        at[16] = uchar(n * 7);
    }
    return file;
}

// The first byte of each of a panel's frames, as letters.
QString framesOf(const console::CaptureSource &source, int panel)
{
    QString letters;
    for (qint64 f = 0; f < source.frameCount(panel); ++f) {
        QByteArray b;
        source.frameBytes(panel, f, 1, b);
        letters += QLatin1Char(b.isEmpty() ? '-' : b[0]);
    }
    return letters;
}

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

    // The index is a few integers a packet: a million tiny packets open, and
    // every one is where and when it was, read through windows of the file
    // as well as through one.
    void millionTinyPackets()
    {
        QTemporaryDir dir;
        const int count = 1000000;
        QVERIFY(testsupport::writeFile(dir.filePath("tiny.pcap"), tinyPcap(count)));
        QString failure;
        const auto source = console::CaptureSource::open(dir.filePath("tiny.pcap"), &failure);
        QVERIFY2(source, qPrintable(failure));
        const auto windowed = console::CaptureSource::open(dir.filePath("tiny.pcap"), &failure, {4096, 2000000});
        QVERIFY2(windowed, qPrintable(failure));
        for (const console::CaptureSource *s : {source.get(), windowed.get()}) {
            QVERIFY(s->damage().isEmpty());
            QCOMPARE(s->frameCount(0), qint64(count));
            QCOMPARE(s->frameCount(1), qint64(0));
            QCOMPARE(s->streamSize(0), qint64(count));
            QCOMPARE(s->portTexts(), 0);
            for (const int n : {0, 1, 4095, 4096, 4097, 240, 241, 500000, 999999}) {
                QByteArray b;
                s->frameBytes(0, n, 5, b);
                QCOMPARE(b, QByteArray(1, char(n * 7)));
                QCOMPARE(s->frameSpan(0, n)->startUs, 1000000000000 + qint64(n) * 1000);
                QCOMPARE(s->frameSpan(0, n)->endUs, 1000000000000 + qint64(n) * 1000);
                QCOMPARE(s->frameWallMs(0, n), 1000000000 + qint64(n));
                QCOMPARE(s->burstOf(0, n), std::optional<qint64>(n));
                QCOMPARE(s->burst(0, n).firstByte, qint64(n));
                QCOMPARE(s->framePort(0, n), QStringLiteral("interface 0"));
            }
            // Stream bytes across records (and a window's edge: a record
            // is 17 bytes of the file).
            QByteArray run;
            s->streamBytes(0, 230, 20, run);
            QByteArray expected;
            for (int n = 230; n < 250; ++n)
                expected += char(n * 7);
            QCOMPARE(run, expected);
            run.clear();
            s->streamBytes(0, count - 2, 5, run);
            QCOMPARE(run.size(), 2);
            QCOMPARE(s->burstOf(0, count), std::nullopt);
        }
    }

    // Which panel a packet goes to, in which order, and the port texts
    // kept once each.
    void panelsAndPorts_data()
    {
        using namespace capture;
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QStringList>("ports"); // of the left panel's frames
        QTest::addColumn<int>("texts");         // port texts kept
        const QByteArray head = sectionHeaderBlock("t");
        const QByteArray com1 = interfaceBlock(kLinkSerial, "COM1", "9600,n,8,1");
        const QByteArray com2 = interfaceBlock(kLinkSerial, "COM2", "9600,n,8,1");
        auto frame = [](quint32 face, qint64 us, quint8 type, char letter, const QString &port = {}) {
            return frameBlocks(face, us, us + 10, type, false, QByteArray(1, letter), port, us / 1000);
        };
        QTest::newRow("a panel an interface, ports named by notes")
            << head + com1 + com2 + frame(0, 1000, kTransmitted, 'a', "/dev/a") + frame(1, 2000, kReceived, 'b', "/dev/b")
                   + frame(0, 3000, kReceived, 'c', "/dev/a") + frame(0, 4000, kTransmitted, 'd', "/dev/c")
                   + frame(0, 5000, kTransmitted, 'e')
            << "acde" << "b" << QStringList{"/dev/a", "/dev/a", "/dev/c", "COM1"} << 3;
        QTest::newRow("one serial interface: by direction")
            << head + com1 + frame(0, 1000, kTransmitted, 'a') + frame(0, 2000, kReceived, 'b')
                   + frame(0, 3000, kTransmitted, 'c')
            << "ac" << "b" << QStringList{"COM1", "COM1"} << 0;
        QTest::newRow("a second interface after packets: back in the file's order")
            << head + com1 + frame(0, 1000, kTransmitted, 'a') + frame(0, 2000, kReceived, 'b')
                   + frame(0, 3000, kTransmitted, 'c') + com2 + frame(1, 4000, kReceived, 'd')
                   + frame(0, 5000, kReceived, 'e')
            << "abce" << "d" << QStringList{"COM1", "COM1", "COM1", "COM1"} << 0;
        QTest::newRow("out of time order: by time, then the file's order")
            << head + com1 + com2 + frame(0, 3000, kTransmitted, 'a') + frame(0, 1000, kTransmitted, 'b')
                   + frame(0, 2000, kTransmitted, 'c', "/dev/x") + frame(0, 1000, kTransmitted, 'd')
            << "bdca" << "" << QStringList{"COM1", "COM1", "/dev/x", "COM1"} << 1;
        // More ports than are looked through one by one, each named twice.
        QByteArray many = head + com1 + com2;
        QString letters;
        QStringList named;
        for (int i = 0; i < 60; ++i) {
            const QString port = QStringLiteral("/dev/p%1").arg(i % 30);
            many += frame(0, 1000 * (i + 1), kTransmitted, char('A' + i), port);
            letters += QChar('A' + i);
            named << port;
        }
        QTest::newRow("thirty ports") << many << letters << "" << named << 30;
    }

    void panelsAndPorts()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(QStringList, ports);
        QFETCH(int, texts);
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath("t.pcapng"), file));
        QString failure;
        const auto source = console::CaptureSource::open(dir.filePath("t.pcapng"), &failure);
        QVERIFY2(source, qPrintable(failure));
        QVERIFY2(source->damage().isEmpty(), qPrintable(source->damage()));
        QCOMPARE(framesOf(*source, 0), left);
        QCOMPARE(framesOf(*source, 1), right);
        QStringList named;
        for (qint64 f = 0; f < source->frameCount(0); ++f)
            named << source->framePort(0, f);
        QCOMPARE(named, ports);
        QCOMPARE(source->portTexts(), texts);
        // The stream follows the frames' order.
        QByteArray stream;
        source->streamBytes(0, 0, source->streamSize(0), stream);
        QCOMPARE(QString::fromLatin1(stream), left);
        for (qint64 f = 1; f < source->frameCount(0); ++f)
            QVERIFY(source->frameSpan(0, f - 1)->startUs <= source->frameSpan(0, f)->startUs);
    }

    // A capture with more packets than are indexed shows the first ones and
    // says why; none at all is no capture to show.
    void packetLimit_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("frames"); // -1: it does not open
        QTest::addColumn<QString>("said");
        QTest::newRow("within") << qint64(5) << 5 << QString();
        QTest::newRow("one over") << qint64(4) << 4 << "block 5 at byte 92: the capture holds more than 4 packets";
        QTest::newRow("none") << qint64(0) << -1 << "block 1 at byte 24: the capture holds more than 0 packets";
    }

    void packetLimit()
    {
        QFETCH(qint64, limit);
        QFETCH(int, frames);
        QFETCH(QString, said);
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath("t.pcap"), tinyPcap(5)));
        QString failure;
        const auto source = console::CaptureSource::open(dir.filePath("t.pcap"), &failure, {4096, limit});
        if (frames < 0) {
            QVERIFY(!source);
            QVERIFY2(failure.startsWith(said), qPrintable(failure));
            return;
        }
        QVERIFY2(source, qPrintable(failure));
        QCOMPARE(source->frameCount(0), qint64(frames));
        QVERIFY2(source->damage().startsWith(said), qPrintable(source->damage()));
        QCOMPARE(source->damage().isEmpty(), said.isEmpty());
    }

    // With the row filter on, an export writes only the rows it keeps, and
    // the file is asked for as such; an answer names its request's line
    // among the lines written.
    void exportKeepsFilteredRows_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("hex");
        QTest::addColumn<QStringList>("requestRows"); // CSV only
        const QString r1 = "01 03 00 00 00 02 C4 0B", a1 = "01 03 04 00 01 00 02 2A 32";
        const QString r2 = "02 03 00 00 00 01 84 39", a2 = "02 03 02 00 05 3C 47";
        QTest::newRow("no filter: every row, the event too")
            << "" << "csv" << QStringList{"", r1, a1, r2, a2, r1, a1} << QStringList{"", "", "2", "", "4", "", "6"};
        QTest::newRow("station 2, CSV") << "2" << "csv" << QStringList{r2, a2} << QStringList{"", "1"};
        QTest::newRow("station 1, CSV") << "1" << "csv" << QStringList{r1, a1, r1, a1} << QStringList{"", "1", "", "3"};
        QTest::newRow("station 2, text") << "2" << "text" << QStringList{r2, a2} << QStringList{};
        QTest::newRow("station 2, pcapng") << "2" << "pcapng" << QStringList{r2, a2} << QStringList{};
        QTest::newRow("no filter, pcapng") << "" << "pcapng" << QStringList{r1, a1, r2, a2, r1, a1} << QStringList{};
    }

    void exportKeepsFilteredRows()
    {
        QFETCH(QString, station);
        QFETCH(QString, format);
        QFETCH(QStringList, hex);
        QFETCH(QStringList, requestRows);
        using namespace capture;
        QByteArray file = sectionHeaderBlock("t") + interfaceBlock(kLinkSerial, "COM1", "9600,n,8,1")
                          + interfaceBlock(kLinkSerial, "COM2", "9600,n,8,1");
        file += noteBlock(0, 500000, NoteKind::Started, "9600,n,8,1", "COM1", 500);
        const char *frames[] = {"010300000002C40B", "01030400010002 2A32", "0203000000018439", "02030200053C47",
                                "010300000002C40B", "01030400010002 2A32"};
        for (int i = 0; i < 6; ++i) {
            const qint64 us = 1000000 + i * 100000;
            file += frameBlocks(quint32(i % 2), us, us + 5000, i % 2 ? kReceived : kTransmitted, false,
                                testsupport::hex(frames[i]), {}, us / 1000);
        }
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath("in.pcapng"), file));
        testsupport::RecordingMessageBoxes boxes;
        testsupport::ScriptedFiles files;
        console::ConsoleSettings settings(dir.filePath("settings.ini"));
        QString failure;
        std::unique_ptr<TrafficWindow> view(console::openCaptureWindow(dir.filePath("in.pcapng"), settings, boxes, &failure));
        QVERIFY2(view, qPrintable(failure));
        view->setFileChooser(&files);
        QComboBox *protocol = view->protocolBox();
        protocol->setCurrentIndex(protocol->findData("modbus-rtu"));
        emit protocol->activated(protocol->currentIndex());
        view->decodedTools()->stationEdit()->setText(station);
        view->decodedTools()->applyFilter();

        const QString out = dir.filePath("out." + format);
        files.exported = console::FileChooser::ExportTarget{out, format == "csv", format == "pcapng"};
        view->exportRows();
        QCOMPARE(boxes.texts(), QStringList{});
        QCOMPARE(files.askedKeptRows, !station.isEmpty());
        QStringList written, requests;
        if (format == "pcapng") {
            const QByteArray bytes = readFile(out);
            const Capture c = readCapture(bytes);
            QVERIFY(!c.damage);
            for (const Packet &p : c.packets)
                written << testsupport::spaced(bytes.mid(p.offset, p.length));
            // The notes are rows too.
            QCOMPARE(int(c.notes.size()), station.isEmpty() ? 1 : 0);
        } else {
            QStringList lines = QString::fromUtf8(readFile(out)).split('\n', Qt::SkipEmptyParts);
            lines.removeFirst();
            for (const QString &line : lines) {
                const QStringList f = format == "csv" ? testsupport::csvFields(line.toUtf8()) : line.split('\t');
                written << (format == "csv" ? f[5] : (f[3].isEmpty() ? QString() : f[4]));
                if (format == "csv")
                    requests << f[17];
            }
        }
        QCOMPARE(written, hex);
        QCOMPARE(requests, requestRows);
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
