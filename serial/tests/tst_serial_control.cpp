#include "serial/port_names.h"
#include "serial/serial_control.h"
#include "serial/settings_string.h"
#include "tests/support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <cerrno>
#include <QSignalSpy>
#include <QTest>

using serial::SerialControl;
using testsupport::PseudoTerminal;

class TestSerialControl : public QObject {
    Q_OBJECT
private slots:
    void settingsStrings_data();
    void settingsStrings();
    void portTexts_data();
    void portTexts();
    void typedBaudRates_data();
    void typedBaudRates();
    void openAppliesSettingsToTheLine_data();
    void openAppliesSettingsToTheLine();
    void bytesBothWaysUnchanged();
    void textGoesOutThroughTheCodePage();
    void missingDeviceRefusesToOpen();
    void settingsRefusedWhileOpen();
    void modemLinesOnAPseudoTerminalDoNotFailTheOpen();
    void farEndGoneIsAFault();
    void oneEventReadsTheSame_data();
    void oneEventReadsTheSame();
    void clearInBufferDiscardsWaitingBytes();
    void failedOpenStepLeavesThePortClosed_data();
    void failedOpenStepLeavesThePortClosed();

private:
    static QByteArray waitForBytes(SerialControl &c, int count);
};

void TestSerialControl::settingsStrings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    const auto refused = [](const char *name, const QString &text) {
        QTest::newRow(name) << text << false << 0 << 0 << 0 << 0;
    };
    // Every string the programs build.
    QTest::newRow("start-up") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("configurator") << "9600,e,7,1" << true << 9600 << int(QSerialPort::EvenParity) << 7 << int(QSerialPort::OneStop);
    QTest::newRow("preset 19200") << "19200,o,8,1" << true << 19200 << int(QSerialPort::OddParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("odd two stop") << "38400,o,8,2" << true << 38400 << int(QSerialPort::OddParity) << 8 << int(QSerialPort::TwoStop);
    // Combinations are passed as built, none filtered out.
    QTest::newRow("5 data 2 stop") << "9600,n,5,2" << true << 9600 << int(QSerialPort::NoParity) << 5 << int(QSerialPort::TwoStop);
    QTest::newRow("one and a half") << "4800,n,6,1.5" << true << 4800 << int(QSerialPort::NoParity) << 6 << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("odd rate") << "28800,n,8,1" << true << 28800 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("largest rate") << "2147483647,n,8,1" << true << 2147483647 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("one baud") << "1,e,8,2" << true << 1 << int(QSerialPort::EvenParity) << 8 << int(QSerialPort::TwoStop);

    refused("NUL in a short baud", QString::fromLatin1("2\0,o,5,2", 8));
    refused("NUL then junk in the baud", QString::fromLatin1("9600\0junk,n,8,1", 16));
    refused("NUL at the end", QString::fromLatin1("9600,n,8,1\0", 11));
    refused("blank inside the baud", "96 00,n,8,1");
    refused("leading blank", " 9600,n,8,1");
    refused("trailing blank", "9600,n,8,1 ");
    refused("blank after a comma", "9600, n,8,1");
    refused("tab", "9600,n,8,\t1");
    refused("five fields", "9600,n,8,1,1");
    refused("three fields", "9600,n,8");
    refused("empty field", "9600,,8,1");
    refused("trailing comma", "9600,n,8,1,");
    refused("mark parity", "9600,m,8,1");
    refused("space parity", "9600,s,8,1");
    refused("upper-case parity", "9600,N,8,1");
    refused("parity word", "9600,none,8,1");
    refused("parity x", "9600,x,8,1");
    refused("nine data bits", "9600,n,9,1");
    refused("four data bits", "9600,n,4,1");
    refused("data bits 08", "9600,n,08,1");
    refused("stop bits 0", "9600,n,8,0");
    refused("stop bits 3", "9600,n,8,3");
    refused("stop bits 1.0", "9600,n,8,1.0");
    refused("stop bits 1,5", "9600,n,8,1,5");
    refused("zero baud", "0,n,8,1");
    refused("leading zero", "09600,n,8,1");
    refused("signed baud", "+9600,n,8,1");
    refused("negative baud", "-9600,n,8,1");
    refused("hex baud", "0x2580,n,8,1");
    refused("fractional baud", "9600.5,n,8,1");
    refused("baud past 32 bits", "2147483648,n,8,1");
    refused("baud of 11 digits", "10000000000,n,8,1");
    refused("baud of 20 digits", "12345678901234567890,n,8,1");
    refused("full-width digits", QStringLiteral("\uff19\uff16\uff10\uff10,n,8,1"));
    refused("semicolons", "9600;n;8;1");
    refused("empty", "");
}

void TestSerialControl::settingsStrings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto parsed = serial::parseSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QCOMPARE(parsed->baudRate, baud);
    QCOMPARE(int(parsed->parity), parity);
    QCOMPARE(int(parsed->dataBits), dataBits);
    QCOMPARE(int(parsed->stopBits), stopBits);
}

void TestSerialControl::portTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("names");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device"); // or a part of the refusal

    QTest::newRow("1") << "1" << true << 1 << "/dev/ttyUSB0";
    QTest::newRow("16") << "16" << true << 16 << "/dev/ttyUSB15";
    QTest::newRow("leading zero") << "01" << true << 1 << "/dev/ttyUSB0";
    QTest::newRow("COM3") << "COM3" << true << 3 << "/dev/ttyUSB2";
    QTest::newRow("com12, any case") << "cOm12" << true << 12 << "/dev/ttyUSB11";
    QTest::newRow("path") << "/dev/pts/3" << true << 0 << "/dev/pts/3";
    QTest::newRow("zero") << "0" << false << 0 << "start at 1";
    QTest::newRow("COM0") << "COM0" << false << 0 << "start at 1";
    QTest::newRow("COM then letters") << "COM3a" << false << 0 << "COM must be followed by a port number only";
    QTest::newRow("word") << "COMx" << false << 0 << "COM must be followed";
    QTest::newRow("negative") << "-1" << false << 0 << "\"-1\" names no port";
    QTest::newRow("blank number") << " 3" << false << 0 << "names no port";
    QTest::newRow("empty") << "" << false << 0 << "No port given";
    QTest::newRow("slash only") << "/" << false << 0 << "names no port";
    QTest::newRow("huge") << "99999999999" << false << 0 << "too large";
}

void TestSerialControl::portTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, names);
    QFETCH(QString, device);
    const auto check = serial::checkPortText(text);
    QCOMPARE(check.address.has_value(), names);
    QCOMPARE(serial::resolvePortText(text).has_value(), names);
    if (!names) {
        QVERIFY2(check.refusal.contains(device), qPrintable(check.refusal));
        return;
    }
    QFETCH(int, number);
    QCOMPARE(check.address->number, number);
    QCOMPARE(check.address->device, device);
    QCOMPARE(check.refusal, QString());
}

void TestSerialControl::typedBaudRates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rate");       // 0: refused
    QTest::addColumn<QString>("refusal"); // a part of it

    QTest::newRow("115200") << "115200" << 115200 << "";
    QTest::newRow("lowest") << "50" << 50 << "";
    QTest::newRow("blanks around") << " 250000 " << 250000 << "";
    QTest::newRow("leading zeros") << "0009600" << 9600 << "";
    QTest::newRow("below") << "49" << 0 << "49 is outside the baud rates from 50 to 4000000";
    QTest::newRow("above") << "4000001" << 0 << "outside";
    QTest::newRow("past 32 bits") << "99999999999" << 0 << "outside";
    QTest::newRow("fraction") << "9600.5" << 0 << "\"9600.5\" is not a whole number";
    QTest::newRow("empty") << "" << 0 << "Type a baud rate from 50 to 4000000";
}

void TestSerialControl::typedBaudRates()
{
    QFETCH(QString, text);
    QFETCH(int, rate);
    QFETCH(QString, refusal);
    const serial::TypedBaudRate typed = serial::parseTypedBaudRate(text);
    QCOMPARE(typed.rate.value_or(0), rate);
    QVERIFY2(refusal.isEmpty() ? typed.refusal.isEmpty() : typed.refusal.contains(refusal), qPrintable(typed.refusal));
    // Whatever is accepted goes into a settings string.
    if (typed.rate)
        QVERIFY(serial::parseSettings(QString::number(*typed.rate) + ",n,8,1"));
}

void TestSerialControl::openAppliesSettingsToTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");

    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << 9600 << 1 << int(QSerialPort::NoParity) << 8;
    QTest::newRow("19200,e,7,2") << "19200,e,7,2" << 19200 << 2 << int(QSerialPort::EvenParity) << 7;
    QTest::newRow("57600,o,5,2") << "57600,o,5,2" << 57600 << 2 << int(QSerialPort::OddParity) << 5;
    QTest::newRow("14400,n,8,1") << "14400,n,8,1" << 14400 << 1 << int(QSerialPort::NoParity) << 8;
    QTest::newRow("250000,n,8,1") << "250000,n,8,1" << 250000 << 1 << int(QSerialPort::NoParity) << 8;
}

void TestSerialControl::openAppliesSettingsToTheLine()
{
    QFETCH(QString, settings);
    QFETCH(int, baud);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    QFETCH(int, dataBits);

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setSettings(settings));
    QVERIFY2(c.setPortOpen(true), qPrintable(c.lastError()));
    QVERIFY(c.portOpen());
    // The pseudo-terminal keeps the rate and stop bits it is given...
    QCOMPARE(pty.slaveBaudRate(), baud);
    QCOMPARE(pty.slaveStopBits(), stopBits);
    // ...but forces 8 data bits and no parity, so those are read on the port.
    QCOMPARE(int(c.port().parity()), parity);
    QCOMPARE(int(c.port().dataBits()), dataBits);
    QCOMPARE(c.port().flowControl(), QSerialPort::NoFlowControl);
    QVERIFY(c.setPortOpen(false));
    QVERIFY(!c.portOpen());
}

QByteArray TestSerialControl::waitForBytes(SerialControl &c, int count)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < 3000) {
        QTest::qWait(10);
        got += c.input();
    }
    return got;
}

void TestSerialControl::bytesBothWaysUnchanged()
{
    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setPortOpen(true));

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    pty.write(all);
    QCOMPARE(waitForBytes(c, 256), all);
    QCOMPARE(c.inBufferCount(), 0);

    QVERIFY(c.output(all));
    QCOMPARE(pty.read(256), all);
    QTRY_COMPARE(c.outBufferCount(), 0);
}

void TestSerialControl::textGoesOutThroughTheCodePage()
{
    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setPortOpen(true));
    QVERIFY(c.output(QStringLiteral("AT\u00e9\u4e2d\U0001F600")));
    QCOMPARE(pty.read(5), QByteArray("AT\xe9??"));
    QCOMPARE(pty.readAvailable(), QByteArray());
}

void TestSerialControl::missingDeviceRefusesToOpen()
{
    SerialControl c;
    c.setDevice(QStringLiteral("/dev/does-not-exist-42"));
    QVERIFY(!c.setPortOpen(true));
    QVERIFY(!c.portOpen());
    QVERIFY(c.lastError().contains(QStringLiteral("/dev/does-not-exist-42")));
    QVERIFY(!c.hasFault());
    // The port's own error code is kept for whoever explains the refusal.
    QCOMPARE(c.lastOpenFailure().step, SerialControl::OpenStep::Open);
    QCOMPARE(c.lastOpenFailure().error, QSerialPort::DeviceNotFoundError);

    c.setCommPort(200); // /dev/ttyUSB199: no such adapter here
    QCOMPARE(c.device(), QStringLiteral("/dev/ttyUSB199"));
    QVERIFY(!c.setPortOpen(true));
}

void TestSerialControl::settingsRefusedWhileOpen()
{
    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setSettings(QStringLiteral("19200,o,8,1")));
    QVERIFY(c.setPortOpen(true));
    QVERIFY(!c.setSettings(QStringLiteral("9600,n,8,1")));
    QCOMPARE(c.settings(), QStringLiteral("19200,o,8,1"));
    QVERIFY(!c.setSettings(QStringLiteral("junk")));
    c.setPortOpen(false);
    QVERIFY(!c.setSettings(QStringLiteral("junk")));
    QCOMPARE(c.settings(), QStringLiteral("19200,o,8,1"));
}

void TestSerialControl::modemLinesOnAPseudoTerminalDoNotFailTheOpen()
{
    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    c.setDTREnable(true);
    c.setRTSEnable(true);
    QVERIFY2(c.setPortOpen(true), qPrintable(c.lastError()));
    c.setDTREnable(false);
    QVERIFY(c.portOpen());
    QVERIFY(!c.hasFault());
    pty.write("x");
    QCOMPARE(waitForBytes(c, 1), QByteArray("x"));
}

void TestSerialControl::farEndGoneIsAFault()
{
    auto pty = std::make_unique<PseudoTerminal>();
    SerialControl c;
    c.setDevice(pty->slavePath());
    QVERIFY(c.setPortOpen(true));
    QSignalSpy faults(&c, &SerialControl::faulted);
    pty->write("last words");
    QTest::qWait(50);
    pty.reset();
    QTRY_VERIFY_WITH_TIMEOUT(c.hasFault(), 3000);
    QCOMPARE(faults.size(), 1);
    QVERIFY(!c.portOpen());
    // The reason is the hang-up, not what errno held from earlier.
    QVERIFY2(c.lastError().contains("hung up"), qPrintable(c.lastError()));
    // Nothing that arrived before the fault is lost.
    QCOMPARE(c.inBufferCount(), 10);
    QCOMPARE(c.input(), QByteArray("last words"));
    QVERIFY(c.setPortOpen(false));
    QVERIFY(!c.hasFault());
}

void TestSerialControl::oneEventReadsTheSame_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("hungUp"); // else the reason as it stands

    const auto text = [](int code) { return qt_error_string(code); };
    QTest::newRow("read ended by the hang-up") << QSerialPort::ReadError << text(ENOTTY) << true;
    QTest::newRow("unplugged under a read") << QSerialPort::ResourceError << text(EIO) << true;
    QTest::newRow("unplugged under a write") << QSerialPort::WriteError << text(EIO) << true;
    QTest::newRow("write queued as it went") << QSerialPort::WriteError << text(EAGAIN) << true;
    QTest::newRow("driver let go") << QSerialPort::WriteError << text(ENODEV) << true;
    QTest::newRow("no such address") << QSerialPort::WriteError << text(ENXIO) << true;
    QTest::newRow("node removed") << QSerialPort::DeviceNotFoundError << text(ENOENT) << true;
    QTest::newRow("permission taken away") << QSerialPort::PermissionError << text(EACCES) << false;
    QTest::newRow("disk-like write failure") << QSerialPort::WriteError << text(ENOSPC) << false;
}

void TestSerialControl::oneEventReadsTheSame()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(QString, reason);
    QFETCH(bool, hungUp);
    QCOMPARE(serial::lineFaultText(error, reason),
             hungUp ? QString("The line was hung up: the device went away or its far end closed") : reason);
}

void TestSerialControl::clearInBufferDiscardsWaitingBytes()
{
    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setPortOpen(true));
    pty.write("old");
    QTRY_COMPARE(c.inBufferCount(), 3);
    c.clearInBuffer();
    QCOMPARE(c.inBufferCount(), 0);
    pty.write("new");
    QCOMPARE(waitForBytes(c, 3), QByteArray("new"));
}

using Step = SerialControl::OpenStep;
Q_DECLARE_METATYPE(SerialControl::OpenStep)

void TestSerialControl::failedOpenStepLeavesThePortClosed_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<QString>("named");

    QTest::newRow("open denied") << Step::Open << QSerialPort::PermissionError << "Permission denied";
    QTest::newRow("open refused") << Step::Open << QSerialPort::OpenError << "already open";
    QTest::newRow("baud rate") << Step::BaudRate << QSerialPort::UnsupportedOperationError << "baud rate 19200";
    QTest::newRow("data bits") << Step::DataBits << QSerialPort::UnsupportedOperationError << "7 data bits";
    QTest::newRow("parity") << Step::Parity << QSerialPort::UnsupportedOperationError << "parity";
    QTest::newRow("stop bits") << Step::StopBits << QSerialPort::UnsupportedOperationError << "stop bits";
    QTest::newRow("flow control") << Step::FlowControl << QSerialPort::UnknownError << "flow control";
}

// A step refused part-way must not leave the device open: a later open
// would then be refused as "already open", or the caller would find it open
// with settings that never took.
void TestSerialControl::failedOpenStepLeavesThePortClosed()
{
    QFETCH(Step, step);
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(QString, named);

    PseudoTerminal pty;
    SerialControl c;
    c.setDevice(pty.slavePath());
    QVERIFY(c.setSettings(QStringLiteral("19200,e,7,2")));
    c.failOpenAt({{step, error}});
    QVERIFY(!c.setPortOpen(true));
    QVERIFY(!c.portOpen());
    QVERIFY(!c.hasFault());
    QCOMPARE(c.lastOpenFailure().step, step);
    QCOMPARE(c.lastOpenFailure().error, error);
    QVERIFY2(c.lastError().contains(pty.slavePath()), qPrintable(c.lastError()));
    QVERIFY2(c.lastError().contains(named), qPrintable(c.lastError()));

    // Nothing holds the device: another control opens it at once.
    SerialControl other;
    other.setDevice(pty.slavePath());
    QVERIFY2(other.setPortOpen(true), qPrintable(other.lastError()));
    QVERIFY(other.setPortOpen(false));

    // Once the device accepts every step, the same control opens with the
    // settings in full.
    c.failOpenAt(std::nullopt);
    QVERIFY2(c.setPortOpen(true), qPrintable(c.lastError()));
    QCOMPARE(c.lastOpenFailure().error, QSerialPort::NoError);
    QCOMPARE(pty.slaveBaudRate(), 19200);
    QCOMPARE(pty.slaveStopBits(), 2);
    QCOMPARE(c.port().parity(), QSerialPort::EvenParity);
    QCOMPARE(c.port().dataBits(), QSerialPort::Data7);
}

QTEST_GUILESS_MAIN(TestSerialControl)
#include "tst_serial_control.moc"
