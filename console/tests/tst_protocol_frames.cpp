// The recorder's protocol framing: a panel's bursts in, whole frames with
// their times and directions out, only a growing frame's bytes held.
#include "console/record/protocol_frames.h"
#include "tests/support/hex.h"

#include <QTest>

using console::ProtocolFrames;
using protocol::Direction;

namespace {

using testsupport::hex;

ProtocolFrames modbusRtu()
{
    return ProtocolFrames(protocol::makeFramer(protocol::Protocol::ModbusRtu));
}

// "bytes start-end direction" of each frame.
QStringList texts(const std::vector<ProtocolFrames::Frame> &frames)
{
    QStringList out;
    for (const auto &f : frames)
        out << QStringLiteral("%1 %2-%3 %4")
                   .arg(QString::fromLatin1(f.bytes.toHex(' ')))
                   .arg(f.startUs)
                   .arg(f.endUs)
                   .arg(f.direction == Direction::Request ? "request"
                        : f.direction == Direction::Answer ? "answer"
                                                            : "unknown");
    return out;
}

const char *const kRequest = "01 03 00 00 00 02 C4 0B";
const char *const kAnswer = "01 03 04 00 01 00 02 2A 32";

} // namespace

class TestProtocolFrames : public QObject {
    Q_OBJECT
private slots:
    // Bursts as a panel notes them: bytes, first and last arrival (µs).
    void cut_data()
    {
        QTest::addColumn<QList<QByteArray>>("bursts");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<int>("held"); // bytes held after the last burst
        const QByteArray request = hex(kRequest), answer = hex(kAnswer);
        QTest::newRow("one frame") << QList<QByteArray>{request} << QStringList{"01 03 00 00 00 02 c4 0b 0-10 request"}
                                   << 0;
        QTest::newRow("split across three bursts")
            << QList<QByteArray>{request.first(1), request.mid(1, 6), request.last(1)}
            << QStringList{"01 03 00 00 00 02 c4 0b 0-210 request"} << 0;
        QTest::newRow("request and answer in one burst")
            << QList<QByteArray>{request + answer}
            << QStringList{"01 03 00 00 00 02 c4 0b 0-10 request", "01 03 04 00 01 00 02 2a 32 0-10 answer"} << 0;
        QTest::newRow("request and answer in bursts of their own")
            << QList<QByteArray>{request, answer}
            << QStringList{"01 03 00 00 00 02 c4 0b 0-10 request", "01 03 04 00 01 00 02 2a 32 100-110 answer"} << 0;
        const QByteArray write = hex("01 06 00 01 00 03 98 0B");
        QTest::newRow("a write and its echo")
            << QList<QByteArray>{write, write}
            << QStringList{"01 06 00 01 00 03 98 0b 0-10 request", "01 06 00 01 00 03 98 0b 100-110 answer"} << 0;
        QTest::newRow("noise, then a request")
            << QList<QByteArray>{hex("AA 01 03"), hex("00 00 00 02 C4 0B")}
            << QStringList{"aa 0-10 unknown", "01 03 00 00 00 02 c4 0b 0-110 request"} << 0;
        // The answer begins in the request's last burst: it starts there and
        // ends with the burst that completes it.
        QTest::newRow("a burst that ends one frame and begins the next")
            << QList<QByteArray>{request.first(4), request.mid(4) + answer.first(3), answer.mid(3)}
            << QStringList{"01 03 00 00 00 02 c4 0b 0-110 request", "01 03 04 00 01 00 02 2a 32 100-210 answer"} << 0;
        QTest::newRow("a frame still growing is held")
            << QList<QByteArray>{request + answer.first(5)} << QStringList{"01 03 00 00 00 02 c4 0b 0-10 request"} << 5;
    }
    void cut()
    {
        QFETCH(QList<QByteArray>, bursts);
        QFETCH(QStringList, frames);
        QFETCH(int, held);
        ProtocolFrames framed = modbusRtu();
        std::vector<ProtocolFrames::Frame> got;
        qint64 us = 0;
        for (const QByteArray &burst : bursts) {
            framed.feed(burst, us, us + 10);
            for (auto &f : framed.take())
                got.push_back(std::move(f));
            us += 100;
        }
        QCOMPARE(texts(got), frames);
        QCOMPARE(framed.heldBytes(), qint64(held));
        QCOMPARE(framed.pendingSinceUs().has_value(), held > 0);
        QVERIFY(framed.take().empty());
    }

    // What waits leaves when the line goes quiet for longer than the reply
    // timeout, or when it ends, with the time its first byte came.
    void waitingBytesLeave()
    {
        ProtocolFrames framed = modbusRtu();
        framed.feed(hex("01 03 00"), 5'000, 5'010);
        framed.feed(hex("00"), 6'000, 6'000);
        QCOMPARE(framed.pendingSinceUs(), std::optional<qint64>(5'000));
        framed.idle(6'500);
        QVERIFY(framed.take().empty());
        framed.idle(5'000 + 2'000'000);
        const auto cut = framed.take();
        QCOMPARE(cut.size(), size_t(1));
        QCOMPARE(cut[0].bytes, hex("01 03 00 00"));
        QCOMPARE(cut[0].startUs, 5'000);
        QCOMPARE(cut[0].endUs, 6'000);
        QCOMPARE(framed.heldBytes(), 0);
        QVERIFY(!framed.pendingSinceUs());

        framed.feed(hex(kRequest).first(3), 9'000'000, 9'000'000);
        framed.finish();
        const auto ended = framed.take();
        QCOMPARE(ended.size(), size_t(1));
        QCOMPARE(ended[0].bytes, hex(kRequest).first(3));
        QCOMPARE(ended[0].startUs, 9'000'000);
    }

    // A flood of noise keeps no more than the framer itself holds.
    void noiseIsNotHoarded()
    {
        ProtocolFrames framed = modbusRtu();
        qint64 bytes = 0;
        for (int i = 0; i < 2000; ++i) {
            framed.feed(QByteArray(512, char(0xAA)), i * 100, i * 100 + 50);
            for (const auto &f : framed.take())
                bytes += f.bytes.size();
            QVERIFY(framed.heldBytes() <= 1024);
        }
        framed.finish();
        for (const auto &f : framed.take())
            bytes += f.bytes.size();
        QCOMPARE(bytes, 2000 * 512);
    }
};

QTEST_GUILESS_MAIN(TestProtocolFrames)
#include "tst_protocol_frames.moc"
