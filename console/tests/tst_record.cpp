// tavrin --record as a technician runs it: the program itself, on
// pseudo-terminals, ended by a signal, by its duration or by a full file.
#include "capture/capture_reader.h"
#include "protocol/protocol.h"
#include "tests/support/files.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/ser2net.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using testsupport::PseudoTerminal;
using testsupport::readFile;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);

using testsupport::hex;

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

    // With a protocol the decoder cuts the frames (no idle gap needed
    // between a request and its answer) and says which way each went,
    // whichever port heard it: requests 0x01, answers 0x02. Bytes it cannot
    // place keep their port's direction.
    void protocolFrames_data()
    {
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<QByteArray>("right");
        QTest::addColumn<QStringList>("packets"); // "interface type bytes" in file order
        QTest::addColumn<QString>("summary");
        const QByteArray request = hex("01 03 00 00 00 02 C4 0B");
        const QByteArray answer = hex("01 03 04 00 01 00 02 2A 32");
        const QByteArray write = hex("01 06 00 01 00 03 98 0B");
        const auto packet = [](int interface, int type, const QByteArray &bytes) {
            return QStringLiteral("%1 %2 %3").arg(interface).arg(type).arg(QString::fromLatin1(bytes.toHex(' ')));
        };
        QTest::newRow("request left, answer right")
            << request << answer << QStringList{packet(0, 1, request), packet(1, 2, answer)}
            << ": 8 bytes, 1 frames; %1: 9 bytes, 1 frames";
        QTest::newRow("both on one line, no gap")
            << request + answer << QByteArray() << QStringList{packet(0, 1, request), packet(0, 2, answer)}
            << ": 17 bytes, 2 frames; %1: 0 bytes, 0 frames";
        // A write's answer repeats it: the second one is the answer.
        QTest::newRow("a write heard on the right")
            << QByteArray() << write + write << QStringList{packet(1, 1, write), packet(1, 2, write)}
            << ": 0 bytes, 0 frames; %1: 16 bytes, 2 frames";
        QTest::newRow("an exception answer")
            << hex("01 83 02 C0 F1") << QByteArray() << QStringList{packet(0, 2, hex("01 83 02 C0 F1"))}
            << ": 5 bytes, 1 frames; %1: 0 bytes, 0 frames";
        QTest::newRow("noise on the right") << QByteArray() << hex("AA") << QStringList{packet(1, 2, hex("AA"))}
                                            << ": 0 bytes, 0 frames; %1: 1 bytes, 1 frames";
    }
    void protocolFrames()
    {
        QFETCH(QByteArray, left);
        QFETCH(QByteArray, right);
        QFETCH(QStringList, packets);
        QFETCH(QString, summary);
        PseudoTerminal l, r;
        const QString out = m_dir.filePath("modbus.pcapng");
        QFile::remove(out);
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", l.slavePath() + ",19200,e,8,1", "--record", r.slavePath() + ",19200,e,8,1",
                               "--output", out, "--protocol", "modbus-rtu"});
        QVERIFY(tavrin.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(out)).interfaces.size() == 2, 10000);
        // One side at a time, each written once the one before is in the file.
        int expected = 0;
        for (const auto &[pty, bytes] : {std::pair{&l, left}, std::pair{&r, right}}) {
            if (bytes.isEmpty())
                continue;
            pty->write(bytes);
            expected += int(std::count_if(packets.begin(), packets.end(), [&](const QString &p) {
                return p.startsWith(pty == &l ? "0 " : "1 ");
            }));
            QVERIFY(waitForPackets(out, expected));
        }
        ::kill(pid_t(tavrin.processId()), SIGTERM);
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.startsWith("Recorded " + l.slavePath() + summary.arg(r.slavePath())), qPrintable(err));

        const QByteArray file = readFile(out);
        const capture::Capture c = capture::readCapture(file);
        QVERIFY(!c.damage);
        QStringList got;
        for (const capture::Packet &p : c.packets)
            got << QStringLiteral("%1 %2 %3").arg(p.interface).arg(p.eventType).arg(
                QString::fromLatin1(bytesOf(file, p).toByteArray().toHex(' ')));
        QCOMPARE(got, packets);
    }

    // Every protocol setting name is taken, or refused as a bad command
    // line while this build has no decoder for it.
    void protocolNames_data()
    {
        QTest::addColumn<int>("protocol");
        for (int p = 0; p <= int(protocol::Protocol::Mewtocol); ++p)
            QTest::newRow(std::string(protocol::settingName(protocol::Protocol(p))).c_str()) << p;
    }
    void protocolNames()
    {
        QFETCH(int, protocol);
        const auto chosen = protocol::Protocol(protocol);
        const bool available = chosen == protocol::Protocol::None || protocol::makeFramer(chosen);
        PseudoTerminal port;
        const QString out = m_dir.filePath("named.pcapng");
        QFile::remove(out);
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", port.slavePath(), "--output", out, "--duration", "0.3", "--protocol",
                               QString::fromStdString(std::string(protocol::settingName(chosen)))});
        QVERIFY(tavrin.waitForFinished(20000));
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QCOMPARE(tavrin.exitCode(), available ? 0 : 2);
        if (available) {
            QVERIFY(!capture::readCapture(readFile(out)).damage);
        } else {
            QVERIFY2(err.contains("decoder is not available in this build yet"), qPrintable(err));
            QVERIFY(!QFile::exists(out));
        }
    }

    // A port on a device server is recorded as a local one, named by its
    // text; 0xFF (telnet's escape) is one byte of the frame.
    void serversPort()
    {
        PseudoTerminal line;
        testsupport::Ser2net server(line.slavePath());
        if (!server.start())
            QSKIP(qPrintable(server.whyNot()));
        const QString out = m_dir.filePath("server.pcapng");
        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", server.portText() + ",19200,n,8,2", "--output", out});
        QVERIFY(tavrin.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(out)).notes.size() >= 1, 20000);
        QCOMPARE(line.slaveBaudRate(), 19200);
        line.write(hex("01 FF 03 FF FF"));
        QVERIFY(waitForPackets(out, 1));
        ::kill(pid_t(tavrin.processId()), SIGTERM);
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), 0);
        const QByteArray file = readFile(out);
        const capture::Capture c = capture::readCapture(file);
        QCOMPARE(c.interfaces.at(0).name, server.portText());
        QCOMPARE(int(c.packets.size()), 1);
        QCOMPARE(bytesOf(file, c.packets[0]), QByteArrayView(hex("01 FF 03 FF FF")));
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
        QTest::newRow("unknown protocol") << QStringList{"--record", "1", "--output", "f", "--protocol", "modbus"} << 2
                                          << "--protocol modbus: not a protocol; give one of none, modbus-rtu, "
                                             "modbus-ascii, fx-programming, mc-ascii, mewtocol";
        QTest::newRow("protocol in capitals") << QStringList{"--record", "1", "--output", "f", "--protocol", "Modbus-RTU"}
                                              << 2 << "not a protocol";
        QTest::newRow("empty protocol") << QStringList{"--record", "1", "--output", "f", "--protocol", ""} << 2
                                        << "not a protocol";
        QTest::newRow("duration 0") << QStringList{"--record", "1", "--output", "f", "--duration", "0"} << 2
                                    << "--duration 0";
        QTest::newRow("output alone") << QStringList{"--output", "f"} << 2 << "goes with --record";
        QTest::newRow("a port that is not there")
            << QStringList{"--record", "/nonexistent/ttyX", "--output", "gone.pcapng"} << 1
            << "Cannot open /nonexistent/ttyX";
        const QString nobody = QStringLiteral("rfc2217://127.0.0.1:%1").arg(testsupport::Ser2net::freePort());
        QTest::newRow("a server that refuses") << QStringList{"--record", nobody, "--output", "gone.pcapng"} << 1
                                               << "Cannot open " + nobody + ": connection refused by 127.0.0.1, port";
        QTest::newRow("a malformed server port")
            << QStringList{"--record", "tcp://host:0", "--output", "gone.pcapng"} << 1 << "from 1 to 65535";
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
        // The port is named once, not again by the reason it is given.
        QVERIFY2(!err.contains(QRegularExpression(QStringLiteral("Cannot open ([^:]+): Cannot open \\1:"))),
                 qPrintable(err));
        QVERIFY(!QFile::exists(m_dir.filePath("gone.pcapng")));
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"
