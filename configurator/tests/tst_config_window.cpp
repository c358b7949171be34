#include "configurator/config.h"
#include "serial/serial_control.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <memory>

using configurator::Config;
using desktop::BoxIcon;
using discovery::ConfiguratorPorts;
using discovery::ConfiguratorScanResult;
using discovery::ConfiguratorScanStatus;
using testsupport::PseudoTerminal;

namespace {
using testsupport::hex;

const QString kTitle = QStringLiteral("系統訊息");
const QString kUpdated = QStringLiteral("通訊設定已更新");
const QString kNoAnswer = QStringLiteral("通訊錯誤,請檢查藍芽裝置");

// A scan that finds one bridge on `port` (0: no bridge attached).
configurator::DiscoveryScan bridgeOn(int port)
{
    return [port](ConfiguratorPorts &ports) {
        ConfiguratorScanResult result;
        if (port > 0) {
            ports.CommPortNumber = std::uint8_t(port);
            ports.DetectedPort = std::int16_t(port);
        }
        result.lblComm = "COM " + std::to_string(port);
        result.ComPort = std::int16_t(port);
        return result;
    };
}

configurator::DiscoveryScan scanEndingIn(ConfiguratorScanStatus status)
{
    return [status](ConfiguratorPorts &) {
        ConfiguratorScanResult result;
        result.status = status;
        result.ComPort = status == ConfiguratorScanStatus::PortNotFound ? -1 : 300;
        return result;
    };
}

// Real milliseconds, started 1.5 s before the 32-bit counter wraps.
class WrappingTicks final : public desktop::TickCounter {
public:
    WrappingTicks() : offset(0xFFFFFFFFu - 1500 - real.now()) {}
    quint32 now() const override { return real.now() + offset; }
    desktop::MonotonicTickCounter real;
    quint32 offset;
};

// The adapter at the far end of the line. It looks at the line every few
// milliseconds while the window waits; when a whole frame has come it notes
// the line settings the frame went out at, runs `onFrame`, and answers.
class Adapter : public QObject {
public:
    Adapter(PseudoTerminal &pty, const serial::SerialControl &port) : m_pty(pty), m_port(port)
    {
        connect(&m_poll, &QTimer::timeout, this, &Adapter::look);
        m_poll.start(2);
    }

    QByteArray reply;               // answer to each frame; empty: stay silent
    std::function<void()> onFrame;  // runs before the answer goes out
    QByteArray received;
    int frames = 0;
    int baudRate = 0;
    int stopBits = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;

private:
    void look()
    {
        received += m_pty.readAvailable(2);
        if (received.size() < 8 * (frames + 1))
            return;
        ++frames;
        baudRate = m_pty.slaveBaudRate();
        stopBits = m_pty.slaveStopBits();
        parity = m_port.port().parity();
        dataBits = m_port.port().dataBits();
        if (onFrame)
            onFrame();
        if (!reply.isEmpty())
            m_pty.write(reply);
    }

    PseudoTerminal &m_pty;
    const serial::SerialControl &m_port;
    QTimer m_poll;
};

// The window over a pseudo-terminal: every port number opens the
// pseudo-terminal (or `device` when set) and the number asked is noted.
struct Rig {
    explicit Rig(configurator::DiscoveryScan scan = bridgeOn(0),
                 std::unique_ptr<desktop::TickCounter> clock = std::make_unique<desktop::MonotonicTickCounter>())
        : ticks(std::move(clock))
    {
        window = std::make_unique<Config>(boxes, programEnd, *ticks, std::move(scan), [this](int n) {
            askedPort = n;
            return device.isEmpty() ? pty.slavePath() : device;
        });
        window->start();
        comm = window->findChild<serial::SerialControl *>(QStringLiteral("MSComm1"));
        adapter = std::make_unique<Adapter>(pty, *comm);
    }
    template <typename W = QWidget>
    W *get(const char *name) const
    {
        return window->findChild<W *>(QString::fromLatin1(name));
    }
    QString text(const char *label) const { return get<QLabel>(label)->text(); }
    void click(const char *button) const { get<QPushButton>(button)->click(); }
    void choose(const char *option) const { get<QRadioButton>(option)->setChecked(true); }
    void pick(const char *list, const QString &entry) const
    {
        auto *box = get<QComboBox>(list);
        box->setCurrentIndex(box->findText(entry));
    }

    testsupport::RecordingMessageBoxes boxes;
    testsupport::RecordingProgramEnd programEnd;
    std::unique_ptr<desktop::TickCounter> ticks;
    PseudoTerminal pty;
    QString device;
    int askedPort = 0;
    std::unique_ptr<Config> window;
    serial::SerialControl *comm = nullptr;
    std::unique_ptr<Adapter> adapter;
};
} // namespace

class TestConfigWindow : public QObject {
    Q_OBJECT
private slots:
    void startUp_data();
    void startUp();
    void startUpFailures_data();
    void startUpFailures();
    void presetExchange_data();
    void presetExchange();
    void userDefinedExchange_data();
    void userDefinedExchange();
    void acknowledgedSettingsCarryTheNextExchange();
    void wrongReplyEndsTheProgram_data();
    void wrongReplyEndsTheProgram();
    void noReplyAfterTheLimit();
    void twoBytesTogetherWaitForTheLimit();
    void portAlreadyOpenIsReopened();
    void portThatCannotOpen();
    void modeSwitch();
    void exitButtons_data();
    void exitButtons();
    void pressedDuringTheWait_data();
    void pressedDuringTheWait();
};

void TestConfigWindow::startUp_data()
{
    QTest::addColumn<int>("bridgePort");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("ports");
    QTest::addColumn<QString>("lblComm");
    QTest::newRow("no bridge") << 0 << "COM1" << 8 << "COM 0";
    QTest::newRow("bridge on COM3") << 3 << "COM3" << 8 << "COM 3";
    QTest::newRow("bridge on COM12") << 12 << "COM12" << 9 << "COM 12";
}

void TestConfigWindow::startUp()
{
    QFETCH(int, bridgePort);
    QFETCH(QString, port);
    QFETCH(int, ports);
    QFETCH(QString, lblComm);
    Rig rig(bridgeOn(bridgePort));

    QVERIFY(rig.window->isVisible());
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("藍牙通訊設定"));
    QVERIFY(rig.boxes.boxes.isEmpty());
    QCOMPARE(rig.programEnd.ends, 0);
    QCOMPARE(rig.get<QComboBox>("cmbComport")->currentText(), port);
    QCOMPARE(rig.get<QComboBox>("cmbComport")->count(), ports);
    QCOMPARE(rig.text("lblComm"), lblComm);
    QCOMPARE(rig.get<QComboBox>("cmbBaudRate")->currentText(), QStringLiteral("9600"));
    QCOMPARE(rig.get<QComboBox>("cmbDatabit")->currentText(), QStringLiteral("7"));
    QCOMPARE(rig.get<QComboBox>("cmbParity")->currentText(), QStringLiteral("Even"));
    QCOMPARE(rig.get<QComboBox>("cmbStopBit")->currentText(), QStringLiteral("1"));
    QCOMPARE(rig.comm->settings(), QStringLiteral("9600,e,7,1"));
    for (const char *list : {"cmbComport", "cmbBaudRate", "cmbDatabit", "cmbParity", "cmbStopBit"})
        QVERIFY(!rig.get<QComboBox>(list)->isEditable());

    // Device Config mode with the FX preset; the User Define frame is off.
    QVERIFY(rig.get<QRadioButton>("Option1")->isChecked());
    QVERIFY(rig.get<QRadioButton>("OptDevice_0")->isChecked());
    QCOMPARE(rig.get<QRadioButton>("OptDevice_0")->text(), QStringLiteral("Misubishi - PLC - FX - Series "));
    QVERIFY(rig.get<QGroupBox>("Frame2")->isEnabled());
    QVERIFY(!rig.get<QGroupBox>("Frame1")->isEnabled());
    QVERIFY(!rig.get<QPushButton>("cmdPortOpen")->isEnabledTo(rig.window.get()));
    QCOMPARE(rig.get<QPushButton>("cmdDevice_Config")->text(), QStringLiteral(" Apply"));
    QCOMPARE(rig.get<QPushButton>("cmdDevice_Exit")->text(), QStringLiteral("   Exit    "));
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("        "));
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("COM PORT 尚未開啟 , 請先開啟"));
    QCOMPARE(rig.text("lblComPortSetting"), QStringLiteral("Protocol 尚未設定"));

    // The first exchange opens the detected port and names it in the summary,
    // also when the FP preset is sent.
    rig.choose("OptDevice_2");
    rig.adapter->reply = hex("06");
    rig.click("cmdDevice_Config");
    QCOMPARE(rig.askedPort, bridgePort > 0 ? bridgePort : 1);
    QCOMPARE(rig.text("lblComPortSetting"), port + QStringLiteral("  9600,E, 7, 1"));
}

void TestConfigWindow::startUpFailures_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("port not found") << 0 << "通訊埠發生錯誤!請確定通訊埠存在且正常或未被開啟。";
    QTest::newRow("port above 255") << 1 << "通訊埠發生錯誤!請確定通訊埠存在且正常或未被開啟。";
    QTest::newRow("vendor library missing") << 2 << "CP210xManufacturing.dll";
}

void TestConfigWindow::startUpFailures()
{
    QFETCH(int, failure);
    QFETCH(QString, message);
    configurator::DiscoveryScan scan;
    if (failure == 0)
        scan = scanEndingIn(ConfiguratorScanStatus::PortNotFound);
    else if (failure == 1)
        scan = scanEndingIn(ConfiguratorScanStatus::PortOutOfRange);
    else
        scan = [](ConfiguratorPorts &) -> ConfiguratorScanResult {
            throw discovery::LibraryLoadError("CP210xManufacturing.dll");
        };
    Rig rig(scan);

    QCOMPARE(rig.boxes.boxes.size(), 1);
    QVERIFY2(rig.boxes.boxes[0].text.contains(message), qPrintable(rig.boxes.boxes[0].text));
    QCOMPARE(rig.boxes.boxes[0].title, kTitle);
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::Critical);
    QCOMPARE(rig.programEnd.ends, 1);
    QVERIFY(!rig.window->isVisible());
}

void TestConfigWindow::presetExchange_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baudAfter");
    QTest::addColumn<int>("parityAfter");
    QTest::addColumn<int>("dataBitsAfter");
    QTest::addColumn<int>("stopBitsAfter");
    QTest::newRow("FX") << "OptDevice_0" << hex("7E 35 60 45 37 31 40 7E") << "9600,e,7,1"
                        << 9600 << int(QSerialPort::EvenParity) << 7 << 1;
    QTest::newRow("A/Q") << "OptDevice_1" << hex("7E 35 60 4F 38 32 4C 7E") << "9600,o,8,1"
                         << 9600 << int(QSerialPort::OddParity) << 8 << 1;
    QTest::newRow("FP") << "OptDevice_2" << hex("7E 35 5C 4F 38 31 47 7E") << "19200,o,8,1"
                        << 19200 << int(QSerialPort::OddParity) << 8 << 1;
}

void TestConfigWindow::presetExchange()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, frame);
    QFETCH(QString, settings);
    QFETCH(int, baudAfter);
    QFETCH(int, parityAfter);
    QFETCH(int, dataBitsAfter);
    QFETCH(int, stopBitsAfter);
    Rig rig(bridgeOn(3));
    rig.choose(option.toLatin1().constData());
    rig.adapter->reply = hex("06");
    QString settingsWhileBoxShown;
    rig.boxes.whileShown = [&](const testsupport::ShownBox &) { settingsWhileBoxShown = rig.comm->settings(); };

    rig.click("cmdDevice_Config");

    QCOMPARE(rig.adapter->received.toHex(' '), frame.toHex(' '));
    // Sent at the start-up settings 9600,e,7,1.
    QCOMPARE(rig.adapter->baudRate, 9600);
    QCOMPARE(rig.adapter->stopBits, 1);
    QCOMPARE(rig.adapter->parity, QSerialPort::EvenParity);
    QCOMPARE(rig.adapter->dataBits, QSerialPort::Data7);

    QCOMPARE(rig.text("lblConfig_Message"), settings + QStringLiteral(" 設定成功 "));
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("通訊埠已開啟"));
    QCOMPARE(rig.text("lblComPortSetting"), QStringLiteral("COM3  9600,E, 7, 1"));
    // The control knows the port by the number chosen, not only by its device.
    QCOMPARE(rig.askedPort, 3);
    QCOMPARE(rig.comm->commPort(), 3);
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QCOMPARE(rig.boxes.boxes[0].text, kUpdated);
    QCOMPARE(rig.boxes.boxes[0].title, kTitle);
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::None);
    // Device Config tells the user first and switches the port after.
    QCOMPARE(settingsWhileBoxShown, QStringLiteral("9600,e,7,1"));
    QVERIFY(!rig.comm->portOpen());
    QCOMPARE(rig.programEnd.ends, 0);
    QVERIFY(!rig.get<QComboBox>("cmbBaudRate")->isEnabledTo(rig.get<QWidget>("Frame1")));

    const serial::LineSettings now = rig.comm->lineSettings();
    QCOMPARE(rig.comm->settings(), settings);
    QCOMPARE(int(now.baudRate), baudAfter);
    QCOMPARE(int(now.parity), parityAfter);
    QCOMPARE(int(now.dataBits), dataBitsAfter);
    QCOMPARE(int(now.stopBits), stopBitsAfter);
}

void TestConfigWindow::userDefinedExchange_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("summary");
    QTest::newRow("38400 Odd 8 2") << "38400" << "Odd" << "8" << "2" << hex("7E 35 54 4F 38 32 40 7E")
                                   << "38400,o,8,2" << "COM1  38400,O, 8, 2";
    QTest::newRow("19200 None 8 1") << "19200" << "None" << "8" << "1" << hex("7E 35 5C 4E 38 31 46 7E")
                                    << "19200,n,8,1" << "COM1  19200,N, 8, 1";
    // No baud position chosen: the rate keeps its start value 0, which has
    // no code, so byte 3 goes out as 00 and the checksum sums the zero.
    QTest::newRow("baud without code") << "" << "Even" << "7" << "1" << hex("7E 35 00 45 37 31 60 7E")
                                       << "0,e,7,1" << "COM1  0,E, 7, 1";
}

void TestConfigWindow::userDefinedExchange()
{
    QFETCH(QString, baud);
    QFETCH(QString, parity);
    QFETCH(QString, dataBits);
    QFETCH(QString, stopBits);
    QFETCH(QByteArray, frame);
    QFETCH(QString, settings);
    QFETCH(QString, summary);
    Rig rig;
    rig.choose("Option2");
    rig.pick("cmbBaudRate", baud);
    rig.pick("cmbParity", parity);
    rig.pick("cmbDatabit", dataBits);
    rig.pick("cmbStopBit", stopBits);
    rig.adapter->reply = hex("06");
    QString settingsWhileBoxShown;
    rig.boxes.whileShown = [&](const testsupport::ShownBox &) { settingsWhileBoxShown = rig.comm->settings(); };

    rig.click("cmdPortOpen");

    QCOMPARE(rig.adapter->received.toHex(' '), frame.toHex(' '));
    QCOMPARE(rig.adapter->baudRate, 9600);
    QCOMPARE(rig.adapter->parity, QSerialPort::EvenParity);
    QCOMPARE(rig.text("lblMessage"), settings + QStringLiteral(" 設定成功 "));
    QCOMPARE(rig.text("lblComPortSetting"), summary);
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("        "));
    QCOMPARE(rig.boxes.texts(), QStringList{kUpdated});
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::None);
    QCOMPARE(rig.window->fields().CurrentSettings, settings);
    QVERIFY(!rig.comm->portOpen());
    if (!baud.isEmpty()) {
        // User Define switches the port before it tells the user.
        QCOMPARE(settingsWhileBoxShown, settings);
        QCOMPARE(rig.comm->settings(), settings);
    }
}

void TestConfigWindow::acknowledgedSettingsCarryTheNextExchange()
{
    Rig rig;
    rig.choose("OptDevice_2");
    rig.adapter->reply = hex("06");
    rig.click("cmdDevice_Config");
    QCOMPARE(rig.adapter->frames, 1);

    rig.choose("OptDevice_0");
    rig.click("cmdDevice_Config");
    QCOMPARE(rig.adapter->frames, 2);
    QCOMPARE(rig.adapter->received.mid(8).toHex(' '), hex("7E 35 60 45 37 31 40 7E").toHex(' '));
    QCOMPARE(rig.adapter->baudRate, 19200);
    QCOMPARE(rig.adapter->stopBits, 1);
    QCOMPARE(rig.adapter->parity, QSerialPort::OddParity);
    QCOMPARE(rig.adapter->dataBits, QSerialPort::Data8);
    QCOMPARE(rig.comm->settings(), QStringLiteral("9600,e,7,1"));
}

void TestConfigWindow::wrongReplyEndsTheProgram_data()
{
    QTest::addColumn<bool>("userDefine");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("resultLabel");
    QTest::newRow("device config, NAK") << false << hex("15") << "lblConfig_Message";
    QTest::newRow("user define, zero") << true << hex("00") << "lblMessage";
}

void TestConfigWindow::wrongReplyEndsTheProgram()
{
    QFETCH(bool, userDefine);
    QFETCH(QByteArray, reply);
    QFETCH(QString, resultLabel);
    Rig rig;
    if (userDefine)
        rig.choose("Option2");
    rig.adapter->reply = reply;
    rig.click(userDefine ? "cmdPortOpen" : "cmdDevice_Config");

    QCOMPARE(rig.adapter->frames, 1);
    QCOMPARE(rig.boxes.texts(), QStringList{QStringLiteral("通訊錯誤")});
    QCOMPARE(rig.boxes.boxes[0].title, kTitle);
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::Critical);
    QCOMPARE(rig.text(resultLabel.toLatin1().constData()), QStringLiteral("通訊錯誤"));
    QVERIFY(!rig.comm->portOpen());
    QCOMPARE(rig.programEnd.ends, 1);
    QCOMPARE(rig.comm->settings(), QStringLiteral("9600,e,7,1"));
}

void TestConfigWindow::noReplyAfterTheLimit()
{
    // The tick counter wraps in the middle of the wait.
    Rig rig(bridgeOn(0), std::make_unique<WrappingTicks>());
    rig.choose("OptDevice_2");
    QElapsedTimer clock;
    clock.start();
    rig.click("cmdDevice_Config");
    const qint64 waited = clock.elapsed();

    QCOMPARE(rig.adapter->frames, 1);
    QVERIFY2(waited > 3000, qPrintable(QString::number(waited)));
    QCOMPARE(rig.boxes.texts(), QStringList{kNoAnswer});
    QCOMPARE(rig.boxes.boxes[0].title, kTitle);
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::Critical);
    QVERIFY(!rig.comm->portOpen());
    QCOMPARE(rig.programEnd.ends, 0);
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("        "));
    // The port keeps its settings; the settings tried are remembered.
    QCOMPARE(rig.comm->settings(), QStringLiteral("9600,e,7,1"));
    QCOMPARE(rig.window->fields().CurrentSettings, QStringLiteral("19200,o,8,1"));
}

void TestConfigWindow::twoBytesTogetherWaitForTheLimit()
{
    Rig rig;
    rig.adapter->reply = hex("06 15");
    QElapsedTimer clock;
    clock.start();
    rig.click("cmdDevice_Config");
    const qint64 waited = clock.elapsed();

    QVERIFY2(waited > 3000, qPrintable(QString::number(waited)));
    QCOMPARE(rig.boxes.texts(), QStringList{kUpdated});
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("9600,e,7,1 設定成功 "));
    QCOMPARE(rig.programEnd.ends, 0);
}

void TestConfigWindow::portAlreadyOpenIsReopened()
{
    Rig rig;
    rig.comm->setDevice(rig.pty.slavePath());
    QVERIFY(rig.comm->setPortOpen(true));
    rig.adapter->reply = hex("06");
    rig.click("cmdDevice_Config");

    QCOMPARE(rig.adapter->received.toHex(' '), hex("7E 35 60 45 37 31 40 7E").toHex(' '));
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("通訊埠已已開啟"));
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("9600,e,7,1 設定成功 "));
    QVERIFY(!rig.comm->portOpen());
}

void TestConfigWindow::portThatCannotOpen()
{
    Rig rig;
    rig.device = QStringLiteral("/dev/no-such-adapter");
    rig.click("cmdDevice_Config");

    QCOMPARE(rig.text("lblMessage"), QStringLiteral("通訊埠無法開啟"));
    QCOMPARE(rig.boxes.texts(), QStringList{QStringLiteral("開啟通訊埠時發生錯誤!請確定通訊埠存在且正常。")});
    QCOMPARE(rig.boxes.boxes[0].title, kTitle);
    QCOMPARE(rig.boxes.boxes[0].icon, BoxIcon::Critical);
    // The cause below the message, as the console gives it.
    QVERIFY2(rig.boxes.boxes[0].details.contains("/dev/no-such-adapter: ")
                 && rig.boxes.boxes[0].details.endsWith("Check that the adapter is plugged in."),
             qPrintable(rig.boxes.boxes[0].details));
    QVERIFY(!rig.comm->portOpen());
    QCOMPARE(rig.programEnd.ends, 0);
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("        "));

    // The next try on a port that works goes through.
    rig.device.clear();
    rig.adapter->reply = hex("06");
    rig.click("cmdDevice_Config");
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("9600,e,7,1 設定成功 "));
}

void TestConfigWindow::modeSwitch()
{
    Rig rig;
    const auto listsUsable = [&] {
        int usable = 0;
        for (const char *list : {"cmbComport", "cmbBaudRate", "cmbDatabit", "cmbParity", "cmbStopBit"})
            usable += rig.get<QComboBox>(list)->isEnabled() ? 1 : 0;
        return usable;
    };
    QCOMPARE(listsUsable(), 0);

    rig.choose("Option2");
    QCOMPARE(rig.text("lblComPortSetting"), QString());
    QCOMPARE(rig.text("lblMessage"), QString());
    QCOMPARE(listsUsable(), 5);
    QVERIFY(rig.get<QPushButton>("cmdPortOpen")->isEnabled());
    QVERIFY(rig.get<QPushButton>("cmdClose")->isEnabled());
    QVERIFY(!rig.get<QPushButton>("cmdDevice_Config")->isEnabled());
    QVERIFY(!rig.get<QRadioButton>("OptDevice_1")->isEnabled());

    rig.adapter->reply = hex("06");
    rig.click("cmdPortOpen");
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("9600,e,7,1 設定成功 "));

    rig.choose("Option1");
    QCOMPARE(listsUsable(), 0);
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("9600,e,7,1 設定成功 "));
    QCOMPARE(rig.text("lblComPortSetting"), QStringLiteral("COM1  9600,E, 7, 1"));
    QVERIFY(rig.get<QPushButton>("cmdDevice_Config")->isEnabled());
    QVERIFY(!rig.get<QPushButton>("cmdPortOpen")->isEnabled());
}

void TestConfigWindow::exitButtons_data()
{
    QTest::addColumn<bool>("userDefine");
    QTest::addColumn<bool>("portOpen");
    QTest::newRow("device exit, port closed") << false << false;
    QTest::newRow("user exit, port closed") << true << false;
    QTest::newRow("device exit, port open") << false << true;
}

void TestConfigWindow::exitButtons()
{
    QFETCH(bool, userDefine);
    QFETCH(bool, portOpen);
    Rig rig;
    if (userDefine)
        rig.choose("Option2");
    if (portOpen) {
        rig.comm->setDevice(rig.pty.slavePath());
        QVERIFY(rig.comm->setPortOpen(true));
    }
    rig.click(userDefine ? "cmdClose" : "cmdDevice_Exit");

    QVERIFY(!rig.comm->portOpen());
    QCOMPARE(rig.text("lblMessage"), QStringLiteral("通訊埠已關閉"));
    QCOMPARE(rig.programEnd.ends, 1);
    QVERIFY(rig.boxes.boxes.isEmpty());
}

void TestConfigWindow::pressedDuringTheWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("second Apply") << "cmdDevice_Config";
    QTest::newRow("Exit") << "cmdDevice_Exit";
    QTest::newRow("window closed") << "close";
}

void TestConfigWindow::pressedDuringTheWait()
{
    QFETCH(QString, action);
    Rig rig;
    const bool secondApply = action == u"cmdDevice_Config";
    rig.adapter->onFrame = [&] {
        if (action == u"close")
            rig.window->close();
        else
            rig.click(action.toLatin1().constData());
        // The first exchange still gets its answer after a second Apply.
        if (secondApply)
            rig.adapter->reply = hex("06");
    };
    QElapsedTimer clock;
    clock.start();
    rig.click("cmdDevice_Config");
    const qint64 waited = clock.elapsed();

    QTest::qWait(20);
    // One frame only: no second exchange started inside the first.
    QCOMPARE(rig.adapter->received.toHex(' '), hex("7E 35 60 45 37 31 40 7E").toHex(' '));
    if (secondApply) {
        QCOMPARE(rig.programEnd.ends, 0);
        QCOMPARE(rig.boxes.texts(), QStringList{kUpdated});
        QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("9600,e,7,1 設定成功 "));
        QVERIFY(!rig.comm->portOpen());
        return;
    }
    // The program ended inside the wait: the wait stops there, well before
    // its three-second limit, and nothing of the exchange follows.
    QCOMPARE(rig.programEnd.ends, 1);
    QVERIFY2(waited < 3000, qPrintable(QString::number(waited)));
    QVERIFY(rig.boxes.boxes.isEmpty());
    QCOMPARE(rig.text("lblConfig_Message"), QStringLiteral("        "));
    // Closed before the end, however it came: only a close removes the
    // port's lock file.
    QVERIFY(!rig.comm->portOpen());
    if (action == u"cmdDevice_Exit")
        QCOMPARE(rig.text("lblMessage"), QStringLiteral("通訊埠已關閉"));
}

QTEST_MAIN(TestConfigWindow)
#include "tst_config_window.moc"
