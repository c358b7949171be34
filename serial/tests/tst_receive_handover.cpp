// The hand-over of a local port's received bytes from the thread that reads
// the line to the control's thread: every byte once and in order, under a
// flood, across closes in the middle of one, and before the end of the line.

#include "serial/serial_control.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using serial::SerialControl;

namespace {

// The stream the far end sends: 32-bit counters, so that any piece of it
// tells where in the stream it lies.
QByteArray streamBytes(qint64 from, qint64 count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 at = from + i;
        bytes[i] = char(quint32(at / 4) >> (8 * (at % 4)));
    }
    return bytes;
}

// Where in the stream `bytes` lies, or -1 when they are not one unbroken
// piece of it.
qint64 streamOffset(const QByteArray &bytes)
{
    for (qint64 skip = 0; skip < 4 && skip + 4 <= bytes.size(); ++skip) {
        quint32 word = 0;
        std::memcpy(&word, bytes.constData() + skip, 4);
        const qint64 from = qint64(word) * 4 - skip;
        if (from >= 0 && bytes == streamBytes(from, bytes.size()))
            return from;
    }
    return -1;
}

// A raw pseudo-terminal whose far end (the master) a thread can flood,
// stopping when asked even while the line is full.
struct FloodedLine {
    int master = -1;
    int keepAlive = -1; // the slave stays open between the control's opens
    QString path;
    std::atomic<bool> stop{false};
    std::atomic<qint64> written{0};
    std::thread writer;

    FloodedLine()
    {
        char name[256] = {};
        termios raw{};
        if (::openpty(&master, &keepAlive, name, nullptr, nullptr) != 0)
            return;
        ::tcgetattr(keepAlive, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(keepAlive, TCSANOW, &raw);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
    }
    ~FloodedLine()
    {
        stopWriting();
        closeMaster();
        ::close(keepAlive);
    }
    // Sends the stream from its start, `total` bytes or until stopped.
    void startWriting(qint64 total)
    {
        writer = std::thread([this, total] {
            QByteArray block;
            qint64 at = 0;
            while (!stop && written < total) {
                if (at == block.size())
                    block = streamBytes(written, std::min<qint64>(64 * 1024, total - written)), at = 0;
                const ssize_t n = ::write(master, block.constData() + at, size_t(block.size() - at));
                if (n > 0) {
                    written += n;
                    at += n;
                } else if (n < 0 && errno == EAGAIN) {
                    pollfd room{master, POLLOUT, 0};
                    ::poll(&room, 1, 20);
                } else if (n < 0 && errno != EINTR) {
                    return;
                }
            }
        });
    }
    void stopWriting()
    {
        stop = true;
        if (writer.joinable())
            writer.join();
    }
    void closeMaster()
    {
        if (master >= 0)
            ::close(std::exchange(master, -1));
    }
};

struct RecordingSink : serial::ReceiveSink {
    QByteArray bytes;
    int discards = 0;
    void received(const char *data, qint64 count) override { bytes.append(data, count); }
    void discarded() override { ++discards; }
};

bool openOn(SerialControl &control, const QString &path)
{
    control.setDevice(path);
    return control.setSettings(QStringLiteral("115200,n,8,1")) && control.setPortOpen(true);
}

} // namespace

class ReceiveHandoverTest : public QObject {
    Q_OBJECT
private slots:
    void closesInAFloodAndOpensAgain();
    void anOwnerBehindHoldsTheFarEndBack();
    void bytesBeforeTheHangUpComeFirst_data();
    void bytesBeforeTheHangUpComeFirst();
};

// A close while bytes pour in returns, and whatever each open received is
// one unbroken piece of the stream, later than what came before it.
void ReceiveHandoverTest::closesInAFloodAndOpensAgain()
{
    FloodedLine line;
    QVERIFY(!line.path.isEmpty());
    SerialControl control;
    RecordingSink recorder;
    control.setReceiveSink(&recorder);
    line.startWriting(std::numeric_limits<qint64>::max());
    qint64 after = 0;
    for (int round = 0; round < 4; ++round) {
        recorder.bytes.clear();
        QVERIFY2(openOn(control, line.path), qPrintable(control.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.bytes.size() > 300 * 1000, 60000);
        QVERIFY(control.setPortOpen(false));
        QVERIFY(!control.portOpen());
        QCOMPARE(control.inBufferCount(), qint64(0));
        QCOMPARE(recorder.discards, round + 1);
        const qint64 from = streamOffset(recorder.bytes);
        QVERIFY2(from >= after, qPrintable(QStringLiteral("round %1 starts at %2").arg(round).arg(from)));
        if (round == 0)
            QCOMPARE(from, qint64(0));
        after = from + recorder.bytes.size();
        // Nothing comes once closed.
        const qint64 kept = recorder.bytes.size();
        QCoreApplication::processEvents();
        QCOMPARE(recorder.bytes.size(), kept);
    }
}

// While the control's thread takes nothing, the line's thread stops reading
// at 4 MiB waiting and the far end is held back; nothing is lost meanwhile.
void ReceiveHandoverTest::anOwnerBehindHoldsTheFarEndBack()
{
    constexpr qint64 total = 6 * 1024 * 1024;
    constexpr qint64 most = 4 * 1024 * 1024;
    FloodedLine line;
    QVERIFY(!line.path.isEmpty());
    SerialControl control;
    QVERIFY2(openOn(control, line.path), qPrintable(control.lastError()));
    line.startWriting(total);
    for (int i = 0; i < 20000 && control.inBufferCount() < most; ++i)
        QTest::qSleep(1);
    QTest::qSleep(50);
    QVERIFY(control.inBufferCount() >= most);
    QVERIFY(control.inBufferCount() < most + 4096);
    QVERIFY(line.written < total);
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT((got += control.input()).size(), total, 60000);
    QVERIFY(got == streamBytes(0, total));
}

// The far end closes after bytes the line has read but nobody took yet:
// they reach the control, every one, before the fault does.
void ReceiveHandoverTest::bytesBeforeTheHangUpComeFirst_data()
{
    QTest::addColumn<bool>("sink");
    QTest::newRow("into a sink") << true;
    QTest::newRow("read by input()") << false;
}

void ReceiveHandoverTest::bytesBeforeTheHangUpComeFirst()
{
    QFETCH(bool, sink);
    constexpr qint64 total = 300 * 1000 + 1;
    FloodedLine line;
    QVERIFY(!line.path.isEmpty());
    ::close(std::exchange(line.keepAlive, -1)); // the control's open is the only one
    SerialControl control;
    RecordingSink recorder;
    if (sink)
        control.setReceiveSink(&recorder);
    QVERIFY2(openOn(control, line.path), qPrintable(control.lastError()));
    QSignalSpy faults(&control, &SerialControl::faulted);
    qint64 atFault = -1;
    connect(&control, &SerialControl::faulted, this, [&] { atFault = recorder.bytes.size(); });
    line.startWriting(total);
    // The event loop stays still: the line's thread alone reads it all.
    for (int i = 0; i < 20000 && control.inBufferCount() < total; ++i)
        QTest::qSleep(1);
    QCOMPARE(control.inBufferCount(), total);
    QVERIFY(recorder.bytes.isEmpty());
    line.stopWriting();
    line.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(faults.size(), 1, 10000);
    QCOMPARE(faults.at(0).at(0).toString(),
             QStringLiteral("The line was hung up: the device went away or its far end closed"));
    QVERIFY(control.hasFault());
    QVERIFY(!control.portOpen());
    if (sink) {
        QCOMPARE(atFault, total);
        QVERIFY(recorder.bytes == streamBytes(0, total));
    } else {
        QVERIFY(control.input() == streamBytes(0, total));
    }
    QTest::qWait(20);
    QCOMPARE(faults.size(), 1);
}

QTEST_GUILESS_MAIN(ReceiveHandoverTest)
#include "tst_receive_handover.moc"
