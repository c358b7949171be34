#include "console/frmmain.h"
#include "console/transmit/sfrmtransmit.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/fed_panel.h"
#include "tests/support/files.h"
#include "tests/support/modal_answers.h"
#include "tests/support/pseudo_terminal.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

using console::ArrivalClock;
using console::FrameCheck;
using console::Panel;
using console::SplitKind;
using console::SplitRule;
using console::TrafficModel;
using console::TrafficWindow;
using testsupport::utc;
using testsupport::PseudoTerminal;
using testsupport::readFile;

namespace {

using testsupport::FedPanel;

// The window on a settings file of its own, its clock set by hand.
struct Console : testsupport::ConsoleWindow {
    qint64 now = utc(14, 3, 10, 0);
    explicit Console(const QByteArray &settings = {}, const console::PortEnvironment &ports = {})
        : ConsoleWindow(settings, ports)
    {
        useClock(now);
    }
    TrafficWindow *openView(int panel = 0) { return openTrafficView(panel); }
    // Bytes shown in a panel `afterMs` after the clock's last reading.
    void show(int panel, qint64 afterMs, const QByteArray &bytes)
    {
        now += afterMs;
        view(panel).showReceived(bytes);
    }
    QString cell(TrafficWindow *view, int row, int column) const
    {
        return view->model()->index(row, column).data().toString();
    }
};

// Frame starts of a panel.
QList<qint64> startsOf(const Panel &p)
{
    QList<qint64> starts;
    for (qint64 f = 0; f < p.frames().count(); ++f)
        starts << p.frames().start(f);
    return starts;
}

struct Arrival {
    qint64 afterUs;
    QByteArray bytes;
};

} // namespace

Q_DECLARE_METATYPE(SplitRule)
Q_DECLARE_METATYPE(QList<Arrival>)

class TestTraffic : public QObject {
    Q_OBJECT
    // The window keeps its history file in the current folder.
    QTemporaryDir m_home;
private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }

    void splitRules_data()
    {
        QTest::addColumn<SplitRule>("rule");
        QTest::addColumn<QList<Arrival>>("arrivals");
        QTest::addColumn<QList<qint64>>("starts");
        const SplitRule gap20{SplitKind::Gap, 20, 0x0A};
        const SplitRule newline{SplitKind::Delimiter, 20, 0x0A};
        QTest::newRow("gap: 20 ms of silence ends a frame") << gap20 << QList<Arrival>{{0, "ab"}, {20000, "cd"}}
                                                            << QList<qint64>{0, 2};
        QTest::newRow("gap: 19.999 ms does not") << gap20 << QList<Arrival>{{0, "ab"}, {19999, "cd"}}
                                                 << QList<qint64>{0};
        QTest::newRow("gap: silence counts from the end of a burst")
            << gap20 << QList<Arrival>{{0, "ab"}, {900, "cd"}, {19500, "ef"}} << QList<qint64>{0};
        QTest::newRow("gap: 1 ms") << SplitRule{SplitKind::Gap, 1, 0}
                                   << QList<Arrival>{{0, "a"}, {999, "b"}, {1999, "c"}} << QList<qint64>{0, 2};
        QTest::newRow("arrival: a frame per burst") << SplitRule{SplitKind::Arrival, 20, 0}
                                                    << QList<Arrival>{{0, "ab"}, {999, "c"}, {1000, "d"}}
                                                    << QList<qint64>{0, 3};
        QTest::newRow("delimiter: ends the frame after it, also as a tick's last byte")
            << newline << QList<Arrival>{{0, "ab\ncd"}, {5000, "\n"}, {5000, "ef"}} << QList<qint64>{0, 3, 6};
        // The store keeps bytes in 64 KiB chunks: a delimiter as the first byte
        // of the second; long frames are cut every 4096 bytes meanwhile.
        QList<qint64> chunkEdge{0, 100};
        for (qint64 at = 100 + 4096; at < 65537; at += 4096)
            chunkEdge << at;
        chunkEdge << 65537;
        QTest::newRow("delimiter: at a chunk edge of the store")
            << newline << QList<Arrival>{{0, QByteArray(99, 'x') + "\n" + QByteArray(65436, 'x') + "\n"}, {1000, "y"}}
            << chunkEdge;
        QTest::newRow("any rule: a frame stops at 4096 bytes") << gap20 << QList<Arrival>{{0, QByteArray(5000, 'z')}}
                                                               << QList<qint64>{0, 4096};
        // A frame cut at its limit by its last byte: nothing follows until more comes.
        QTest::newRow("any rule: exactly 4096 bytes, then silence")
            << gap20 << QList<Arrival>{{0, QByteArray(4096, 'z')}, {50000, {}}} << QList<qint64>{0};
        QTest::newRow("any rule: exactly 4096 bytes, then more")
            << gap20 << QList<Arrival>{{0, QByteArray(4096, 'z')}, {5000, "y"}} << QList<qint64>{0, 4096};
        QTest::newRow("delimiter: 4096 bytes ending in it")
            << newline << QList<Arrival>{{0, QByteArray(4095, 'z') + "\n"}, {50000, {}}} << QList<qint64>{0};
    }
    void splitRules()
    {
        QFETCH(SplitRule, rule);
        QFETCH(QList<Arrival>, arrivals);
        QFETCH(QList<qint64>, starts);
        qint64 now = 1000000;
        FedPanel fed(now);
        fed.panel.setSplitRule(rule);
        for (const Arrival &a : arrivals)
            fed.arrive(a.afterUs, a.bytes);
        QCOMPARE(startsOf(fed.panel), starts);
        // Another rule cuts the stored bytes again at once, and this one back.
        QSignalSpy again(&fed.panel, &Panel::framesReset);
        fed.panel.setSplitRule(rule.kind == SplitKind::Gap ? SplitRule{SplitKind::Delimiter, 20, 'c'} : SplitRule{});
        fed.panel.setSplitRule(rule);
        QCOMPARE(startsOf(fed.panel), starts);
        QCOMPARE(again.count(), 2);
    }

    void rowsInArrivalOrderWithReplyGaps()
    {
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        TrafficModel model({&left.panel, &right.panel});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // A request in two bursts 0.5 ms apart; the answer 30 ms after the
        // second ended.
        left.arrive(0, "ab");
        left.arrive(500, "cd");
        right.arrive(30000, "answer");
        // The right panel's next bytes come first, but the left panel is shown
        // first, as a tick polls it first.
        now += 40000;
        right.panel.receive().received("late", 4);
        left.arrive(5000, "next");
        right.panel.show({});
        const auto rows = [&] {
            QStringList r;
            for (int row = 0; row < model.rowCount(); ++row)
                r << model.index(row, TrafficModel::TextColumn).data().toString() + " "
                        + model.index(row, TrafficModel::GapColumn).data().toString();
            return r;
        };
        const QStringList expected{"abcd ", "answer 30.0", "late 40.0", "next 5.0"};
        QCOMPARE(rows(), expected);
        // Made again from the panels (a filter, a Clear), the same order.
        model.setFilter(console::PanelFilter::Right);
        QCOMPARE(rows(), (QStringList{"answer ", "late 40.0"}));
        model.setFilter(console::PanelFilter::Both);
        QCOMPARE(rows(), expected);
    }

    void mergedFramesNote_data()
    {
        QTest::addColumn<qint64>("pauseUs"); // -1: the source cannot tell
        QTest::addColumn<QString>("end");
        QTest::newRow("unknown") << qint64(-1) << "pauses.";
        QTest::newRow("under 1 ms") << qint64(999) << "less than 1 ms: no idle gap cuts them.";
        QTest::newRow("exactly 1 ms") << qint64(1000) << "An idle gap of 1 ms would cut them.";
        QTest::newRow("rounded down") << qint64(11999) << "An idle gap of 11 ms would cut them.";
    }

    void mergedFramesNote()
    {
        QFETCH(qint64, pauseUs);
        QFETCH(QString, end);
        const QString note = console::mergedFramesNote(pauseUs < 0 ? std::nullopt : std::optional<qint64>(pauseUs));
        QVERIFY2(note.startsWith("Rows overlap: the split rule merges frames across the line's pauses.")
                     && note.endsWith(end), qPrintable(note));
    }

    // Requests on the left 11 and 8 ms apart, answers on the right between
    // them: the 20 ms gap merges them, and the view says so once, with the
    // longest pause within the merged frame; a new gap cuts them again.
    void tellsOnceThatTheSplitRuleMergesFrames()
    {
        Console c;
        TrafficWindow *view = c.openView();
        c.show(0, 0, "req1");
        c.show(1, 3, "ans");
        QCOMPARE(view->mergeNote(), QString());
        c.show(0, 8, "req2");
        QVERIFY2(view->mergeNote().endsWith("An idle gap of 11 ms would cut them."), qPrintable(view->mergeNote()));
        const QString told = view->mergeNote();
        c.show(1, 3, "ans2");
        c.show(0, 5, "req3");
        QCOMPARE(view->mergeNote(), told);
        const auto gap = [&](const char *ms) {
            view->gapEdit()->setText(ms);
            emit view->gapEdit()->editingFinished();
        };
        gap("5");
        QCOMPARE(view->model()->rowCount(), 5);
        QCOMPARE(view->mergeNote(), QString());
        gap("10");
        QCOMPARE(view->model()->rowCount(), 4);
        QVERIFY2(view->mergeNote().endsWith("An idle gap of 8 ms would cut them."), qPrintable(view->mergeNote()));
    }

    void modbusConversationBetweenTwoPanels()
    {
        Console c;
        PseudoTerminal left, right;
        c.w.Combo1[0]->setEditText(left.slavePath());
        c.w.Combo1[1]->setEditText(right.slavePath());
        c.w.Check1[0]->click();
        c.now += 500;
        c.w.Check1[1]->click();
        QVERIFY(c.w.Started0 && c.w.Started1);

        TrafficWindow *view = c.openView(0);
        QVERIFY(view && view->isVisible());
        QAbstractItemModelTester tester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QComboBox *check = view->checkBox();
        check->setCurrentIndex(check->findData(QStringLiteral("modbus-rtu")));
        emit check->activated(check->currentIndex());

        // Each frame is marked when its bytes are handed over: the clock moves
        // only once a panel's control holds them.
        auto send = [&](PseudoTerminal &pty, int panel, const char *hex) {
            pty.write(QByteArray::fromHex(hex));
            QTRY_COMPARE(c.w.MSComm1[panel].inBufferCount(), qint64(QByteArray::fromHex(hex).size()));
            c.w.Timer1_Timer();
        };
        c.now = utc(14, 3, 11, 0);
        send(left, 0, "010300000002C40B");
        c.now += 30;
        send(right, 1, "010304000A000B9BF6");
        c.now += 30;
        send(right, 1, "010304000A000B9BF7");

        const QString l = left.slavePath();
        const QString r = right.slavePath();
        QCOMPARE(view->model()->rowCount(), 5);
        const QStringList rows[] = {
            {"14:03:10.000", "", l, "", "started 9600,n,8,1", "", ""},
            {"14:03:10.500", "500.0", r, "", "started 9600,n,8,1", "", ""},
            {"14:03:11.000", "500.0", l, "8", "01 03 00 00 00 02 C4 0B", "........", "ok"},
            {"14:03:11.030", "30.0", r, "9", "01 03 04 00 0A 00 0B 9B F6", ".........", "ok"},
            {"14:03:11.060", "30.0", r, "9", "01 03 04 00 0A 00 0B 9B F7", ".........", "bad"},
        };
        for (int row = 0; row < 5; ++row) {
            QStringList cells;
            for (int column = 0; column < TrafficModel::ColumnCount; ++column)
                cells << c.cell(view, row, column);
            QCOMPARE(cells, rows[row]);
        }

        // Ctrl+S: a folder that is not there is named with the reason, and
        // leaves nothing; then the CSV.
        QTemporaryDir out;
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("missing/traffic.csv"), true};
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(c.boxes.texts(), QStringList{"Could not export " + out.filePath("missing/traffic.csv") + ": No such file or directory"});
        QVERIFY(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.csv"), true};
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(c.boxes.boxes.size(), 1);
        // Ten columns a protocol fills follow, empty without one.
        const QByteArray csv = "time,panel,port,gap_ms,length,hex,text,check,event,"
                               "protocol,unit,function,address,count,values,status,reply_ms,request_row,summary\n"
                               "2026-12-07T14:03:10.000,left," + l.toUtf8() + ",,,,,,\"started 9600,n,8,1\",,,,,,,,,,\n"
                               "2026-12-07T14:03:10.500,right," + r.toUtf8() + ",500.0,,,,,\"started 9600,n,8,1\",,,,,,,,,,\n"
                               "2026-12-07T14:03:11.000,left," + l.toUtf8() + ",500.0,8,01 03 00 00 00 02 C4 0B,........,ok,,,,,,,,,,,\n"
                               "2026-12-07T14:03:11.030,right," + r.toUtf8() + ",30.0,9,01 03 04 00 0A 00 0B 9B F6,.........,ok,,,,,,,,,,,\n"
                               "2026-12-07T14:03:11.060,right," + r.toUtf8() + ",30.0,9,01 03 04 00 0A 00 0B 9B F7,.........,bad,,,,,,,,,,,\n";
        QCOMPARE(readFile(out.filePath("traffic.csv")), csv);
        // Or the columns as the view shows them, the bytes in full.
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.txt"), false};
        view->exportRows();
        const QList<QByteArray> lines = readFile(out.filePath("traffic.txt")).split('\n');
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0], QByteArray("Time\tGap (ms)\tPanel\tLength\tHex\tText\tCheck"));
        for (int row = 0; row < 5; ++row)
            QCOMPARE(lines[row + 1], rows[row].join('\t').toUtf8());

        // The right far end goes: a fault row.
        c.now += 1000;
        right.closeMaster();
        QTRY_VERIFY(c.w.MSComm1[1].hasFault());
        c.w.Timer1_Timer();
        QCOMPARE(view->model()->rowCount(), 6);
        QCOMPARE(view->model()->panelOf(5), 1);
        QVERIFY2(view->model()->eventText(5).startsWith("fault: "), qPrintable(view->model()->eventText(5)));

        // Clear on the left takes the left rows away and says so.
        c.now += 100;
        c.w.Command1[0]->click();
        QCOMPARE(view->model()->rowCount(), 5);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(view->model()->panelOf(row), 1);
        QCOMPARE(view->model()->panelOf(4), 0);
        QCOMPARE(view->model()->eventText(4), QStringLiteral("cleared"));
        // A stop shows when the tick closes the port.
        c.w.Check1[0]->click();
        c.w.Timer1_Timer();
        QCOMPARE(view->model()->eventText(5), QStringLiteral("stopped"));
        // The other panel's menu raises the same window.
        QCOMPARE(c.openView(1), view);
    }

    void settingsARigWrites()
    {
        Console c("[Traffic]\nSplit=delimiter\nGapMs=35\nDelimiter=03\nCheck=sum8\n[Receive]\nMemoryBudgetMiB=3\n");
        for (int p : {0, 1})
            QCOMPARE(c.panel(p).receive().store().memoryBudget(), qint64(3) << 20);
        c.show(0, 0, "\x01\x02\x03" "\x02" "cd\x03" "\x03");
        TrafficWindow *view = c.openView();
        // Frames end at 03 and are checked by their sum; one byte is too short
        // for a check, and a bad frame is marked apart.
        QStringList checks;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            checks << c.cell(view, row, TrafficModel::HexColumn) + ' ' + c.cell(view, row, TrafficModel::CheckColumn);
        QCOMPARE(checks, (QStringList{"01 02 03 ok", "02 63 64 03 bad", "03 "}));
        const auto tint = [&](int row) { return view->model()->index(row, 0).data(Qt::BackgroundRole); };
        QVERIFY(tint(1) != tint(0) && tint(2) == tint(0));
        QCOMPARE(view->splitBox()->currentData().toString(), QStringLiteral("delimiter"));
        QCOMPARE(view->gapEdit()->text(), QStringLiteral("35"));
        QCOMPARE(view->delimiterEdit()->text(), QStringLiteral("03"));
        QCOMPARE(view->checkBox()->currentData().toString(), QStringLiteral("sum8"));
        // A choice in the view is kept by the same names.
        view->splitBox()->setCurrentIndex(view->splitBox()->findData(QStringLiteral("arrival")));
        emit view->splitBox()->activated(view->splitBox()->currentIndex());
        QCOMPARE(view->model()->rowCount(), 1);
        QCOMPARE(c.stored("Traffic/Split").toString(), QStringLiteral("arrival"));
        QCOMPARE(c.stored("Traffic/Check").toString(), QStringLiteral("sum8"));
    }

    // What a rig writes is read by exactly these names and values; anything
    // else reads as the default.
    void protocolSettings_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("mewtocol, 1 ms") << "Protocol=mewtocol\nReplyTimeoutMs=1\n" << "mewtocol" << 1;
        QTest::newRow("fx, 60000 ms") << "Protocol=fx-programming\nReplyTimeoutMs=60000\n" << "fx-programming" << 60000;
        QTest::newRow("nothing written") << "" << "none" << 1000;
        QTest::newRow("0 ms") << "Protocol=mc-ascii\nReplyTimeoutMs=0\n" << "mc-ascii" << 1000;
        QTest::newRow("60001 ms") << "Protocol=modbus-ascii\nReplyTimeoutMs=60001\n" << "modbus-ascii" << 1000;
        QTest::newRow("not whole") << "Protocol=modbus-rtu\nReplyTimeoutMs=2.5\n" << "modbus-rtu" << 1000;
        QTest::newRow("signed") << "ReplyTimeoutMs=+5\n" << "none" << 1000;
        QTest::newRow("display name is no setting name") << "Protocol=Modbus RTU\n" << "none" << 1000;
        QTest::newRow("upper case is not") << "Protocol=MEWTOCOL\n" << "none" << 1000;
    }
    void protocolSettings()
    {
        QFETCH(QString, written);
        QFETCH(QString, protocol);
        QFETCH(int, timeoutMs);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("[Traffic]\n" + written).toUtf8());
        file.close();
        console::ConsoleSettings settings(path);
        const console::TrafficSettings t = console::readTrafficSettings(settings);
        QCOMPARE(QString::fromStdString(std::string(protocol::settingName(t.protocol))), protocol);
        QCOMPARE(t.replyTimeoutMs, timeoutMs);
    }

    void refusedInput_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("kept"); // the field's text and the setting afterwards
        QTest::newRow("gap 0") << "gap" << "0" << true << "20";
        QTest::newRow("gap above 10000") << "gap" << "10001" << true << "20";
        QTest::newRow("gap not whole") << "gap" << "2.5" << true << "20";
        QTest::newRow("gap 10000") << "gap" << "10000" << false << "10000";
        QTest::newRow("delimiter not hex") << "delimiter" << "0G" << true << "0A";
        QTest::newRow("delimiter one digit") << "delimiter" << "3" << true << "0A";
        QTest::newRow("delimiter with a sign") << "delimiter" << "+3" << true << "0A";
        QTest::newRow("delimiter 0d") << "delimiter" << "0d" << false << "0D";
    }
    void refusedInput()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        QFETCH(QString, kept);
        Console c("[Traffic]\nGapMs=20\nDelimiter=0A\n");
        TrafficWindow *view = c.openView();
        QLineEdit *edit = field == "gap" ? view->gapEdit() : view->delimiterEdit();
        edit->setText(typed);
        emit edit->editingFinished();
        QCOMPARE(edit->text(), kept);
        QCOMPARE(view->message().contains(QStringLiteral("\"%1\"").arg(typed)), refused);
        QCOMPARE(c.stored(field == "gap" ? "Traffic/GapMs" : "Traffic/Delimiter").toString(), kept);
    }

    void findInFrames()
    {
        Console c;
        c.show(0, 0, "hello");
        c.show(1, 50, "\x01\x03\x02");
        c.show(0, 50, "say hello");
        TrafficWindow *view = c.openView();
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(view->findEdit()->isVisible());
        const auto current = [&] { return view->table()->currentIndex().row(); };
        // The bytes found are marked where the hex and text cells show them
        // (first character, characters), and no row is selected.
        const auto marked = [&](int row, int column) {
            return view->model()->index(row, column).data(TrafficModel::FoundRole);
        };
        const auto markedAt = [&](int row, QPoint hex, QPoint text) {
            return marked(row, TrafficModel::HexColumn) == QVariant(hex)
                && marked(row, TrafficModel::TextColumn) == QVariant(text)
                && !marked(row, TrafficModel::LengthColumn).isValid()
                && view->table()->selectionModel()->selectedIndexes().isEmpty();
        };
        QTest::keyClicks(view->findEdit(), "hello");
        QTest::keyClick(view->findEdit(), Qt::Key_Return);
        QCOMPARE(current(), 0);
        QVERIFY(markedAt(0, QPoint(0, 14), QPoint(0, 5)));
        QTest::keyClick(view, Qt::Key_F3);
        QCOMPARE(current(), 2);
        QVERIFY(markedAt(2, QPoint(12, 14), QPoint(4, 5)));
        QVERIFY(!marked(0, TrafficModel::HexColumn).isValid());
        QTest::keyClick(view, Qt::Key_F3); // round to the first again
        QCOMPARE(current(), 0);
        QTest::keyClick(view, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(current(), 2);
        // Hex: found in the frame that holds it; text that is not hex is
        // refused with the reason, the typed text kept to be mended.
        view->findHexBox()->setChecked(true);
        view->findEdit()->setText("1 03");
        view->findNext();
        QCOMPARE(current(), 1);
        QVERIFY(markedAt(1, QPoint(0, 5), QPoint(0, 2)));
        view->findEdit()->setText("3 02");
        view->findNext();
        QVERIFY(markedAt(1, QPoint(3, 5), QPoint(1, 2)));
        view->findEdit()->setText("01 0G");
        view->findNext();
        QCOMPARE(current(), 1);
        QVERIFY(view->findMessage().contains("01 0G"));
        QCOMPARE(view->findEdit()->text(), QStringLiteral("01 0G"));
        // Of bytes found past the 64 a cell shows, only those shown are marked.
        c.show(1, 150, QByteArray(62, 'a') + "XYZW");
        QCOMPARE(view->model()->rowCount(), 4);
        view->findHexBox()->setChecked(false);
        view->findEdit()->setText("XYZW");
        view->findNext();
        QCOMPARE(current(), 3);
        QVERIFY(markedAt(3, QPoint(186, 5), QPoint(62, 2)));
        view->findEdit()->setText("ZW");
        view->findNext();
        QCOMPARE(current(), 3);
        QVERIFY(!marked(3, TrafficModel::HexColumn).isValid());
    }

    void sentBytesAreRowsOfTheSendingPanel()
    {
        // The right panel runs as port 2, on a pseudo-terminal.
        QTemporaryDir dev;
        PseudoTerminal line;
        QVERIFY(QFile::link(line.slavePath(), dev.filePath("ttyUSB1")));
        console::PortEnvironment ports;
        ports.places.deviceDir = dev.path();
        Console c(QByteArray(), ports);
        c.w.Check1[1]->click();
        QVERIFY(c.w.Started1);
        c.show(0, 0, "req");
        TrafficWindow *view = c.openView();
        view->model()->setCheck(FrameCheck::ModbusRtu);
        // The history window sends through the right panel 20 ms later.
        c.now += 20;
        c.w.Port1 = false;
        QVERIFY(testsupport::writeFile(dev.filePath("request"), QByteArray::fromHex("01030000000AC5CD")));
        c.w.transmitWindow()->sendFile(dev.filePath("request"));
        QCOMPARE(line.read(8, 2000).toHex(), QByteArray("01030000000ac5cd"));
        QCOMPARE(view->model()->rowCount(), 3);
        QCOMPARE(c.cell(view, 2, TrafficModel::PanelColumn), QStringLiteral("2 sent"));
        QCOMPARE(c.cell(view, 2, TrafficModel::HexColumn), QStringLiteral("01 03 00 00 00 0A C5 CD"));
        QCOMPARE(c.cell(view, 2, TrafficModel::CheckColumn), QStringLiteral("ok"));
        QTemporaryDir out;
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.csv"), true};
        view->exportRows();
        QCOMPARE(readFile(out.filePath("traffic.csv")).split('\n').value(3),
                 QByteArray("2026-12-07T14:03:10.020,right,2,20.0,8,01 03 00 00 00 0A C5 CD,........,ok,sent,,,,,,,,,,"));
        // Clear takes the sent bytes with the rows.
        c.w.Command1[1]->click();
        QCOMPARE(c.panel(1).sentBytes().size(), 0);
    }

    void followsUntilScrolledUp()
    {
        Console c;
        for (int i = 0; i < 200; ++i)
            c.show(i % 2, 25, QByteArray::number(i));
        TrafficWindow *view = c.openView();
        QScrollBar *bar = view->table()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(view->following());
        bar->setValue(0);
        QVERIFY(!view->following());
        QVERIFY(!view->followBox()->isChecked());
        for (int i = 0; i < 5; ++i)
            c.show(0, 25, "more");
        QCOMPARE(bar->value(), 0);
        QCOMPARE(view->rowsSince(), 5);
        view->table()->setFocus();
        QTest::keyClick(view->table(), Qt::Key_End);
        QVERIFY(view->following());
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(view->rowsSince(), 0);
    }

    // The view shows 64 bytes of a frame; a longer one says there is more.
    void shownBytesEndWithAnEllipsisOnlyWhenCut()
    {
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        left.panel.setSplitRule({SplitKind::Arrival, 20, 0});
        TrafficModel model({&left.panel, &right.panel});
        for (int size : {63, 64, 65})
            left.arrive(5000, QByteArray(size, 'A'));
        QCOMPARE(model.rowCount(), 3);
        const auto hex = [&](int row) { return model.index(row, TrafficModel::HexColumn).data().toString(); };
        const auto text = [&](int row) { return model.index(row, TrafficModel::TextColumn).data().toString(); };
        QCOMPARE(hex(0), QStringList(63, "41").join(' '));
        QCOMPARE(hex(1), QStringList(64, "41").join(' '));
        QCOMPARE(hex(2), QStringList(64, "41").join(' ') + " \u2026");
        QCOMPARE(text(1), QString(64, 'A'));
        QCOMPARE(text(2), QString(64, 'A'));
        QCOMPARE(model.frameBytes(2), QByteArray(65, 'A'));
    }

    void csvFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "01 03" << "01 03";
        QTest::newRow("a comma") << "started 9600,n,8,1" << "\"started 9600,n,8,1\"";
        QTest::newRow("a quote, no comma") << "say \"hi\"" << "\"say \"\"hi\"\"\"";
        QTest::newRow("a line feed") << "a\nb" << "\"a\nb\"";
        QTest::newRow("a carriage return") << "a\rb" << "\"a\rb\"";
        QTest::newRow("empty") << "" << "";
    }
    void csvFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, written);
        QCOMPARE(console::csvField(field), written);
    }

    void exportStopsWhenTheRowsAreMadeAgain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a Clear") << "clear";
        QTest::newRow("a new split rule") << "rule";
        QTest::newRow("the other panel cleared") << "other";
    }
    // The progress dialog lets events run between batches of rows: a Clear
    // or a new rule among them makes the rows again under the export.
    void exportStopsWhenTheRowsAreMadeAgain()
    {
        QFETCH(QString, change);
        qint64 now = 1000000;
        FedPanel left(now), right(now);
        left.panel.setSplitRule({SplitKind::Arrival, 20, 0});
        right.arrive(1000, "r");
        TrafficModel model({&left.panel, &right.panel});
        for (int i = 0; i < 20001; ++i)
            left.arrive(1000, "f");
        QVERIFY(model.rowCount() > 20000);
        QTemporaryDir out;
        const QString path = out.filePath("traffic.csv");
        QVERIFY(testsupport::writeFile(path, "older"));
        int reports = 0;
        const console::SaveResult result =
            console::exportTraffic(model, console::ExportFormat::Csv, path, [&](qint64, qint64) {
                if (++reports == 1) {
                    if (change == "clear")
                        left.panel.clear();
                    else if (change == "rule")
                        left.panel.setSplitRule({SplitKind::Gap, 20, 0});
                    else
                        right.panel.clear();
                }
                return true;
            });
        QVERIFY(!result.ok && !result.cancelled);
        QCOMPARE(result.error, QString("the rows were cleared or cut again while exporting"));
        QCOMPARE(reports, 1);
        QCOMPARE(readFile(path), QByteArray("older"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"traffic.csv"});
    }

    // The history window is modal to the main window only.
    void historyWindowLeavesTheTrafficViewUsable()
    {
        Console c;
        c.show(0, 0, "first");
        c.show(0, 50, "second");
        TrafficWindow *view = c.openView();
        QCOMPARE(view->model()->rowCount(), 2);
        bool shown = false, viewTakesClicks = false, mainBlocked = false;
        testsupport::ModalAnswers user([&](QWidget *modal) {
            auto *history = qobject_cast<console::sfrmTransmit *>(modal);
            if (!history)
                return;
            shown = true;
            // Clicks as the system delivers them, through the windows.
            QTableView *table = view->table();
            const QRect row = table->visualRect(view->model()->index(1, TrafficModel::HexColumn));
            QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, table->viewport()->mapTo(view, row.center()));
            viewTakesClicks = table->currentIndex().row() == 1;
            QPushButton *clear = c.w.Command1[0];
            QTest::mouseClick(c.w.windowHandle(), Qt::LeftButton, {}, clear->mapTo(&c.w, clear->rect().center()));
            mainBlocked = c.panel(0).receive().shownSize() == 11;
            history->reject();
        });
        c.w.Command2_Click(0);
        QVERIFY(shown);
        QVERIFY(viewTakesClicks);
        QVERIFY(mainBlocked);
    }
};

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
