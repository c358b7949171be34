// morvex run as a test rig runs it: one exchange, no window, through a port
// number that --device-dir maps onto a pseudo-terminal.

#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_process.h"
#include "tests/support/pseudo_terminal.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::PseudoTerminal;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QByteArray received; // what reached the adapter
    int baudRate = 0;    // the line's rate when the frame arrived
};

// Folder of port devices: ttyUSB<n-1> for port n links to the
// pseudo-terminal.
class Rig {
public:
    explicit Rig(int port = 1)
    {
        QFile::link(pty.slavePath(), QStringLiteral("%1/ttyUSB%2").arg(devices.path()).arg(port - 1));
    }

    // Runs morvex; when a frame comes, the adapter answers `reply`.
    Run run(QStringList arguments, const QByteArray &reply = {})
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
        if (result.received.size() == 8 && !reply.isEmpty())
            pty.write(reply);
        if (!process.waitForFinished(10000))
            process.kill();
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
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
        QVERIFY2(out.contains(QStringLiteral("Sent: ") + QString::fromLatin1(frame.toHex(' ').toUpper()) + u'\n'),
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

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("unreadableBridge");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("missing port") << QStringList{"--preset", "FP", "--port", "7"} << false
                                      << QByteArray("通訊埠無法開啟 (the port cannot be opened");
        QTest::newRow("bridge without a port") << QStringList{"--preset", "FP"} << true
                                               << QByteArray("通訊埠發生錯誤!");
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
