// The traffic view's tools for decoded rows: the field tree and its hex
// pane, the per-station statistics, and the row filter.
#include "console/traffic/field_view.h"
#include "console/traffic/row_filter.h"
#include "console/traffic/station_statistics.h"

#include <QAbstractItemModelTester>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeWidget>

using console::KeptRowsModel;
using console::RowFacts;
using console::RowFilter;
using console::StationFigures;
using console::StationStatistics;
using console::TextRange;
using protocol::Field;
using protocol::Role;
using protocol::Status;

Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(std::vector<protocol::Field>)
Q_DECLARE_METATYPE(console::RowFacts)
Q_DECLARE_METATYPE(console::RowFilter)

namespace {

std::vector<Field> fieldsAt(const std::vector<std::tuple<int, int, int>> &ranges)
{
    std::vector<Field> fields;
    for (const auto &[begin, end, depth] : ranges)
        fields.push_back({"f" + std::to_string(fields.size()), "", std::uint32_t(begin), std::uint32_t(end), depth});
    return fields;
}

// A decoded row, written as the tables read best.
RowFacts frame(std::string unit, Status status, Role role = Role::None, std::int64_t replyUs = 0,
               std::string function = "3")
{
    return {true, std::move(unit), std::move(function), status, role, replyUs};
}

RowFacts eventRow()
{
    return {};
}

// Rows of a list as a model and the facts the tools read of them; rows
// added at the end show in both.
struct FakeRows {
    QStandardItemModel model;
    std::vector<RowFacts> facts;
    void append(const std::vector<RowFacts> &rows)
    {
        for (const RowFacts &r : rows) {
            facts.push_back(r);
            model.appendRow(new QStandardItem(QString::fromStdString(r.unit)));
        }
    }
    void insert(int at, const RowFacts &row)
    {
        facts.insert(facts.begin() + at, row);
        model.insertRow(at, new QStandardItem(QString::fromStdString(row.unit)));
    }
    std::function<RowFacts(int)> factsAt()
    {
        return [this](int row) { return facts[size_t(row)]; };
    }
    console::RowWalker::Rows rows()
    {
        return {[this] { return int(facts.size()); }, factsAt()};
    }
};

std::vector<int> keptRows(const KeptRowsModel &kept)
{
    std::vector<int> rows;
    for (int r = 0; r < kept.rowCount(); ++r)
        rows.push_back(kept.sourceRow(r));
    return rows;
}

} // namespace

class TrafficToolsTest : public QObject {
    Q_OBJECT
private slots:
    void parentsOfFields_data();
    void parentsOfFields();
    void fieldHoldingAByte_data();
    void fieldHoldingAByte();
    void dumpText();
    void rangesInTheDump_data();
    void rangesInTheDump();
    void positionsBackToBytes();
    void fieldViewShowsAFrame();
    void percentiles_data();
    void percentiles();
    void figuresPerStation();
    void filterKeeps_data();
    void filterKeeps();
    void seenValuesOfferEachOnceInOrder();
    void keptRowsFollowTheSource();
    void keptRowsWaitForTheTimeout();
    void statisticsWindowCountsInSlices();
};

void TrafficToolsTest::parentsOfFields_data()
{
    QTest::addColumn<std::vector<int>>("depths");
    QTest::addColumn<std::vector<int>>("parents");
    QTest::newRow("none") << std::vector<int>{} << std::vector<int>{};
    QTest::newRow("flat") << std::vector<int>{0, 0, 0} << std::vector<int>{-1, -1, -1};
    QTest::newRow("two inside the first") << std::vector<int>{0, 1, 1, 0} << std::vector<int>{-1, 0, 0, -1};
    QTest::newRow("three levels, back one") << std::vector<int>{0, 1, 2, 1, 2} << std::vector<int>{-1, 0, 1, 0, 3};
    QTest::newRow("back to the top from deep") << std::vector<int>{0, 1, 2, 0, 1}
                                               << std::vector<int>{-1, 0, 1, -1, 3};
    QTest::newRow("a skipped level") << std::vector<int>{0, 2, 1} << std::vector<int>{-1, 0, 0};
    QTest::newRow("first field not at the top") << std::vector<int>{1, 0} << std::vector<int>{-1, -1};
    QTest::newRow("negative depth") << std::vector<int>{0, -1} << std::vector<int>{-1, -1};
}

void TrafficToolsTest::parentsOfFields()
{
    QFETCH(std::vector<int>, depths);
    QFETCH(std::vector<int>, parents);
    std::vector<Field> fields;
    for (int d : depths)
        fields.push_back({"", "", 0, 1, d});
    QCOMPARE(console::fieldParents(fields), parents);
}

void TrafficToolsTest::fieldHoldingAByte_data()
{
    QTest::addColumn<std::vector<Field>>("fields");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("field");
    // Unit, Function, Byte count, Values [3,7) with two registers inside, CRC.
    const auto answer = fieldsAt({{0, 1, 0}, {1, 2, 0}, {2, 3, 0}, {3, 7, 0}, {3, 5, 1}, {5, 7, 1}, {7, 9, 0}});
    QTest::newRow("first byte") << answer << 0 << 0;
    QTest::newRow("a register's first byte") << answer << 3 << 4;
    QTest::newRow("its last byte") << answer << 4 << 4;
    QTest::newRow("the next register") << answer << 5 << 5;
    QTest::newRow("last byte of the frame") << answer << 8 << 6;
    QTest::newRow("beyond the frame") << answer << 9 << -1;
    QTest::newRow("before it") << answer << -1 << -1;
    QTest::newRow("no fields") << std::vector<Field>{} << 0 << -1;
    QTest::newRow("a gap between fields") << fieldsAt({{0, 1, 0}, {2, 3, 0}}) << 1 << -1;
    QTest::newRow("of equal depth the last") << fieldsAt({{0, 4, 0}, {2, 4, 0}, {0, 1, 0}}) << 3 << 1;
    QTest::newRow("an empty field holds nothing") << fieldsAt({{0, 4, 0}, {2, 2, 1}}) << 2 << 0;
}

void TrafficToolsTest::fieldHoldingAByte()
{
    QFETCH(std::vector<Field>, fields);
    QFETCH(int, byte);
    QFETCH(int, field);
    QCOMPARE(console::fieldAt(fields, byte), field);
}

void TrafficToolsTest::dumpText()
{
    QCOMPARE(console::hexDumpText({}), QString());
    QCOMPARE(console::hexDumpText(QByteArray::fromHex("0103000000 0AC5CD")),
             QStringLiteral("0000  01 03 00 00 00 0A C5 CD                           ........\n"));
    // 17 bytes: a full line with the blank after the eighth, and one more.
    QCOMPARE(console::hexDumpText(QByteArray("0123456789ABCDEF\x7f", 17)),
             QStringLiteral("0000  30 31 32 33 34 35 36 37  38 39 41 42 43 44 45 46  0123456789ABCDEF\n"
                            "0010  7F                                                .\n"));
}

void TrafficToolsTest::rangesInTheDump_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    // What the highlighted characters read, hex and text a line in turn.
    QTest::addColumn<QStringList>("marked");
    const QByteArray request = QByteArray::fromHex("01030000000AC5CD");
    QTest::newRow("first byte") << request << 0 << 1 << QStringList{"01", "."};
    QTest::newRow("a field in the middle") << request << 2 << 4 << QStringList{"00 00", ".."};
    QTest::newRow("the last bytes") << request << 6 << 8 << QStringList{"C5 CD", ".."};
    QTest::newRow("beyond the frame is dropped") << request << 6 << 12 << QStringList{"C5 CD", ".."};
    QTest::newRow("empty") << request << 3 << 3 << QStringList{};
    QTest::newRow("backwards") << request << 5 << 2 << QStringList{};
    QTest::newRow("wholly beyond") << request << 8 << 10 << QStringList{};
    QTest::newRow("from before the first byte") << request << -3 << 1 << QStringList{"01", "."};
    const QByteArray text("ABCDEFGHIJKLMNOPQRSTU", 21);
    QTest::newRow("across the middle blank") << text << 7 << 9 << QStringList{"48  49", "HI"};
    QTest::newRow("to the end of a line") << text << 14 << 16 << QStringList{"4F 50", "OP"};
    QTest::newRow("across two lines") << text << 15 << 18 << QStringList{"50", "P", "51 52", "QR"};
    QTest::newRow("the whole of a second line") << text << 16 << 21 << QStringList{"51 52 53 54 55", "QRSTU"};
}

void TrafficToolsTest::rangesInTheDump()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(QStringList, marked);
    const QString dump = console::hexDumpText(frame);
    QStringList found;
    for (const TextRange &r : console::hexDumpRanges(int(frame.size()), begin, end))
        found << dump.mid(r.start, r.length);
    QCOMPARE(found, marked);
}

void TrafficToolsTest::positionsBackToBytes()
{
    // Every character of a 40-byte dump: the two hex digits and the text
    // character of each byte lead back to it, and nothing else leads to a byte.
    const QByteArray frame(40, 'x');
    const QString dump = console::hexDumpText(frame);
    QList<int> hits(frame.size(), 0);
    for (int position = 0; position < dump.size() + 80; ++position) {
        const int byte = console::byteAtDumpPosition(int(frame.size()), position);
        if (byte < 0)
            continue;
        QVERIFY2(byte < frame.size(), qPrintable(QString::number(position)));
        const QList<TextRange> ranges = console::hexDumpRanges(int(frame.size()), byte, byte + 1);
        const bool inside = std::any_of(ranges.begin(), ranges.end(), [&](const TextRange &r) {
            return position >= r.start && position < r.start + r.length;
        });
        QVERIFY2(inside, qPrintable(QStringLiteral("position %1 byte %2").arg(position).arg(byte)));
        ++hits[byte];
    }
    QCOMPARE(hits, QList<int>(frame.size(), 3));
    QCOMPARE(console::byteAtDumpPosition(int(frame.size()), -1), -1);
}

void TrafficToolsTest::fieldViewShowsAFrame()
{
    console::FieldView view;
    protocol::Description d;
    d.fields = {{"Unit", "1", 0, 1, 0},
                {"Function", "3 (Read holding registers)", 1, 2, 0},
                {"Byte count", "4", 2, 3, 0},
                {"Register values", "100 101", 3, 7, 0},
                {"Register 0", "100", 3, 5, 1},
                {"Register 1", "101", 5, 7, 1},
                {"CRC", "0x0000", 7, 9, 0}};
    view.showFrame(d, QByteArray::fromHex("01030400640065FFFF"));
    QTreeWidget *tree = view.tree();
    QCOMPARE(tree->topLevelItemCount(), 5);
    QCOMPARE(tree->topLevelItem(3)->text(0), QStringLiteral("Register values"));
    QCOMPARE(tree->topLevelItem(3)->childCount(), 2);
    QCOMPARE(tree->topLevelItem(3)->child(1)->text(1), QStringLiteral("101"));
    QVERIFY(view.highlighted().isEmpty());

    const QString dump = view.hexPane()->toPlainText();
    const auto marked = [&] {
        QStringList texts;
        for (const TextRange &r : view.highlighted())
            texts << dump.mid(r.start, r.length);
        return texts;
    };
    tree->setCurrentItem(tree->topLevelItem(3)->child(1));
    QCOMPARE(view.currentField(), 5);
    QCOMPARE(marked(), (QStringList{"00 65", ".e"}));
    QCOMPARE(view.hexPane()->extraSelections().size(), 2);

    // A click on the CRC's last digit (the ninth byte, after the blank
    // that follows the eighth) chooses the CRC.
    QTextCursor at(view.hexPane()->document());
    at.setPosition(int(dump.indexOf(QStringLiteral("FF  FF"))) + 5);
    view.hexPane()->setTextCursor(at);
    QCOMPARE(view.currentField(), 6);
    QCOMPARE(marked(), (QStringList{"FF  FF", ".."}));

    view.clear();
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(view.hexPane()->toPlainText().isEmpty());
    QVERIFY(view.highlighted().isEmpty());
}

void TrafficToolsTest::percentiles_data()
{
    QTest::addColumn<std::vector<int>>("times");
    QTest::addColumn<double>("median"); // -1: none
    QTest::addColumn<int>("p95");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("none") << std::vector<int>{} << -1.0 << -1 << -1 << -1;
    QTest::newRow("one") << std::vector<int>{7} << 7.0 << 7 << 7 << 7;
    QTest::newRow("two: the mean of both") << std::vector<int>{10, 3} << 6.5 << 10 << 3 << 10;
    QTest::newRow("odd count") << std::vector<int>{9, 1, 5} << 5.0 << 9 << 1 << 9;
    QTest::newRow("even count") << std::vector<int>{40, 10, 30, 20} << 25.0 << 40 << 10 << 40;
    QTest::newRow("equal middles") << std::vector<int>{4, 8, 4, 1} << 4.0 << 8 << 1 << 8;
    std::vector<int> twenty, twentyOne, hundred;
    for (int i = 20; i >= 1; --i)
        twenty.push_back(i * 100);
    for (int i = 1; i <= 21; ++i)
        twentyOne.push_back(i);
    for (int i = 100; i >= 1; --i)
        hundred.push_back(i);
    // Nearest rank: ceil(0.95 * 20) = 19, ceil(0.95 * 21) = 20, ceil(95) = 95.
    QTest::newRow("twenty") << twenty << 1050.0 << 1900 << 100 << 2000;
    QTest::newRow("twenty-one") << twentyOne << 11.0 << 20 << 1 << 21;
    QTest::newRow("a hundred") << hundred << 50.5 << 95 << 1 << 100;
}

void TrafficToolsTest::percentiles()
{
    QFETCH(std::vector<int>, times);
    QFETCH(double, median);
    QFETCH(int, p95);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    std::vector<std::uint32_t> t(times.begin(), times.end());
    const auto value = [](const auto &v) { return v ? double(*v) : -1.0; };
    QCOMPARE(value(console::medianOf(t)), median);
    QCOMPARE(value(console::nearestRank(t, 95)), double(p95));
    QCOMPARE(value(console::nearestRank(t, 0)), double(minimum));
    QCOMPARE(value(console::nearestRank(t, 100)), double(maximum));
}

void TrafficToolsTest::figuresPerStation()
{
    StationStatistics stats;
    QVERIFY(stats.figures().empty());
    const std::vector<RowFacts> rows{
        frame("10", Status::Request, Role::Answered),
        frame("10", Status::Answer, Role::Answer, 4000),
        frame("2", Status::Request, Role::Answered),
        frame("2", Status::Exception, Role::Answer, 1500),
        frame("2", Status::Request, Role::NoAnswer),
        frame("2", Status::Request, Role::Answered),
        frame("2", Status::Answer, Role::Answer, 2500),
        frame("2", Status::BadCheck),
        frame("2", Status::Request, Role::Answered),
        frame("2", Status::Answer, Role::Answer, 500),
        frame("2", Status::Answer, Role::Unanswering),
        frame("", Status::Unrecognised), // bytes of no station: in no row
        eventRow(),
        frame("", Status::Nak, Role::Answer, 900, "ENQ"), // FX names no station
        frame("01", Status::Nak, Role::Answer, 700, "RD"),
    };
    for (const RowFacts &r : rows)
        stats.add(r);
    const std::vector<StationFigures> f = stats.figures();
    QCOMPARE(f.size(), size_t(5));
    QCOMPARE(f[0].unit, "01"); // a number as a text: 1
    QCOMPARE(f[1].unit, "2");
    QCOMPARE(f[2].unit, "10");
    QCOMPARE(f[3].unit, "");

    const StationFigures &two = f[1];
    QCOMPARE(two.requests, 4);
    QCOMPARE(two.answers, 4);
    QCOMPARE(two.noAnswer, 1);
    QCOMPARE(two.exceptions, 1);
    QCOMPARE(two.badChecks, 1);
    QCOMPARE(two.replies, 3);
    QCOMPARE(*two.minimumUs, 500u);
    QCOMPARE(*two.medianUs, 1500.0);
    QCOMPARE(*two.p95Us, 2500u);
    QCOMPARE(*two.maximumUs, 2500u);
    QCOMPARE(f[2].requests, 1);
    QVERIFY(!f[0].requests);
    QCOMPARE(f[0].exceptions, 1);

    const StationFigures &all = f[4];
    QCOMPARE(all.requests, 5);
    QCOMPARE(all.answers, 7);
    QCOMPARE(all.noAnswer, 1);
    QCOMPARE(all.exceptions, 3);
    QCOMPARE(all.badChecks, 1);
    QCOMPARE(all.replies, 6); // 500 700 900 1500 2500 4000
    QCOMPARE(*all.medianUs, 1200.0);
    QCOMPARE(*all.maximumUs, 4000u);

    console::StatisticsModel model;
    QAbstractItemModelTester tester(&model);
    model.setFigures(stats.figures());
    const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
    QCOMPARE(cell(1, console::StatisticsModel::MedianColumn), QStringLiteral("1.5"));
    QCOMPARE(cell(3, console::StatisticsModel::StationColumn), QStringLiteral("(none)"));
    QCOMPARE(cell(4, console::StatisticsModel::StationColumn), QStringLiteral("All"));
    QCOMPARE(cell(2, console::StatisticsModel::NoAnswerColumn), QStringLiteral("0"));
    QVERIFY(cell(3, console::StatisticsModel::P95Column) == QStringLiteral("0.9"));

    stats.clear();
    QVERIFY(stats.figures().empty());
}

void TrafficToolsTest::filterKeeps_data()
{
    QTest::addColumn<RowFilter>("filter");
    QTest::addColumn<RowFacts>("row");
    QTest::addColumn<bool>("kept");
    const RowFilter none;
    const RowFilter one{"1", {}, false};
    const RowFilter reads{{}, "3", false};
    const RowFilter errors{{}, {}, true};
    const RowFilter oneErrors{"1", {}, true};
    QTest::newRow("no filter, an event") << none << eventRow() << true;
    QTest::newRow("station: its request") << one << frame("1", Status::Request) << true;
    QTest::newRow("station: another one") << one << frame("11", Status::Request) << false;
    QTest::newRow("station: not its text's start") << RowFilter{"01", {}, false} << frame("1", Status::Request)
                                                   << false;
    QTest::newRow("station: an event") << one << eventRow() << false;
    QTest::newRow("function: it") << reads << frame("1", Status::Answer) << true;
    QTest::newRow("function: another") << reads << frame("1", Status::Answer, Role::Answer, 0, "16") << false;
    QTest::newRow("errors: an answer") << errors << frame("1", Status::Answer, Role::Answer) << false;
    QTest::newRow("errors: a request answered") << errors << frame("1", Status::Request, Role::Answered) << false;
    QTest::newRow("errors: exception") << errors << frame("1", Status::Exception, Role::Answer) << true;
    QTest::newRow("errors: nak") << errors << frame("", Status::Nak, Role::Answer, 0, "ENQ") << true;
    QTest::newRow("errors: bad check") << errors << frame("1", Status::BadCheck) << true;
    QTest::newRow("errors: unrecognised") << errors << frame("", Status::Unrecognised) << true;
    QTest::newRow("errors: no answer") << errors << frame("1", Status::Request, Role::NoAnswer) << true;
    QTest::newRow("errors: an answer to nothing") << errors << frame("1", Status::Answer, Role::Unanswering)
                                                  << false;
    QTest::newRow("errors: an event") << errors << eventRow() << false;
    QTest::newRow("station's errors: its") << oneErrors << frame("1", Status::BadCheck) << true;
    QTest::newRow("station's errors: another's") << oneErrors << frame("2", Status::BadCheck) << false;
    QTest::newRow("station's errors: its answer") << oneErrors << frame("1", Status::Answer) << false;
}

void TrafficToolsTest::filterKeeps()
{
    QFETCH(RowFilter, filter);
    QFETCH(RowFacts, row);
    QFETCH(bool, kept);
    QCOMPARE(filter.keeps(row), kept);
}

void TrafficToolsTest::seenValuesOfferEachOnceInOrder()
{
    console::SeenValues seen;
    for (const RowFacts &r : {frame("10", Status::Request), frame("2", Status::Answer, Role::Answer, 0, "16"),
                              frame("01", Status::Request, Role::None, 0, "RD"), frame("10", Status::Answer),
                              frame("", Status::Unrecognised, Role::None, 0, ""), eventRow(),
                              frame("A", Status::Nak, Role::None, 0, "ENQ"), frame("2", Status::Exception)})
        seen.add(r);
    // Numbers by value (a number written as a text too), then texts; no
    // empty choice, nothing of an event.
    QCOMPARE(seen.stations(), (std::vector<std::string>{"01", "2", "10", "A"}));
    QCOMPARE(seen.functions(), (std::vector<std::string>{"3", "16", "ENQ", "RD"}));
    seen.clear();
    QVERIFY(seen.stations().empty() && seen.functions().empty());
}

void TrafficToolsTest::keptRowsFollowTheSource()
{
    FakeRows source;
    // 10,000 rows, every third of station 1: more than one slice.
    std::vector<RowFacts> rows;
    for (int i = 0; i < 10000; ++i)
        rows.push_back(frame(i % 3 == 0 ? "1" : "2", Status::Request));
    source.append(rows);
    KeptRowsModel kept(&source.model, source.factsAt());
    QAbstractItemModelTester tester(&kept);
    QTRY_VERIFY(kept.caughtUp());
    QCOMPARE(kept.rowCount(), 10000); // no filter keeps all

    kept.setFilter({"1", {}, false});
    // The rows are judged from the event loop, a slice at a time.
    QVERIFY(kept.rowCount() < 3334);
    QTRY_VERIFY(kept.caughtUp());
    QCOMPARE(kept.rowCount(), 3334);
    QCOMPARE(kept.sourceRow(0), 0);
    QCOMPARE(kept.sourceRow(3333), 9999);
    QCOMPARE(kept.rowOf(9999), 3333);
    QCOMPARE(kept.rowOf(9998), -1);
    QCOMPARE(kept.index(1, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(kept.mapToSource(kept.index(1, 0)).row(), 3);

    // Rows at the end, then one before the last ones (the other panel's).
    source.append({frame("2", Status::Request), frame("1", Status::Answer)});
    QTRY_COMPARE(kept.rowCount(), 3335);
    QCOMPARE(kept.sourceRow(3334), 10001);
    source.insert(10000, frame("1", Status::Request));
    QTRY_COMPARE(kept.rowCount(), 3336);
    QCOMPARE(keptRows(kept).back(), 10002);
    QCOMPARE(kept.sourceRow(3334), 10000);

    // Changed rows near the end are judged again, however wide the change.
    source.facts[10001] = frame("1", Status::Request);
    emit source.model.dataChanged(source.model.index(0, 0), source.model.index(10002, 0));
    QCOMPARE(kept.rowCount(), 3337);
    QCOMPARE(kept.sourceRow(3335), 10001);
    source.facts.back() = frame("2", Status::Answer);
    emit source.model.dataChanged(source.model.index(10002, 0), source.model.index(10002, 0));
    QCOMPARE(kept.rowCount(), 3336);
    QCOMPARE(keptRows(kept).back(), 10001);

    // A reset makes the index again.
    source.model.removeRows(0, 10000);
    source.facts.erase(source.facts.begin(), source.facts.begin() + 10000);
    QTRY_VERIFY(kept.caughtUp());
    QCOMPARE(keptRows(kept), (std::vector<int>{0, 1}));
}

void TrafficToolsTest::keptRowsWaitForTheTimeout()
{
    FakeRows source;
    source.append({frame("1", Status::Request, Role::Answered), frame("1", Status::Answer, Role::Answer),
                   frame("1", Status::Request, Role::Request), frame("1", Status::BadCheck)});
    KeptRowsModel kept(&source.model, source.factsAt());
    kept.setFilter({{}, {}, true});
    QTRY_COMPARE(kept.walker()->next(), 2);
    QVERIFY(!kept.caughtUp());
    QCOMPARE(kept.rowCount(), 0);
    // The request's timeout runs out: the walk goes on by itself.
    source.facts[2].role = Role::NoAnswer;
    QTRY_VERIFY(kept.caughtUp());
    QCOMPARE(keptRows(kept), (std::vector<int>{2, 3}));

    // A station filter need not wait.
    source.append({frame("1", Status::Request, Role::Request)});
    kept.setFilter({"1", {}, false});
    QTRY_VERIFY(kept.caughtUp());
    QCOMPARE(kept.rowCount(), 5);
}

void TrafficToolsTest::statisticsWindowCountsInSlices()
{
    FakeRows source;
    std::vector<RowFacts> rows;
    for (int i = 0; i < 5000; ++i) {
        rows.push_back(frame("1", Status::Request, Role::Answered));
        rows.push_back(frame("1", Status::Answer, Role::Answer, 1000 + i));
    }
    source.facts = rows;
    console::StatisticsWindow window(source.rows());
    QVERIFY(window.walker()->next() < 10000 - 1024); // not all at once
    QTRY_VERIFY(window.walker()->caughtUp());
    QCOMPARE(window.walker()->next(), 10000 - 1024); // the last rows held back
    window.refresh();
    QCOMPARE(window.progressText(), QStringLiteral("10000 row(s) counted."));
    const auto figures = [&] { return window.model()->figures(); };
    QCOMPARE(figures().size(), size_t(2));
    QCOMPARE(figures()[0].requests, 5000);
    QCOMPARE(figures()[0].answers, 5000);
    QCOMPARE(*figures()[0].medianUs, 3499.5);
    QCOMPARE(*figures()[0].p95Us, 5749u); // rank 4750

    // A request still waiting is a request; once its timeout ran, one with
    // no answer.
    source.facts.push_back(frame("1", Status::Request, Role::Request));
    source.facts.push_back(frame("1", Status::Request, Role::NoAnswer));
    window.more(10000);
    window.refresh();
    QCOMPARE(figures()[0].requests, 5002);
    QCOMPARE(figures()[0].noAnswer, 1);
    source.facts[10000].role = Role::NoAnswer;
    window.refresh();
    QCOMPARE(figures()[0].noAnswer, 2);
    QCOMPARE(figures()[0].requests, 5002);

    // Rows far beyond the hold-back are counted once, for good.
    for (int i = 0; i < 3000; ++i)
        source.facts.push_back(frame("2", Status::Answer, Role::Answer, 10));
    window.more(10002);
    QTRY_COMPARE(window.walker()->next(), 13002 - 1024);
    window.refresh();
    QCOMPARE(figures()[0].noAnswer, 2);
    QCOMPARE(figures()[1].answers, 3000);
    QCOMPARE(figures()[2].answers, 8000);

    // Rows that come before rows counted for good: all are counted again.
    source.facts.insert(source.facts.begin(), frame("3", Status::BadCheck));
    window.more(0);
    QTRY_VERIFY(window.walker()->caughtUp());
    window.refresh();
    QCOMPARE(figures().size(), size_t(4));
    QCOMPARE(figures()[2].badChecks, 1);
    QCOMPARE(figures()[3].answers, 8000);

    source.facts.resize(2);
    window.restart();
    QCOMPARE(figures().size(), size_t(3));
    QCOMPARE(figures()[0].requests, 1);
    QCOMPARE(figures()[1].badChecks, 1);
}

QTEST_MAIN(TrafficToolsTest)
#include "tst_traffic_tools.moc"
