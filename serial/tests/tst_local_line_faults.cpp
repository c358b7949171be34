// Which errors of a local port end its line: a hang-up always does, even
// when the read it ends reports the "would block" that errno still held; a
// full output buffer while bytes are handed over never does, and the bytes
// go out as the far end reads them.

#include "serial/line_transport.h"
#include "serial/local_port_transport.h"
#include "tests/support/pseudo_terminal.h"

#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <memory>

using serial::LineTransport;
using serial::LocalPortTransport;
using serial::SerialPort;
using testsupport::PseudoTerminal;

namespace {

serial::OpenRequest requestFor(const QString &device)
{
    serial::OpenRequest request;
    request.device = device;
    request.settings = *serial::parseSettings(QStringLiteral("115200,n,8,1"));
    return request;
}

} // namespace

class LocalLineFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void hangUpWithStaleWouldBlockEndsTheLine();
    void fullOutputBufferKeepsTheLine();
};

void LocalLineFaultsTest::hangUpWithStaleWouldBlockEndsTheLine()
{
    auto far = std::make_unique<PseudoTerminal>();
    SerialPort port;
    LocalPortTransport line(port);
    serial::OpenStepFailure failure;
    QString reason;
    QVERIFY2(line.open(requestFor(far->slavePath()), &failure, &reason), qPrintable(reason));
    QString portSaid;
    connect(&line, &LineTransport::dropped, this, [&] { portSaid = port.errorString(); });
    QSignalSpy drops(&line, &LineTransport::dropped);
    far.reset();
    // The read that meets the hang-up ends without an error of its own and
    // is reported with whatever errno held: here what a non-blocking call
    // before it left.
    errno = EAGAIN;
    QVERIFY(drops.wait(5000));
    QCOMPARE(drops.size(), 1);
    QCOMPARE(drops[0][0].toString(), QStringLiteral("The line was hung up: the device went away or its far end closed"));
    QVERIFY(!line.isOpen());
    QVERIFY(!port.isOpen());
    QCOMPARE(portSaid, qt_error_string(EAGAIN));
}

void LocalLineFaultsTest::fullOutputBufferKeepsTheLine()
{
    PseudoTerminal far;
    SerialPort port;
    LocalPortTransport line(port);
    serial::OpenStepFailure failure;
    QString reason;
    QVERIFY2(line.open(requestFor(far.slavePath()), &failure, &reason), qPrintable(reason));
    QSignalSpy drops(&line, &LineTransport::dropped);
    // Far more than the line holds while nobody reads; the second piece's
    // hand-over meets the buffer the first one filled.
    QByteArray bytes(1 << 18, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 251);
    QVERIFY2(line.write(bytes.first(bytes.size() - 100), &reason), qPrintable(reason));
    QVERIFY2(line.write(bytes.last(100), &reason), qPrintable(reason));
    QVERIFY(line.bytesToWrite() > 0);
    QVERIFY(line.isOpen());
    QCOMPARE(drops.size(), 0);
    // Read as the port writes the rest from the event loop.
    QByteArray got;
    for (int i = 0; i < 6000 && got.size() < bytes.size(); ++i) {
        got += far.readAvailable(5);
        QCoreApplication::processEvents();
    }
    QCOMPARE(got.size(), bytes.size());
    QVERIFY(got == bytes);
    QTRY_COMPARE(line.bytesToWrite(), qint64(0));
    QVERIFY(line.isOpen());
    QCOMPARE(drops.size(), 0);
}

QTEST_GUILESS_MAIN(LocalLineFaultsTest)
#include "tst_local_line_faults.moc"
