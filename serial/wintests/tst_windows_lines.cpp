// The serial control's lines on Windows under Wine: the RFC 2217 transport
// over Winsock against net/wintests/socket_peer.py on the Linux side
// (KIT_PEER_PORTS: its listener and a port that refuses), and the Win32
// local port where no such port exists.

#include "serial/serial_control.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray allByteValues(bool descending)
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(descending ? 255 - i : i);
    return bytes;
}

QStringList peerPorts()
{
    return qEnvironmentVariable("KIT_PEER_PORTS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class WindowsLinesTest : public QObject {
    Q_OBJECT
private slots:
    void rfc2217BytesBothWays();
    void namedFailures_data();
    void namedFailures();
};

// The settings confirmed by the peer, the 256 values out (the peer checks
// them with 0xFF doubled on the wire) and back descending, then the peer's
// close as the fault.
void WindowsLinesTest::rfc2217BytesBothWays()
{
    const QStringList ports = peerPorts();
    QVERIFY2(ports.size() == 2, "KIT_PEER_PORTS names no peer");
    serial::SerialControl control;
    const QString text = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ports[0]);
    control.setDevice(text);
    QVERIFY(control.setSettings(QStringLiteral("19200,e,7,2")));
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    QVERIFY(control.transport() != nullptr);
    QSignalSpy faults(&control, &serial::SerialControl::faulted);
    QVERIFY(control.output(allByteValues(false)));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += control.input()).size() >= 256 || control.hasFault(), 10000);
    QCOMPARE(received, allByteValues(true));
    QTRY_COMPARE_WITH_TIMEOUT(faults.size(), 1, 10000);
    QVERIFY2(control.lastError().startsWith(QStringLiteral("connection dropped")), qPrintable(control.lastError()));
    QVERIFY(!control.portOpen());
}

void WindowsLinesTest::namedFailures_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("cause");
    const QStringList ports = peerPorts();
    const QString refusing = ports.value(1);
    QTest::newRow("refused") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(refusing)
                             << QStringLiteral("Cannot open rfc2217://127.0.0.1:%1: connection refused by "
                                               "127.0.0.1, port %1").arg(refusing);
    QTest::newRow("refused, tcp") << QStringLiteral("tcp://127.0.0.1:%1").arg(refusing)
                                  << QStringLiteral("Cannot open tcp://127.0.0.1:%1: connection refused by "
                                                    "127.0.0.1, port %1").arg(refusing);
    QTest::newRow("unknown host") << "rfc2217://no-such-host.invalid:4001"
                                  << "Cannot open rfc2217://no-such-host.invalid:4001: host not found: "
                                     "no-such-host.invalid";
    QTest::newRow("no such local port") << "COM231" << "Cannot open COM231: ";
}

void WindowsLinesTest::namedFailures()
{
    QFETCH(QString, device);
    QFETCH(QString, cause);
    serial::SerialControl control;
    control.setDevice(device);
    QVERIFY(!control.setPortOpen(true));
    QVERIFY(!control.portOpen());
    QVERIFY2(control.lastError().startsWith(cause), qPrintable(control.lastError()));
    QCOMPARE(control.lastOpenFailure().step, serial::SerialControl::OpenStep::Open);
    QVERIFY(!control.output(QByteArray("x")));
}

QTEST_GUILESS_MAIN(WindowsLinesTest)
#include "tst_windows_lines.moc"
