// tavrin --record as a technician runs it: the program itself, on
// pseudo-terminals, ended by a signal, by its duration or by a full file.
#include "capture/capture_reader.h"
#include "tests/support/files.h"
#include "tests/support/pseudo_terminal.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using testsupport::PseudoTerminal;
using testsupport::readFile;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArrayView bytesOf(const QByteArray &file, const capture::Packet &p)
{
    return QByteArrayView(file).sliced(p.offset, p.length);
}

// Waits (events running) until the file holds `count` packets.
bool waitForPackets(const QString &path, int count)
{
    for (int i = 0; i < 500; ++i) {
        if (int(capture::readCapture(readFile(path)).packets.size()) >= count)
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestRecord : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void twoPortsUntilSigterm()
    {
        PseudoTerminal left, right;
        const QString out = m_dir.filePath("two.pcapng");
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", left.slavePath(), "--record", right.slavePath() + ",19200,e,8,1",
                               "--output", out});
        QVERIFY(tavrin.waitForStarted());
        // The file is a capture from the start, and each frame is in it while
        // the recording goes on.
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(out)).interfaces.size() == 2, 10000);
        left.write(hex("01 03 00 00 00 02 C4 0B"));
        QVERIFY(waitForPackets(out, 1));
        right.write(hex("01 03 04 00 01 00 02 2A 32"));
        QVERIFY(waitForPackets(out, 2));
        left.write(hex("01 06 00 01 00 03 98 0B"));
        QVERIFY(waitForPackets(out, 3));
        // The right adapter goes away: a fault, written as it happens.
        right.closeMaster();
        const auto faultNoted = [&] {
            for (const capture::Note &n : capture::readCapture(readFile(out)).notes)
                if (n.kind == capture::NoteKind::Fault && n.interface == 1)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(faultNoted(), 10000);
        ::kill(pid_t(tavrin.processId()), SIGTERM);
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tavrin.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.startsWith("Recorded " + left.slavePath() + ": 16 bytes, 2 frames; " + right.slavePath()
                                + ": 9 bytes, 1 frames into " + out),
                 qPrintable(err));
        QCOMPARE(err.count('\n'), 1);

        const QByteArray file = readFile(out);
        const capture::Capture c = capture::readCapture(file);
        QVERIFY(!c.damage);
        QCOMPARE(c.interfaces.at(0).name, left.slavePath());
        QCOMPARE(c.interfaces.at(1).description, QStringLiteral("19200,e,8,1"));
        QCOMPARE(int(c.packets.size()), 3);
        QCOMPARE(bytesOf(file, c.packets[0]), QByteArrayView(hex("01 03 00 00 00 02 C4 0B")));
        QCOMPARE(c.packets[0].eventType, quint8(0x01));
        QCOMPARE(c.packets[1].interface, 1);
        QCOMPARE(c.packets[1].eventType, quint8(0x02));
        QCOMPARE(bytesOf(file, c.packets[2]), QByteArrayView(hex("01 06 00 01 00 03 98 0B")));
        for (size_t i = 1; i < c.packets.size(); ++i)
            QVERIFY(c.packets[i].timeUs > c.packets[i - 1].endUs);
        QStringList notes;
        for (const capture::Note &n : c.notes)
            notes << QString::number(n.interface) + " " + QString::number(int(n.kind));
        // Started on both, the right one's fault, then both stopped.
        QCOMPARE(notes.first(2), (QStringList{"0 1", "1 1"}));
        QVERIFY2(notes.contains("1 3"), qPrintable(notes.join(", ")));
        QVERIFY2(notes.last() == "1 2" || notes.last() == "0 2", qPrintable(notes.join(", ")));
        QVERIFY2(notes.contains("0 2"), qPrintable(notes.join(", ")));
    }

    void durationEndsIt()
    {
        PseudoTerminal port;
        const QString out = m_dir.filePath("timed.pcapng");
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", port.slavePath(), "--output", out, "--duration", "0.5"});
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), 0);
        const capture::Capture c = capture::readCapture(readFile(out));
        QVERIFY(!c.damage);
        QCOMPARE(int(c.notes.size()), 2);
        QCOMPARE(c.notes[1].kind, capture::NoteKind::Stopped);
    }

    // Past the file-size limit, as on a full disk: the file is cut back to
    // its last whole block and says so.
    void fullFileKeepsWholeBlocks()
    {
        PseudoTerminal port;
        const QString out = m_dir.filePath("full.pcapng");
        QProcess tavrin;
        {
            testsupport::FileSizeLimit limit(400);
            QVERIFY(limit.ok());
            tavrin.start(kTavrin, {"--record", port.slavePath(), "--output", out});
            QVERIFY(tavrin.waitForStarted());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!capture::readCapture(readFile(out)).notes.empty(), 10000);
        for (int i = 0; i < 10 && tavrin.state() == QProcess::Running; ++i) {
            port.write(QByteArray(40, char('a' + i)));
            QTest::qWait(100);
        }
        QVERIFY(tavrin.state() == QProcess::NotRunning || tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.contains("Cannot write " + out + ": File too large; it holds what was recorded until then"),
                 qPrintable(err));
        const QByteArray file = readFile(out);
        QVERIFY(file.size() <= 400);
        const capture::Capture c = capture::readCapture(file);
        QVERIFY2(!c.damage, qPrintable(c.damage ? capture::damageText(*c.damage) : QString()));
        QVERIFY(!c.packets.empty());
        QCOMPARE(bytesOf(file, c.packets[0]), QByteArrayView(QByteArray(40, 'a')));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no output") << QStringList{"--record", "/dev/null"} << 2 << "needs --output";
        QTest::newRow("bad settings") << QStringList{"--record", "/dev/null,9600,x,8,1", "--output", "f.pcapng"} << 2
                                      << "is not a settings string";
        QTest::newRow("three ports") << QStringList{"--record", "1", "--record", "2", "--record", "3", "--output", "f"}
                                     << 2 << "at most two ports";
        QTest::newRow("a protocol") << QStringList{"--record", "1", "--output", "f", "--protocol", "modbus-rtu"} << 2
                                    << "no protocol decoders";
        QTest::newRow("duration 0") << QStringList{"--record", "1", "--output", "f", "--duration", "0"} << 2
                                    << "--duration 0";
        QTest::newRow("output alone") << QStringList{"--output", "f"} << 2 << "goes with --record";
        QTest::newRow("a port that is not there")
            << QStringList{"--record", "/nonexistent/ttyX", "--output", "gone.pcapng"} << 1
            << "Cannot open /nonexistent/ttyX";
        QTest::newRow("a file that cannot be made")
            << QStringList{"--record", "/dev/null", "--output", "/nonexistent/f.pcapng"} << 1
            << "Cannot write /nonexistent/f.pcapng";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QProcess tavrin;
        tavrin.setWorkingDirectory(m_dir.path());
        tavrin.start(kTavrin, arguments);
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), status);
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.contains(reason), qPrintable(err));
        QVERIFY(!QFile::exists(m_dir.filePath("gone.pcapng")));
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"
