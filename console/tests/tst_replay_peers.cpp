// A recording played back with real peers: mbpoll polling a pymodbus slave
// is recorded (tavrin --record on a sniffing rig); that capture then
// answers mbpoll in the slave's place (--answer-as-device --from-capture),
// and its requests go to the slave again (--replay), the same before the
// slave's values change and different after. Then the command's refusals,
// which need no peer. Skipped with the reason where a peer cannot run.
#include "capture/capture_reader.h"
#include "tests/support/files.h"
#include "tests/support/null_modem.h"
#include "tests/support/sniffing_rig.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using testsupport::holdsOpen;
using testsupport::mbpollValues;
using testsupport::readFile;
using testsupport::SniffingRig;
using testsupport::writeFile;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);
const QString kSlave = QStringLiteral(MODBUS_SLAVE_SCRIPT);
const QString kPython = QStringLiteral("/usr/bin/python3");

// One mbpoll poll of unit 1 at 9600,n,8,1 through `device`: what it printed.
// `arguments` may end in "--" and the values to write.
QString mbpoll(const QString &device, QStringList arguments)
{
    QProcess master;
    master.setProcessChannelMode(QProcess::MergedChannels);
    const qsizetype values = arguments.indexOf("--");
    if (values >= 0)
        arguments.removeAt(values);
    arguments.insert(values < 0 ? arguments.size() : values, device);
    master.start(QStringLiteral("mbpoll"),
                 QStringList{"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-1", "-o", "2"} + arguments);
    if (!master.waitForFinished(60000)) {
        master.kill();
        master.waitForFinished();
        return QStringLiteral("mbpoll did not end");
    }
    return QString::fromLocal8Bit(master.readAll());
}


int endWithSignal(QProcess &process)
{
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run tavrin(const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess p;
    p.start(kTavrin, arguments);
    Run run;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

} // namespace

class TestReplayPeers : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void recordedThenPlayedBothWays()
    {
        const QString missing = testsupport::missingModbusPeer();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        SniffingRig rig;
        QProcess slave;
        slave.setProcessChannelMode(QProcess::MergedChannels);
        slave.start(kPython, {kSlave, rig.slave.path});
        QVERIFY(slave.waitForStarted());
        if (!holdsOpen(slave.processId(), rig.slave.path, 60000))
            QSKIP(qPrintable("the pymodbus slave did not open its line: " + slave.readAll()));
        bool answering = false;
        for (int attempt = 0; attempt < 20 && !answering; ++attempt)
            answering = !mbpollValues(mbpoll(rig.master.path, {"-t", "4", "-r", "1"})).isEmpty();
        if (!answering)
            QSKIP(qPrintable("the pymodbus slave does not answer: " + slave.readAll()));

        // The recording: holding registers 0-2 (0 1 2), input registers
        // 1-2 (1 2).
        const QString capture = m_dir.filePath("poll.pcapng");
        QProcess recorder;
        recorder.start(kTavrin, {"--record", rig.leftTap().path, "--record", rig.rightTap().path, "--output", capture,
                                 "--protocol", "modbus-rtu"});
        QVERIFY(recorder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(capture::readCapture(readFile(capture)).notes.size() >= 2, 30000);
        QCOMPARE(mbpollValues(mbpoll(rig.master.path, {"-t", "4", "-r", "1", "-c", "3"})), "1=0 2=1 3=2");
        QCOMPARE(mbpollValues(mbpoll(rig.master.path, {"-t", "3", "-r", "2", "-c", "2"})), "2=1 3=2");
        for (int i = 0; i < 1500 && capture::readCapture(readFile(capture)).packets.size() < 4; ++i)
            QTest::qWait(20);
        QCOMPARE(endWithSignal(recorder), 0);
        QCOMPARE(int(capture::readCapture(readFile(capture)).packets.size()), 4);

        // Replayed to the slave: every answer the same.
        Run run = tavrin({"--replay", capture, "--port", rig.master.path, "--protocol", "modbus-rtu"});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY2(run.out.contains("request 1 (Read holding registers 0-2, unit 1): same\n"), qPrintable(run.out));
        QVERIFY2(run.out.endsWith("2 requests: 2 same, 0 different, 0 no answer\n"), qPrintable(run.out));

        // The slave's register 1 becomes 117: the replay says so, and fails.
        QVERIFY(mbpoll(rig.master.path, {"-t", "4", "-r", "2", "--", "117"}).contains("Written 1 references"));
        run = tavrin({"--replay", capture, "--port", rig.master.path, "--protocol", "modbus-rtu", "--timing", "fast"});
        QVERIFY2(run.status == 1, qPrintable(run.out + run.err));
        QVERIFY2(run.out.contains("request 1 (Read holding registers 0-2, unit 1): different: register 1: 1 -> 117\n"),
                 qPrintable(run.out));
        QVERIFY2(run.out.contains("request 2 (Read input registers 1-2, unit 1): same\n"), qPrintable(run.out));
        QVERIFY2(run.out.endsWith("2 requests: 1 same, 1 different, 0 no answer\n"), qPrintable(run.out));
        slave.kill();
        slave.waitForFinished(10000);

        // The slave gone, no answer comes.
        run = tavrin({"--replay", capture, "--port", rig.master.path, "--timing", "fast"});
        QVERIFY2(run.status == 1, qPrintable(run.out + run.err));
        QVERIFY2(run.out.endsWith("2 requests: 0 same, 0 different, 2 no answer\n"), qPrintable(run.out));

        // The capture in the slave's place: mbpoll gets what pymodbus gave,
        // and nothing for a request that was not recorded.
        testsupport::NullModem cable;
        QVERIFY(cable.isValid());
        QProcess device;
        device.start(kTavrin,
                     {"--answer-as-device", cable.endA(), "--unit", "1", "--from-capture", capture, "--verbose"});
        QVERIFY(device.waitForStarted());
        QString out;
        for (int attempt = 0; attempt < 20 && mbpollValues(out).isEmpty(); ++attempt)
            out = mbpoll(cable.endB(), {"-t", "4", "-r", "1", "-c", "3"});
        QCOMPARE(mbpollValues(out), "1=0 2=1 3=2");
        QCOMPARE(mbpollValues(mbpoll(cable.endB(), {"-t", "3", "-r", "2", "-c", "2"})), "2=1 3=2");
        out = mbpoll(cable.endB(), {"-t", "4", "-r", "10", "-c", "1"});
        QVERIFY2(mbpollValues(out).isEmpty(), qPrintable(out));
        QCOMPARE(endWithSignal(device), 0);
        const QString err = QString::fromLocal8Bit(device.readAllStandardError());
        QVERIFY2(err.contains(QRegularExpression("Matched (\\d+) of (\\d+) requests to recorded ones, 1 not recorded")),
                 qPrintable(err));
        const QString said = QString::fromLocal8Bit(device.readAllStandardOutput());
        QVERIFY2(said.contains(QRegularExpression(
                     "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} Read holding registers 9-9, unit 1: not in the recording, no answer\n")),
                 qPrintable(said));
        QVERIFY2(said.contains("Read holding registers 0-2, unit 1: answered from the recording\n"), qPrintable(said));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << QStringList{"--replay", "@csv"} << 2 << "--replay needs --port";
        QTest::newRow("bad timing") << QStringList{"--replay", "@csv", "--port", "/dev/null", "--timing", "slow"} << 2
                                    << "--timing slow: give recorded";
        QTest::newRow("bad protocol") << QStringList{"--replay", "@csv", "--port", "/dev/null", "--protocol", "can"}
                                      << 2 << "--protocol can: not a protocol";
        QTest::newRow("bad settings") << QStringList{"--replay", "@csv", "--port", "/dev/null,fast"} << 2
                                      << "--port /dev/null,fast: \"fast\" is not a settings string";
        QTest::newRow("port without replay") << QStringList{"--port", "/dev/null"} << 2 << "--port goes with --replay";
        QTest::newRow("missing file") << QStringList{"--replay", "@missing", "--port", "/dev/null"} << 2
                                      << "Cannot read";
        QTest::newRow("no requests") << QStringList{"--replay", "@answers", "--port", "/dev/null"} << 2
                                     << "cannot be played: its left panel holds no frames";
        QTest::newRow("damaged") << QStringList{"--replay", "@damaged", "--port", "/dev/null"} << 2
                                 << "cannot be played: line 2: hex \"0\"";
        QTest::newRow("no such port") << QStringList{"--replay", "@csv", "--port", "/nonexistent/tty", "--protocol", "none"} << 1
                                      << "Cannot open /nonexistent/tty";
        QTest::newRow("device: protocol with a table")
            << QStringList{"--answer-as-device", "/dev/null", "--unit", "1", "--table", "@csv", "--protocol", "none"}
            << 2 << "--protocol goes with --from-capture";
        QTest::newRow("device: no request for the unit")
            << QStringList{"--answer-as-device", "/dev/null", "--unit", "2", "--from-capture", "@csv", "--protocol",
                           "modbus-rtu"}
            << 2 << "holds no request for unit 2";
        QTest::newRow("device: no requests")
            << QStringList{"--answer-as-device", "/dev/null", "--unit", "1", "--from-capture", "@answers"} << 2
            << "it holds no Modbus RTU request";
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, reason);
        const QByteArray header = "time,panel,port,gap_ms,length,hex,text,check,event\n";
        const QString csv = m_dir.filePath("requests.csv");
        const QString answers = m_dir.filePath("answers.csv");
        const QString damaged = m_dir.filePath("damaged.csv");
        QVERIFY(writeFile(csv, header + "2026-12-07T14:03:11.482,left,COM1,,8,01 03 00 00 00 03 05 CB,,,\n"));
        QVERIFY(writeFile(answers, header + "2026-12-07T14:03:11.482,right,COM1,,2,01 83,,,\n"));
        QVERIFY(writeFile(damaged, header + "2026-12-07T14:03:11.482,left,COM1,,1,0,,,\n"));
        for (QString &a : arguments) {
            if (a == "@csv")
                a = csv;
            else if (a == "@answers")
                a = answers;
            else if (a == "@damaged")
                a = damaged;
            else if (a == "@missing")
                a = m_dir.filePath("missing.pcapng");
        }
        const Run run = tavrin(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestReplayPeers)
#include "tst_replay_peers.moc"
