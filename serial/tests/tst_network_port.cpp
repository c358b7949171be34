// Network ports of the serial control: the port texts, a scripted server
// for the answers a real one rarely gives, and Debian's ser2net serving a
// pseudo-terminal for everything else.
#include "serial/network_address.h"
#include "serial/serial_control.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/ser2net.h"

#include <QSignalSpy>
#include <QTimer>
#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testsupport::PseudoTerminal;
using testsupport::Ser2net;

namespace {

// A server on 127.0.0.1 that takes one connection, sends `script` once
// the client has sent anything, and then only reads until it is destroyed.
class ScriptedServer {
public:
    explicit ScriptedServer(QByteArray script)
        : m_script(std::move(script))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t size = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &size);
        m_port = ntohs(a.sin_port);
        ::listen(m_listener, 1);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }

private:
    void serve()
    {
        int client = -1;
        bool sent = false;
        while (!m_stop) {
            pollfd p{client < 0 ? m_listener : client, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            if (client < 0) {
                client = ::accept(m_listener, nullptr, nullptr);
                continue;
            }
            char buffer[4096];
            if (::read(client, buffer, sizeof buffer) <= 0)
                break;
            if (!sent && !m_script.isEmpty())
                (void)::write(client, m_script.constData(), size_t(m_script.size()));
            sent = true;
        }
        if (client >= 0)
            ::close(client);
    }

    QByteArray m_script;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes + QByteArray(3, char(0xFF));
}

} // namespace

class NetworkPortTest : public QObject {
    Q_OBJECT
private slots:
    void portTexts_data();
    void portTexts();
    void serverAnswers_data();
    void serverAnswers();
    void namedFailures_data();
    void namedFailures();
    void noAnswerWithinFiveSeconds_data();
    void noAnswerWithinFiveSeconds();
    void hugeBurstThroughASink_data();
    void hugeBurstThroughASink();
    void settingsReachTheFarLine_data();
    void settingsReachTheFarLine();
    void bytesBothWaysAndTheDrop();
    void rawTcpReceivesAsItIs();
};

void NetworkPortTest::portTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("reason");

    QTest::newRow("rfc2217 IPv4") << "rfc2217://127.0.0.1:4001" << "127.0.0.1" << 4001 << true << "";
    QTest::newRow("tcp name") << "tcp://moxa-cabinet3.plant.local:950" << "moxa-cabinet3.plant.local" << 950 << false << "";
    QTest::newRow("scheme in capitals") << "RFC2217://host:1" << "host" << 1 << true << "";
    QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:65535" << "::1" << 65535 << true << "";
    QTest::newRow("IPv6 full") << "tcp://[fe80::1:2:3:4]:23" << "fe80::1:2:3:4" << 23 << false << "";
    QTest::newRow("port 0") << "tcp://host:0" << "" << 0 << false << "from 1 to 65535";
    QTest::newRow("port 65536") << "tcp://host:65536" << "" << 0 << false << "from 1 to 65535";
    QTest::newRow("port with a sign") << "tcp://host:+23" << "" << 0 << false << "from 1 to 65535";
    QTest::newRow("port too long") << "tcp://host:000023" << "" << 0 << false << "from 1 to 65535";
    QTest::newRow("no port") << "tcp://host" << "" << 0 << false << "gives no port";
    QTest::newRow("empty port") << "tcp://host:" << "" << 0 << false << "gives no port";
    QTest::newRow("no host") << "rfc2217://:4001" << "" << 0 << true << "gives no host";
    QTest::newRow("user name") << "rfc2217://admin@host:4001" << "" << 0 << true << "user name";
    QTest::newRow("path") << "rfc2217://host:4001/port1" << "" << 0 << true << "a path";
    QTest::newRow("query") << "tcp://host:4001?baud=9600" << "" << 0 << false << "a query";
    QTest::newRow("fragment") << "tcp://host:4001#x" << "" << 0 << false << "a fragment";
    QTest::newRow("bare IPv6") << "tcp://::1:4001" << "" << 0 << false << "in brackets";
    QTest::newRow("IPv6 unclosed") << "tcp://[::1:4001" << "" << 0 << false << "closing";
    QTest::newRow("IPv6 no colon") << "tcp://[abc]:4001" << "" << 0 << false << "not an IPv6";
    QTest::newRow("IPv6 no port") << "tcp://[::1]" << "" << 0 << false << "gives no port";
    QTest::newRow("blank in host") << "tcp://my host:23" << "" << 0 << false << "not a host name";
}

void NetworkPortTest::portTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, rfc2217);
    QFETCH(QString, reason);
    QVERIFY(serial::isNetworkPortText(text));
    const serial::NetworkAddressCheck check = serial::checkNetworkPortText(text);
    if (host.isEmpty()) {
        QVERIFY(!check.address);
        QVERIFY2(check.refusal.contains(reason), qPrintable(check.refusal));
        QVERIFY(check.refusal.contains(text));
        return;
    }
    QVERIFY2(check.address, qPrintable(check.refusal));
    QCOMPARE(check.address->host, host);
    QCOMPARE(int(check.address->port), port);
    QCOMPARE(check.address->kind == serial::NetworkKind::Rfc2217, rfc2217);
}

// A server's answers to the line settings, as bytes on the wire (DO
// COM-PORT-OPTION = FF FD 2C; answers IAC SB 44 101..104 value IAC SE),
// asked for 9600,n,8,1.
void NetworkPortTest::serverAnswers_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("failure"); // empty: opens
    QTest::addColumn<int>("step");

    const QString agreed = "FF FD 2C ";
    const QString baud = "FF FA 2C 65 00 00 25 80 FF F0 ";
    const QString size = "FF FA 2C 66 08 FF F0 ";
    const QString parity = "FF FA 2C 67 01 FF F0 ";
    const QString stop = "FF FA 2C 68 01 FF F0 ";
    using Step = serial::SerialControl::OpenStep;
    QTest::newRow("all confirmed") << agreed + baud + size + parity + stop << "" << int(Step::Open);
    QTest::newRow("confirmed in another order, cut by data")
        << agreed + stop + "41 42 " + parity + size + baud << "" << int(Step::Open);
    QTest::newRow("rate refused: 4800 set instead")
        << agreed + "FF FA 2C 65 00 00 12 C0 FF F0 " + size + parity + stop
        << "refused the baud rate 9600: it answered SET-BAUDRATE with 4800" << int(Step::BaudRate);
    QTest::newRow("parity refused") << agreed + baud + size + "FF FA 2C 67 03 FF F0 " + stop
                                    << "refused the parity" << int(Step::Parity);
    QTest::newRow("data size refused") << agreed + baud + "FF FA 2C 66 07 FF F0 " + parity + stop
                                       << "refused 8 data bits" << int(Step::DataBits);
    QTest::newRow("no answer at all") << "" << "did not answer SET-BAUDRATE within 2 s" << int(Step::BaudRate);
    QTest::newRow("stop size unanswered") << agreed + baud + size + parity
                                          << "did not answer SET-STOPSIZE within 2 s" << int(Step::StopBits);
    QTest::newRow("COM-PORT-OPTION refused") << "FF FE 2C" << "refused the COM-PORT-OPTION" << int(Step::Open);
}

void NetworkPortTest::serverAnswers()
{
    QFETCH(QString, script);
    QFETCH(QString, failure);
    QFETCH(int, step);
    ScriptedServer server(QByteArray::fromHex(script.toLatin1()));
    serial::SerialControl control;
    const QString text = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port());
    control.setDevice(text);
    const bool opened = control.setPortOpen(true);
    if (failure.isEmpty()) {
        QVERIFY2(opened, qPrintable(control.lastError()));
        QVERIFY(control.portOpen());
        // Data that came amid the answers is kept.
        if (script.contains("41 42")) {
            QByteArray received;
            QTRY_COMPARE(received += control.input(), QByteArray("AB"));
        }
        return;
    }
    QVERIFY(!opened);
    QVERIFY(!control.portOpen());
    QVERIFY2(control.lastError().contains(failure), qPrintable(control.lastError()));
    QVERIFY(control.lastError().contains(text));
    QCOMPARE(int(control.lastOpenFailure().step), step);
}

void NetworkPortTest::namedFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cause");
    const quint16 nobody = Ser2net::freePort();
    QTest::newRow("refused") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(nobody) << "connection refused by 127.0.0.1, port";
    QTest::newRow("refused, tcp") << QStringLiteral("tcp://127.0.0.1:%1").arg(nobody) << "connection refused";
    QTest::newRow("unknown host") << "rfc2217://no-such-host.invalid:4001" << "host not found: no-such-host.invalid";
    QTest::newRow("malformed") << "tcp://host:99999" << "from 1 to 65535";
}

void NetworkPortTest::namedFailures()
{
    QFETCH(QString, text);
    QFETCH(QString, cause);
    serial::SerialControl control;
    control.setDevice(text);
    QVERIFY(!control.setPortOpen(true));
    QVERIFY(!control.portOpen());
    QVERIFY2(control.lastError().contains(cause), qPrintable(control.lastError()));
    QCOMPARE(control.lastOpenFailure().step, serial::SerialControl::OpenStep::Open);
    QVERIFY(!control.output(QByteArray("x")));
}

// A server that never answers a connect: its queue of connections waiting
// to be accepted holds one, and the one is taken; the system drops a further
// SYN, so the connect waits until the control gives up. Meanwhile events run
// (the window stays responsive).
void NetworkPortTest::noAnswerWithinFiveSeconds_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("rfc2217") << "rfc2217";
    QTest::newRow("tcp") << "tcp";
}

void NetworkPortTest::noAnswerWithinFiveSeconds()
{
    QFETCH(QString, scheme);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t size = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &size);
    QCOMPARE(::listen(listener, 0), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    QCOMPARE(::connect(filler, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);

    serial::SerialControl control;
    const QString text = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(ntohs(a.sin_port));
    control.setDevice(text);
    int ticks = 0;
    QTimer ticking;
    connect(&ticking, &QTimer::timeout, this, [&] { ++ticks; });
    ticking.start(50);
    const bool opened = control.setPortOpen(true);
    ::close(filler);
    ::close(listener);
    QVERIFY(!opened);
    QVERIFY(!control.portOpen());
    QVERIFY2(control.lastError().contains(QStringLiteral("no answer within 5 s from 127.0.0.1, port %1")
                                              .arg(ntohs(a.sin_port))),
             qPrintable(control.lastError()));
    QCOMPARE(control.lastOpenFailure().step, serial::SerialControl::OpenStep::Open);
    QVERIFY(ticks > 0);
}

namespace {
// Keeps what the control hands over, as a panel's store does.
struct KeepingSink : serial::ReceiveSink {
    void received(const char *data, qint64 count) override { bytes.append(data, count); }
    void discarded() override { bytes.clear(); }
    QByteArray bytes;
};
} // namespace

// Megabytes at once, taken in pieces by a sink: every byte once, in order
// (0xFF doubled on the wire for RFC 2217, one byte each for raw TCP).
void NetworkPortTest::hugeBurstThroughASink_data()
{
    QTest::addColumn<bool>("telnet");
    QTest::newRow("raw tcp") << false;
    QTest::newRow("rfc2217") << true;
}

void NetworkPortTest::hugeBurstThroughASink()
{
    QFETCH(bool, telnet);
    QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    QByteArray wire = data;
    if (telnet) {
        wire.replace(QByteArray(1, char(0xFF)), QByteArray(2, char(0xFF)));
        // Agreed, and each setting of 9600,n,8,1 confirmed.
        wire.prepend(QByteArray::fromHex("FFFD2C" "FFFA2C6500002580FFF0" "FFFA2C6608FFF0" "FFFA2C6701FFF0"
                                         "FFFA2C6801FFF0"));
    }
    ScriptedServer server(wire);
    serial::SerialControl control;
    control.setDevice(QStringLiteral("%1://127.0.0.1:%2").arg(telnet ? "rfc2217" : "tcp").arg(server.port()));
    KeepingSink sink;
    control.setReceiveSink(&sink);
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    if (!telnet) // the server's script waits for a first byte
        QVERIFY(control.output(QByteArray("go")));
    QTRY_VERIFY_WITH_TIMEOUT(sink.bytes.size() >= data.size(), 60000);
    QCOMPARE(sink.bytes.size(), data.size());
    QVERIFY(sink.bytes == data);
    QCOMPARE(control.inBufferCount(), qint64(data.size()));
    QVERIFY(control.input().isEmpty());
    QCOMPARE(control.inBufferCount(), 0);
}

void NetworkPortTest::settingsReachTheFarLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("115200,n,8,2") << "115200,n,8,2" << 115200 << 2;
    QTest::newRow("4800,n,8,1") << "4800,n,8,1" << 4800 << 1;
}

void NetworkPortTest::settingsReachTheFarLine()
{
    QFETCH(QString, settings);
    QFETCH(int, baud);
    QFETCH(int, stopBits);
    PseudoTerminal pty;
    Ser2net server(pty.slavePath());
    if (!server.start())
        QSKIP(qPrintable(server.whyNot()));
    serial::SerialControl control;
    control.setDevice(server.portText());
    QVERIFY(control.setSettings(settings));
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    QCOMPARE(pty.slaveBaudRate(), baud);
    QCOMPARE(pty.slaveStopBits(), stopBits);
    // Settings stay while open, as for a local port.
    QVERIFY(!control.setSettings(QStringLiteral("9600,n,8,1")));
}

void NetworkPortTest::bytesBothWaysAndTheDrop()
{
    PseudoTerminal pty;
    Ser2net server(pty.slavePath());
    if (!server.start())
        QSKIP(qPrintable(server.whyNot()));
    serial::SerialControl control;
    control.setDevice(server.portText());
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));

    // Every byte value, 0xFF in a run of them too, each way.
    pty.write(allBytes());
    QByteArray received;
    QTRY_VERIFY((received += control.input()).size() >= allBytes().size());
    QCOMPARE(received.toHex(' '), allBytes().toHex(' '));
    QVERIFY(control.output(allBytes()));
    QCOMPARE(pty.read(allBytes().size(), 5000).toHex(' '), allBytes().toHex(' '));

    // The server goes: a fault with the cause; what had come first is kept.
    pty.write("tail");
    QTRY_COMPARE(control.inBufferCount(), qint64(4));
    QSignalSpy faults(&control, &serial::SerialControl::faulted);
    server.stop();
    QTRY_VERIFY(control.hasFault());
    QCOMPARE(faults.size(), 1);
    QVERIFY2(control.lastError().contains("connection dropped"), qPrintable(control.lastError()));
    QVERIFY(!control.portOpen());
    QCOMPARE(control.input(), QByteArray("tail"));

    // Refused while it is away; opens again, the same settings, once back.
    control.setPortOpen(false);
    QVERIFY(!control.setPortOpen(true));
    QVERIFY(control.lastError().contains("connection refused"));
    QVERIFY(server.start());
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    pty.write("again");
    received.clear();
    QTRY_COMPARE(received += control.input(), QByteArray("again"));
}

void NetworkPortTest::rawTcpReceivesAsItIs()
{
    PseudoTerminal pty;
    Ser2net server(pty.slavePath(), Ser2net::Protocol::RawTcp);
    if (!server.start())
        QSKIP(qPrintable(server.whyNot()));
    serial::SerialControl control;
    control.setDevice(server.portText());
    QVERIFY(control.setSettings(QStringLiteral("115200,n,8,2")));
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    QVERIFY(server.waitUntilDeviceOpen());
    // ser2net still sets the line up after it opened it, and bytes before
    // that are not the client's: a dot until one comes through, then the
    // line is the client's.
    QElapsedTimer through;
    through.start();
    while (control.input().isEmpty() && through.elapsed() < 5000) {
        pty.write(".");
        QTest::qWait(50);
    }
    QTest::qWait(100);
    control.input();
    // No telnet here: 0xFF is one byte each way, and no setting reaches the line.
    pty.write(QByteArray::fromHex("FF FF 41 FF"));
    QByteArray received;
    QTRY_COMPARE(received += control.input(), QByteArray::fromHex("FF FF 41 FF"));
    QVERIFY(control.output(QByteArray::fromHex("FF 42")));
    QCOMPARE(pty.read(2, 5000), QByteArray::fromHex("FF 42"));
    QCOMPARE(pty.slaveBaudRate(), 9600);
}

QTEST_GUILESS_MAIN(NetworkPortTest)
#include "tst_network_port.moc"
