#include "console/bytes/byte_store.h"
#include "console/receive/receive_buffer.h"

#include <QAbstractItemModelTester>
#include <QTest>

using console::ReceiveBuffer;

namespace {
QString cell(ReceiveBuffer &b, bool hex, int row, int column)
{
    auto *m = hex ? b.hexModel() : b.textModel();
    return m->data(m->index(row, column)).toString();
}
} // namespace

class TestReceiveGrid : public QObject {
    Q_OBJECT
private slots:
    void emptyGridHasHeaderAndOneLabelledRow();
    void byteTexts_data();
    void byteTexts();
    void wrapAfterSixteenBytes();
    void fortyBytesInOneAppend();
    void appendsSurviveModelChecks();
    void storeKeepsBytesAcrossChunks();
    void autoScroll_data();
    void autoScroll();
};

void TestReceiveGrid::emptyGridHasHeaderAndOneLabelledRow()
{
    ReceiveBuffer b;
    QCOMPARE(b.textModel()->rowCount(), 2);
    QCOMPARE(b.textModel()->columnCount(), 17);
    QCOMPARE(cell(b, false, 0, 0), QStringLiteral("Text"));
    QCOMPARE(cell(b, true, 0, 0), QStringLiteral("Hex"));
    QString header;
    for (int c = 1; c <= 16; ++c)
        header += cell(b, true, 0, c);
    QCOMPARE(header, QStringLiteral("0123456789ABCDEF"));
    QCOMPARE(cell(b, false, 1, 0), QStringLiteral("0"));
    QCOMPARE(cell(b, false, 1, 1), QString());
    QCOMPARE(b.rxRow(), 1);
    QCOMPARE(b.rxCol(), 1);
    QCOMPARE(b.textModel()->data(b.textModel()->index(1, 5), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
}

void TestReceiveGrid::byteTexts_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    QTest::newRow("NUL") << 0x00 << QString(QChar(0)) << "0";
    QTest::newRow("line feed") << 0x0A << "\n" << "A";
    QTest::newRow("F") << 0x0F << QString(QChar(0x0F)) << "F";
    QTest::newRow("0x10") << 0x10 << QString(QChar(0x10)) << "10";
    QTest::newRow("A") << 0x41 << "A" << "41";
    QTest::newRow("e acute") << 0xE9 << QStringLiteral("\u00e9") << "E9";
    QTest::newRow("FF") << 0xFF << QStringLiteral("\u00ff") << "FF";
}

void TestReceiveGrid::byteTexts()
{
    QFETCH(int, byte);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    ReceiveBuffer b;
    b.append(QByteArray(1, char(byte)));
    QCOMPARE(cell(b, false, 1, 1), text);
    QCOMPARE(cell(b, true, 1, 1), hex);
}

void TestReceiveGrid::wrapAfterSixteenBytes()
{
    ReceiveBuffer b;
    b.append(QByteArray(16, 'x'));
    // A full row leaves an empty, labelled row waiting for the next byte.
    QCOMPARE(b.textModel()->rowCount(), 3);
    QCOMPARE(cell(b, true, 2, 0), QStringLiteral("1"));
    QCOMPARE(cell(b, true, 2, 1), QString());
    QCOMPARE(b.rxRow(), 2);
    QCOMPARE(b.rxCol(), 1);
    b.append("y");
    QCOMPARE(cell(b, false, 2, 1), QStringLiteral("y"));
    QCOMPARE(b.rxCol(), 2);
}

void TestReceiveGrid::fortyBytesInOneAppend()
{
    ReceiveBuffer b;
    QByteArray bytes;
    for (int i = 0; i < 40; ++i)
        bytes.append(char(i));
    b.append(bytes);
    QCOMPARE(b.hexModel()->rowCount(), 4);
    QCOMPARE(cell(b, true, 1, 16), QStringLiteral("F"));
    QCOMPARE(cell(b, true, 2, 1), QStringLiteral("10"));
    QCOMPARE(cell(b, true, 3, 8), QStringLiteral("27"));
    QCOMPARE(cell(b, true, 3, 9), QString());
    QCOMPARE(cell(b, true, 3, 0), QStringLiteral("2"));
    QCOMPARE(b.rxRow(), 3);
    QCOMPARE(b.rxCol(), 9);
}

void TestReceiveGrid::appendsSurviveModelChecks()
{
    ReceiveBuffer b;
    QAbstractItemModelTester textCheck(b.textModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester hexCheck(b.hexModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    int inserts = 0;
    connect(b.hexModel(), &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
    for (int n : {1, 15, 16, 3, 100, 0, 1000, 7})
        b.append(QByteArray(n, 'z'));
    QCOMPARE(inserts, 5); // one insertion per append that completed rows
    QCOMPARE(b.textModel()->rowCount(), int((1 + 15 + 16 + 3 + 100 + 1000 + 7) / 16 + 2));
    b.reset();
    QCOMPARE(b.textModel()->rowCount(), 2);
    QCOMPARE(cell(b, false, 1, 1), QString());
}

void TestReceiveGrid::storeKeepsBytesAcrossChunks()
{
    console::ByteStore store;
    const qsizetype chunk = console::ByteStore::kChunkSize;
    QByteArray first(chunk - 3, 'a');
    QByteArray second;
    for (int i = 0; i < 10; ++i)
        second.append(char('0' + i));
    store.append(first);
    store.append(second);
    store.append(QByteArray(2 * chunk, 'b'));
    QCOMPARE(store.size(), chunk - 3 + 10 + 2 * chunk);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(int(store.at(chunk - 3 + i)), int('0' + i));
    QCOMPARE(int(store.at(store.size() - 1)), int('b'));
    store.clear();
    QCOMPARE(store.size(), 0);
    store.append("q", 1);
    QCOMPARE(int(store.at(0)), int('q'));
}

void TestReceiveGrid::autoScroll_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("rowsBefore");
    QTest::addColumn<int>("appended");
    QTest::addColumn<int>("expected");
    // An empty grid first scrolls when it reaches 9 rows.
    QTest::newRow("7 rows: still") << 1 << 2 << 6 << 1;
    QTest::newRow("9 rows: first scroll") << 1 << 2 << 7 << 2;
    QTest::newRow("following the end") << 5 << 12 << 1 << 6;
    QTest::newRow("many rows at the end") << 5 << 12 << 100 << 105;
    // Scrolled up: one row per new row, no jump to the end.
    QTest::newRow("scrolled to top") << 1 << 500 << 1 << 2;
    QTest::newRow("scrolled to top, 3 rows") << 1 << 500 << 3 << 4;
    QTest::newRow("near the end") << 10 << 15 << 5 << 13;
}

void TestReceiveGrid::autoScroll()
{
    QFETCH(int, top);
    QFETCH(int, rowsBefore);
    QFETCH(int, appended);
    QFETCH(int, expected);
    QCOMPARE(console::grid::autoScrolledTop(top, rowsBefore, appended), qint64(expected));
}

QTEST_MAIN(TestReceiveGrid)
#include "tst_receive_grid.moc"
