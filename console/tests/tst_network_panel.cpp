// A panel on a port of a device server: Debian's ser2net serving a
// pseudo-terminal, the test at the pseudo-terminal's far end.
#include "console/frmmain.h"
#include "console/panel/port_box_tip.h"
#include "tests/support/console_window.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/ser2net.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

using testsupport::PseudoTerminal;
using testsupport::Ser2net;

namespace {

QStringList eventRows(console::Panel &panel)
{
    QStringList rows;
    for (const console::PortEvent &e : panel.events())
        rows << console::portEventText(e);
    return rows;
}

} // namespace

class TestNetworkPanel : public QObject {
    Q_OBJECT
private slots:
    void rfc2217PanelRunsFaultsAndReconnects();
    void rawTcpPanelReceives();
    void failuresNamedInTheBox_data();
    void failuresNamedInTheBox();
};

void TestNetworkPanel::rfc2217PanelRunsFaultsAndReconnects()
{
    PseudoTerminal pty;
    Ser2net server(pty.slavePath());
    if (!server.start())
        QSKIP(qPrintable(server.whyNot()));
    testsupport::ConsoleWindow c;
    c.typePort(0, server.portText());
    QVERIFY(c.w.Combo1[0]->toolTip().contains("RFC 2217 device server 127.0.0.1, port"));
    c.w.Option1[3]->click(); // 19200
    c.w.Option4[2]->click(); // 2 stop bits
    c.setReconnect(0, true);
    c.w.Check1[0]->click();
    QVERIFY2(c.boxes.boxes.isEmpty(), qPrintable(c.boxes.boxes.value(0).details));
    QVERIFY(c.w.Started0);
    QCOMPARE(pty.slaveBaudRate(), 19200);
    QCOMPARE(pty.slaveStopBits(), 2);

    const QByteArray bytes = QByteArray::fromHex("00 FF 41 FF FF 7E");
    pty.write(bytes);
    QVERIFY(c.receive(0, bytes.size()));
    QCOMPARE(c.panel(0).receive().store().size(), qint64(bytes.size()));
    QString failure;
    QVERIFY(c.panel(0).send(bytes, &failure));
    QCOMPARE(pty.read(bytes.size(), 5000).toHex(' '), bytes.toHex(' '));

    // ser2net stops: a fault row and the box; the panel waits.
    server.stop();
    QVERIFY(c.fault(0));
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    QVERIFY2(c.boxes.boxes[0].details.contains(server.portText() + ": connection dropped"),
             qPrintable(c.boxes.boxes[0].details));
    QVERIFY(eventRows(c.panel(0)).filter("fault: connection dropped").size() == 1);
    QCOMPARE(eventRows(c.panel(0)).last(), "waiting");
    QVERIFY(c.view(0).waitingForAdapter());
    c.tick(); // refused while it is away; the wait goes on
    QVERIFY(c.view(0).waitingForAdapter());

    // Back: within the 2 s retry the panel reopens with the same settings.
    QVERIFY(server.start());
    for (int i = 0; i < 60 && c.view(0).waitingForAdapter(); ++i) {
        QTest::qWait(100);
        c.tick();
    }
    QVERIFY(c.w.Started0);
    QCOMPARE(eventRows(c.panel(0)).last(), "reconnected " + server.portText());
    QCOMPARE(pty.slaveBaudRate(), 19200);
    pty.write("back");
    QVERIFY(c.receive(0, 4));
}

void TestNetworkPanel::rawTcpPanelReceives()
{
    PseudoTerminal pty;
    Ser2net server(pty.slavePath(), Ser2net::Protocol::RawTcp);
    if (!server.start())
        QSKIP(qPrintable(server.whyNot()));
    testsupport::ConsoleWindow c;
    c.typePort(0, server.portText());
    QVERIFY(c.w.Combo1[0]->toolTip().contains("tcp: settings fixed by the server"));
    c.w.Check1[0]->click();
    QVERIFY(c.w.Started0);
    QCOMPARE(eventRows(c.panel(0)).first(), "started tcp: settings fixed by the server");
    // ser2net opens the device after it took the connection; bytes before
    // that are not the panel's to receive.
    QVERIFY(server.waitUntilDeviceOpen());
    // Nor are bytes written while it sets the line up (it may discard
    // what waits then): the bytes again until some come through.
    const QByteArray bytes = QByteArray::fromHex("FF 01 FF");
    bool came = false;
    for (int attempt = 0; attempt < 10 && !came; ++attempt) {
        pty.write(bytes);
        came = c.receive(0, 3);
    }
    QVERIFY(came);
    QTest::qWait(200);
    c.tick();
    const qint64 size = c.panel(0).receive().store().size();
    QVERIFY2(size >= 3 && size % 3 == 0, qPrintable(QString::number(size)));
}

void TestNetworkPanel::failuresNamedInTheBox_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("details");
    QTest::newRow("refused") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort())
                             << "connection refused by 127.0.0.1, port";
    QTest::newRow("unknown host") << "tcp://no-such-host.invalid:23" << "host not found: no-such-host.invalid";
    QTest::newRow("path refused") << "rfc2217://host:23/x" << "holds a path";
}

void TestNetworkPanel::failuresNamedInTheBox()
{
    QFETCH(QString, port);
    QFETCH(QString, details);
    testsupport::ConsoleWindow c;
    c.typePort(0, port);
    c.w.Check1[0]->click();
    QVERIFY(!c.w.Started0);
    QCOMPARE(c.boxes.texts(), QStringList{"COM Port Error."});
    QVERIFY2(c.boxes.boxes[0].details.contains(details), qPrintable(c.boxes.boxes[0].details));
}

QTEST_MAIN(TestNetworkPanel)
#include "tst_network_panel.moc"
