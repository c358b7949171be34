#include "console/transmit/history_model.h"
#include "console/transmit/history_store.h"
#include "history_fixtures.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using console::HistoryModel;
using console::HistoryStore;
using fixtures::ReadOnlyFile;
using fixtures::runSql;
using testsupport::readFile;

namespace {

QDateTime at(int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 5, 1), QTime(hour, minute));
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT
private slots:
    void missingFileIsCreatedWithTheTable();
    void sqliteFileWithoutTheTableGetsIt();
    void rowsComeNewestFirstAndSurviveReopening();
    void modelWritesEditsAtOnce();
    void failedWritesAreReportedAndStoredValuesShown_data();
    void failedWritesAreReportedAndStoredValuesShown();
    void nothingIsAddedToAFileWhoseRowsWereNotRead();

private:
    QTemporaryDir m_dir;
};

void TestHistoryStore::missingFileIsCreatedWithTheTable()
{
    const QString path = m_dir.filePath(QStringLiteral("created.db"));
    {
        HistoryStore store(path);
        QVERIFY2(store.isOpen(), qPrintable(store.problem()));
        QCOMPARE(store.readAll().value_or(QList<console::HistoryRow>{{}}).size(), 0);
    }
    QVERIFY(QFile::exists(path));
    const QStringList columns = runSql(path, {}, QStringLiteral("SELECT name FROM pragma_table_info('TrsData')"));
    for (const char *name : {"Text", "Data", "Remark", "MD"})
        QVERIFY2(columns.contains(QLatin1String(name)), name);
}

void TestHistoryStore::sqliteFileWithoutTheTableGetsIt()
{
    const QString path = m_dir.filePath(QStringLiteral("other.db"));
    runSql(path, {QStringLiteral("CREATE TABLE Other (x TEXT)"),
                  QStringLiteral("INSERT INTO Other VALUES ('kept')")});
    {
        HistoryStore store(path);
        QVERIFY2(store.isOpen(), qPrintable(store.problem()));
        QVERIFY(store.add(QStringLiteral("Txt"), at(9)));
    }
    QCOMPARE(runSql(path, {}, QStringLiteral("SELECT x FROM Other")), QStringList{"kept"});
    QCOMPARE(runSql(path, {}, QStringLiteral("SELECT \"Text\" FROM TrsData")), QStringList{"Txt"});
}

void TestHistoryStore::rowsComeNewestFirstAndSurviveReopening()
{
    const QString path = m_dir.filePath(QStringLiteral("order.db"));
    {
        HistoryStore store(path);
        for (int hour : {10, 12, 11}) {
            const auto row = store.add(QStringLiteral("Hex"), at(hour));
            QVERIFY(row);
            QCOMPARE(store.setField(*row, HistoryStore::Field::Data, QString::number(hour)), HistoryStore::Outcome::Done);
        }
        // Two made in the same millisecond: the later one counts as newer.
        const auto first = store.add(QStringLiteral("Txt"), at(8));
        const auto second = store.add(QStringLiteral("Txt"), at(8));
        QVERIFY(first && second);
        QCOMPARE(store.setField(*first, HistoryStore::Field::Data, QStringLiteral("8a")), HistoryStore::Outcome::Done);
        QCOMPARE(store.setField(*second, HistoryStore::Field::Data, QStringLiteral("8b")), HistoryStore::Outcome::Done);
    }
    // Rows made elsewhere: MD in another form of a date and time, or none.
    runSql(path, {QStringLiteral("INSERT INTO TrsData (\"Data\", \"MD\") VALUES ('11:30', '2024-05-01 11:30')"),
                  QStringLiteral("INSERT INTO TrsData (\"Data\", \"MD\") VALUES ('no date', 'someday')")});
    HistoryStore store(path);
    HistoryModel model(store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    QStringList data, made;
    for (int r = 0; r < model.rowCount(); ++r) {
        data << model.index(r, HistoryModel::DataColumn).data().toString();
        made << model.index(r, HistoryModel::MadeColumn).data().toString();
    }
    QCOMPARE(data, (QStringList{"12", "11:30", "11", "10", "8b", "8a", "no date"}));
    QCOMPARE(made, (QStringList{"2024-05-01 12:00:00", "2024-05-01 11:30:00", "2024-05-01 11:00:00",
                                "2024-05-01 10:00:00", "2024-05-01 08:00:00", "2024-05-01 08:00:00", "someday"}));
}

void TestHistoryStore::modelWritesEditsAtOnce()
{
    const QString path = m_dir.filePath(QStringLiteral("edits.db"));
    {
        HistoryStore store(path);
        HistoryModel model(store);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load());
        QStringList headers;
        for (int c = 0; c < model.columnCount(); ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"Type", "Data", "Remark", "NO."}));

        // New rows go to the end until the rows are read again.
        QCOMPARE(model.addRow(at(9, 30)), std::optional<int>(0));
        QCOMPARE(model.addRow(at(9, 31)), std::optional<int>(1));
        QCOMPARE(model.index(1, HistoryModel::TypeColumn).data().toString(), QStringLiteral("Txt"));
        QCOMPARE(model.index(1, HistoryModel::DataColumn).data().toString(), QString());
        QCOMPARE(model.index(1, HistoryModel::MadeColumn).data().toString(),
                 QStringLiteral("2024-05-01 09:31:00"));
        QVERIFY(model.setData(model.index(1, HistoryModel::DataColumn), QStringLiteral("12, 34")));
        QVERIFY(model.setData(model.index(1, HistoryModel::TypeColumn), QStringLiteral("Hex")));
        QVERIFY(model.setData(model.index(1, HistoryModel::RemarkColumn), QStringLiteral("reset")));
        QVERIFY(model.setData(model.index(0, HistoryModel::DataColumn), QStringLiteral("AT\r\n")));
        QVERIFY(model.flags(model.index(0, HistoryModel::MadeColumn)) & Qt::ItemIsEditable);
    }
    HistoryStore store(path);
    const auto rows = store.readAll();
    QVERIFY(rows && rows->size() == 2);
    QCOMPARE(rows->at(0).type, QStringLiteral("Hex"));
    QCOMPARE(rows->at(0).data, QStringLiteral("12, 34"));
    QCOMPARE(rows->at(0).remark, QStringLiteral("reset"));
    QCOMPARE(rows->at(1).type, QStringLiteral("Txt"));
    QCOMPARE(rows->at(1).data, QStringLiteral("AT\r\n"));
}

void TestHistoryStore::failedWritesAreReportedAndStoredValuesShown_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("opened read-only") << "open read-only";
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("locked by another program") << "locked";
    // The edit is made, but cannot be committed while another program reads.
    QTest::newRow("read by another program") << "reading";
}

void TestHistoryStore::failedWritesAreReportedAndStoredValuesShown()
{
    QFETCH(QString, how);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TstHis.db"));
    {
        HistoryStore store(path);
        const auto row = store.add(QStringLiteral("Txt"), at(6));
        QVERIFY(row);
        QCOMPARE(store.setField(*row, HistoryStore::Field::Data, QStringLiteral("stored")), HistoryStore::Outcome::Done);
    }
    const QByteArray before = readFile(path);

    std::optional<ReadOnlyFile> readOnly;
    if (how == QLatin1String("read-only file")) {
        readOnly.emplace(path);
        if (!readOnly->immutable)
            QSKIP("chattr +i is not available here");
    }
    HistoryStore store(path, how == QLatin1String("open read-only") ? HistoryStore::Access::ReadOnly
                                                                    : HistoryStore::Access::ReadWrite);
    QVERIFY2(store.isOpen(), qPrintable(store.problem()));
    HistoryModel model(store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());

    // The lock is taken after the rows were read, as another program may.
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    if (how == QLatin1String("locked") || how == QLatin1String("reading")) {
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(q.exec(how == QLatin1String("locked") ? QStringLiteral("BEGIN EXCLUSIVE") : QStringLiteral("BEGIN")));
        QVERIFY(how == QLatin1String("locked") || (q.exec(QStringLiteral("SELECT count(*) FROM TrsData")) && q.next()));
    }

    QSignalSpy failed(&model, &HistoryModel::writeFailed);
    const QModelIndex cell = model.index(0, HistoryModel::DataColumn);
    QVERIFY(!model.setData(cell, QStringLiteral("typed")));
    QCOMPARE(failed.size(), 1);
    QVERIFY(!failed.first().first().toString().isEmpty());
    QCOMPARE(cell.data().toString(), QStringLiteral("stored"));

    // Unchanged cells are not written, so they cannot fail.
    QVERIFY(model.setData(cell, QStringLiteral("stored")));
    QCOMPARE(failed.size(), 1);

    QVERIFY(!model.addRow(at(7)));
    QVERIFY(!model.deleteRow(0));
    QCOMPARE(model.rowCount(), 1);

    if (other.isOpen()) {
        QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
        other.close();
    }
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QCOMPARE(readFile(path), before);
}

void TestHistoryStore::nothingIsAddedToAFileWhoseRowsWereNotRead()
{
    const QString path = m_dir.filePath(QStringLiteral("unread.db"));
    QVERIFY(HistoryStore(path).add(QStringLiteral("Txt"), at(6)));
    const QByteArray before = readFile(path);
    HistoryStore store(path);
    HistoryModel model(store);
    {
        // Locked by another program while the rows are read.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        other.setDatabaseName(path);
        QVERIFY(other.open() && QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(!model.load());
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    QVERIFY(!model.canAdd());
    QVERIFY(!model.addRow(at(7)));
    QCOMPARE(readFile(path), before);
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_history_store.moc"
