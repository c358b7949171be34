// tavrin --answer-as-device as a technician runs it: the program itself on
// a pseudo-terminal, the test the Modbus master on the far end; then a real
// master (mbpoll) against it through a null-modem pair.
#include "console/device/device_command.h"
#include "console/device/panel_device.h"
#include "console/device/register_file.h"
#include "tests/support/files.h"
#include "tests/support/hex.h"
#include "tests/support/null_modem.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/sniffing_rig.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using testsupport::PseudoTerminal;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString kTavrin = QStringLiteral(TAVRIN_PROGRAM);

using testsupport::hex;
using testsupport::spaced;

const QByteArray kTable = "table,address,value\n"
                          "coil,0,1\ncoil,1,0\ncoil,2,1\n"
                          "discrete,0,0\ndiscrete,1,1\n"
                          "input,0,500\ninput,1,501\n"
                          "holding,0,10\nholding,1,20\nholding,2,30\n";

// Runs the device and waits until it holds the port.
bool startDevice(QProcess &tavrin, const QStringList &arguments)
{
    tavrin.start(kTavrin, arguments);
    return tavrin.waitForStarted();
}

// Asks until an answer comes: the device may not have opened the port yet
// when the first request is written.
QByteArray firstAnswer(PseudoTerminal &line, const QByteArray &request, int length)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        line.write(request);
        const QByteArray got = line.read(length, 200);
        if (!got.isEmpty())
            return got.size() < length ? got + line.read(length - int(got.size())) : got;
    }
    return {};
}

int finish(QProcess &tavrin)
{
    ::kill(pid_t(tavrin.processId()), SIGTERM);
    if (!tavrin.waitForFinished(20000))
        return -1;
    return tavrin.exitStatus() == QProcess::NormalExit ? tavrin.exitCode() : -1;
}

} // namespace

class TestDevice : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void theTestIsTheMaster()
    {
        PseudoTerminal line;
        const QString table = m_dir.filePath("master.csv");
        QVERIFY(writeFile(table, kTable + "holding,2,40\n"));
        QProcess tavrin;
        QVERIFY(startDevice(tavrin, {"--answer-as-device", line.slavePath() + ",19200,e,8,1", "--unit", "1,5",
                                     "--table", table, "--verbose", "--save-table"}));
        // Holding 0-2 (the later value of 2 won).
        QCOMPARE(spaced(firstAnswer(line, hex("01 03 00 00 00 03 05 CB"), 11)),
                 "01 03 06 00 0A 00 14 00 28 F9 6E");
        // A request split across two writes is answered once whole.
        line.write(hex("01 04 00 00"));
        QTest::qSleep(20);
        line.write(hex("00 02 71 CB"));
        QCOMPARE(spaced(line.read(9)), "01 04 04 01 F4 01 F5 7A 5D");
        // Another unit, then a bad CRC: no answer; the next request is
        // answered, so nothing of them was left waiting.
        line.write(hex("02 03 00 00 00 01 84 39"));
        line.write(hex("01 03 00 00 00 01 84 0B"));
        line.write(hex("05 01 00 00 00 03 7D 8F"));
        QCOMPARE(spaced(line.read(6)), "05 01 01 05 90 BB");
        // A broadcast write answers nothing and is applied; unit 5 reads it.
        line.write(hex("00 06 00 01 01 2C D9 96"));
        QVERIFY(line.read(1, 300).isEmpty());
        line.write(hex("05 03 00 01 00 01 D4 4E"));
        QCOMPARE(spaced(line.read(7)), "05 03 02 01 2C 49 C9");
        // Past the table: exception 2.
        line.write(hex("01 03 00 02 00 02 65 CB"));
        QCOMPARE(spaced(line.read(5)), "01 83 02 C0 F1");
        QCOMPARE(finish(tavrin), 0);
        const QString out = QString::fromLocal8Bit(tavrin.readAllStandardOutput());
        QVERIFY2(out.contains(QRegularExpression(
                     "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d unit 1 function 3 address 0 count 3 ok$",
                     QRegularExpression::MultilineOption)),
                 qPrintable(out));
        QVERIFY2(out.contains(" unit 2 function 3 address 0 count 1 other unit, no answer\n"), qPrintable(out));
        QVERIFY2(out.contains(" unit 1 function 3 address 0 count 1 bad CRC, no answer\n"), qPrintable(out));
        QVERIFY2(out.contains(" unit 0 function 6 address 1 count 1 broadcast, no answer\n"), qPrintable(out));
        QVERIFY2(out.contains(" unit 1 function 3 address 2 count 2 exception 2 (Illegal data address)\n"),
                 qPrintable(out));
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.contains("line 12: holding 2 was given on line 11 too; the later value 40 is kept"),
                 qPrintable(err));
        QVERIFY2(err.contains("Answered 5 of 7 requests (1 exceptions)"), qPrintable(err));
        // What the master wrote went back to the file.
        const auto saved = console::loadRegisterFile(table);
        QVERIFY(saved.table);
        QCOMPARE(saved.table->value(protocol::RegisterKind::Holding, 1), std::optional<std::uint16_t>(300));
        QCOMPARE(saved.table->value(protocol::RegisterKind::Holding, 2), std::optional<std::uint16_t>(40));
        QVERIFY(saved.remarks.isEmpty());
    }

    void withoutSaveTableTheFileStays()
    {
        PseudoTerminal line;
        const QString table = m_dir.filePath("kept.csv");
        QVERIFY(writeFile(table, kTable));
        QProcess tavrin;
        QVERIFY(startDevice(tavrin, {"--answer-as-device", line.slavePath(), "--unit", "1", "--table", table}));
        QCOMPARE(spaced(firstAnswer(line, hex("01 06 00 01 00 03 98 0B"), 8)), "01 06 00 01 00 03 98 0B");
        QCOMPARE(finish(tavrin), 0);
        QCOMPARE(readFile(table), kTable);
        // Standard output is no terminal and --verbose was not given.
        QCOMPARE(tavrin.readAllStandardOutput(), QByteArray());
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        const QByteArray good = kTable;
        QTest::newRow("bad table line") << QStringList{"--unit", "1", "--table", "@"} << QByteArray("coil,1,1\nholding,1,x\n")
                                        << 2 << "line 2: value \"x\" is out of range 0-65535 in table holding";
        QTest::newRow("no unit") << QStringList{"--table", "@"} << good << 2 << "needs --unit";
        QTest::newRow("unit 248") << QStringList{"--unit", "1,248", "--table", "@"} << good << 2
                                  << "--unit: unit \"248\"";
        QTest::newRow("unit 0") << QStringList{"--unit", "0", "--table", "@"} << good << 2 << "--unit: unit \"0\"";
        QTest::newRow("no table") << QStringList{"--unit", "1"} << good << 2 << "needs one of --table";
        QTest::newRow("delay too long") << QStringList{"--unit", "1", "--table", "@", "--reply-delay", "10001"} << good
                                        << 2 << "--reply-delay 10001";
        QTest::newRow("delay not a number") << QStringList{"--unit", "1", "--table", "@", "--reply-delay", "-1"}
                                            << good << 2 << "--reply-delay -1";
        QTest::newRow("unit without device") << QStringList{"--unit", "1"} << good << 2
                                             << "--unit goes with --answer-as-device";
        QTest::newRow("missing table file") << QStringList{"--unit", "1", "--table", "@missing"} << good << 2
                                            << "Cannot read";
        QTest::newRow("no such port") << QStringList{"--unit", "1", "--table", "@", "PORT=/nonexistent/tty"} << good
                                      << 1 << "Cannot open /nonexistent/tty";
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, table);
        QFETCH(int, status);
        QFETCH(QString, reason);
        PseudoTerminal line;
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".csv");
        QVERIFY(writeFile(path, table));
        QStringList given;
        QString port = line.slavePath();
        for (const QString &a : arguments) {
            if (a.startsWith("PORT="))
                port = a.mid(5);
            else
                given << (a == "@" ? path : a == "@missing" ? path + ".not" : a);
        }
        if (!QString(QTest::currentDataTag()).contains("without device"))
            given = QStringList{"--answer-as-device", port} + given;
        QProcess tavrin;
        tavrin.start(kTavrin, given);
        QVERIFY(tavrin.waitForFinished(20000));
        QCOMPARE(tavrin.exitCode(), status);
        const QString err = QString::fromLocal8Bit(tavrin.readAllStandardError());
        QVERIFY2(err.contains(reason), qPrintable(err));
    }

    void optionsParsed()
    {
        console::DeviceArguments a;
        a.device = "/dev/ttyUSB0,115200,n,8,2";
        a.unit = "3,1";
        a.table = "t.csv";
        a.replyDelay = "10000";
        QString reason;
        const auto options = console::parseDeviceOptions(a, &reason);
        QVERIFY2(options, qPrintable(reason));
        QCOMPARE(options->port, "/dev/ttyUSB0");
        QCOMPARE(options->settings, "115200,n,8,2");
        QCOMPARE(options->replyDelayMs, 10000);
        QCOMPARE(options->units, (std::vector<std::uint8_t>{3, 1}));
        a.device = "COM3,9600,x,8,1";
        QVERIFY(!console::parseDeviceOptions(a, &reason));
        QVERIFY2(reason.contains("\"9600,x,8,1\" is not a settings string"), qPrintable(reason));
    }

    // Under a flood answers always wait; the panel may still let go of
    // what was fed, else its memory grows with the flood.
    void floodedPanelCanBeCleared()
    {
        console::Panel panel;
        protocol::RegisterTable table;
        table.set(protocol::RegisterKind::Holding, 0, 1);
        protocol::ModbusAnswerer answerer(table, {1});
        protocol::ModbusDevice::Options options;
        options.maxWaiting = 4;
        console::PanelDevice device(panel, answerer, options);
        QByteArray flood;
        for (int i = 0; i < 100; ++i)
            flood += hex("01 03 00 00 00 01 84 0A");
        panel.show(flood);
        QCOMPARE(device.counts().requests, 100);
        QCOMPARE(device.counts().dropped, 96);
        QVERIFY(device.caughtUp());
        panel.clear();
        panel.show(hex("01 03 00 00 00 01 84 0A"));
        QCOMPARE(device.counts().requests, 101);
    }

    // The time an answer holds the line, from which the next one waits.
    void byteTimes()
    {
        QCOMPARE(console::byteTimeUs("9600,n,8,1"), 1042);   // 10 bits
        QCOMPARE(console::byteTimeUs("19200,e,8,1"), 573);   // 11 bits
        QCOMPARE(console::byteTimeUs("9600,o,7,2"), 1146);   // 11 bits
        QCOMPARE(console::byteTimeUs("1200,n,8,1.5"), 8750); // 10.5 bits
        QCOMPARE(console::byteTimeUs("115200,n,5,1"), 61);   // 7 bits
        QCOMPARE(console::byteTimeUs("fast"), 0);
    }

    void saveGoesThroughTheWriter()
    {
        protocol::RegisterTable table;
        table.set(protocol::RegisterKind::Input, 4, 65535);
        const QString path = m_dir.filePath("saved.csv");
        QString failure;
        QVERIFY(console::saveRegisterFile(path, table, &failure));
        QCOMPARE(readFile(path), QByteArray("table,address,value\ninput,4,65535\n"));
        // A folder that does not exist: refused with the reason, nothing left.
        QVERIFY(!console::saveRegisterFile(m_dir.filePath("no/such/folder/t.csv"), table, &failure));
        QVERIFY2(failure.startsWith("Cannot save "), qPrintable(failure));
    }

    void mbpollAgainstTheDevice()
    {
        testsupport::NullModem cable;
        QVERIFY(cable.isValid());
        const QString table = m_dir.filePath("mbpoll.csv");
        QVERIFY(writeFile(table, kTable));
        QProcess tavrin;
        QVERIFY(startDevice(tavrin, {"--answer-as-device", cable.endA() + ",19200,e,8,1", "--unit", "7", "--table",
                                     table, "--save-table"}));
        // The values to write go after the device.
        const auto mbpoll = [&](const QStringList &arguments, const QStringList &values = {}) {
            QProcess master;
            master.start("mbpoll", QStringList{"-m", "rtu", "-a", "7", "-b", "19200", "-P", "even", "-1", "-o", "3",
                                               "-0"} + arguments + QStringList{cable.endB()} + values);
            if (!master.waitForFinished(30000))
                return QString("mbpoll did not finish");
            return QString::fromLocal8Bit(master.readAllStandardOutput() + master.readAllStandardError());
        };
        // The first poll may come before the device holds its port.
        QString out;
        for (int attempt = 0; attempt < 20 && !out.contains("[0]:"); ++attempt)
            out = mbpoll({"-t", "4", "-r", "0", "-c", "3"});
        const auto values = testsupport::mbpollValues;
        QCOMPARE(values(out), "0=10 1=20 2=30");
        QCOMPARE(values(mbpoll({"-t", "3", "-r", "0", "-c", "2"})), "0=500 1=501");
        QCOMPARE(values(mbpoll({"-t", "0", "-r", "0", "-c", "3"})), "0=1 1=0 2=1");
        QCOMPARE(values(mbpoll({"-t", "1", "-r", "0", "-c", "2"})), "0=0 1=1");
        QVERIFY(mbpoll({"-t", "4", "-r", "1"}, {"1234", "4321"}).contains("Written 2 references"));
        QCOMPARE(values(mbpoll({"-t", "4", "-r", "0", "-c", "3"})), "0=10 1=1234 2=4321");
        out = mbpoll({"-t", "4", "-r", "2", "-c", "2"});
        QVERIFY2(out.contains("Illegal data address"), qPrintable(out));
        QCOMPARE(finish(tavrin), 0);
        const auto saved = console::loadRegisterFile(table);
        QVERIFY(saved.table);
        QCOMPARE(saved.table->value(protocol::RegisterKind::Holding, 2), std::optional<std::uint16_t>(4321));
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
