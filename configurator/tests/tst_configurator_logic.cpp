#include "configurator/configuration_frame.h"
#include "configurator/module1.h"
#include "configurator/setting_lists.h"
#include "desktop/tick_counter.h"
#include "tests/support/hex.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace configurator;

namespace {
using testsupport::hex;

// Real milliseconds shifted by an offset, so a test can start the counter
// just before the 32-bit wrap or make it jump back.
class ShiftedTicks final : public desktop::TickCounter {
public:
    explicit ShiftedTicks(quint32 startAt) { offset = startAt - real.now(); }
    quint32 now() const override
    {
        ++reads;
        if (reads == jumpBackAtRead)
            offset -= 10000;
        return real.now() + offset;
    }
    desktop::MonotonicTickCounter real;
    mutable quint32 offset = 0;
    mutable int reads = 0;
    int jumpBackAtRead = -1;
};
} // namespace

class TestConfiguratorLogic : public QObject {
    Q_OBJECT
private slots:
    void presetFrames_data();
    void presetFrames();
    void userDefinedFrames_data();
    void userDefinedFrames();
    void chosenPositions_data();
    void chosenPositions();
    void portList_data();
    void portList();
    void delayLetsEventsRun_data();
    void delayLetsEventsRun();
};

void TestConfiguratorLogic::presetFrames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("settings");
    QTest::newRow("FX") << 0 << hex("7E 35 60 45 37 31 40 7E") << "9600,e,7,1";
    // The frame asks for two stop bits, the PC side keeps one.
    QTest::newRow("A/Q") << 1 << hex("7E 35 60 4F 38 32 4C 7E") << "9600,o,8,1";
    QTest::newRow("FP") << 2 << hex("7E 35 5C 4F 38 31 47 7E") << "19200,o,8,1";
}

void TestConfiguratorLogic::presetFrames()
{
    QFETCH(int, index);
    QFETCH(QByteArray, frame);
    QFETCH(QString, settings);
    const PlcPreset preset = plcPreset(index);
    QCOMPARE(configurationFrame(preset.body).toHex(' '), frame.toHex(' '));
    QCOMPARE(preset.settings, settings);
}

void TestConfiguratorLogic::userDefinedFrames_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("settings");
    QTest::newRow("38400 O 8 2") << 38400 << "O" << 8 << 2 << hex("7E 35 54 4F 38 32 40 7E") << "38400,o,8,2";
    QTest::newRow("19200 N 8 1") << 19200 << "N" << 8 << 1 << hex("7E 35 5C 4E 38 31 46 7E") << "19200,n,8,1";
    QTest::newRow("9600 E 7 1") << 9600 << "E" << 7 << 1 << hex("7E 35 60 45 37 31 40 7E") << "9600,e,7,1";
    // Values without a code are sent as 0x00 and summed as zero.
    QTest::newRow("baud without code") << 4800 << "E" << 7 << 1 << hex("7E 35 00 45 37 31 60 7E") << "4800,e,7,1";
    QTest::newRow("nothing coded") << 0 << "" << 0 << 0 << hex("7E 35 00 00 00 00 33 7E") << "0,,0,0";
    // Only the exact upper-case letters have a code; the settings string
    // still carries the letter, lower-cased.
    QTest::newRow("lower-case parity") << 9600 << "e" << 7 << 1 << hex("7E 35 60 00 37 31 7B 7E") << "9600,e,7,1";
    QTest::newRow("nine data bits") << 9600 << "N" << 9 << 1 << hex("7E 35 60 4E 00 31 12 7E") << "9600,n,9,1";
    // The checksum keeps the low seven bits of the sum: 0x18E becomes 0x0E.
    QTest::newRow("sum above 0xFF") << 38400 << "O" << 8 << 3 << hex("7E 35 54 4F 38 00 0E 7E") << "38400,o,8,3";
}

void TestConfiguratorLogic::userDefinedFrames()
{
    QFETCH(int, baud);
    QFETCH(QString, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QByteArray, frame);
    QFETCH(QString, settings);
    const UserDefinedFrame f = userDefinedFrame(baud, parity, std::uint8_t(dataBits), std::uint8_t(stopBits));
    QCOMPARE(configurationFrame(f.body).toHex(' '), frame.toHex(' '));
    QCOMPARE(f.settings, settings);
}

void TestConfiguratorLogic::chosenPositions_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("summary");
    QTest::newRow("start-up lists, bridge on COM3") << 3 << 0 << 0 << 1 << 0 << "COM3  9600,E, 7, 1";
    QTest::newRow("38400 Odd 8 2") << 1 << 2 << 1 << 2 << 1 << "COM1  38400,O, 8, 2";
    QTest::newRow("19200 None") << 8 << 1 << 1 << 0 << 0 << "COM8  19200,N, 8, 1";
    QTest::newRow("port above 8") << 12 << 0 << 0 << 1 << 0 << "COM12  9600,E, 7, 1";
    // A position outside a list keeps what the field held before (here
    // 19200, O, 8, 2 from the first pass of the test).
    QTest::newRow("no position chosen") << 2 << -1 << -1 << -1 << -1 << "COM2  19200,O, 8, 2";
}

void TestConfiguratorLogic::chosenPositions()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(QString, summary);
    ConfigFields fields;
    takeChosenPositions(fields, {5, 1, 1, 2, 1});
    takeChosenPositions(fields, {port, baud, dataBits, parity, stopBits});
    QCOMPARE(portSummary(fields), summary);
    QCOMPARE(int(fields.CommPortNumber), port);
}

void TestConfiguratorLogic::portList_data()
{
    QTest::addColumn<int>("detected");
    QTest::addColumn<QString>("lastEntry");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("preselected");
    QTest::newRow("no bridge") << 0 << "COM8" << 8 << "COM1";
    QTest::newRow("COM3") << 3 << "COM8" << 8 << "COM3";
    QTest::newRow("COM8") << 8 << "COM8" << 8 << "COM8";
    QTest::newRow("COM12 is offered") << 12 << "COM12" << 9 << "COM12";
    QTest::newRow("COM255 is offered") << 255 << "COM255" << 9 << "COM255";
    QTest::newRow("not found") << -1 << "COM8" << 8 << "COM1";
}

void TestConfiguratorLogic::portList()
{
    QFETCH(int, detected);
    QFETCH(QString, lastEntry);
    QFETCH(int, entries);
    QFETCH(QString, preselected);
    const QList<PortEntry> list = comPortEntries(std::int16_t(detected));
    QCOMPARE(list.size(), entries);
    QCOMPARE(list.first().text, QStringLiteral("COM1"));
    QCOMPARE(list.last().text, lastEntry);
    QCOMPARE(list.last().number, lastEntry.mid(3).toInt());
    const int at = comPortPreselection(std::int16_t(detected));
    QVERIFY(at >= 0 && at < list.size());
    QCOMPARE(list.at(at).text, preselected);
}

void TestConfiguratorLogic::delayLetsEventsRun_data()
{
    QTest::addColumn<quint32>("startAt");
    QTest::addColumn<int>("jumpBackAtRead");
    QTest::newRow("plain") << quint32(1000000) << -1;
    QTest::newRow("counter wraps") << quint32(0xFFFFFFFFu - 20) << -1;
    QTest::newRow("counter goes back") << quint32(1000000) << 2;
}

void TestConfiguratorLogic::delayLetsEventsRun()
{
    QFETCH(quint32, startAt);
    QFETCH(int, jumpBackAtRead);
    ShiftedTicks ticks(startAt);
    ticks.jumpBackAtRead = jumpBackAtRead;
    EventWait wait;
    bool timerRan = false;
    QTimer::singleShot(10, [&] { timerRan = true; });
    QElapsedTimer clock;
    clock.start();
    Delay(50, ticks, wait);
    QVERIFY(clock.elapsed() >= 50);
    QVERIFY(timerRan);
}

QTEST_GUILESS_MAIN(TestConfiguratorLogic)
#include "tst_configurator_logic.moc"
