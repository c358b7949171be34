#include "console/panel/adapter_return.h"
#include "console/frmmain.h"
#include "tests/support/console_window.h"
#include "console/panel/port_chooser.h"
#include "tests/support/fake_usb_sysfs.h"
#include "tests/support/files.h"
#include "tests/support/modal_answers.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using console::AdapterReturn;
using console::frmMain;
using console::ReturnRule;
using testsupport::FakeUsbSysfs;
using testsupport::PseudoTerminal;
using testsupport::RecordingMessageBoxes;

namespace {

// A temporary /dev and /sys: device links stand for device nodes, and the
// sysfs tree says which USB adapter each ttyUSB name belongs to.
struct Machine {
    QTemporaryDir dir;
    QString dev = dir.filePath("dev");
    FakeUsbSysfs sysfs{dir.filePath("sys")};
    QString settings = dir.filePath("settings.ini");

    Machine() { QDir().mkpath(dev); }
    QString device(const QString &name) const { return dev + "/" + name; }
    // An adapter plugged in: its device link to `target` (a file or a
    // pseudo-terminal) and its sysfs entry.
    void plug(const QString &tty, const QString &usbPath, const QString &serial, const QString &target)
    {
        QFile::link(target, device(tty));
        sysfs.addUsbPort(tty, usbPath, "10c4", "ea60", serial, 0);
    }
    void unplug(const QString &tty, const QString &usbPath)
    {
        QFile::remove(device(tty));
        sysfs.unplug(usbPath);
    }
    console::PortEnvironment environment(ReturnRule rule = ReturnRule::UsbIdentity) const
    {
        return {{dev, sysfs.root()}, rule, settings};
    }
};

// The window over the machine.
struct Console : testsupport::ConsoleWindow {
    explicit Console(const Machine &m, ReturnRule rule = ReturnRule::UsbIdentity)
        : ConsoleWindow(m.environment(rule))
    {
        // The right panel's "2" would conflict with an adapter back as port 2.
        w.Combo1[1]->setEditText("9");
    }
    // Panel 0 runs on port 1 (ttyUSB0, serial A1), receives `before`, and
    // is stopped by the fault when that adapter is unplugged.
    bool runUntilUnplugged(Machine &m, bool reconnect, const QByteArray &before = {})
    {
        auto first = std::make_unique<PseudoTerminal>();
        m.plug("ttyUSB0", "1-1", "A1", first->slavePath());
        setReconnect(0, reconnect);
        w.Combo1[0]->setEditText("1");
        w.Check1[0]->click();
        if (!w.Started0)
            return false;
        first->write(before);
        if (!receive(0, before.size()))
            return false;
        // The far end goes, then the device and its sysfs entry.
        first.reset();
        m.unplug("ttyUSB0", "1-1");
        return fault(0);
    }
};

// Holds a device open from another process, as another program would.
QString portHolder()
{
    return QCoreApplication::applicationDirPath() + "/../../serial/tests/port_holder";
}

} // namespace

class TestReconnect : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }
    void whichDeviceCountsAsReturned_data();
    void whichDeviceCountsAsReturned();
    void backUnderAnotherNumberWithoutAClick();
    void itemOffStaysStoppedAsBefore();
    void anotherSerialIsNotTakenAndAClickEndsTheWait_data();
    void anotherSerialIsNotTakenAndAClickEndsTheWait();
    void pseudoTerminalIsNotTakenBackBlindly();
    void timerTicksGoOnBehindTheFaultBox();
    void refusedReconnectKeepsWaitingWithoutBoxes();
    void repeatedFaultsShareOneBox();
    void returnBesideTheOtherPanel_data();
    void returnBesideTheOtherPanel();
    void itemRememberedPerPanelAcrossARestart();
    void startFailureShowsTheCause_data();
    void startFailureShowsTheCause();
    void choosingPorts();
};

void TestReconnect::whichDeviceCountsAsReturned_data()
{
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("opened");      // device link name at the start
    QTest::addColumn<QString>("kind");        // usb (an identity in sysfs), file, pty
    QTest::addColumn<QString>("backAs");      // name it returns under ("" = not back)
    QTest::addColumn<QString>("backSerial");
    QTest::addColumn<QString>("back");        // what returns: same (node), other (node), held (by another program)
    QTest::addColumn<QString>("tried");       // device expected to be tried

    const int usb = int(ReturnRule::UsbIdentity);
    const int name = int(ReturnRule::SameName);
    QTest::newRow("identity: not back") << usb << "ttyUSB0" << "usb" << "" << "" << "same" << "";
    QTest::newRow("identity: same name") << usb << "ttyUSB0" << "usb" << "ttyUSB0" << "A1" << "same" << "ttyUSB0";
    QTest::newRow("identity: another name") << usb << "ttyUSB0" << "usb" << "ttyUSB3" << "A1" << "same" << "ttyUSB3";
    QTest::newRow("identity: another serial") << usb << "ttyUSB0" << "usb" << "ttyUSB0" << "B2" << "same" << "";
    QTest::newRow("no identity: same node") << usb << "rfcomm0" << "file" << "rfcomm0" << "" << "same" << "rfcomm0";
    QTest::newRow("no identity: other path") << usb << "rfcomm0" << "file" << "rfcomm1" << "" << "same" << "";
    QTest::newRow("no identity: another node") << usb << "rfcomm0" << "file" << "rfcomm0" << "" << "other" << "";
    QTest::newRow("no identity: held by another") << usb << "rfcomm0" << "file" << "rfcomm0" << "" << "held" << "";
    QTest::newRow("pseudo-terminal: never waited for") << usb << "ptylink" << "pty" << "ptylink" << "" << "same" << "";
    QTest::newRow("same name: back as it was") << name << "ttyUSB0" << "usb" << "ttyUSB0" << "A1" << "same" << "ttyUSB0";
    QTest::newRow("same name: another number") << name << "ttyUSB0" << "usb" << "ttyUSB3" << "A1" << "same" << "";
}

void TestReconnect::whichDeviceCountsAsReturned()
{
    QFETCH(int, rule);
    QFETCH(QString, opened);
    QFETCH(QString, kind);
    QFETCH(QString, backAs);
    QFETCH(QString, backSerial);
    QFETCH(QString, back);
    QFETCH(QString, tried);

    Machine m;
    PseudoTerminal pty;
    QString node = m.dir.filePath("node");
    QVERIFY(testsupport::writeFile(node));
    if (kind == "pty")
        node = pty.slavePath();
    if (kind == "usb")
        m.plug(opened, "1-1", "A1", node);
    else
        QFile::link(node, m.device(opened));

    AdapterReturn wait(ReturnRule(rule), m.environment().places);
    wait.begin();
    QVERIFY(!wait.waiting()); // nothing opened yet, nothing to wait for
    wait.remember(m.device(opened));
    QCOMPARE(wait.identity().has_value(), kind == "usb" && rule == int(ReturnRule::UsbIdentity));
    wait.begin();
    // A pseudo-terminal that closed never returns: no wait, no candidate.
    QCOMPARE(wait.waiting(), kind != "pty");
    QCOMPARE(wait.recognisable(), kind != "pty");

    m.unplug(opened, "1-1");
    QCOMPARE(wait.candidates(), QStringList{});
    QProcess holder;
    if (back == "other") {
        node = m.dir.filePath("another node");
        QVERIFY(testsupport::writeFile(node));
    }
    if (!backAs.isEmpty()) {
        if (kind == "usb")
            m.plug(backAs, "1-4", backSerial, node);
        else
            QFile::link(node, m.device(backAs));
    }
    if (back == "held") {
        holder.start(portHolder(), {"--plain", node});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));
    }
    QCOMPARE(wait.candidates(), tried.isEmpty() ? QStringList{} : QStringList{m.device(tried)});
    // Why the node at the path is not taken, for the box's tooltip.
    const QString stranger = wait.strangerAtPath();
    QCOMPARE(stranger.contains("another device now"), back == "other");
    QCOMPARE(stranger.contains(QString("in use by port_holder (process %1)").arg(holder.processId())), back == "held");
    holder.closeWriteChannel();
    holder.waitForFinished(5000);
    wait.end();
    QCOMPARE(wait.candidates(), QStringList{});
}

void TestReconnect::backUnderAnotherNumberWithoutAClick()
{
    Machine m;
    Console c(m);
    QVERIFY(c.runUntilUnplugged(m, true, "before"));
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    QVERIFY(c.view(0).waitingForAdapter());
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::PartiallyChecked);
    QVERIFY(!c.w.Started0);
    c.tick();
    c.tick();

    // Back under the next number, a new USB path, the same identity.
    PseudoTerminal second;
    m.plug("ttyUSB1", "1-2", "A1", second.slavePath());
    c.tick();
    QCOMPARE(c.w.Combo1[0]->currentText(), QString("2"));
    QVERIFY(c.w.Started0);
    QVERIFY(!c.view(0).waitingForAdapter());
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::Checked);
    QVERIFY(c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.MSComm1[0].device(), m.device("ttyUSB1"));
    QVERIFY(c.w.Command2[0]->isEnabled());
    // The panel noted it all, as the traffic view lists it.
    QStringList events;
    for (const console::PortEvent &e : c.panel(0).events())
        events << console::portEventText(e).section(':', 0, 0);
    QCOMPARE(events, (QStringList{"started 9600,n,8,1", "fault", "waiting", "reconnected 2"}));
    second.write("after");
    QVERIFY(c.receive(0, 5));
    // The grids kept what they had; one box in all.
    QCOMPARE(c.text(0, 1, 1, 11), QString("beforeafter"));
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
}

void TestReconnect::itemOffStaysStoppedAsBefore()
{
    Machine m;
    Console c(m);
    QVERIFY(!c.view(0).menu()->reconnectAction()->isChecked());
    QVERIFY(c.runUntilUnplugged(m, false));
    PseudoTerminal second;
    m.plug("ttyUSB1", "1-2", "A1", second.slavePath());
    c.tick();
    c.tick();
    QVERIFY(!c.view(0).waitingForAdapter());
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::Unchecked);
    QVERIFY(!c.w.Started0);
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.Combo1[0]->currentText(), QString("1"));
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
}

void TestReconnect::anotherSerialIsNotTakenAndAClickEndsTheWait_data()
{
    QTest::addColumn<bool>("itemOff"); // the wait ends by the item, not a click
    QTest::newRow("a click on the box") << false;
    QTest::newRow("the item switched off") << true;
}

void TestReconnect::anotherSerialIsNotTakenAndAClickEndsTheWait()
{
    QFETCH(bool, itemOff);
    Machine m;
    Console c(m);
    QVERIFY(c.runUntilUnplugged(m, true));

    // Another adapter of the same kind, another serial, same number.
    PseudoTerminal other;
    m.plug("ttyUSB0", "1-1", "B2", other.slavePath());
    c.tick();
    QVERIFY(c.view(0).waitingForAdapter());
    QVERIFY(!c.w.MSComm1[0].portOpen());

    // A click on the partly checked box, or the item switched off, ends
    // the wait, panel stopped.
    if (itemOff)
        c.setReconnect(0, false);
    else
        c.w.Check1[0]->click();
    QVERIFY(!c.view(0).waitingForAdapter());
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::Unchecked);
    QVERIFY(!c.w.Started0);
    QVERIFY(c.w.Combo1[0]->isEnabled());
    PseudoTerminal back;
    m.plug("ttyUSB2", "1-3", "A1", back.slavePath());
    c.tick();
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    // The next fault waits again unless the item went off.
    QCOMPARE(c.view(0).reconnectAutomatically(), !itemOff);
    // The box is a plain one again: the next click starts the panel.
    c.w.Check1[0]->click();
    QVERIFY(c.w.Started0);
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::Checked);
}

void TestReconnect::pseudoTerminalIsNotTakenBackBlindly()
{
    // A pseudo-terminal has no identity: once its far end closed, the next
    // pseudo-terminal at its path is another program's.
    Machine m;
    auto first = std::make_unique<PseudoTerminal>();
    const QString link = m.device("ptylink");
    QVERIFY(QFile::link(first->slavePath(), link));
    Console c(m);
    c.setReconnect(1, true);
    c.w.Combo1[1]->setEditText(link);
    c.w.Check1[1]->click();
    QVERIFY(c.w.Started1);

    PseudoTerminal stranger;
    c.boxes.whileShown = [&](const testsupport::ShownBox &) {
        QFile::remove(link);
        QFile::link(stranger.slavePath(), link);
        c.tick();
        c.tick();
    };
    first.reset();
    QVERIFY(c.fault(1));
    QVERIFY(!c.w.Started1);
    QVERIFY(!c.w.MSComm1[1].portOpen());
    QVERIFY(!c.view(1).waitingForAdapter());
    QCOMPARE(c.w.Check1[1]->checkState(), Qt::Unchecked);
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    const QString details = c.boxes.boxes[0].details;
    QVERIFY2(details.startsWith(link + ": ") && details.contains("will not reopen it by itself")
                 && !details.contains("waits"),
             qPrintable(details));
    // What the stranger sends is never shown as received.
    stranger.write("not ours");
    c.tick();
    QCOMPARE(c.text(1, 1, 1, 8), QString());
    QStringList events;
    for (const console::PortEvent &e : c.panel(1).events())
        events << console::portEventText(e).section(':', 0, 0);
    QCOMPARE(events, (QStringList{"started 9600,n,8,1", "fault"}));
    // Start opens it again, as the user asks.
    c.w.Check1[1]->click();
    QVERIFY(c.w.Started1);
    QVERIFY(c.w.MSComm1[1].portOpen());
}

void TestReconnect::timerTicksGoOnBehindTheFaultBox()
{
    // As in use: the window's own timer finds the fault and opens the box,
    // and while the box is open the adapter returns and the other panel
    // receives.
    Machine m;
    auto first = std::make_unique<PseudoTerminal>();
    m.plug("ttyUSB0", "1-1", "A1", first->slavePath());
    PseudoTerminal other;
    Console c(m);
    c.setReconnect(0, true);
    c.w.Combo1[0]->setEditText("1");
    c.w.Check1[0]->click();
    c.w.Combo1[1]->setEditText(other.slavePath());
    c.w.Check1[1]->click();
    QVERIFY(c.w.Started0 && c.w.Started1);

    PseudoTerminal second;
    bool reconnected = false;
    bool otherReceived = false;
    c.boxes.whileShown = [&](const testsupport::ShownBox &) {
        m.plug("ttyUSB1", "1-2", "A1", second.slavePath());
        other.write("meanwhile");
        for (int i = 0; i < 300 && !(reconnected && otherReceived); ++i) {
            QTest::qWait(10);
            reconnected = c.w.Started0 && c.w.MSComm1[0].portOpen();
            otherReceived = c.text(1, 1, 1, 9) == "meanwhile";
        }
    };
    c.w.Timer1->start();
    first.reset();
    m.unplug("ttyUSB0", "1-1");
    QTRY_COMPARE_WITH_TIMEOUT(c.boxes.texts(), QStringList{"COM Port Error."}, 3000);
    c.w.Timer1->stop();
    QVERIFY(reconnected);
    QVERIFY(otherReceived);
    QCOMPARE(c.w.Combo1[0]->currentText(), QString("2"));
}

void TestReconnect::refusedReconnectKeepsWaitingWithoutBoxes()
{
    Machine m;
    Console c(m);
    QVERIFY(c.runUntilUnplugged(m, true));

    // Back, but another program grabbed it first.
    PseudoTerminal second;
    m.plug("ttyUSB1", "1-2", "A1", second.slavePath());
    QProcess holder;
    holder.start(portHolder(), {m.device("ttyUSB1")});
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));
    for (int i = 0; i < 4; ++i)
        c.tick();
    QVERIFY(c.view(0).waitingForAdapter());
    QCOMPARE(c.w.Check1[0]->checkState(), Qt::PartiallyChecked);
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    QVERIFY2(c.w.Check1[0]->toolTip().contains(QString("in use by port_holder (process %1)").arg(holder.processId())),
             qPrintable(c.w.Check1[0]->toolTip()));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    c.tick();
    QVERIFY(c.w.Started0);
    QVERIFY(c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.Check1[0]->toolTip(), QString());
}

void TestReconnect::repeatedFaultsShareOneBox()
{
    // An adapter that comes and goes: every fault after a reconnect meets
    // the panel's box still open.
    Machine m;
    Console c(m);
    bool faulted = true;
    c.boxes.whileShown = [&](const testsupport::ShownBox &) {
        for (int again = 0; again < 2; ++again) {
            auto back = std::make_unique<PseudoTerminal>();
            m.plug("ttyUSB1", "1-2", "A1", back->slavePath());
            c.tick();
            faulted = faulted && c.w.Started0;
            back.reset();
            m.unplug("ttyUSB1", "1-2");
            faulted = faulted && c.fault(0);
        }
    };
    QVERIFY(c.runUntilUnplugged(m, true));
    QVERIFY(faulted);
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    const QStringList later = c.boxes.boxes[0].laterDetails;
    QVERIFY(!later.isEmpty());
    const QRegularExpression counted("^" + QRegularExpression::escape(m.device("ttyUSB1"))
                                     + ": [^\r\n]+\r\nThe fault came 3 times, the last at \\d\\d:\\d\\d:\\d\\d\\."
                                       "\r\nThe panel waits for its adapter");
    QVERIFY2(counted.match(later.last()).hasMatch(), qPrintable(later.join('|')));
    QVERIFY(c.view(0).waitingForAdapter());
    // Once that box is closed, the next fault has a box of its own again,
    // counted from one.
    c.boxes.whileShown = nullptr;
    auto back = std::make_unique<PseudoTerminal>();
    m.plug("ttyUSB1", "1-2", "A1", back->slavePath());
    c.tick();
    QVERIFY(c.w.Started0);
    back.reset();
    m.unplug("ttyUSB1", "1-2");
    QVERIFY(c.fault(0));
    QCOMPARE(c.boxes.texts(), (QStringList{"COM Port Error.", "COM Port Error."}));
    QVERIFY2(!c.boxes.boxes[1].details.contains("times"), qPrintable(c.boxes.boxes[1].details));
}

void TestReconnect::returnBesideTheOtherPanel_data()
{
    QTest::addColumn<bool>("otherRuns"); // the right panel runs on ttyUSB1
    QTest::newRow("stopped panel showing 2") << false;
    QTest::newRow("panel running on the device") << true;
}

void TestReconnect::returnBesideTheOtherPanel()
{
    QFETCH(bool, otherRuns);
    Machine m;
    Console c(m);
    c.w.Combo1[1]->setEditText("2"); // as the window starts
    // The right panel ran on port 2 (another device then), and stopped or not.
    PseudoTerminal other;
    QFile::link(other.slavePath(), m.device("ttyUSB1"));
    c.w.Check1[1]->click();
    QVERIFY(c.w.Started1);
    if (!otherRuns) {
        c.w.Check1[1]->click();
        c.tick();
    }
    // The adapter comes back as ttyUSB1, port 2, while the fault box is open.
    PseudoTerminal second;
    c.boxes.whileShown = [&](const testsupport::ShownBox &box) {
        if (box.text != "COM Port Error.")
            return;
        QFile::remove(m.device("ttyUSB1"));
        m.plug("ttyUSB1", "1-2", "A1", second.slavePath());
        c.tick();
    };
    QVERIFY(c.runUntilUnplugged(m, true));
    const testsupport::ShownBox fault = c.boxes.boxes[0];
    const QString cause = fault.details.section("\r\n", 0, 0);
    QVERIFY2(fault.details.startsWith(m.device("ttyUSB0") + ": ") && fault.details.contains("waits for its adapter"),
             qPrintable(fault.details));
    QCOMPARE(c.w.Combo1[0]->currentText(), QString("2"));
    QCOMPARE(c.w.MSComm1[0].portOpen(), !otherRuns);
    QCOMPARE(c.view(0).waitingForAdapter(), false);
    if (otherRuns) {
        QCOMPARE(c.boxes.texts(), (QStringList{"COM Port Error.", "COM Port Conflict Error."}));
        QCOMPARE(fault.laterDetails, QStringList{cause}); // no wait spoken of
        return;
    }
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    QCOMPARE(c.w.MSComm1[0].device(), m.device("ttyUSB1"));
    const QRegularExpression back(QRegularExpression::escape(cause + "\r\nThe adapter is back on port 2 ("
                                                             + m.device("ttyUSB1") + ") since ")
                                  + "\\d\\d:\\d\\d:\\d\\d; the panel receives again\\.$");
    QVERIFY2(fault.laterDetails.size() == 1 && back.match(fault.laterDetails[0]).hasMatch(),
             qPrintable(fault.laterDetails.join('|')));
    // A click on the other panel's Start still meets the conflict rule.
    c.w.Check1[1]->click();
    QCOMPARE(c.boxes.texts().last(), QString("COM Port Conflict Error."));
}

void TestReconnect::itemRememberedPerPanelAcrossARestart()
{
    Machine m;
    {
        Console c(m);
        QVERIFY(!c.view(0).reconnectAutomatically());
        QVERIFY(!c.view(1).reconnectAutomatically());
        c.setReconnect(1, true);
    }
    {
        Console c(m);
        QVERIFY(!c.view(0).menu()->reconnectAction()->isChecked());
        QVERIFY(c.view(1).menu()->reconnectAction()->isChecked());
        c.setReconnect(1, false);
        c.setReconnect(0, true);
    }
    Console c(m);
    QVERIFY(c.view(0).reconnectAutomatically());
    QVERIFY(!c.view(1).reconnectAutomatically());
    QVERIFY(c.view(0).menu()->reconnectAction()->isChecked());
    QCOMPARE(c.view(0).menu()->reconnectAction()->text(), QString("&Reconnect Automatically"));
}

void TestReconnect::startFailureShowsTheCause_data()
{
    QTest::addColumn<QString>("port");     // "" = the pty, held by another process
    QTest::addColumn<QString>("details");  // %1 = the machine's /dev
    QTest::addColumn<bool>("exact");

    QTest::newRow("missing number") << "5"
                                    << "Cannot open %1/ttyUSB4: No such file or directory\r\n"
                                       "Port 5 is %1/ttyUSB4, and no such device exists.\r\n"
                                       "Check that the adapter is plugged in."
                                    << true;
    QTest::newRow("missing path") << "%1/ttyACM0"
                                  << "Cannot open %1/ttyACM0: No such file or directory\r\n"
                                     "No such device exists.\r\n"
                                     "Check that the adapter is plugged in."
                                  << true;
    QTest::newRow("no port at all") << "COM"
                                    << "\"COM\" names no port: COM must be followed by a port number only."
                                    << true;
    QTest::newRow("held by another program") << "" << "The device is in use by port_holder (process " << false;
    // The device refuses the open for permission (the serial control's
    // seam: these tests run with every permission); it belongs to root.
    QTest::newRow("permission") << "1"
                                << "Cannot open %1/ttyUSB0: Permission denied\r\n"
                                   "Permission denied: serial devices usually belong to the group \"dialout\".\r\n"
                                   "To use it, join that group:\r\n"
                                   "sudo usermod -aG dialout $USER\r\n"
                                   "then log out and log in again."
                                << true;
}

void TestReconnect::startFailureShowsTheCause()
{
    QFETCH(QString, port);
    QFETCH(QString, details);
    QFETCH(bool, exact);
    Machine m;
    PseudoTerminal pty;
    Console c(m);
    QProcess holder;
    if (port.isEmpty()) {
        port = pty.slavePath();
        holder.start(portHolder(), {port});
        QVERIFY(holder.waitForReadyRead(5000));
    }
    if (QTest::currentDataTag() == QByteArray("permission")) {
        QVERIFY(testsupport::writeFile(m.device("ttyUSB0")));
        c.panel(0).failOpenAt({{serial::SerialControl::OpenStep::Open, QSerialPort::PermissionError}});
    }
    c.w.Combo1[0]->setEditText(port.replace("%1", m.dev));
    c.w.Check1[0]->click();
    QVERIFY(!c.w.Started0);
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    if (exact)
        QCOMPARE(c.boxes.boxes[0].details, details.replace("%1", m.dev));
    else
        QVERIFY2(c.boxes.boxes[0].details.contains(details), qPrintable(c.boxes.boxes[0].details));
    holder.closeWriteChannel();
    holder.waitForFinished(5000);
}

void TestReconnect::choosingPorts()
{
    Machine m;
    PseudoTerminal usb;
    m.plug("ttyUSB0", "1-1", "A1", usb.slavePath());
    m.sysfs.setUsbAttribute("1-1", "product", "CP2102");
    m.sysfs.bindDriver("ttyUSB0", "cp210x");
    QVERIFY(QDir(m.dev).mkpath("serial/by-id"));
    QVERIFY(QFile::link(m.device("ttyUSB0"), m.dev + "/serial/by-id/usb-CP2102_A1-if00-port0"));
    // An on-board port: no number, no USB columns.
    QVERIFY(testsupport::writeFile(m.device("ttyS0")));
    m.sysfs.addPlatformPort("ttyS0", 4);
    QProcess holder;
    holder.start(portHolder(), {m.device("ttyUSB0")});
    QVERIFY(holder.waitForReadyRead(5000));
    Console c(m);
    QComboBox *right = c.w.Combo1[1];
    right->setEditText("com3");
    QCOMPARE(right->toolTip(), m.device("ttyUSB2") + "\nNo such device at present.\nSettings at Start: 9600,n,8,1");

    // "Choose Port..." lists what exists; Enter puts the row's port in the box.
    c.w.Combo1[0]->setEditText("9");
    QStringList rows;
    testsupport::ModalAnswers user([&](QWidget *modal) {
        auto *list = qobject_cast<console::PortChooser *>(modal)->list();
        for (int r = 0; r < list->topLevelItemCount(); ++r) {
            QStringList texts;
            for (int col = 0; col < list->columnCount(); ++col)
                texts << list->topLevelItem(r)->text(col);
            rows << texts.join('|');
        }
        QTest::keyClick(list, Qt::Key_Return);
    });
    QAction *item = c.view(0).menu()->choosePortAction();
    item->trigger();
    QCOMPARE(rows, (QStringList{"1|" + m.device("ttyUSB0") + "|10c4|ea60|CP2102|A1|cp210x|"
                                    + QString("port_holder (process %1)").arg(holder.processId())
                                    + "|usb-CP2102_A1-if00-port0",
                                "|" + m.device("ttyS0") + "|||||||"}));
    QCOMPARE(c.w.Combo1[0]->currentText(), QString("1"));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    c.w.Check1[0]->click();
    QVERIFY(c.w.Started0);
    QVERIFY(!item->isEnabled());

    // The adapter that COM3 names comes: hovering reads it.
    PseudoTerminal third;
    m.plug("ttyUSB2", "1-3", "A3", third.slavePath());
    m.sysfs.setUsbAttribute("1-3", "manufacturer", "Silicon Labs");
    m.sysfs.setUsbAttribute("1-3", "product", "CP2102");
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), right->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(right, &hover);
    QCOMPARE(right->toolTip(),
             m.device("ttyUSB2") + "\nVendor: Silicon Labs (10c4)\nProduct: CP2102 (ea60)\nSerial: A3"
                 + "\nSettings at Start: 9600,n,8,1");
}

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
