// A recording file read for playing back: a capture's panels as the traffic
// view shows them, the CSV export's rows with their times, and the reasons
// a file is refused, saying where.
#include "capture/pcapng_writer.h"
#include "capture/recording_file.h"
#include "tests/support/hex.h"

#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace capture;

namespace {

using testsupport::hex;

// "panel:HEX@startUs-endUs" a burst, blank-separated.
QString burstsText(const RecordingRead &read)
{
    QStringList out;
    for (const protocol::RecordedBurst &b : read.bursts) {
        const QByteArray bytes(reinterpret_cast<const char *>(b.bytes.data()), qsizetype(b.bytes.size()));
        out << QStringLiteral("%1:%2@%3-%4").arg(b.panel).arg(QString::fromLatin1(bytes.toHex().toUpper()))
                   .arg(b.startUs).arg(b.endUs);
    }
    return out.join(QLatin1Char(' '));
}

const QByteArray kHeader = "time,panel,port,gap_ms,length,hex,text,check,event,"
                           "protocol,unit,function,address,count,values,status,reply_ms,request_row,summary\n";

} // namespace

class TestRecordingFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("bursts");
        QTest::addColumn<QString>("protocol");
        const QByteArray head = sectionHeaderBlock("test");
        // Two ports: the first the left panel; what a panel sent is no
        // received burst.
        QTest::newRow("two interfaces")
            << head + interfaceBlock(kLinkSerial, "/dev/ttyS0", "9600,n,8,1")
                   + interfaceBlock(kLinkSerial, "/dev/ttyS1", "9600,n,8,1")
                   + noteBlock(0, 500, NoteKind::Started, "9600,n,8,1")
                   + frameBlocks(0, 1000, 1800, kTransmitted, false, hex("01 02"))
                   + frameBlocks(1, 2000, 2500, kReceived, false, hex("03"))
                   + frameBlocks(1, 2600, 2700, kTransmitted, true, hex("04"))
            << "0:0102@1000-1800 1:03@2000-2500" << "";
        // One port of the serial link type: its direction is the panel.
        QTest::newRow("one interface, by direction")
            << head + interfaceBlock(kLinkSerial, "/dev/ttyS0", "9600,n,8,1")
                   + frameBlocks(0, 1000, 1100, kTransmitted, false, hex("0A"))
                   + frameBlocks(0, 1200, 1300, kReceived, false, hex("0B"))
            << "0:0A@1000-1100 1:0B@1200-1300" << "";
        QTest::newRow("raw bytes, one panel")
            << head + interfaceBlock(kLinkUser, "x", "") + rawPacketBlock(0, 1000, hex("0C 0D"))
            << "0:0C0D@1000-1000" << "";
        // A row ends where the next row's gap began (an event row too);
        // events and sent rows are no bursts. Times are local: UTC here.
        QTest::newRow("csv export")
            << kHeader + "2026-12-07T14:03:11.000,left,/dev/ttyS0,,,,,,started 9600,n,8,1,,,,,,,,,,\n"
                         "2026-12-07T14:03:11.482,left,/dev/ttyS0,482.0,8,01 03 00 00 00 0A C5 CD,........,ok,,"
                         "modbus-rtu,1,3,0,10,,request,,,\"Read holding registers 0-9, unit 1\"\n"
                         "2026-12-07T14:03:11.500,right,/dev/ttyS1,9.7,2,01 83,..,,,modbus-rtu,,,,,,,,,\n"
                         "2026-12-07T14:03:11.600,right,/dev/ttyS1,99.0,1,41,A,,sent,,,,,,,,,,\n"
            << "0:01030000000AC5CD@1796652191482000-1796652191490300 1:0183@1796652191500000-1796652191501000"
            << "modbus-rtu";
        QTest::newRow("csv without a protocol, CRLF")
            << QByteArray(kHeader).replace("\n", "\r\n")
                   + "2026-12-07T14:03:11.482,left,COM1,,2,3F 0D,?.,,,,,,,,,,,,\r\n"
                     "2026-12-07T14:03:11.490,right,COM2,7.5,3,4F 4B 0D,OK.,,,,,,,,,,,,\r\n"
            << "0:3F0D@1796652191482000-1796652191482500 1:4F4B0D@1796652191490000-1796652191490000" << "";
    }

    void reads()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, bursts);
        QFETCH(QString, protocol);
        const RecordingRead read = readRecording(file);
        QCOMPARE(read.error, QString());
        QCOMPARE(burstsText(read), bursts);
        QCOMPARE(read.protocol ? QString::fromUtf8(protocol::settingName(*read.protocol)) : QString(), protocol);
    }

    void refuses_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        const QByteArray good = sectionHeaderBlock("test") + interfaceBlock(kLinkSerial, "a", "")
            + frameBlocks(0, 1000, 1100, kTransmitted, false, hex("0A"));
        QTest::newRow("damaged capture") << good + hex("06 00 00 00 FF 00 00 00") << "block 5 at byte";
        QTest::newRow("capture cut short") << good.left(good.size() - 3) << "block 4 at byte";
        QTest::newRow("no capture") << QByteArray("hello\n") << "this is not a capture file";
        QTest::newRow("too few fields") << kHeader + "2026-12-07T14:03:11.482,left,COM1,,2,3F 0D,?.,,,\n"
                                                     "2026-12-07T14:03:11.482,left,COM1\n"
                                        << "line 3: 3 fields, where the export writes at least 9";
        QTest::newRow("bad time") << kHeader + "14:03:11.482,left,COM1,,2,3F 0D,?.,,,\n" << "line 2: time \"14:03:11.482\"";
        QTest::newRow("bad panel") << kHeader + "2026-12-07T14:03:11.482,middle,COM1,,2,3F 0D,?.,,,\n"
                                   << "line 2: panel \"middle\"";
        QTest::newRow("bad hex") << kHeader + "2026-12-07T14:03:11.482,left,COM1,,2,3F 0,?.,,,\n"
                                 << "line 2: hex \"3F 0\"";
        QTest::newRow("bad gap") << kHeader + "2026-12-07T14:03:11.482,left,COM1,-1,2,3F 0D,?.,,,\n"
                                 << "line 2: gap \"-1\"";
        // A line break inside quotes counts: the bad line is the fourth.
        QTest::newRow("unclosed quote") << kHeader + "2026-12-07T14:03:11.482,left,COM1,,2,3F 0D,\"a\nb\",,,\n"
                                                     "2026-12-07T14:03:11.482,left,\"COM1,,2,3F 0D,?.,,,\n"
                                        << "line 4: a quoted field is not closed";
    }

    void refuses()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        const RecordingRead read = readRecording(file);
        QVERIFY2(read.error.contains(error), qPrintable(read.error));
        QVERIFY(read.bursts.empty());
    }

    // The file as a whole: the protocol chosen, else the export's, else the
    // caller's; a file with nothing to play is refused with its name.
    void loads()
    {
        const QString csv = m_dir.filePath("modbus.csv");
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kHeader + "2026-12-07T14:03:11.482,left,COM1,,8,01 03 00 00 00 03 05 CB,,ok,,modbus-rtu,,,,,,,,,\n"
                          "2026-12-07T14:03:11.500,right,COM2,9.7,11,01 03 06 00 0A 00 14 00 28 F9 6E,,ok,,modbus-rtu,,,,,,,,,\n");
        f.close();
        RecordingLoad load = loadRecording(csv, std::nullopt, protocol::Protocol::None, 1'000'000);
        QCOMPARE(load.error, QString());
        QCOMPARE(int(load.protocol), int(protocol::Protocol::ModbusRtu));
        QCOMPARE(int(load.exchanges.size()), 1);
        QVERIFY(load.exchanges[0].answer);
        QCOMPARE(load.exchanges[0].replyUs, 9700);
        // Modbus ASCII finds no frame in these bytes.
        load = loadRecording(csv, protocol::Protocol::ModbusAscii, protocol::Protocol::None, 1'000'000);
        QVERIFY2(load.error.startsWith(csv + " cannot be played: it holds no Modbus ASCII request"),
                 qPrintable(load.error));
        load = loadRecording(m_dir.filePath("missing.pcapng"), std::nullopt, protocol::Protocol::None, 1'000'000);
        QVERIFY2(load.error.startsWith("Cannot read " + m_dir.filePath("missing.pcapng")), qPrintable(load.error));
        load = loadRecording(m_dir.path(), std::nullopt, protocol::Protocol::None, 1'000'000);
        QVERIFY2(load.error.endsWith("is a folder"), qPrintable(load.error));
#ifdef Q_OS_UNIX
        // A FIFO is refused before it is opened: the open would wait for a
        // writer without end.
        const QString fifo = m_dir.filePath("poll.pcapng");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        load = loadRecording(fifo, std::nullopt, protocol::Protocol::None, 1'000'000);
        QCOMPARE(load.error, fifo + " is not a regular file");
#endif
    }
};

QTEST_GUILESS_MAIN(TestRecordingFile)
#include "tst_recording_file.moc"
