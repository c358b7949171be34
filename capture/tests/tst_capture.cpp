// The capture files: what the writer puts in a block, what the reader makes
// of our files, of files made elsewhere and of damaged ones.
#include "capture/capture_reader.h"
#include "capture/pcapng_writer.h"
#include "tests/support/hex.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <limits>
#include <optional>

using namespace capture;

namespace {

using testsupport::hex;

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArrayView bytesOf(const QByteArray &file, const Packet &p)
{
    return QByteArrayView(file).sliced(p.offset, p.length);
}

// A classic pcap file, little- or big-endian, of records (seconds,
// fraction, bytes).
struct Record {
    quint32 seconds;
    quint32 fraction;
    QByteArray bytes;
};
QByteArray pcapFile(bool big, bool nano, quint32 link, const QList<Record> &records, quint32 snap = 65535)
{
    auto u32 = [big](quint32 v) {
        QByteArray b(4, '\0');
        big ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
        return b;
    };
    auto u16 = [big](quint16 v) {
        QByteArray b(2, '\0');
        big ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
        return b;
    };
    QByteArray out = u32(nano ? 0xA1B23C4D : 0xA1B2C3D4) + u16(2) + u16(4) + u32(0) + u32(0) + u32(snap) + u32(link);
    for (const Record &r : records)
        out += u32(r.seconds) + u32(r.fraction) + u32(quint32(r.bytes.size())) + u32(quint32(r.bytes.size())) + r.bytes;
    return out;
}


// An interface block of link type 147 with the given time options (if_tsresol
// when `resolution` >= 0, if_tsoffset when `offset` is set), and a packet
// block of the raw timestamp `ts` on it.
QByteArray timedFile(int resolution, std::optional<qint64> offset, quint64 ts)
{
    QByteArray body = le32(147) ; // link type 147, reserved 0
    body += le32(0);              // snap length
    if (resolution >= 0)
        body += hex("0900 0100") + QByteArray(1, char(resolution)) + QByteArray(3, '\0');
    if (offset) {
        QByteArray v(8, '\0');
        qToLittleEndian(quint64(*offset), v.data());
        body += hex("0e00 0800") + v;
    }
    body += hex("0000 0000");
    const QByteArray iface = le32(1) + le32(quint32(body.size() + 12)) + body + le32(quint32(body.size() + 12));
    const QByteArray packet = le32(6) + le32(36) + le32(0) + le32(quint32(ts >> 32)) + le32(quint32(ts))
                              + le32(1) + le32(1) + hex("41 000000") + le32(36);
    return sectionHeaderBlock(QStringLiteral("t")) + iface + packet;
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT
private slots:
    void packetBlockBytes();
    void roundTrip();
    void classicPcap_data();
    void classicPcap();
    void damaged_data();
    void damaged();
    void timeResolutions_data();
    void timeResolutions();
    void otherToolsFile();
    void packetAnalyserReadsOurs();
    void windowsReadAsTheWholeFile_data();
    void windowsReadAsTheWholeFile();
    void windowEdges_data();
    void windowEdges();
};

// The bytes of a serial packet, as the packet analyser expects them.
void CaptureTest::packetBlockBytes()
{
    const QByteArray block = serialPacketBlock(1, 1765000000123456, 0x02, hex("01 03 02"));
    QCOMPARE(block.toHex(' '),
             hex("06000000 30000000 01000000"   // type, length, interface 1
                 "42450600 40320916"            // 1765000000123456 us, high and low
                 "0f000000 0f000000"            // captured and original length
                 "6933c340 0001e240 02 00 0000" // 1765000000 s, 123456 us, received
                 "010302 00 30000000")          // the bytes, padding, length
                 .toHex(' '));
}

void CaptureTest::roundTrip()
{
    QByteArray file = sectionHeaderBlock(QStringLiteral("test"));
    file += interfaceBlock(kLinkSerial, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("9600,n,8,1"));
    file += interfaceBlock(kLinkSerial, QStringLiteral("COM4"), QStringLiteral("19200,e,8,1"));
    file += noteBlock(0, 1000, NoteKind::Started, QStringLiteral("9600,n,8,1"), QStringLiteral("/dev/ttyUSB0"));
    file += frameBlocks(0, 2000, 2999, kTransmitted, true, hex("01 03 00 00 00 0A C5 CD"), "/dev/ttyUSB9", 7);
    file += frameBlocks(1, 12000, 13500, kReceived, false, hex("01 03 14"));
    // A second end note is about no packet.
    file += noteBlock(1, 14000, NoteKind::SentEnd);
    file += noteBlock(1, 20000, NoteKind::Fault, QStringLiteral("Schnittstelle weg \u00e9"), QStringLiteral("COM4"));
    file += serialPacketBlock(0, 30000, kReceived, "xyz"); // no note: ends where it starts

    const Capture c = readCapture(file);
    QVERIFY2(!c.damage, qPrintable(c.damage ? damageText(*c.damage) : QString()));
    QCOMPARE(int(c.format), int(Capture::Format::Pcapng));
    QCOMPARE(int(c.interfaces.size()), 2);
    QCOMPARE(c.interfaces[1].name, QStringLiteral("COM4"));
    QCOMPARE(c.interfaces[1].description, QStringLiteral("19200,e,8,1"));
    QCOMPARE(int(c.packets.size()), 3);
    const Packet &sent = c.packets[0];
    QCOMPARE(bytesOf(file, sent), QByteArrayView(hex("01 03 00 00 00 0A C5 CD")));
    QCOMPARE(sent.timeUs, 2000);
    QCOMPARE(sent.endUs, 2999);
    QVERIFY(sent.sent);
    QCOMPARE(sent.wallMs, 7);
    QCOMPARE(sent.port, QStringLiteral("/dev/ttyUSB9"));
    QCOMPARE(sent.eventType, quint8(1));
    const Packet &received = c.packets[1];
    QCOMPARE(received.interface, 1);
    QCOMPARE(received.endUs, 13500);
    QVERIFY(!received.sent);
    QCOMPARE(received.eventType, quint8(2));
    QCOMPARE(c.packets[2].endUs, 30000);
    QCOMPARE(c.packets[2].wallMs, 30);
    QCOMPARE(int(c.notes.size()), 2);
    QCOMPARE(c.notes[0].detail, QStringLiteral("9600,n,8,1"));
    QCOMPARE(c.notes[0].port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(c.notes[1].kind, NoteKind::Fault);
    QCOMPARE(c.notes[1].detail, QStringLiteral("Schnittstelle weg \u00e9"));
    QCOMPARE(c.notes[1].timeUs, 20000);

    // Cut after any whole block, the file still reads to that block.
    const qsizetype firstFrameEnd = file.indexOf(serialPacketBlock(1, 12000, kReceived, hex("01 03 14")));
    const Capture cut = readCapture(QByteArrayView(file).first(firstFrameEnd));
    QVERIFY(!cut.damage);
    QCOMPARE(int(cut.packets.size()), 1);
}

void CaptureTest::classicPcap_data()
{
    QTest::addColumn<bool>("big");
    QTest::addColumn<bool>("nano");
    QTest::addColumn<quint32>("link");
    QTest::newRow("little-endian, microseconds, 147") << false << false << 147u;
    QTest::newRow("big-endian, microseconds, 147") << true << false << 147u;
    QTest::newRow("little-endian, nanoseconds, 250") << false << true << 250u;
    QTest::newRow("big-endian, nanoseconds, 250") << true << true << 250u;
}

void CaptureTest::classicPcap()
{
    QFETCH(bool, big);
    QFETCH(bool, nano);
    QFETCH(quint32, link);
    const QByteArray header = link == 250 ? hex("6933c340 0001e240 02 00 0000") : QByteArray();
    const QByteArray file = pcapFile(big, nano, link,
                                     {{1765000000, nano ? 123456789u : 123456u, header + hex("01 03 02")},
                                      {1765000001, 0, header + hex("FF")}});
    const Capture c = readCapture(file);
    QVERIFY(!c.damage);
    QCOMPARE(int(c.format), int(Capture::Format::Pcap));
    QCOMPARE(c.interfaces.at(0).linkType, quint16(link));
    QCOMPARE(int(c.packets.size()), 2);
    QCOMPARE(c.packets[0].timeUs, 1765000000123456);
    QCOMPARE(bytesOf(file, c.packets[0]), QByteArrayView(hex("01 03 02")));
    QCOMPARE(bytesOf(file, c.packets[1]), QByteArrayView(hex("FF")));
    QCOMPARE(c.packets[0].eventType, quint8(link == 250 ? 2 : 0));
}

void CaptureTest::damaged_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("packetsKept");
    QTest::addColumn<qint64>("block");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("what");

    const QByteArray head = sectionHeaderBlock(QStringLiteral("t")) + interfaceBlock(250, "p", "d");
    const qint64 h = head.size();
    const QByteArray one = serialPacketBlock(0, 5, 2, "ab");
    const qint64 o = one.size();
    const QByteArray good = head + one;

    QTest::newRow("not a capture") << QByteArray("time,panel\n") << 0 << qint64(0) << qint64(0) << "not a capture";
    QTest::newRow("empty") << QByteArray() << 0 << qint64(0) << qint64(0) << "not a capture";
    QTest::newRow("truncated block") << (good + one.first(o - 1)) << 1 << qint64(4) << h + o << "runs past the end";
    QTest::newRow("cut in a block header") << (good + one.first(6)) << 1 << qint64(4) << h + o << "ends inside a block header";
    QTest::newRow("length past the end") << (good + one.first(4) + le32(0x7FFFFFF0) + one.mid(8)) << 1 << qint64(4)
                                         << h + o << "runs past the end";
    QTest::newRow("length not a multiple of 4") << (good + one.first(4) + le32(13) + one.mid(8)) << 1 << qint64(4)
                                                << h + o << "multiple of 4";
    QTest::newRow("closing length differs") << (good + one.first(o - 4) + le32(4)) << 1 << qint64(4) << h + o
                                            << "closing length";
    QByteArray huge = one;
    huge.replace(20, 4, le32(0xFFFFFFF0)); // captured length
    QByteArray over = one;
    over.replace(20, 4, le32(17)); // 16 bytes of room in the block
    QTest::newRow("captured length a byte past its block") << (good + over) << 1 << qint64(4) << h + o
                                                           << "run past its block";
    QTest::newRow("huge captured length") << (good + huge) << 1 << qint64(4) << h + o << "run past its block";
    QByteArray shortHeader = serialPacketBlock(0, 5, 2, "");
    shortHeader.replace(20, 4, le32(11));
    QTest::newRow("shorter than the serial header") << (good + shortHeader) << 1 << qint64(4) << h + o << "12-byte";
    QByteArray stranger = one;
    stranger.replace(8, 4, le32(7));
    QTest::newRow("unknown interface") << (good + stranger) << 1 << qint64(4) << h + o << "interface 7";
    QTest::newRow("link type not read")
        << (sectionHeaderBlock("t") + interfaceBlock(1, "eth0", "")) << 0 << qint64(2)
        << qint64(sectionHeaderBlock("t").size()) << "link type 1";
    QByteArray note = noteBlock(0, 9, NoteKind::Fault, "gone", "p");
    note.replace(24, 4, le32(100000)); // the detail's length
    QTest::newRow("note text past its block") << (good + note) << 1 << qint64(4) << h + o << "runs past its block";

    const Record r{1, 2, "abc"};
    const QByteArray pcap = pcapFile(false, false, 147, {r});
    QTest::newRow("pcap record cut") << (pcap + pcap.mid(24, 18)) << 1 << qint64(2) << qint64(24 + 19) << "run past the end";
    QByteArray pcapHuge = pcap + pcap.mid(24);
    pcapHuge.replace(24 + 19 + 8, 4, le32(0xFFFFFFFF));
    QTest::newRow("pcap huge record") << pcapHuge << 1 << qint64(2) << qint64(24 + 19) << "more than a record";
    QTest::newRow("pcap zero snap length, fine") << pcapFile(false, false, 147, {r, r}, 0) << 2 << qint64(-1)
                                                 << qint64(-1) << QString();
    QTest::newRow("pcap header cut") << pcap.first(20) << 0 << qint64(0) << qint64(0) << "pcap header";
    QTest::newRow("pcap link type") << pcapFile(true, false, 1, {r}) << 0 << qint64(0) << qint64(0) << "link type 1";
}

void CaptureTest::damaged()
{
    QFETCH(QByteArray, file);
    QFETCH(int, packetsKept);
    QFETCH(qint64, block);
    QFETCH(qint64, offset);
    QFETCH(QString, what);
    const Capture c = readCapture(file);
    QCOMPARE(int(c.packets.size()), packetsKept);
    if (what.isEmpty()) {
        QVERIFY(!c.damage);
        return;
    }
    QVERIFY(c.damage);
    QVERIFY2(c.damage->what.contains(what), qPrintable(c.damage->what));
    QCOMPARE(c.damage->block, block);
    QCOMPARE(c.damage->offset, offset);
}

// Times of files made elsewhere: the interface's resolution, decimal or
// binary, and its offset in seconds; a resolution past what a 64-bit count
// can hold is refused, the one just below it read.
void CaptureTest::timeResolutions_data()
{
    QTest::addColumn<int>("resolution");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<quint64>("ts");
    QTest::addColumn<qint64>("us"); // -1: refused
    const qint64 none = std::numeric_limits<qint64>::min();
    QTest::newRow("no option: microseconds") << -1 << none << quint64(1234567) << qint64(1234567);
    QTest::newRow("microseconds") << 6 << none << quint64(1234567) << qint64(1234567);
    QTest::newRow("milliseconds") << 3 << none << quint64(1234) << qint64(1234000);
    QTest::newRow("nanoseconds") << 9 << none << quint64(1234567891) << qint64(1234567);
    QTest::newRow("seconds") << 0 << none << quint64(5) << qint64(5000000);
    QTest::newRow("2^-10 s") << (0x80 | 10) << none << quint64(1024 * 3 + 512) << qint64(3500000);
    QTest::newRow("offset") << 6 << qint64(100) << quint64(7) << qint64(100000007);
    QTest::newRow("10^-19 read") << 19 << none << quint64(10000000000000ull) << qint64(1);
    QTest::newRow("10^-20 refused") << 20 << none << quint64(1) << qint64(-1);
    QTest::newRow("2^-63 read") << (0x80 | 63) << none << quint64(1) << qint64(0);
    QTest::newRow("2^-64 refused") << (0x80 | 64) << none << quint64(1) << qint64(-1);
}

void CaptureTest::timeResolutions()
{
    QFETCH(int, resolution);
    QFETCH(qint64, offset);
    QFETCH(quint64, ts);
    QFETCH(qint64, us);
    const bool hasOffset = offset != std::numeric_limits<qint64>::min();
    const Capture c = readCapture(timedFile(resolution, hasOffset ? std::optional(offset) : std::nullopt, ts));
    if (us < 0) {
        QVERIFY(c.damage);
        QVERIFY2(c.damage->what.contains("time resolution"), qPrintable(c.damage->what));
        QCOMPARE(int(c.packets.size()), 0);
        return;
    }
    QVERIFY2(!c.damage, qPrintable(c.damage ? damageText(*c.damage) : QString()));
    QCOMPARE(int(c.packets.size()), 1);
    QCOMPARE(c.packets[0].timeUs, us);
}

// A pcap made by Debian's text2pcap with the user link type.
void CaptureTest::otherToolsFile()
{
    const QString text2pcap = QStandardPaths::findExecutable(QStringLiteral("text2pcap"));
    if (text2pcap.isEmpty())
        QSKIP("text2pcap is not installed (wireshark-common)");
    QTemporaryDir dir;
    QFile dump(dir.filePath("dump.txt"));
    QVERIFY(dump.open(QIODevice::WriteOnly));
    dump.write("0000 01 03 00 00 00 0a c5 cd\n0000 01 03 02 00 2a 38 4b\n");
    dump.close();
    for (const QString &format : {QStringLiteral("pcap"), QStringLiteral("pcapng")}) {
        const QString out = dir.filePath("out." + format);
        const QStringList args{"-q", "-F", format, "-l", "147", dump.fileName(), out};
        QCOMPARE(QProcess::execute(text2pcap, args), 0);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray file = f.readAll();
        const Capture c = readCapture(file);
        QVERIFY2(!c.damage, qPrintable(c.damage ? damageText(*c.damage) : QString()));
        QCOMPARE(int(c.format), int(format == "pcap" ? Capture::Format::Pcap : Capture::Format::Pcapng));
        QCOMPARE(int(c.packets.size()), 2);
        QCOMPARE(bytesOf(file, c.packets[0]), QByteArrayView(hex("01 03 00 00 00 0a c5 cd")));
        QCOMPARE(bytesOf(file, c.packets[1]), QByteArrayView(hex("01 03 02 00 2a 38 4b")));
    }
}

// Our file, events and notes included, read by the packet analyser as a
// Modbus conversation and without a word of complaint.
void CaptureTest::packetAnalyserReadsOurs()
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark is not installed");
    QTemporaryDir dir;
    QFile f(dir.filePath("modbus.pcapng"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(sectionHeaderBlock("test") + interfaceBlock(250, "/dev/ttyUSB0", "9600,n,8,1")
            + interfaceBlock(250, "/dev/ttyUSB1", "9600,n,8,1")
            + noteBlock(0, 1765000000000000, NoteKind::Started, "9600,n,8,1", "/dev/ttyUSB0")
            + frameBlocks(0, 1765000000001000, 1765000000009000, kTransmitted, false, hex("01 03 00 00 00 02 C4 0B"))
            + frameBlocks(1, 1765000000020000, 1765000000029000, kReceived, false, hex("01 03 04 00 01 00 02 2A 32"))
            + noteBlock(1, 1765000000040000, NoteKind::Waiting, "", "/dev/ttyUSB1"));
    f.close();
    QProcess p;
    p.start(tshark, {"-r", f.fileName(), "-d", "rtacser.data,mbrtu", "-z", "expert,note", "-q", "-o",
                     "gui.column.format:\"Info\",\"%i\""});
    QVERIFY(p.waitForFinished(60000));
    QProcess list;
    list.start(tshark, {"-r", f.fileName(), "-d", "rtacser.data,mbrtu"});
    QVERIFY(list.waitForFinished(60000));
    const QString out = QString::fromUtf8(list.readAllStandardOutput());
    const QString err = QString::fromUtf8(list.readAllStandardError() + p.readAllStandardError());
    QCOMPARE(list.exitCode(), 0);
    QVERIFY2(out.contains("Query: Unit:   1, Func:   3") && out.contains("Response: Unit:   1, Func:   3"),
             qPrintable(out));
    QCOMPARE(out.count('\n'), 2);
    // Only the warning about running as root may appear.
    QVERIFY2(!err.contains("damaged") && !err.contains("Warn") && !err.contains("Malformed"), qPrintable(err));
    QVERIFY2(!QString::fromUtf8(p.readAllStandardOutput()).contains("Warn"), "an expert warning");
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"

// A file read through windows smaller than its blocks gives what the whole
// file in memory gives: every packet where it is, every note, the damage.
void CaptureTest::windowsReadAsTheWholeFile_data()
{
    QTest::addColumn<qint64>("window");
    QTest::addColumn<int>("cut");
    QTest::newRow("4 KB windows") << qint64(4096) << 0;
    QTest::newRow("windows off the page") << qint64(5000) << 0;
    QTest::newRow("one window") << qint64(32 << 20) << 0;
    QTest::newRow("4 KB windows, cut in the last note") << qint64(4096) << 10;
    QTest::newRow("4 KB windows, cut in the last frame's note") << qint64(4096) << 70;
}

void CaptureTest::windowsReadAsTheWholeFile()
{
    QFETCH(qint64, window);
    QFETCH(int, cut);
    QByteArray file = sectionHeaderBlock(QStringLiteral("test"));
    file += interfaceBlock(kLinkSerial, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("9600,n,8,1"));
    file += interfaceBlock(kLinkSerial, QStringLiteral("/dev/ttyUSB1"), QStringLiteral("9600,n,8,1"));
    file += noteBlock(0, 1000, NoteKind::Started, QStringLiteral("9600,n,8,1"), QStringLiteral("/dev/ttyUSB0"));
    QByteArray pattern(30000, Qt::Uninitialized);
    for (int i = 0; i < pattern.size(); ++i)
        pattern[i] = char(i * 7 + 3);
    for (int n = 0; n < 2000; ++n) {
        // One record longer than a window.
        const int length = n == 700 ? 20000 : (n * 37) % 300;
        file += frameBlocks(quint32(n % 2), 2000 + n * 100, 2050 + n * 100, n % 2 ? kReceived : kTransmitted, n % 5 == 0,
                            QByteArrayView(pattern).first(length), n % 3 ? QStringLiteral("COM%1").arg(n % 3) : QString(),
                            n);
    }
    file += noteBlock(1, 900000, NoteKind::Fault, QStringLiteral("gone"), QStringLiteral("/dev/ttyUSB1"));
    file.chop(cut);
    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("t.pcapng")));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();

    const Capture whole = readCapture(file);
    FileWindows windows(window);
    QVERIFY(windows.open(out.fileName()));
    const Capture read = readCapture(windows);
    QCOMPARE(read.packets.size(), whole.packets.size());
    QCOMPARE(int(whole.packets.size()), 2000);
    // A packet whose note is cut off ends where it starts.
    QCOMPARE(whole.packets[1999].endUs - whole.packets[1999].timeUs, cut > 64 ? 0 : 50);
    for (size_t i = 0; i < whole.packets.size(); ++i) {
        const Packet &a = read.packets[i];
        const Packet &b = whole.packets[i];
        QCOMPARE(a.offset, b.offset);
        QCOMPARE(a.length, b.length);
        QCOMPARE(a.timeUs, b.timeUs);
        QCOMPARE(a.endUs, b.endUs);
        QCOMPARE(a.wallMs, b.wallMs);
        QCOMPARE(a.eventType, b.eventType);
        QCOMPARE(a.sent, b.sent);
        QCOMPARE(a.port, b.port);
    }
    QCOMPARE(whole.packets[700].length, 20000);
    QCOMPARE(whole.packets[7].port, QStringLiteral("COM1"));
    QVERIFY(whole.packets[10].sent);
    QCOMPARE(read.notes.size(), whole.notes.size());
    QCOMPARE(int(whole.notes.size()), cut ? 1 : 2);
    QCOMPARE(bool(read.damage), cut > 0);
    if (cut) {
        QCOMPARE(read.damage->what, whole.damage->what);
        QCOMPARE(read.damage->offset, whole.damage->offset);
    }
    // Any bytes of the file, read back through the windows.
    QByteArray bytes;
    QVERIFY(windows.append(whole.packets[700].offset, 20000, bytes));
    QCOMPARE(bytes, pattern.first(20000));
    if (window < file.size())
        QVERIFY(windows.mappings() > 2);
}

// Ranges at a window's edges, across them, and outside the file.
void CaptureTest::windowEdges_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("ok");
    QTest::newRow("nothing") << qint64(0) << qint64(0) << true;
    QTest::newRow("across an edge") << qint64(4090) << qint64(12) << true;
    QTest::newRow("a window exactly") << qint64(8192) << qint64(4096) << true;
    QTest::newRow("the whole file") << qint64(0) << qint64(20000) << true;
    QTest::newRow("the last byte") << qint64(19999) << qint64(1) << true;
    QTest::newRow("a byte past the end") << qint64(19999) << qint64(2) << false;
    QTest::newRow("before the start") << qint64(-1) << qint64(1) << false;
    QTest::newRow("at the end") << qint64(20000) << qint64(1) << false;
    QTest::newRow("nothing at the end") << qint64(20000) << qint64(0) << true;
}

void CaptureTest::windowEdges()
{
    QFETCH(qint64, at);
    QFETCH(qint64, length);
    QFETCH(bool, ok);
    QByteArray file(20000, Qt::Uninitialized);
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 13 + i / 256);
    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("bytes")));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    FileWindows windows(4096);
    QVERIFY(windows.open(out.fileName()));
    QCOMPARE(windows.size(), qint64(20000));
    // A window mapped first elsewhere, so that the range moves it.
    QByteArray read = "x";
    QVERIFY(windows.append(12000, 4, read));
    read = "x";
    QCOMPARE(windows.append(at, length, read), ok);
    QCOMPARE(read, ok ? "x" + file.mid(at, length) : QByteArray("x"));
    // Asked of the windows themselves, as the reader asks: null, with the
    // reason, only for a range that is not in the file.
    const uchar *bytes = windows.bytes(at, length);
    QCOMPARE(bytes != nullptr, ok);
    if (ok)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes), length), file.mid(at, length));
    if (!ok)
        QVERIFY2(windows.error().contains("not in the file"), qPrintable(windows.error()));
    QVERIFY(!windows.open(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!windows.error().isEmpty());
}
