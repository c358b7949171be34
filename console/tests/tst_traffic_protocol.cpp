// The traffic view with a protocol chosen: frames found by the protocol's
// grammar over each panel's bytes as they arrived, described, paired across
// two panels or on one, exported and opened again. The frames are written
// out from the Modbus application protocol's public description.

#include "capture/capture_reader.h"
#include "console/traffic/capture_source.h"
#include "console/traffic/traffic_capture.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/fed_panel.h"
#include "tests/support/files.h"
#include "tests/support/hex.h"
#include "tests/support/two_panel_rig.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using console::ArrivalClock;
using console::Panel;
using console::TrafficModel;
using console::TrafficWindow;
using protocol::Protocol;
using testsupport::TwoPanelRig;
using testsupport::readFile;
using testsupport::utc;

using testsupport::csvFields;

namespace {

// Read holding registers 0-9 of unit 1, its answer (100..109), the
// exception "illegal data address" to it, and a read of 3 registers at
// 107 from unit 17 (the description's own example).
const char *const kRead = "01 03 00 00 00 0A C5 CD";
const char *const kAnswer = "01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D1";
const char *const kException = "01 83 02 C0 F1";
const char *const kRead17 = "11 03 00 6B 00 03 76 87";

using testsupport::hex;

using testsupport::FedPanel;

// Bytes that arrive on a panel `afterUs` after the previous arrival.
struct Arrival {
    int panel;
    qint64 afterUs;
    QByteArray bytes;
};

// What a row says: status, reply (ms), the request's row (or -1), summary.
QString rowText(const TrafficModel &model, int row)
{
    const protocol::Pairing p = model.pairing(row);
    const QString partner = p.role == protocol::Role::Answer ? QString::number(p.partner) : QStringLiteral("-");
    return QStringList{model.statusText(row), console::replyText(model, row), partner,
                       model.index(row, TrafficModel::DecodedColumn).data().toString()}
        .join(QStringLiteral(" | "));
}

QStringList rowTexts(const TrafficModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row)
        rows << rowText(model, row);
    return rows;
}

const QString kReadSummary = QStringLiteral("Read holding registers 0-9, unit 1");
const QString kAnswerSummary = QStringLiteral("Answer: 100 101 102 103 104 105 106 107 ...");

QString row(const char *status, const char *reply, const char *partner, const QString &summary)
{
    return QStringList{status, reply, partner, summary}.join(QStringLiteral(" | "));
}

} // namespace

Q_DECLARE_METATYPE(QList<Arrival>)

class TestTrafficProtocol : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }

    void framedPairedAndDescribed_data()
    {
        QTest::addColumn<QList<Arrival>>("arrivals");
        QTest::addColumn<QStringList>("rows");
        const QByteArray answer = hex(kAnswer);
        QTest::newRow("two panels: the answer split across arrivals")
            << QList<Arrival>{{0, 0, hex(kRead)}, {1, 5000, answer.left(10)}, {1, 2000, answer.mid(10)}}
            << QStringList{row("request", "", "-", kReadSummary), row("answer", "5.0", "0", kAnswerSummary)};
        QTest::newRow("two panels: the request split, the answer whole")
            << QList<Arrival>{{0, 0, hex(kRead).left(3)}, {0, 1500, hex(kRead).mid(3)}, {1, 12500, answer}}
            << QStringList{row("request", "", "-", kReadSummary), row("answer", "12.5", "0", kAnswerSummary)};
        QTest::newRow("one panel (a tap): request and answer 5 ms apart")
            << QList<Arrival>{{0, 0, hex(kRead)}, {0, 5000, answer}}
            << QStringList{row("request", "", "-", kReadSummary), row("answer", "5.0", "0", kAnswerSummary)};
        QTest::newRow("one panel: request and answer handed over in one lump")
            << QList<Arrival>{{0, 0, hex(kRead) + answer}}
            << QStringList{row("request", "", "-", kReadSummary), row("answer", "0.0", "0", kAnswerSummary)};
        QTest::newRow("exception answer")
            << QList<Arrival>{{0, 0, hex(kRead)}, {1, 4000, hex(kException)}}
            << QStringList{row("request", "", "-", kReadSummary),
                           row("exception 2", "4.0", "0", "Exception 2: illegal data address")};
        // Polls 11 ms apart: each frame its row, whatever the split rule.
        QTest::newRow("no answer: the same request again 11 ms later")
            << QList<Arrival>{{0, 0, hex(kRead)}, {0, 11000, hex(kRead)}, {1, 3000, hex(kException)}}
            << QStringList{row("no answer", "", "-", kReadSummary), row("request", "", "-", kReadSummary),
                           row("exception 2", "3.0", "1", "Exception 2: illegal data address")};
        QTest::newRow("two stations polled in turn")
            << QList<Arrival>{{0, 0, hex(kRead)}, {0, 11000, hex(kRead17)}, {1, 3000, hex(kException)}}
            << QStringList{row("request", "", "-", kReadSummary),
                           row("no answer", "", "-", "Read holding registers 107-109, unit 17"),
                           row("exception 2", "14.0", "0", "Exception 2: illegal data address")};
        QTest::newRow("no answer: the timeout passed")
            << QList<Arrival>{{0, 0, hex(kRead)}, {1, 1200000, answer}}
            << QStringList{row("no answer", "", "-", kReadSummary), row("answer", "", "-", kAnswerSummary)};
        QTest::newRow("a corrupted answer")
            << QList<Arrival>{{0, 0, hex(kRead)}, {1, 5000, hex("01 83 02 C0 F0")}}
            << QStringList{row("no answer", "", "-", kReadSummary), row("bad check", "", "-", "Bad check: Exception 2: illegal data address")};
        QTest::newRow("garbage before the request")
            << QList<Arrival>{{0, 0, hex("FF 00") + hex(kRead)}, {1, 5000, hex(kException)}}
            << QStringList{row("unrecognised", "", "-", "Unrecognised: 2 bytes"), row("request", "", "-", kReadSummary),
                           row("exception 2", "5.0", "1", "Exception 2: illegal data address")};
    }
    void framedPairedAndDescribed()
    {
        QFETCH(QList<Arrival>, arrivals);
        QFETCH(QStringList, rows);
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        model.setProtocol(Protocol::ModbusRtu, 1000000);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // An idle gap that merges the frames: the protocol's frames do not
        // follow it.
        for (Panel *p : {&left.panel, &right.panel})
            p->setSplitRule({console::SplitKind::Gap, 2000, 0});
        for (const Arrival &a : arrivals)
            (a.panel ? right : left).arrive(a.afterUs, a.bytes);
        // The timeout passes: what waits for more is cut, and every request
        // has had its time for an answer.
        now += 1000001;
        model.decodedSource()->idle(now);
        QCOMPARE(rowTexts(model), rows);
        QCOMPARE(model.columnCount(), int(TrafficModel::ProtocolColumnCount));

        // The same bytes written to a capture and opened again: the file's
        // records are the bursts, and the rows are the same.
        QTemporaryDir out;
        const QString path = out.filePath("traffic.pcapng");
        QVERIFY(console::exportCapture(model, path, {}, console::decodedEventType(model)).ok);
        QString failure;
        std::unique_ptr<console::CaptureSource> opened = console::CaptureSource::open(path, &failure);
        QVERIFY2(opened, qPrintable(failure));
        TrafficModel reopened(opened.get());
        reopened.setProtocol(Protocol::ModbusRtu, 1000000);
        reopened.decodedSource()->frameAll();
        // A packet a row: bytes that are no frame may be cut where the rows
        // were, so they are left out here.
        const auto frames = [](const TrafficModel &m) {
            QStringList texts;
            for (int r = 0; r < m.rowCount(); ++r)
                if (m.statusText(r) != QStringLiteral("unrecognised"))
                    texts << m.statusText(r) + QStringLiteral(" ") + console::replyText(m, r);
            return texts;
        };
        QCOMPARE(frames(reopened), frames(model));
    }

    void aLongRunOfNoiseIsDescribedFromItsFirstBytes()
    {
        // A flood's run of bytes that are no frame: its row counts them all
        // and its field holds the first 4096.
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        model.setProtocol(Protocol::Mewtocol);
        left.arrive(0, QByteArray(10000, 'A'));
        model.decodedSource()->idle(now + 1000001);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.statusText(0), QStringLiteral("unrecognised"));
        const protocol::Description d = model.description(0);
        QCOMPARE(QString::fromStdString(d.summary), QStringLiteral("Unrecognised: 10000 bytes"));
        QCOMPARE(d.fields.size(), size_t(1));
        QCOMPARE(d.fields[0].end, 4096u);
        QCOMPARE(model.frameBytes(0).size(), 10000);
    }

    void noiseIsOneRowHoweverItArrives()
    {
        // Bytes that are no frame, handed over a few at a time as a USB
        // adapter does: one row that grows (and is drawn again), parted by
        // a frame, a silence longer than the reply timeout, or the longest
        // run a row holds.
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        model.setProtocol(Protocol::Mewtocol, 100000);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<int> redrawn;
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &from, const QModelIndex &to) {
                    if (from.row() == to.row())
                        redrawn << from.row();
                });
        const auto lengths = [&] {
            QList<int> all;
            for (int r = 0; r < model.rowCount(); ++r)
                all << int(model.frameBytes(r).size());
            return all;
        };
        for (int i = 0; i < 5; ++i)
            left.arrive(2000, QByteArray(7, 'A'));
        QCOMPARE(lengths(), QList<int>{35});
        QVERIFY(redrawn.contains(0));
        QCOMPARE(model.description(0).summary, std::string("Unrecognised: 35 bytes"));
        left.arrive(100000, QByteArray(3, 'B')); // exactly the timeout: still the run
        left.arrive(100001, QByteArray(4, 'C')); // longer: a row of its own
        left.arrive(2000, hex("25 30 31 23 52 43 53 58 30 30 30 30 31 44 0D")); // %01#RCSX00001D CR
        left.arrive(2000, QByteArray(2, 'D'));
        left.arrive(2000, QByteArray(3, 'E'));
        QCOMPARE(lengths(), (QList<int>{38, 4, 15, 5}));
        QCOMPARE(model.statusText(2), QStringLiteral("request"));
        // The other panel's rows between keep the runs apart.
        right.arrive(2000, QByteArray(2, 'F'));
        left.arrive(2000, QByteArray(2, 'G'));
        QCOMPARE(lengths(), (QList<int>{38, 4, 15, 5, 2, 2}));

        // Framed again from the store: the same rows.
        model.setProtocol(Protocol::Mewtocol, 100000);
        model.decodedSource()->frameAll();
        QCOMPARE(lengths(), (QList<int>{38, 4, 15, 5, 2, 2}));
        const int longest = int(protocol::kLongestUnframedRun);
        left.arrive(2000, QByteArray(longest - 3, 'H'));
        left.arrive(2000, QByteArray(1, 'I')); // the row holds the longest run
        QCOMPARE(lengths().mid(5), (QList<int>{longest}));
        left.arrive(2000, QByteArray(2, 'J'));
        left.arrive(2000, QByteArray(1, 'K'));
        QCOMPARE(lengths().mid(5), (QList<int>{longest, 3}));
    }

    void directionsInTheCaptureAreTheDecoders()
    {
        // On a tap both directions are one panel's: the file tells them apart.
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        model.setProtocol(Protocol::ModbusRtu);
        left.arrive(0, hex(kRead));
        left.arrive(5000, hex(kAnswer));
        left.arrive(5000, hex("FF"));
        model.decodedSource()->idle(now + 1000001);
        QTemporaryDir out;
        const QString path = out.filePath("tap.pcapng");
        QVERIFY(console::exportCapture(model, path, {}, console::decodedEventType(model)).ok);
        const capture::Capture c = capture::readCapture(readFile(path));
        QList<int> types;
        for (const capture::Packet &p : c.packets)
            types << p.eventType;
        // No direction known for the bytes that are no frame: the panel's.
        QCOMPARE(types, (QList<int>{0x01, 0x02, 0x01}));
        // Without a protocol the hook says nothing.
        model.setProtocol(Protocol::None);
        QVERIFY(!console::decodedEventType(model));
    }

    void abandonedFrameIsCutAtTheTimeout()
    {
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        model.setProtocol(Protocol::ModbusRtu, 100000);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        left.arrive(0, hex(kRead).left(5));
        QCOMPARE(model.rowCount(), 0);
        // Within the timeout nothing is cut; past it the begun frame is.
        model.decodedSource()->idle(now + 100000);
        QCOMPARE(model.rowCount(), 0);
        model.decodedSource()->idle(now + 100001);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.frameMark(0)->length, 5u);
        QCOMPARE(model.statusText(0), QStringLiteral("unrecognised"));
        // A request is still a plain request while its timeout runs, and
        // "no answer" once it has passed (on the clock, with no new row).
        left.arrive(200000, hex(kRead));
        QCOMPARE(model.statusText(1), QStringLiteral("request"));
        now += 100001;
        model.decodedSource()->idle(now);
        QCOMPARE(model.statusText(1), QStringLiteral("no answer"));
        QCOMPARE(model.index(1, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 243, 150));
    }

    void choosingAProtocolFramesWhatIsStored()
    {
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        // Many polls, stored before the protocol is chosen: more than a slice.
        const QByteArray read = hex(kRead), answer = hex(kAnswer);
        const int polls = int(2 * console::ProtocolSource::kSliceBytes / (read.size() + answer.size()));
        QByteArray requests, answers;
        for (int i = 0; i < polls; ++i)
            requests += read, answers += answer;
        left.arrive(0, requests);
        right.arrive(5000, answers);
        const int plainRows = model.rowCount();
        QCOMPARE(model.columnCount(), int(TrafficModel::ColumnCount));
        model.setProtocol(Protocol::ModbusRtu);
        // The first slice at once, the rest from the event loop. A frame
        // the slice ended in is not abandoned, however late the clock.
        QVERIFY(model.rowCount() < 2 * polls);
        model.decodedSource()->idle(now + 60000000);
        QTRY_COMPARE(model.rowCount(), 2 * polls);
        // All requests came in one lump, then all answers: the last
        // request has the first answer.
        QCOMPARE(model.statusText(0), QStringLiteral("no answer"));
        QCOMPARE(model.statusText(polls - 1), QStringLiteral("request"));
        QCOMPARE(model.pairing(polls).partner, qint64(polls - 1));
        QCOMPARE(model.statusText(2 * polls - 1), QStringLiteral("answer"));
        QCOMPARE(model.pairing(2 * polls - 1).partner, qint64(-1));
        // None gives the split rule's rows back.
        model.setProtocol(Protocol::None);
        QCOMPARE(model.rowCount(), plainRows);
        QCOMPARE(model.columnCount(), int(TrafficModel::ColumnCount));
        QCOMPARE(model.statusText(0), QString());
        // Chosen again, and everything framed at once (as an export does).
        model.setProtocol(Protocol::ModbusRtu);
        model.decodedSource()->frameAll();
        QCOMPARE(model.rowCount(), 2 * polls);
        // Clear starts the protocol's frames over.
        left.panel.clear();
        right.panel.clear();
        QTRY_COMPARE(model.rowCount(), 2);
        QVERIFY(model.eventAt(0) && model.eventAt(1));
        left.arrive(1000, read);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.statusText(2), QStringLiteral("request"));
    }

    void decodedExportThroughTheWindow()
    {
        TwoPanelRig rig(QByteArray("[Traffic]\nProtocol=modbus-rtu\nReplyTimeoutMs=500\n"), utc(14, 3, 10, 0));
        testsupport::ConsoleWindow &c = rig.c;
        TrafficWindow *view = rig.view;
        QVERIFY(view);
        QAbstractItemModelTester tester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(view->protocolBox()->currentData().toString(), QStringLiteral("modbus-rtu"));
        QVERIFY(!view->checkBox()->isEnabled());
        QVERIFY(!view->splitBox()->isEnabled());

        rig.now = utc(14, 3, 11, 0);
        QVERIFY(rig.send(0, hex(kRead)));
        rig.now += 7;
        QVERIFY(rig.send(1, hex(kAnswer)));
        rig.now += 20;
        QVERIFY(rig.send(0, hex(kRead17)));
        rig.now += 30;
        QVERIFY(rig.send(1, hex("11 83 02 C1 34")));
        QCOMPARE(view->model()->rowCount(), 6);

        QTemporaryDir out;
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.csv"), true};
        view->exportRows();
        const QList<QByteArray> lines = readFile(out.filePath("traffic.csv")).split('\n');
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QByteArray("time,panel,port,gap_ms,length,hex,text,check,event,"
                                      "protocol,unit,function,address,count,values,status,reply_ms,request_row,summary"));
        const auto tail = [&](int line) {
            const QStringList fields = csvFields(lines[line]);
            return fields.size() == 19 ? fields.mid(9).join(QLatin1Char('|')) : fields.join(QLatin1Char(','));
        };
        // The two start events, then the exchanges.
        QCOMPARE(tail(1), QStringLiteral("|||||||||"));
        QCOMPARE(tail(2), QStringLiteral("|||||||||"));
        QCOMPARE(tail(3), QStringLiteral("modbus-rtu|1|3|0|10||request|||Read holding registers 0-9, unit 1"));
        QCOMPARE(tail(4), QStringLiteral("modbus-rtu|1|3|0|10|100 101 102 103 104 105 106 107 108 109|answer|7.0|3|"
                                         "Answer: 100 101 102 103 104 105 106 107 ..."));
        QCOMPARE(tail(5), QStringLiteral("modbus-rtu|17|3|107|3||request|||Read holding registers 107-109, unit 17"));
        QCOMPARE(tail(6), QStringLiteral("modbus-rtu|17|3|107|3||exception 2|30.0|5|Exception 2: illegal data address"));
        // The first nine columns as without a protocol.
        QCOMPARE(csvFields(lines[4]).mid(3, 6).join(QLatin1Char('|')),
                 QStringLiteral("7.0|25|") + QString::fromLatin1(QByteArray(kAnswer)) + QStringLiteral("|....d.e.f.g.h.i.j.k.l.mc.|ok|"));

        // The text export: the view's columns, the protocol's two with them.
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.txt"), false};
        view->exportRows();
        const QList<QByteArray> text = readFile(out.filePath("traffic.txt")).split('\n');
        QCOMPARE(text.value(0), QByteArray("Time\tGap (ms)\tPanel\tLength\tHex\tText\tCheck\tDecoded\tReply (ms)"));
        QCOMPARE(text.value(6).split('\t').mid(6), (QList<QByteArray>{"ok", "Exception 2: illegal data address", "30.0"}));

        // Back to None: the split rule's frames, the Check, and empty columns.
        QComboBox *choice = view->protocolBox();
        choice->setCurrentIndex(choice->findData(QStringLiteral("none")));
        emit choice->activated(choice->currentIndex());
        QVERIFY(view->checkBox()->isEnabled());
        QCOMPARE(c.stored("Traffic/Protocol").toString(), QStringLiteral("none"));
        QCOMPARE(view->model()->columnCount(), int(TrafficModel::ColumnCount));
    }
};

QTEST_MAIN(TestTrafficProtocol)
#include "tst_traffic_protocol.moc"
