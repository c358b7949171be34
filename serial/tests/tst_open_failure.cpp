#include "serial/open_failure.h"
#include "serial/serial_control.h"
#include "tests/support/files.h"
#include "tests/support/pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <unistd.h>

using serial::OpenFailure;
using serial::OpenFailureKind;
using serial::PortHolder;

Q_DECLARE_METATYPE(OpenFailure)

class TestOpenFailure : public QObject {
    Q_OBJECT
private slots:
    void causeTexts_data();
    void causeTexts();
    void examinedFromTheDeviceAndProc_data();
    void examinedFromTheDeviceAndProc();
    void groupOfTheDevice();
    void secondOpenFromAnotherProcessIsBusy_data();
    void secondOpenFromAnotherProcessIsBusy();
};

void TestOpenFailure::causeTexts_data()
{
    QTest::addColumn<OpenFailure>("failure");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing number")
        << OpenFailure{"/dev/ttyUSB4", 5, OpenFailureKind::Missing, "No such file or directory", {}, {}, {}}
        << "/dev/ttyUSB4: No such file or directory\r\n"
           "Port 5 is /dev/ttyUSB4, and no such device exists.\r\n"
           "Check that the adapter is plugged in.";
    QTest::newRow("missing path")
        << OpenFailure{"/dev/ttyACM3", 0, OpenFailureKind::Missing, "No such file or directory", {}, {}, {}}
        << "/dev/ttyACM3: No such file or directory\r\n"
           "No such device exists.\r\n"
           "Check that the adapter is plugged in.";
    QTest::newRow("permission, dialout")
        << OpenFailure{"/dev/ttyUSB0", 1, OpenFailureKind::Permission, "Permission denied", "dialout", {}, {}}
        << "/dev/ttyUSB0: Permission denied\r\n"
           "Permission denied: the device belongs to the group \"dialout\".\r\n"
           "To use it, join that group:\r\n"
           "sudo usermod -aG dialout $USER\r\n"
           "then log out and log in again.";
    QTest::newRow("permission, another group")
        << OpenFailure{"/dev/ttyACM0", 0, OpenFailureKind::Permission, "Permission denied", "uucp", {}, {}}
        << "/dev/ttyACM0: Permission denied\r\n"
           "Permission denied: the device belongs to the group \"uucp\".\r\n"
           "To use it, join that group:\r\n"
           "sudo usermod -aG uucp $USER\r\n"
           "then log out and log in again.";
    QTest::newRow("permission, root only")
        << OpenFailure{"/dev/ttyUSB0", 1, OpenFailureKind::Permission, "Permission denied", "root", {}, {}}
        << "/dev/ttyUSB0: Permission denied\r\n"
           "Permission denied: serial devices usually belong to the group \"dialout\".\r\n"
           "To use it, join that group:\r\n"
           "sudo usermod -aG dialout $USER\r\n"
           "then log out and log in again.";
    QTest::newRow("busy, holder known")
        << OpenFailure{"/dev/ttyUSB1", 2, OpenFailureKind::Busy, "Device or resource busy", {},
                       PortHolder{4242, "linewatch"}, {}}
        << "/dev/ttyUSB1: Device or resource busy\r\n"
           "The device is in use by linewatch (process 4242).";
    QTest::newRow("busy, holder unknown")
        << OpenFailure{"/dev/ttyUSB1", 2, OpenFailureKind::Busy, "Device or resource busy", {}, {}, {}}
        << "/dev/ttyUSB1: Device or resource busy\r\n"
           "The device is in use by another program.";
    QTest::newRow("reason names the device")
        << OpenFailure{"/dev/ttyUSB0", 1, OpenFailureKind::Permission, "Cannot open /dev/ttyUSB0: Permission denied",
                       "dialout", {}, {}}
        << "Cannot open /dev/ttyUSB0: Permission denied\r\n"
           "Permission denied: the device belongs to the group \"dialout\".\r\n"
           "To use it, join that group:\r\n"
           "sudo usermod -aG dialout $USER\r\n"
           "then log out and log in again.";
    QTest::newRow("other") << OpenFailure{"/dev/ttyS0", 0, OpenFailureKind::Other, "Input/output error", {}, {}, {}}
                           << "/dev/ttyS0: Input/output error";
    QTest::newRow("lock stale")
        << OpenFailure{"/dev/ttyUSB0", 1, OpenFailureKind::LockStale, "Permission error while locking the device", {},
                       PortHolder{812, "tavrin"}, "/var/lock/LCK..ttyUSB0"}
        << "/dev/ttyUSB0: Permission error while locking the device\r\n"
           "The lock file /var/lock/LCK..ttyUSB0 was left by tavrin (process 812), which no longer runs.\r\n"
           "Remove it, then open the port again:\r\n"
           "sudo rm /var/lock/LCK..ttyUSB0";
    QTest::newRow("lock unreadable")
        << OpenFailure{"/dev/ttyUSB0", 1, OpenFailureKind::LockUnreadable, "Permission error while locking the device",
                       {}, {}, "/var/lock/LCK..ttyUSB0"}
        << "/dev/ttyUSB0: Permission error while locking the device\r\n"
           "The lock file /var/lock/LCK..ttyUSB0 cannot be read, so it does not tell which program holds the device.\r\n"
           "If no program uses the device, remove it, then open the port again:\r\n"
           "sudo rm /var/lock/LCK..ttyUSB0";
}

void TestOpenFailure::causeTexts()
{
    QFETCH(OpenFailure, failure);
    QFETCH(QString, text);
    QCOMPARE(serial::describeOpenFailure(failure), text);
}

void TestOpenFailure::examinedFromTheDeviceAndProc_data()
{
    QTest::addColumn<QString>("device");      // relative to the temp folder
    QTest::addColumn<QSerialPort::SerialPortError>("error"); // as the serial port reported it
    QTest::addColumn<QByteArray>("lock");     // its lock file: none, its text, or "<folder>"
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("holderPid");    // 0: none
    QTest::addColumn<QString>("holderName");

    const QByteArray none;
    QTest::newRow("reported missing") << "ttyUSB0" << QSerialPort::DeviceNotFoundError << none << int(OpenFailureKind::Missing) << qint64(0) << "";
    QTest::newRow("not there") << "ttyUSB7" << QSerialPort::OpenError << none << int(OpenFailureKind::Missing) << qint64(0) << "";
    QTest::newRow("dangling link") << "dangling" << QSerialPort::PermissionError << none << int(OpenFailureKind::Missing) << qint64(0) << "";
    QTest::newRow("held, lowest process first") << "ttyUSB0" << QSerialPort::PermissionError << none << int(OpenFailureKind::Busy) << qint64(77) << "linewatch";
    QTest::newRow("held through a link") << "link" << QSerialPort::PermissionError << none << int(OpenFailureKind::Busy) << qint64(77) << "linewatch";
    QTest::newRow("device refused") << "ttyUSB1" << QSerialPort::PermissionError << none << int(OpenFailureKind::Permission) << qint64(0) << "";
    QTest::newRow("other reason") << "ttyUSB1" << QSerialPort::UnsupportedOperationError << none << int(OpenFailureKind::Other) << qint64(0) << "";
    // A lock file whose writer runs, though its descriptors are hidden (a
    // process of another user), is named by the process table.
    QTest::newRow("lock held") << "ttyUSB1" << QSerialPort::PermissionError << QByteArray("     12\nxterm\nbench\n")
                               << int(OpenFailureKind::Busy) << qint64(12) << "bash";
    QTest::newRow("lock stale") << "ttyUSB1" << QSerialPort::PermissionError << QByteArray("4321\ntavrin\nbench\n")
                                << int(OpenFailureKind::LockStale) << qint64(4321) << "tavrin";
    QTest::newRow("lock unreadable") << "ttyUSB1" << QSerialPort::PermissionError << QByteArray("\x10\x27\0\0", 4)
                                     << int(OpenFailureKind::LockUnreadable) << qint64(0) << "";
    QTest::newRow("lock with a NUL after its number") << "ttyUSB1" << QSerialPort::PermissionError
                                                     << QByteArray("4321\0junk\n", 10)
                                                     << int(OpenFailureKind::LockUnreadable) << qint64(0) << "";
    QTest::newRow("lock is a folder") << "ttyUSB1" << QSerialPort::PermissionError << QByteArray("<folder>")
                                      << int(OpenFailureKind::LockUnreadable) << qint64(0) << "";
    QTest::newRow("stale lock, another error") << "ttyUSB1" << QSerialPort::UnsupportedOperationError
                                               << QByteArray("4321\n") << int(OpenFailureKind::Other) << qint64(0) << "";
}

void TestOpenFailure::examinedFromTheDeviceAndProc()
{
    QFETCH(QString, device);
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(QByteArray, lock);
    QFETCH(int, kind);
    QFETCH(qint64, holderPid);
    QFETCH(QString, holderName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"ttyUSB0", "ttyUSB1"}) {
        QFile node(dir.filePath(name));
        QVERIFY(node.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(dir.filePath("ttyUSB0"), dir.filePath("link")));
    QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
    // Two processes hold ttyUSB0; one holds something else.
    const QString proc = dir.filePath("proc");
    const auto addProcess = [&](const QString &pid, const QString &comm, const QString &target) {
        QVERIFY(QDir().mkpath(proc + "/" + pid + "/fd"));
        QFile f(proc + "/" + pid + "/comm");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(comm.toLatin1() + "\n");
        QVERIFY(QFile::link(target, proc + "/" + pid + "/fd/3"));
    };
    addProcess("903", "rigtool", dir.filePath("ttyUSB0"));
    addProcess("77", "linewatch", dir.filePath("ttyUSB0"));
    addProcess("12", "bash", "/dev/null");
    QVERIFY(QDir().mkpath(proc + "/self/fd"));
    // Lock files are looked for in the second folder; the name is the
    // device path with '/' made '_'.
    const QString locks = dir.filePath("lock");
    QVERIFY(QDir().mkpath(locks));
    const QString lockFile = locks + "/LCK.." + dir.filePath(device).replace('/', '_');
    if (lock == "<folder>") {
        QVERIFY(QDir().mkpath(lockFile));
    } else if (!lock.isNull()) {
        QVERIFY(testsupport::writeFile(lockFile, lock));
    }

    const OpenFailure f = serial::examineOpenFailure(dir.filePath(device), 0, "reason", error,
                                                     {proc, {dir.filePath("no-locks"), locks}});
    QCOMPARE(int(f.kind), kind);
    QCOMPARE(f.holder ? f.holder->pid : 0, holderPid);
    if (f.holder)
        QCOMPARE(f.holder->name, holderName);
    const bool lockCause = kind == int(OpenFailureKind::LockStale) || kind == int(OpenFailureKind::LockUnreadable)
        || (!lock.isNull() && kind == int(OpenFailureKind::Busy));
    QCOMPARE(f.lockFile, lockCause ? lockFile : QString());
    QCOMPARE(f.device, dir.filePath(device));
    QCOMPARE(f.systemReason, QString("reason"));
    // The group of the device is named only when the device refused.
    QCOMPARE(serial::describeOpenFailure(f).contains("dialout"), kind == int(OpenFailureKind::Permission));
}

void TestOpenFailure::groupOfTheDevice()
{
    QTemporaryDir dir;
    QFile node(dir.filePath("ttyUSB0"));
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    const ::group *own = ::getgrgid(::getegid());
    QVERIFY(own);
    QCOMPARE(serial::deviceGroup(node.fileName()), QString::fromLocal8Bit(own->gr_name));
    QCOMPARE(serial::deviceGroup(dir.filePath("missing")), QString());
    // A device refused for permission reports the group it belongs to.
    const OpenFailure f = serial::examineOpenFailure(node.fileName(), 0, "Permission denied",
                                                     QSerialPort::PermissionError, {dir.filePath("no-proc"), {}});
    QCOMPARE(int(f.kind), int(OpenFailureKind::Permission));
    QCOMPARE(f.group, QString::fromLocal8Bit(own->gr_name));
}

void TestOpenFailure::secondOpenFromAnotherProcessIsBusy_data()
{
    QTest::addColumn<QStringList>("how");
    QTest::newRow("a serial port of ours") << QStringList{};
    // No lock file, no exclusive use: only the process table tells, and
    // root (these tests) is refused too.
    QTest::newRow("a plain open") << QStringList{"--plain"};
}

void TestOpenFailure::secondOpenFromAnotherProcessIsBusy()
{
    QFETCH(QStringList, how);
    testsupport::PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QProcess holder;
    holder.start(QCoreApplication::applicationDirPath() + "/port_holder", how << pty.slavePath());
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));

    serial::SerialControl port;
    port.setDevice(pty.slavePath());
    QVERIFY(!port.setPortOpen(true));
    const OpenFailure f = serial::examineOpenFailure(
        pty.slavePath(), 0, port.lastError(), port.lastOpenFailure().error);
    QCOMPARE(int(f.kind), int(OpenFailureKind::Busy));
    QVERIFY(f.holder);
    QCOMPARE(f.holder->pid, qint64(holder.processId()));
    QCOMPARE(f.holder->name, QString("port_holder"));
    QVERIFY(serial::describeOpenFailure(f).contains(
        QString("in use by port_holder (process %1)").arg(holder.processId())));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    // Released: the same device opens now.
    QVERIFY2(port.setPortOpen(true), qPrintable(port.lastError()));
}

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_open_failure.moc"
