#include "serial/port_list.h"
#include "serial/port_names.h"
#include "serial/usb_identity.h"
#include "tests/support/fake_usb_sysfs.h"
#include "tests/support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using serial::UsbIdentity;
using testsupport::FakeUsbSysfs;

Q_DECLARE_METATYPE(UsbIdentity)

namespace {

// The kernel writes the IDs as four lower-case hex digits, the interface
// number as two.
const UsbIdentity kCp2102{"10c4", "ea60", "0001", "00"};
const UsbIdentity kDualPortA{"0403", "6010", "FT4ABC", "00"};
const UsbIdentity kDualPortB{"0403", "6010", "FT4ABC", "01"};
const UsbIdentity kArduino{"2341", "0043", "95530343", "00"};
const UsbIdentity kNoSerial{"1a86", "7523", "", "00"};

void buildTree(FakeUsbSysfs &sysfs)
{
    sysfs.addUsbPort("ttyUSB0", "1-1", "10c4", "ea60", "0001", 0);
    sysfs.addUsbPort("ttyUSB1", "1-2", "0403", "6010", "FT4ABC", 0);
    sysfs.addUsbPort("ttyUSB2", "1-2", "0403", "6010", "FT4ABC", 1);
    sysfs.addUsbPort("ttyACM0", "1-3", "2341", "0043", "95530343", 0);
    sysfs.addUsbPort("ttyUSB3", "1-4", "1a86", "7523", "", 0);
    sysfs.addPlatformPort("ttyS0");
}

} // namespace

class TestPortIdentity : public QObject {
    Q_OBJECT
private slots:
    void init();
    void identityOfEachPort_data();
    void identityOfEachPort();
    void identityThroughADeviceLink();
    void findsTheSameAdapterUnderAnotherName_data();
    void findsTheSameAdapterUnderAnotherName();
    void identicalAdaptersWithoutSerialAreAllCandidates();
    void portTextOfADevice_data();
    void portTextOfADevice();
    void portListAndToolTipsOfAMachine();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeUsbSysfs> m_sysfs;
};

void TestPortIdentity::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sysfs = std::make_unique<FakeUsbSysfs>(m_dir->filePath("sys"));
    buildTree(*m_sysfs);
}

void TestPortIdentity::identityOfEachPort_data()
{
    QTest::addColumn<QString>("tty");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<UsbIdentity>("identity");

    QTest::newRow("ttyUSB of a single bridge") << "ttyUSB0" << true << kCp2102;
    QTest::newRow("dual-port bridge, first port") << "ttyUSB1" << true << kDualPortA;
    QTest::newRow("dual-port bridge, second port") << "ttyUSB2" << true << kDualPortB;
    QTest::newRow("ttyACM, the interface itself") << "ttyACM0" << true << kArduino;
    QTest::newRow("adapter without serial") << "ttyUSB3" << true << kNoSerial;
    QTest::newRow("built-in port") << "ttyS0" << false << UsbIdentity{};
    QTest::newRow("not there") << "ttyUSB9" << false << UsbIdentity{};
    QTest::newRow("pseudo-terminal number") << "3" << false << UsbIdentity{};
    QTest::newRow("a path is not a name") << "../tty/ttyUSB0" << false << UsbIdentity{};
    // Read as every sysfs attribute is: a FIFO is passed over, not waited
    // on, and a file is read no further than an attribute can be long.
    QTest::newRow("serial is a FIFO") << "ttyUSB7" << true << UsbIdentity{"10c4", "ea60", "", "00"};
    QTest::newRow("serial of 5000 bytes") << "ttyUSB8" << true << UsbIdentity{"10c4", "ea60", QString(4096, 'S'), "00"};
}

void TestPortIdentity::identityOfEachPort()
{
    QFETCH(QString, tty);
    QFETCH(bool, usb);
    QFETCH(UsbIdentity, identity);
    m_sysfs->addUsbPort("ttyUSB7", "1-7", "10c4", "ea60", "", 0);
    QCOMPARE(::mkfifo(QFile::encodeName(m_sysfs->usbDir("1-7") + "/serial").constData(), 0600), 0);
    m_sysfs->addUsbPort("ttyUSB8", "1-8", "10c4", "ea60", QString(5000, 'S'), 0);
    const auto read = serial::readUsbIdentity(m_sysfs->root(), tty);
    QCOMPARE(read.has_value(), usb);
    if (usb)
        QCOMPARE(*read, identity);
}

void TestPortIdentity::identityThroughADeviceLink()
{
    // A /dev/serial/by-id style link is known by its target's name.
    const QString dev = m_dir->filePath("dev");
    QDir().mkpath(dev + "/serial/by-id");
    QFile node(dev + "/ttyACM0");
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    const QString link = dev + "/serial/by-id/usb-Board_95530343-if00";
    QVERIFY(QFile::link(dev + "/ttyACM0", link));

    QCOMPARE(serial::readUsbIdentityOfDevice(m_sysfs->root(), link), std::optional(kArduino));
    QCOMPARE(serial::readUsbIdentityOfDevice(m_sysfs->root(), dev + "/ttyACM0"), std::optional(kArduino));
    QVERIFY(!serial::readUsbIdentityOfDevice(m_sysfs->root(), "/dev/pts/3"));
}

void TestPortIdentity::findsTheSameAdapterUnderAnotherName_data()
{
    QTest::addColumn<UsbIdentity>("identity");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("back under another number") << kCp2102 << QStringList{"ttyUSB5"};
    QTest::newRow("another serial is not taken") << UsbIdentity{"10c4", "ea60", "0002", "00"} << QStringList{};
    QTest::newRow("another product is not taken") << UsbIdentity{"10c4", "ea70", "0001", "00"} << QStringList{};
    QTest::newRow("dual-port: only its own interface") << kDualPortB << QStringList{"ttyUSB2"};
    QTest::newRow("ttyACM comes back under its new name") << kArduino << QStringList{"ttyACM1"};
    QTest::newRow("gone and not back") << UsbIdentity{"0403", "6001", "A1", "00"} << QStringList{};
}

void TestPortIdentity::findsTheSameAdapterUnderAnotherName()
{
    QFETCH(UsbIdentity, identity);
    QFETCH(QStringList, found);
    // Unplugged and plugged in elsewhere: new USB path, new tty names.
    m_sysfs->unplug("1-1");
    m_sysfs->unplug("1-3");
    m_sysfs->addUsbPort("ttyUSB5", "1-6", "10c4", "ea60", "0001", 0);
    m_sysfs->addUsbPort("ttyACM1", "1-7", "2341", "0043", "95530343", 0);
    QVERIFY(!serial::readUsbIdentity(m_sysfs->root(), "ttyUSB0"));

    QCOMPARE(serial::findTtysWithIdentity(m_sysfs->root(), identity), found);
}

void TestPortIdentity::identicalAdaptersWithoutSerialAreAllCandidates()
{
    m_sysfs->addUsbPort("ttyUSB10", "1-8", "1a86", "7523", "", 0);
    m_sysfs->addUsbPort("ttyUSB4", "1-9", "1a86", "7523", "", 0);
    QCOMPARE(serial::findTtysWithIdentity(m_sysfs->root(), kNoSerial),
             (QStringList{"ttyUSB3", "ttyUSB4", "ttyUSB10"}));
    QCOMPARE(serial::findTtysWithIdentity(m_dir->filePath("nothing"), kNoSerial), QStringList{});
}

void TestPortIdentity::portTextOfADevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("deviceDir");
    QTest::addColumn<QString>("text");

    QTest::newRow("first adapter") << "/dev/ttyUSB0" << "/dev" << "1";
    QTest::newRow("port 12") << "/dev/ttyUSB11" << "/dev" << "12";
    QTest::newRow("ttyACM is a path") << "/dev/ttyACM0" << "/dev" << "/dev/ttyACM0";
    QTest::newRow("pseudo-terminal") << "/dev/pts/3" << "/dev" << "/dev/pts/3";
    QTest::newRow("leading zero is a path") << "/dev/ttyUSB01" << "/dev" << "/dev/ttyUSB01";
    QTest::newRow("other folder") << "/tmp/x/ttyUSB1" << "/tmp/x" << "2";
    QTest::newRow("other folder, default dir") << "/tmp/x/ttyUSB1" << "/dev" << "/tmp/x/ttyUSB1";
}

void TestPortIdentity::portTextOfADevice()
{
    QFETCH(QString, device);
    QFETCH(QString, deviceDir);
    QFETCH(QString, text);
    QCOMPARE(serial::portTextForDevice(device, deviceDir), text);
    // The text leads back to the same device.
    const auto address = serial::resolvePortText(text, deviceDir);
    QVERIFY(address);
    QCOMPARE(address->device, device);
}

namespace {

// Device nodes (plain files here) of the tree's ports in a folder of their
// own, a by-id link, and a process table in which minicom holds ttyUSB3.
serial::PortListPlaces machine(const QTemporaryDir &dir, FakeUsbSysfs &sysfs)
{
    const serial::PortListPlaces places{dir.filePath("dev"), sysfs.root(), dir.filePath("proc")};
    QDir().mkpath(places.deviceDir + "/serial/by-id");
    for (const char *name : {"ttyUSB0", "ttyUSB3", "ttyACM0", "ttyS1", "ttyS2"})
        testsupport::writeFile(places.deviceDir + "/" + name);
    QFile::link(places.deviceDir + "/ttyUSB0", places.deviceDir + "/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0");
    sysfs.setUsbAttribute("1-1", "manufacturer", "Silicon Labs");
    sysfs.setUsbAttribute("1-1", "product", "CP2102 USB to UART Bridge Controller");
    sysfs.bindDriver("ttyUSB0", "cp210x");
    sysfs.addPlatformPort("ttyS1", 4);
    sysfs.addPlatformPort("ttyS2", 0);
    QDir().mkpath(places.procRoot + "/812/fd");
    testsupport::writeFile(places.procRoot + "/812/comm", "minicom\n");
    QFile::link(places.deviceDir + "/ttyUSB3", places.procRoot + "/812/fd/4");
    return places;
}

} // namespace

void TestPortIdentity::portListAndToolTipsOfAMachine()
{
    const serial::PortListPlaces places = machine(*m_dir, *m_sysfs);
    const QString dev = places.deviceDir;
    QCOMPARE(serial::describePortList(serial::listSerialPorts(places)),
             dev + "/ttyUSB0  USB adapter Silicon Labs CP2102 USB to UART Bridge Controller (10c4:ea60), serial 0001, "
                   "driver cp210x, " + dev + "/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0\n"
             + dev + "/ttyUSB3  USB adapter (1a86:7523), in use by minicom (process 812)\n"
             + dev + "/ttyACM0  USB adapter (2341:0043), serial 95530343\n"
             + dev + "/ttyS1  on-board port");
    // A port box's tooltip: the device, then its adapter's names ("unnamed"
    // or "none" where it has none); an on-board port is its path alone. The
    // reconnect test has those of a named adapter and of a missing device.
    QCOMPARE(serial::portToolTip(dev + "/ttyUSB3", places),
             dev + "/ttyUSB3\nVendor: unnamed (1a86)\nProduct: unnamed (7523)\nSerial: none");
    QCOMPARE(serial::portToolTip(dev + "/ttyS1", places), dev + "/ttyS1");

    const serial::PortListPlaces none{m_dir->filePath("empty"), m_sysfs->root(), places.procRoot};
    QDir().mkpath(none.deviceDir);
    QCOMPARE(serial::describePortList(serial::listSerialPorts(none)), QString("No serial ports were found on this machine."));
}

QTEST_GUILESS_MAIN(TestPortIdentity)
#include "tst_port_identity.moc"
