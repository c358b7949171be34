// morvex run as a test rig runs it: one exchange, no window, through a port
// number that --device-dir maps onto a pseudo-terminal.

#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_process.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/ser2net.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using testsupport::PseudoTerminal;
using testsupport::Ser2net;

namespace {

using testsupport::hex;

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QByteArray received; // what reached the adapter
    int baudRate = 0;    // the line's rate when the frame arrived
    // and its stop bits and odd parity (CSTOPB, PARODD): a pseudo-terminal
    // keeps those, but always reads as 8 data bits without parity.
    tcflag_t frameBits = 0;
    bool lockedWhileOpen = false; // the port's lock file was there then
};

// Folder of port devices: ttyUSB<n-1> for port n links to the
// pseudo-terminal.
class Rig {
public:
    explicit Rig(int port = 1)
    {
        QFile::link(pty.slavePath(), QStringLiteral("%1/ttyUSB%2").arg(devices.path()).arg(port - 1));
    }

    // Runs morvex; when a frame comes, the adapter answers `reply`, or
    // morvex is sent `signal`.
    Run run(QStringList arguments, const QByteArray &reply = {}, int signal = 0)
    {
        arguments << QStringLiteral("--device-dir") << devices.path() << QStringLiteral("--sysfs") << sysfs.root();
        // No display at all: the window-less exchange must not need one.
        QProcess process;
        testsupport::startWithoutDisplay(process, QStringLiteral(MORVEX_PATH), arguments);
        Run result;
        // Look at the line until a whole frame came or morvex ended.
        for (int pass = 0; pass < 100 && result.received.size() < 8; ++pass) {
            result.received += pty.read(8 - int(result.received.size()), 20);
            if (process.state() == QProcess::NotRunning || process.waitForFinished(20))
                break;
        }
        result.baudRate = pty.slaveBaudRate();
        result.frameBits = pty.slaveSettings().c_cflag & (CSTOPB | PARODD);
        result.lockedWhileOpen = QFile::exists(lockFile());
        if (result.received.size() == 8 && !reply.isEmpty())
            pty.write(reply);
        if (result.received.size() == 8 && signal)
            ::kill(pid_t(process.processId()), signal);
        if (!process.waitForFinished(10000))
            process.kill();
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // The serial port's lock file for port 1.
    QString lockFile() const
    {
        return "/var/lock/LCK.." + devices.filePath("ttyUSB0").replace('/', '_');
    }

    PseudoTerminal pty;
    QTemporaryDir devices;
    testsupport::FakeSysfs sysfs;
};

} // namespace

class TestMorvexCommandLine : public QObject {
    Q_OBJECT
private slots:
    void exchanges_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        const QString port = QStringLiteral("--port=1");
        QTest::newRow("FP acknowledged") << QStringList{"--preset", "FP", port} << hex("06")
                                         << hex("7E 35 5C 4F 38 31 47 7E") << 0
                                         << "19200,o,8,1 設定成功 \n通訊設定已更新 (";
        QTest::newRow("FX, lower case") << QStringList{"--preset", "fx", port} << hex("06")
                                        << hex("7E 35 60 45 37 31 40 7E") << 0 << "9600,e,7,1 設定成功 ";
        QTest::newRow("AQ refused") << QStringList{"--preset", "AQ", port} << hex("15")
                                    << hex("7E 35 60 4F 38 32 4C 7E") << 3 << "通訊錯誤 (";
        QTest::newRow("user setting") << QStringList{"--settings", "38400,o,8,2", port} << hex("06")
                                      << hex("7E 35 54 4F 38 32 40 7E") << 0 << "38400,o,8,2 設定成功 ";
        QTest::newRow("user setting, none") << QStringList{"--settings", "19200,n,8,1", port} << hex("06")
                                            << hex("7E 35 5C 4E 38 31 46 7E") << 0 << "19200,n,8,1 設定成功 ";
        QTest::newRow("silent") << QStringList{"--preset", "FP", port} << QByteArray()
                                << hex("7E 35 5C 4F 38 31 47 7E") << 4 << "通訊錯誤,請檢查藍芽裝置 (";
        QTest::newRow("another answer") << QStringList{"--preset", "FP", port} << hex("41")
                                        << hex("7E 35 5C 4F 38 31 47 7E") << 5 << "通訊錯誤 (";
        QTest::newRow("two bytes, ack first") << QStringList{"--preset", "FP", port} << hex("06 15")
                                              << hex("7E 35 5C 4F 38 31 47 7E") << 0 << "Reply: 06 15\n";
    }
    void exchanges()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, frame);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        Rig rig;
        const Run result = rig.run(arguments, reply);

        QCOMPARE(result.received.toHex(' '), frame.toHex(' '));
        QCOMPARE(result.baudRate, 9600);
        QCOMPARE(result.exitCode, exitCode);
        const QString out = QString::fromUtf8(result.out);
        QVERIFY2(out.contains(QStringLiteral("Sent: ") + testsupport::spaced(frame) + u'\n'),
                 qPrintable(out));
        QVERIFY2(out.contains(outcome), qPrintable(out));
        QCOMPARE(result.err, QByteArray());
    }

    // --from: the frame goes out at the adapter's present settings.
    void sentAtTheSettingsGiven()
    {
        Rig rig;
        const Run result = rig.run({"--preset", "FX", "--port", "1", "--from", "19200,o,8,1"}, hex("06"));
        QCOMPARE(result.received.toHex(' '), hex("7E 35 60 45 37 31 40 7E").toHex(' '));
        QCOMPARE(result.baudRate, 19200);
        QCOMPARE(result.exitCode, 0);
    }

    // Without --port the bridge's port from discovery is used, as the
    // window preselects it.
    void portFromDiscovery()
    {
        Rig rig(2);
        rig.sysfs.addBridge(QStringLiteral("1-1"), 1, "0001", "CP2102 USB to UART Bridge Controller");
        const Run result = rig.run({"--preset", "FP"}, hex("06"));
        QCOMPARE(result.received.toHex(' '), hex("7E 35 5C 4F 38 31 47 7E").toHex(' '));
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.startsWith("Port: COM2 ("), result.out.constData());
    }

    // Ended by a signal while it waits for the reply: the port is closed
    // and its lock file removed.
    void signalWhileWaiting()
    {
        Rig rig;
        const Run result = rig.run({"--preset", "FX", "--port", "1"}, {}, SIGTERM);
        QCOMPARE(result.received.size(), 8);
        QVERIFY(result.lockedWhileOpen);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.out.contains("cut short"), result.out.constData());
        QVERIFY(!QFile::exists(rig.lockFile()));
    }

    // Through a device server: ser2net serves the pseudo-terminal the test
    // answers on as the adapter. RFC 2217 sets the far line to the
    // adapter's present settings before the frame goes; raw TCP leaves the
    // line as the server has it (9600,n,8,1 here).
    void throughDeviceServer_data()
    {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("frameBits");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        const QByteArray fp = hex("7E 35 5C 4F 38 31 47 7E");
        const int even = 0, odd = PARODD;
        QTest::newRow("fp acknowledged") << false << QStringList{"--preset", "fp"} << hex("06") << fp << 9600 << even
                                         << 0 << "19200,o,8,1 設定成功 ";
        QTest::newRow("at the settings given")
            << false << QStringList{"--preset", "FX", "--from", "19200,o,8,1"} << hex("06")
            << hex("7E 35 60 45 37 31 40 7E") << 19200 << odd << 0 << "9600,e,7,1 設定成功 ";
        QTest::newRow("two stop bits given")
            << false << QStringList{"--preset", "FP", "--from", "38400,o,8,2"} << hex("06") << fp << 38400
            << int(odd | CSTOPB) << 0 << "19200,o,8,1 設定成功 ";
        QTest::newRow("refused") << false << QStringList{"--settings", "38400,o,8,2"} << hex("15")
                                 << hex("7E 35 54 4F 38 32 40 7E") << 9600 << even << 3 << "通訊錯誤 (";
        // 0xFF is telnet's IAC: it must come through as one data byte.
        QTest::newRow("answer FF") << false << QStringList{"--preset", "FP"} << hex("FF 06") << fp << 9600 << even
                                   << 5 << "Reply: FF 06\n";
        QTest::newRow("silent") << false << QStringList{"--preset", "FP"} << QByteArray() << fp << 9600 << even
                                << 4 << "通訊錯誤,請檢查藍芽裝置 (";
        QTest::newRow("raw tcp acknowledged") << true << QStringList{"--preset", "FP"} << hex("06") << fp << 9600
                                              << 0 << 0 << "tcp: settings fixed by the server\n";
    }
    void throughDeviceServer()
    {
        QFETCH(bool, raw);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, frame);
        QFETCH(int, baudRate);
        QFETCH(int, frameBits);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        Rig rig;
        Ser2net server(rig.pty.slavePath(), raw ? Ser2net::Protocol::RawTcp : Ser2net::Protocol::Rfc2217);
        if (!server.start())
            QSKIP(qPrintable(server.whyNot()));
        const Run result = rig.run(arguments << QStringLiteral("--port") << server.portText(), reply);

        QCOMPARE(result.received.toHex(' '), frame.toHex(' '));
        QCOMPARE(result.baudRate, baudRate);
        QCOMPARE(int(result.frameBits), frameBits);
        QCOMPARE(result.exitCode, exitCode);
        const QString out = QString::fromUtf8(result.out);
        QVERIFY2(out.startsWith(QStringLiteral("Port: %1 (127.0.0.1, port %2)").arg(server.portText()).arg(server.port())),
                 qPrintable(out));
        QVERIFY2(out.contains(outcome), qPrintable(out));
        QCOMPARE(result.err, QByteArray());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("unreadableBridge");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("missing port") << QStringList{"--preset", "FP", "--port", "7"} << false
                                      << QByteArray("通訊埠無法開啟 (the port cannot be opened");
        QTest::newRow("bridge without a port") << QStringList{"--preset", "FP"} << true
                                               << QByteArray("通訊埠發生錯誤!");
        const QString nobody = QStringLiteral("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort());
        QTest::newRow("server refuses") << QStringList{"--preset", "FP", "--port", nobody} << false
                                        << QByteArray("通訊埠無法開啟 (the port cannot be opened)\nCannot open "
                                                      + nobody.toLatin1() + ": connection refused by 127.0.0.1");
        QTest::newRow("raw server refuses")
            << QStringList{"--preset", "FP", "--port", QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2net::freePort())}
            << false << QByteArray("connection refused by 127.0.0.1");
        QTest::newRow("unknown host") << QStringList{"--preset", "FP", "--port", "rfc2217://no-such-host.invalid:4001"}
                                      << false << QByteArray("host not found: no-such-host.invalid");
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, unreadableBridge);
        QFETCH(QByteArray, reason);
        Rig rig;
        if (unreadableBridge)
            rig.sysfs.addBridge(QStringLiteral("1-1"), 0, "0001", "CP2102", "zz");
        const Run result = rig.run(arguments);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.received, QByteArray());
        QVERIFY2(result.err.contains(reason), result.err.constData());
        QVERIFY(!result.out.contains("Sent:"));
    }

    void usageMistakes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("baud not listed") << QStringList{"--settings", "4800,o,8,2"} << QByteArray("window's lists");
        QTest::newRow("stop bits 1.5") << QStringList{"--settings", "9600,o,8,1.5"} << QByteArray("window's lists");
        QTest::newRow("parity mark") << QStringList{"--settings", "9600,m,8,1"} << QByteArray("window's lists");
        QTest::newRow("three values") << QStringList{"--settings", "9600,o,8"} << QByteArray("window's lists");
        QTest::newRow("unknown preset") << QStringList{"--preset", "FZ"} << QByteArray("FX, AQ or FP");
        QTest::newRow("both") << QStringList{"--preset", "FX", "--settings", "9600,e,7,1"} << QByteArray("together");
        QTest::newRow("port 0") << QStringList{"--preset", "FX", "--port", "0"} << QByteArray("1 to 255");
        QTest::newRow("port word") << QStringList{"--preset", "FX", "--port", "COM1"} << QByteArray("1 to 255");
        for (const char *number : {" 5", "+5", "05", "5 ", "256", "12345678901234567890"})
            QTest::addRow("port '%s'", number) << QStringList{"--preset", "FX", "--port", number} << QByteArray("1 to 255");
        QTest::newRow("server port 0") << QStringList{"--preset", "FX", "--port", "rfc2217://host:0"}
                                       << QByteArray("from 1 to 65535");
        QTest::newRow("server user name") << QStringList{"--preset", "FX", "--port", "tcp://admin@host:23"}
                                          << QByteArray("user name");
        QTest::newRow("server path") << QStringList{"--preset", "FX", "--port", "RFC2217://host:23/1"}
                                     << QByteArray("a path");
        QTest::newRow("server without port") << QStringList{"--preset", "FX", "--port", "tcp://[::1]"}
                                             << QByteArray("gives no port");
        QTest::newRow("parity in upper case") << QStringList{"--settings", "9600,N,7,1"} << QByteArray("window's lists");

        QTest::newRow("port alone") << QStringList{"--port", "1"} << QByteArray("needs --preset");
        QTest::newRow("bad from") << QStringList{"--preset", "FX", "--from", "fast"} << QByteArray("'fast'");
        QTest::newRow("missing value") << QStringList{"--preset"} << QByteArray("preset");
    }
    void usageMistakes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reason);
        Rig rig;
        const Run result = rig.run(arguments);
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.received, QByteArray());
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains(reason), result.err.constData());
        QVERIFY(result.err.contains("Usage: morvex"));
    }
};

QTEST_GUILESS_MAIN(TestMorvexCommandLine)
#include "tst_morvex_command_line.moc"
