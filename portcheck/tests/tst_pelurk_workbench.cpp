// Pelurk on the workbench: --list and --json over fake sysfs trees, the
// window noticing bridges come and go, and the Windows device-change rule
// fed with fake messages.

#include "discovery/discovery.h"
#include "discovery/sysfs_backend.h"
#include "discovery/tests/fakes.h"
#include "portcheck/bridge_watch.h"
#include "portcheck/command_line.h"
#include "portcheck/port_num.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_process.h"
#include "tests/support/recorders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <unistd.h>

using portcheck::PortNum;
using testsupport::FakeSysfs;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run pelurk(const QStringList &arguments)
{
    // No display at all: the window-less options must not need one.
    QProcess process;
    testsupport::startWithoutDisplay(process, QStringLiteral(PELURK_PATH), arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

const char kTwoBridges[] = "  Serial Num = 0001\n"
                           "  Device Name = CP2102 USB to UART Bridge Controller\n"
                           "  This device is on COM Port :  1\n"
                           "\n"
                           "  Serial Num = AB 12\n"
                           "  Device Name = CP2104\n"
                           "  This device is on COM Port :  3\n"
                           "\n"
                           "\n"
                           "\n";

void addTwoBridges(FakeSysfs &tree)
{
    tree.addBridge(QStringLiteral("1-1"), 0, "0001", "CP2102 USB to UART Bridge Controller");
    tree.addBridge(QStringLiteral("1-2"), 2, "AB 12", "CP2104", "10c4", "ea70");
}

// The port checker's window over a tree, watching it as the program does.
struct WindowRig {
    explicit WindowRig(const QString &root)
        : backends(discovery::makeSysfsBackends(root.toStdString())),
          scan(*backends.vendor, *backends.registry, *backends.version),
          window(scan, boxes, programEnd)
    {
        portcheck::watchBridges(window, root);
        window.start();
    }
    discovery::PlatformBackends backends;
    discovery::Discovery scan;
    testsupport::RecordingMessageBoxes boxes;
    testsupport::RecordingProgramEnd programEnd;
    PortNum window;
};

portcheck::NativeMessage message(quint32 id, quintptr wParam)
{
    portcheck::NativeMessage m{};
    m.message = id;
    m.wParam = wParam;
    return m;
}

} // namespace

class TestPelurkWorkbench : public QObject {
    Q_OBJECT
private slots:
    void listPrintsTheWindowsReport()
    {
        FakeSysfs tree;
        addTwoBridges(tree);
        const Run result = pelurk({QStringLiteral("--list"), QStringLiteral("--sysfs"), tree.root()});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, QByteArray(kTwoBridges));

        WindowRig rig(tree.root());
        QCOMPARE(rig.window.txtData->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 QString::fromUtf8(result.out));
    }

    void listWithoutBridges()
    {
        FakeSysfs tree;
        const Run result = pelurk({QStringLiteral("--list"), QStringLiteral("--sysfs"), tree.root()});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("\n\n"));
        QCOMPARE(result.err, QByteArray("pelurk: no CP210x bridge found\n"));
    }

    void jsonParsesBack()
    {
        FakeSysfs tree;
        // First in port order, so it is looked up with the empty identity.
        tree.addBridge(QStringLiteral("1-0"), 0, "0009", "Unreadable", "zz");
        tree.addBridge(QStringLiteral("1-1"), 1, "0001", "CP2102 USB to UART Bridge Controller");
        tree.addBridge(QStringLiteral("1-2"), 2, "AB 12", "CP2104", "10c4", "ea70");
        const Run result = pelurk({QStringLiteral("--json"), QStringLiteral("--sysfs"), tree.root()});
        QCOMPARE(result.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray bridges = document.array();
        QCOMPARE(bridges.size(), 3);

        const QJsonObject unreadable = bridges[0].toObject();
        for (const char *name : {"serial", "product", "vid", "pid", "port", "device"})
            QVERIFY2(unreadable.value(QLatin1String(name)).isNull(), name);

        const QJsonObject first = bridges[1].toObject();
        QCOMPARE(first.value(QStringLiteral("serial")).toString(), QStringLiteral("0001"));
        QCOMPARE(first.value(QStringLiteral("product")).toString(), QStringLiteral("CP2102 USB to UART Bridge Controller"));
        QCOMPARE(first.value(QStringLiteral("vid")).toInt(), 0x10C4);
        QCOMPARE(first.value(QStringLiteral("pid")).toInt(), 0xEA60);
        QCOMPARE(first.value(QStringLiteral("port")).toInt(), 2);
        QCOMPARE(first.value(QStringLiteral("device")).toString(), QStringLiteral("/dev/ttyUSB1"));
        QVERIFY(first.value(QStringLiteral("port")).isDouble());

        const QJsonObject second = bridges[2].toObject();
        QCOMPARE(second.value(QStringLiteral("serial")).toString(), QStringLiteral("AB 12"));
        QCOMPARE(second.value(QStringLiteral("pid")).toInt(), 0xEA70);
        QCOMPARE(second.value(QStringLiteral("port")).toInt(), 3);
        QCOMPARE(second.value(QStringLiteral("device")).toString(), QStringLiteral("/dev/ttyUSB2"));

        FakeSysfs empty;
        QCOMPARE(QJsonDocument::fromJson(pelurk({QStringLiteral("--json"), QStringLiteral("--sysfs"), empty.root()}).out)
                     .array().size(), 0);
    }

    // A --sysfs folder that is no sysfs tree would give an empty report as if
    // no bridge were attached: the reason instead, status 1, for the window
    // too (which is then never shown).
    void noUsbTreeUnderSysfs_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("folder"); // "" for an empty folder
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("list, empty folder") << "--list" << "" << QByteArray("holds no USB device tree");
        QTest::newRow("window, no such folder") << "" << "/nonexistent" << QByteArray("/nonexistent is no folder");
    }
    void noUsbTreeUnderSysfs()
    {
        QFETCH(QString, option);
        QFETCH(QString, folder);
        QFETCH(QByteArray, reason);
        QTemporaryDir empty;
        QStringList arguments{QStringLiteral("--sysfs"), folder.isEmpty() ? empty.path() : folder};
        if (!option.isEmpty())
            arguments << option;
        const Run result = pelurk(arguments);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.startsWith("pelurk: ") && result.err.contains(reason), result.err.constData());
    }

    void listAndJsonTogetherAreRefused()
    {
        const Run result = pelurk({QStringLiteral("--list"), QStringLiteral("--json")});
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.out, QByteArray());
        QVERIFY(result.err.contains("Usage: pelurk"));
    }

    // A vendor library that cannot be bound: the reason on standard error,
    // status 1, nothing on standard output.
    void libraryFailure_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("list") << QStringLiteral("--list");
        QTest::newRow("json") << QStringLiteral("--json");
    }
    void libraryFailure()
    {
        QFETCH(QString, option);
        discovery::fakes::FakeVendorLibrary vendor;
        vendor.missingFunction = "CP210x_GetNumDevices";
        discovery::fakes::FakeRegistry registry;
        discovery::fakes::FakeVersion version;
        discovery::Discovery scan(vendor, registry, version);
        const auto commandLine = portcheck::makeCommandLine();
        QByteArray program = "pelurk", argument = option.toLatin1();
        char *argv[] = {program.data(), argument.data()};
        QVERIFY(!commandLine->parse(2, argv));

        QTemporaryFile err, out;
        QVERIFY(err.open() && out.open());
        const int savedErr = ::dup(2), savedOut = ::dup(1);
        ::dup2(err.handle(), 2);
        ::dup2(out.handle(), 1);
        const auto status = portcheck::printFromCommandLine(*commandLine, scan);
        ::dup2(savedErr, 2);
        ::dup2(savedOut, 1);
        ::close(savedErr);
        ::close(savedOut);

        QCOMPARE(status, std::optional<int>(1));
        err.seek(0);
        out.seek(0);
        QVERIFY(err.readAll().contains("CP210x_GetNumDevices"));
        QCOMPARE(out.readAll(), QByteArray());
    }

    void windowShowsBridgesComingAndGoing()
    {
        FakeSysfs tree;
        WindowRig rig(tree.root());
        QCOMPARE(rig.window.txtData->text(), QStringLiteral("\r\n\r\n"));

        addTwoBridges(tree);
        const QString two = QString::fromLatin1(kTwoBridges).replace(u'\n', QStringLiteral("\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.window.txtData->text(), two, 2000);

        tree.removeBridge(QStringLiteral("1-1"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window.txtData->text().contains(QStringLiteral("0001")), 2000);
        QVERIFY(rig.window.txtData->text().startsWith(QStringLiteral("  Serial Num = AB 12\r\n")));
        QCOMPARE(rig.programEnd.ends, 0);
        QVERIFY(rig.boxes.boxes.isEmpty());
    }

    // Listing changes that leave the bridges as they were (another kind of
    // adapter plugged in) and quiet seconds leave the report alone: the
    // text is not set again and the reader's place in it stays.
    void noRefreshWhenNothingChanged()
    {
        FakeSysfs tree;
        tree.addBridge(QStringLiteral("1-1"), 0, "0001", "CP2102");
        WindowRig rig(tree.root());
        QTextCursor cursor = rig.window.txtData->textCursor();
        cursor.setPosition(5);
        cursor.setPosition(9, QTextCursor::KeepAnchor);
        rig.window.txtData->setTextCursor(cursor);
        QSignalSpy changes(rig.window.txtData, &QPlainTextEdit::textChanged);

        QDir(tree.root()).mkpath(QStringLiteral("devices/usb1/1-5/1-5:1.0/ttyUSB5"));
        QDir(tree.root()).mkpath(QStringLiteral("bus/usb-serial/drivers/ftdi_sio"));
        QFile::link(tree.root() + QStringLiteral("/bus/usb-serial/drivers/ftdi_sio"),
                    tree.root() + QStringLiteral("/devices/usb1/1-5/1-5:1.0/ttyUSB5/driver"));
        QFile::link(tree.root() + QStringLiteral("/devices/usb1/1-5/1-5:1.0/ttyUSB5"),
                    tree.root() + QStringLiteral("/bus/usb-serial/devices/ttyUSB5"));
        QTest::qWait(2500);

        QCOMPARE(changes.size(), 0);
        QCOMPARE(rig.window.txtData->textCursor().selectionStart(), 5);
        QCOMPARE(rig.window.txtData->textCursor().selectionEnd(), 9);

        // A real change still comes through after the quiet ones.
        tree.addBridge(QStringLiteral("1-2"), 1, "0002", "CP2102");
        QTRY_VERIFY_WITH_TIMEOUT(rig.window.txtData->text().contains(QStringLiteral("0002")), 2000);
        QCOMPARE(changes.size(), 1);
    }

    void deviceChangeMessages_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<quintptr>("wParam");
        QTest::addColumn<bool>("change");
        QTest::newRow("arrival") << 0x0219u << quintptr(0x8000) << true;
        QTest::newRow("removal complete") << 0x0219u << quintptr(0x8004) << true;
        QTest::newRow("device tree changed") << 0x0219u << quintptr(0x0007) << true;
        QTest::newRow("query remove") << 0x0219u << quintptr(0x8001) << false;
        QTest::newRow("remove pending") << 0x0219u << quintptr(0x8003) << false;
        QTest::newRow("power broadcast") << 0x0218u << quintptr(0x8000) << false;
    }
    void deviceChangeMessages()
    {
        QFETCH(uint, id);
        QFETCH(quintptr, wParam);
        QFETCH(bool, change);
        QCOMPARE(portcheck::isDeviceChange(message(id, wParam)), change);
    }

    // A plug sends a burst of messages; the window hears of it once. Other
    // native events pass untouched.
    void deviceChangeBurstReportedOnce()
    {
        portcheck::DeviceChangeWatch watch(100);
        QSignalSpy reports(&watch, &portcheck::DeviceChangeWatch::mayHaveChanged);
        qintptr result = 0;
        portcheck::NativeMessage arrival = message(0x0219, 0x8000);
        portcheck::NativeMessage nodes = message(0x0219, 0x0007);
        QVERIFY(!watch.nativeEventFilter("windows_generic_MSG", &arrival, &result));
        QVERIFY(!watch.nativeEventFilter("windows_generic_MSG", &nodes, &result));
        QVERIFY(!watch.nativeEventFilter("windows_generic_MSG", &arrival, &result));
        QVERIFY(reports.wait(1000));
        QTest::qWait(300);
        QCOMPARE(reports.size(), 1);

        QVERIFY(!watch.nativeEventFilter("xcb_generic_event_t", &arrival, &result));
        portcheck::NativeMessage other = message(0x0218, 0x8000);
        QVERIFY(!watch.nativeEventFilter("windows_generic_MSG", &other, &result));
        QTest::qWait(300);
        QCOMPARE(reports.size(), 1);
    }
};

QTEST_MAIN(TestPelurkWorkbench)
#include "tst_pelurk_workbench.moc"
