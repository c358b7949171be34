// A port panel without its window, on a pseudo-terminal: one call per
// receive tick, and every write noted as sent.
#include "console/panel/panel.h"
#include "tests/support/pseudo_terminal.h"

#include <QTest>

#include <fcntl.h>

using console::Panel;
using console::PortEventKind;
using Outcome = Panel::Poll::Outcome;
using testsupport::PseudoTerminal;

namespace {

QList<PortEventKind> kinds(const Panel &panel)
{
    QList<PortEventKind> k;
    for (const console::PortEvent &e : panel.events())
        k << e.kind;
    return k;
}

// A started panel on the far end's line.
bool start(Panel &panel, const PseudoTerminal &far)
{
    QString failure;
    panel.setStarted(true);
    return panel.start({far.slavePath(), "9600,n,8,1"}, &failure);
}

} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private slots:

    // Each poll shows what arrived since the one before, whatever came in
    // between; nothing else is called first.
    void eachPollShowsWhatArrived()
    {
        PseudoTerminal far;
        Panel panel;
        QVERIFY(start(panel, far));
        far.write("abc");
        QTRY_COMPARE(panel.control().inBufferCount(), qint64(3));
        const Panel::Poll first = panel.poll();
        QCOMPARE(first.outcome, Outcome::Shown);
        QCOMPARE(first.firstShown, qint64(0));
        QCOMPARE(first.shownCount, qint64(3));
        QCOMPARE(panel.control().inBufferCount(), qint64(0));
        QCOMPARE(panel.poll().outcome, Outcome::Nothing);
        far.write("de");
        QTRY_COMPARE(panel.control().inBufferCount(), qint64(2));
        const Panel::Poll second = panel.poll();
        QCOMPARE(second.firstShown, qint64(3));
        QCOMPARE(second.shownCount, qint64(2));
        QCOMPARE(panel.frames().covered(), qint64(5));
    }

    // A send reaches the line and is noted with exactly its bytes; a send
    // the port cannot take is refused with the reason and noted nowhere.
    void sendsAreNotedAsSent()
    {
        PseudoTerminal far;
        Panel panel;
        QVERIFY(start(panel, far));
        QString failure;
        QVERIFY(panel.send("\x01\x03", &failure));
        QVERIFY(panel.send("", &failure));
        QCOMPARE(far.read(2), QByteArray("\x01\x03"));
        QCOMPARE(kinds(panel), (QList{PortEventKind::Started, PortEventKind::Sent}));
        QCOMPARE(panel.events().back().sentCount, qint64(2));
        QCOMPARE(panel.sentBytes().size(), qint64(2));

        panel.setStarted(false);
        QCOMPARE(panel.poll().outcome, Outcome::Nothing);
        QVERIFY(!panel.control().portOpen());
        QVERIFY(!panel.send("\x05", &failure));
        QCOMPARE(failure, QStringLiteral("the port is not open."));
        QCOMPARE(kinds(panel), (QList{PortEventKind::Started, PortEventKind::Sent, PortEventKind::Stopped}));
        QCOMPARE(panel.sentBytes().size(), qint64(2));
    }

    // Listen Only: the port is opened for reading only, every send is
    // refused with the reason and noted nowhere, also when it was turned on
    // while the port ran, or off while a port opened to listen runs on. The
    // far end's first byte is the one sent after the panel was started to
    // write again: nothing went out before it.
    void listenOnlySendsNothing()
    {
        PseudoTerminal far;
        Panel panel;
        panel.setListenOnly(true);
        QVERIFY(start(panel, far));
        QCOMPARE(fcntl(int(panel.control().port().handle()), F_GETFL) & O_ACCMODE, O_RDONLY);
        QString failure;
        QVERIFY(!panel.send("\x01\x03", &failure));
        QCOMPARE(failure, QStringLiteral("Listen Only is on: nothing is sent through this port"));
        panel.setListenOnly(false);
        QVERIFY(!panel.send("\x02", &failure));
        QCOMPARE(failure, QStringLiteral("the port was started with Listen Only: stop and start it to send"));
        far.write("in");
        QTRY_COMPARE(panel.control().inBufferCount(), qint64(2));
        QCOMPARE(panel.poll().shownCount, qint64(2));

        panel.setStarted(false);
        panel.poll();
        QVERIFY(start(panel, far));
        QCOMPARE(fcntl(int(panel.control().port().handle()), F_GETFL) & O_ACCMODE, O_RDWR);
        panel.setListenOnly(true);
        QVERIFY(!panel.send("\x04", &failure));
        panel.setListenOnly(false);
        QVERIFY(panel.send("Z", &failure));
        QCOMPARE(far.read(1), QByteArray("Z"));
        QCOMPARE(panel.sentBytes().size(), qint64(1));
        QCOMPARE(kinds(panel), (QList{PortEventKind::Started, PortEventKind::Stopped, PortEventKind::Started,
                                      PortEventKind::Sent}));
    }

    // The line goes: the poll that meets it shows what came before, closes
    // the port, clears the run flag and names the device with the cause.
    void faultStopsThePanelOnce()
    {
        PseudoTerminal far;
        Panel panel;
        QVERIFY(start(panel, far));
        far.write("last");
        QTRY_COMPARE(panel.control().inBufferCount(), qint64(4));
        far.closeMaster();
        QTRY_VERIFY(panel.control().hasFault());
        const Panel::Poll fault = panel.poll();
        QCOMPARE(fault.outcome, Outcome::Fault);
        QVERIFY2(fault.fault.startsWith(far.slavePath() + ": "), qPrintable(fault.fault));
        QCOMPARE(panel.receive().shownSize(), qint64(4));
        QVERIFY(!panel.started());
        QVERIFY(!panel.control().portOpen());
        QCOMPARE(panel.poll().outcome, Outcome::Nothing);
        QCOMPARE(kinds(panel), (QList{PortEventKind::Started, PortEventKind::Fault}));
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
