// The lines behind the serial control, each through the one interface the
// control knows them by, and the control's choice among them.

#include "serial/line_transport.h"
#include "serial/local_port_transport.h"
#include "serial/serial_control.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/ser2net.h"

#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

using serial::LineTransport;
using serial::LocalPortTransport;
using serial::OpenStepFailure;
using serial::OpenRequest;
using serial::OpenStep;
using serial::SerialControl;
using serial::SerialPort;
using testsupport::PseudoTerminal;

Q_DECLARE_METATYPE(serial::OpenStep)

namespace {

QByteArray allByteValues(bool descending)
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(descending ? 255 - i : i);
    return bytes;
}

OpenRequest requestFor(const QString &device)
{
    OpenRequest request;
    request.device = device;
    request.settings = *serial::parseSettings(QStringLiteral("19200,e,7,2"));
    return request;
}

// A listening socket that nobody accepts on: the system completes a
// connect to it all the same, which is all a raw TCP port needs to open.
class Listener {
public:
    Listener()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t size = sizeof a;
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&a), &size);
        ::listen(m_socket, 4);
        m_port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(m_socket); }
    quint16 port() const { return m_port; }

private:
    int m_socket = -1;
    quint16 m_port = 0;
};

} // namespace

class LineTransportsTest : public QObject {
    Q_OBJECT
private slots:
    void localLineThroughTheInterface();
    void droppedLeavesArrivalsReadable_data();
    void droppedLeavesArrivalsReadable();
    void refusedOpenIsNamed_data();
    void refusedOpenIsNamed();
    void controlChoosesTheLine();
    void reopenedPortSignalsOnce();
};

// Settings, bytes both ways, a discard and a close, as the control uses them.
void LineTransportsTest::localLineThroughTheInterface()
{
    PseudoTerminal far;
    SerialPort port;
    LocalPortTransport local(port);
    LineTransport &line = local;
    QSignalSpy arrivals(&line, &LineTransport::readyRead);
    OpenStepFailure failure{OpenStep::Parity, SerialPort::TimeoutError};
    QString reason;
    QVERIFY2(line.open(requestFor(far.slavePath()), &failure, &reason), qPrintable(reason));
    QVERIFY(line.isOpen());
    QCOMPARE(far.slaveBaudRate(), 19200);
    QCOMPARE(far.slaveStopBits(), 2);
    QCOMPARE(port.parity(), QSerialPort::EvenParity);
    QCOMPARE(port.dataBits(), QSerialPort::Data7);

    far.write(allByteValues(false));
    QTRY_COMPARE(line.bytesAvailable(), qint64(256));
    QVERIFY(arrivals.size() > 0);
    char piece[100];
    QByteArray received;
    for (qint64 n; (n = line.read(piece, sizeof piece)) > 0;)
        received.append(piece, n);
    QCOMPARE(received, allByteValues(false));

    QVERIFY2(line.write(allByteValues(true), &reason), qPrintable(reason));
    QCOMPARE(far.read(256), allByteValues(true));
    QTRY_COMPARE(line.bytesToWrite(), qint64(0));

    far.write("old");
    QTRY_COMPARE(line.bytesAvailable(), qint64(3));
    line.clearInput();
    QCOMPARE(line.bytesAvailable(), qint64(0));
    far.write("new");
    QTRY_COMPARE(line.bytesAvailable(), qint64(3));
    QCOMPARE(line.readAll(), QByteArray("new"));

    far.write("late");
    QTRY_COMPARE(line.bytesAvailable(), qint64(4));
    line.close();
    QVERIFY(!line.isOpen());
    QVERIFY(!port.isOpen());
    QCOMPARE(line.bytesAvailable(), qint64(0));
    QCOMPARE(line.read(piece, sizeof piece), qint64(0));
    QCOMPARE(line.readAll(), QByteArray());
    QCOMPARE(line.bytesToWrite(), qint64(0));
    QVERIFY(!line.write("x", &reason));
    QVERIFY(!reason.isEmpty());
}

// The far end goes: dropped() comes once, with the hang-up as its reason,
// while what arrived can still be read; the line is closed afterwards
// whether or not the handler closed it.
void LineTransportsTest::droppedLeavesArrivalsReadable_data()
{
    QTest::addColumn<bool>("handlerCloses");
    QTest::newRow("handler closes") << true;
    QTest::newRow("handler leaves it") << false;
}

void LineTransportsTest::droppedLeavesArrivalsReadable()
{
    QFETCH(bool, handlerCloses);
    auto far = std::make_unique<PseudoTerminal>();
    SerialPort port;
    LocalPortTransport line(port);
    OpenStepFailure failure;
    QString reason;
    QVERIFY2(line.open(requestFor(far->slavePath()), &failure, &reason), qPrintable(reason));
    int drops = 0;
    bool openInHandler = false;
    QByteArray salvaged;
    QString cause;
    connect(&line, &LineTransport::dropped, this, [&](const QString &why) {
        ++drops;
        cause = why;
        openInHandler = line.isOpen();
        salvaged = line.readAll();
        if (handlerCloses)
            line.close();
    });
    far->write("last words");
    QTest::qWait(50);
    far.reset();
    QTRY_COMPARE_WITH_TIMEOUT(drops, 1, 3000);
    QVERIFY(openInHandler);
    QCOMPARE(salvaged, QByteArray("last words"));
    QCOMPARE(cause, QStringLiteral("The line was hung up: the device went away or its far end closed"));
    QVERIFY(!line.isOpen());
    QVERIFY(!port.isOpen());
    QTest::qWait(50);
    QCOMPARE(drops, 1);
}

// Where and why an open failed, in the words the user reads, and a port
// left closed for the next open.
void LineTransportsTest::refusedOpenIsNamed_data()
{
    QTest::addColumn<bool>("injected");
    QTest::addColumn<OpenStep>("step");
    QTest::addColumn<SerialPort::SerialPortError>("error");
    QTest::addColumn<SerialPort::SerialPortError>("reported");
    QTest::addColumn<QString>("text"); // %1: the device

    QTest::newRow("open denied") << true << OpenStep::Open << SerialPort::PermissionError
                                 << SerialPort::PermissionError << "Cannot open %1: Permission denied";
    QTest::newRow("baud rate") << true << OpenStep::BaudRate << SerialPort::UnsupportedOperationError
                               << SerialPort::UnsupportedOperationError
                               << "%1 refused the baud rate 19200: Not supported by the device";
    QTest::newRow("data bits") << true << OpenStep::DataBits << SerialPort::UnsupportedOperationError
                               << SerialPort::UnsupportedOperationError
                               << "%1 refused 7 data bits: Not supported by the device";
    QTest::newRow("stop bits, timed out") << true << OpenStep::StopBits << SerialPort::TimeoutError
                                          << SerialPort::TimeoutError
                                          << "%1 refused the stop bits: The device did not answer in time";
    QTest::newRow("flow control, no error given")
        << true << OpenStep::FlowControl << SerialPort::NoError << SerialPort::UnknownError
        << "%1 refused to run without flow control: The device reported an error";
    QTest::newRow("missing device") << false << OpenStep::Open << SerialPort::NoError
                                    << SerialPort::DeviceNotFoundError << "Cannot open %1: No such file or directory";
}

void LineTransportsTest::refusedOpenIsNamed()
{
    QFETCH(bool, injected);
    QFETCH(OpenStep, step);
    QFETCH(SerialPort::SerialPortError, error);
    QFETCH(SerialPort::SerialPortError, reported);
    QFETCH(QString, text);

    PseudoTerminal far;
    const QString device = injected ? far.slavePath() : QStringLiteral("/dev/does-not-exist-77");
    SerialPort port;
    LocalPortTransport line(port);
    if (injected)
        line.failOpenAt({{step, error}});
    OpenStepFailure failure;
    QString reason;
    QVERIFY(!line.open(requestFor(device), &failure, &reason));
    QCOMPARE(reason, text.arg(device));
    QCOMPARE(failure.step, step);
    QCOMPARE(failure.error, reported);
    QVERIFY(!line.isOpen());
    QVERIFY(!port.isOpen());
    QCOMPARE(port.error(), QSerialPort::NoError);

    if (injected) {
        line.failOpenAt(std::nullopt);
        QVERIFY2(line.open(requestFor(device), &failure, &reason), qPrintable(reason));
    }
}

// One control, one port text after another: each open finds its line, and
// only a network line is shown as the network transport.
void LineTransportsTest::controlChoosesTheLine()
{
    PseudoTerminal far;
    Listener server;
    const QString network = QStringLiteral("tcp://127.0.0.1:%1").arg(server.port());
    SerialControl control;
    for (const QString &device : {far.slavePath(), network, far.slavePath(), network}) {
        control.setDevice(device);
        QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
        const bool local = device == far.slavePath();
        QCOMPARE(control.port().isOpen(), local);
        QCOMPARE(control.transport() == nullptr, local);
        QVERIFY(control.portOpen());
        QVERIFY(control.output(QByteArray("ok")));
        if (local)
            QCOMPARE(far.read(2), QByteArray("ok"));
        QVERIFY(control.setPortOpen(false));
        QVERIFY(!control.port().isOpen());
        QVERIFY(control.transport() == nullptr);
    }

    const quint16 nobody = testsupport::Ser2net::freePort();
    control.setDevice(QStringLiteral("tcp://127.0.0.1:%1").arg(nobody));
    QVERIFY(!control.setPortOpen(true));
    QCOMPARE(control.lastError(), QStringLiteral("Cannot open tcp://127.0.0.1:%1: connection refused by "
                                                 "127.0.0.1, port %1").arg(nobody));
    QCOMPARE(control.lastOpenFailure().step, OpenStep::Open);
    QCOMPARE(control.lastOpenFailure().error, QSerialPort::OpenError);
    QVERIFY(!control.portOpen());
}

// Each open makes a new line over the same port: an arrival is told once,
// however often the port was opened before.
void LineTransportsTest::reopenedPortSignalsOnce()
{
    PseudoTerminal far;
    SerialControl control;
    control.setDevice(far.slavePath());
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
        QVERIFY(control.setPortOpen(false));
    }
    QVERIFY2(control.setPortOpen(true), qPrintable(control.lastError()));
    QSignalSpy portSays(&control.port(), &SerialPort::readyRead);
    QSignalSpy controlSays(&control, &SerialControl::bytesArrived);
    far.write("once");
    QTRY_COMPARE(control.inBufferCount(), qint64(4));
    QVERIFY(portSays.size() > 0);
    QCOMPARE(controlSays.size(), portSays.size());
    QCOMPARE(control.input(), QByteArray("once"));
}

QTEST_GUILESS_MAIN(LineTransportsTest)
#include "tst_line_transports.moc"
