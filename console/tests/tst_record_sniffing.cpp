// The recorder on a real Modbus conversation: mbpoll (a master) polls a
// pymodbus slave through a sniffing rig that lets Tavrin hear each side on
// a port of its own; the packet analyser then reads the capture as Modbus
// RTU. Skipped with the reason when a peer cannot run here.
#include "capture/capture_reader.h"
#include "tests/support/files.h"
#include "tests/support/sniffing_rig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using testsupport::holdsOpen;
using testsupport::readFile;
using testsupport::runMbpoll;
using testsupport::SniffingRig;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);
const QString kSlave = QStringLiteral(MODBUS_SLAVE_SCRIPT);
const QString kPython = QStringLiteral("/usr/bin/python3");

int packetCount(const QString &path)
{
    return int(capture::readCapture(readFile(path)).packets.size());
}

struct Poll {
    QStringList arguments; // mbpoll's, before the device
    int function;
    // Whether the packet analyser ties the answer to its request: not when
    // the answer repeats the request byte for byte (a single write).
    bool paired = true;
};

} // namespace

class TestRecordSniffing : public QObject {
    Q_OBJECT
private slots:
    void modbusConversation()
    {
        const QString missing = testsupport::missingModbusPeer({"mbpoll", "tshark"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QTemporaryDir dir;
        SniffingRig rig;
        const QString out = dir.filePath("modbus.pcapng");

        QProcess slave;
        slave.setProcessChannelMode(QProcess::MergedChannels);
        slave.start(kPython, {kSlave, rig.slave.path});
        QVERIFY(slave.waitForStarted());
        if (!holdsOpen(slave.processId(), rig.slave.path, 60000))
            QSKIP(qPrintable("the pymodbus slave did not open its line: " + slave.readAll()));

        // The slave answers once it has set its line up: asked until it
        // does, before the recording starts.
        bool answering = false;
        for (int attempt = 0; attempt < 20 && !answering; ++attempt)
            answering = runMbpoll(rig.master.path, {"-t", "4", "-r", "1"}).isEmpty();
        if (!answering)
            QSKIP(qPrintable("the pymodbus slave does not answer: " + slave.readAll()));

        QProcess tavrin;
        tavrin.start(kTavrin, {"--record", rig.leftTap.path, "--record", rig.rightTap.path, "--output", out,
                               "--protocol", "modbus-rtu"});
        QVERIFY(tavrin.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(out)).notes.size() >= 2, 30000);

        // One request of each kind mbpoll makes, one after the other.
        const QList<Poll> polls = {
            {{"-t", "4", "-r", "1", "-c", "3"}, 3},         // read holding registers
            {{"-t", "3", "-r", "2", "-c", "2"}, 4},         // read input registers
            {{"-t", "0", "-r", "1", "-c", "8"}, 1},         // read coils
            {{"-t", "4", "-r", "5", "--", "1234"}, 6, false}, // write one register
            {{"-t", "4", "-r", "5", "--", "7", "8"}, 16},   // write registers
        };
        for (const Poll &poll : polls) {
            const QString failure = runMbpoll(rig.master.path, poll.arguments);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        const int expected = 2 * int(polls.size());
        for (int i = 0; i < 1500 && packetCount(out) < expected; ++i)
            QTest::qWait(20);
        ::kill(pid_t(tavrin.processId()), SIGTERM);
        QVERIFY(tavrin.waitForFinished(60000));
        QCOMPARE(tavrin.exitCode(), 0);
        slave.kill();
        slave.waitForFinished(10000);

        // Our own reader: each request heard on the left, each answer on
        // the right, and nothing else.
        const capture::Capture c = capture::readCapture(readFile(out));
        QVERIFY(!c.damage);
        QCOMPARE(int(c.packets.size()), expected);
        for (int i = 0; i < expected; ++i) {
            QCOMPARE(c.packets[size_t(i)].interface, i % 2);
            QCOMPARE(int(c.packets[size_t(i)].eventType), i % 2 ? 0x02 : 0x01);
        }

        // The packet analyser: no warning, and every request and answer
        // with its unit and function; each answer names its request and the
        // time it took.
        QProcess tshark;
        tshark.start(QStringLiteral("tshark"),
                     {"-r", out, "-d", "rtacser.data,mbrtu", "-T", "fields", "-E", "separator=,", "-e",
                      "rtacser.eventtype", "-e", "mbrtu.unit_id", "-e", "modbus.func_code", "-e",
                      "modbus.request_frame", "-e", "modbus.response_time"});
        QVERIFY(tshark.waitForFinished(120000));
        // (Run as root, tshark says so first: about this machine, not the file.)
        QStringList warnings = QString::fromLocal8Bit(tshark.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        warnings.removeIf([](const QString &line) { return line.startsWith("Running as user \"root\""); });
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
        QCOMPARE(tshark.exitCode(), 0);
        const QStringList lines = QString::fromLocal8Bit(tshark.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected);
        for (int i = 0; i < expected; ++i) {
            const QStringList fields = lines[i].split(',');
            QVERIFY2(fields.size() == 5, qPrintable(lines.join(u'\n')));
            const Poll &poll = polls[i / 2];
            const QString function = QString::number(poll.function);
            if (i % 2 == 0 || !poll.paired) {
                QCOMPARE(fields.mid(0, 4), (QStringList{i % 2 ? "0x02" : "0x01", "1", function, ""}));
                continue;
            }
            QCOMPARE(fields.mid(0, 4), (QStringList{"0x02", "1", function, QString::number(i)}));
            bool timed = false;
            QVERIFY2(fields[4].toDouble(&timed) >= 0 && timed, qPrintable(lines[i]));
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordSniffing)
#include "tst_record_sniffing.moc"
