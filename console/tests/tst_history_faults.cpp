#include "console/transmit/history_model.h"
#include "console/transmit/history_time.h"
#include "console/transmit/history_store.h"
#include "console/transmit/sfrmtransmit.h"
#include "console/transmit/type_button_delegate.h"
#include "history_fixtures.h"
#include "tests/support/files.h"
#include "tests/support/recorders.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using console::HistoryModel;
using console::HistoryStore;
using console::sfrmTransmit;
using fixtures::column;
using fixtures::storeRows;
using fixtures::storedData;
using testsupport::FileSizeLimit;
using testsupport::readFile;
using testsupport::RecordingMessageBoxes;

namespace {

// SQL through a connection of the test's own, as another program's.
void otherProgram(const QString &path, const QString &statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY2(q.exec(statement), qPrintable(statement));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

} // namespace

class TestHistoryFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void damagedFileIsLeftByteIdentical();
    void rowGoneOrChangedBehindTheWindow_data();
    void rowGoneOrChangedBehindTheWindow();
    void fullDiskIsToldAndTheFileStaysIntact();
    void madeIsEditableAsADateAndTime_data();
    void madeIsEditableAsADateAndTime();
    void rowsAreOneLineHigh();
    void madeTimesAroundAClockChange_data();
    void madeTimesAroundAClockChange();

private:
    std::unique_ptr<sfrmTransmit> makeWindow();
    QString shownPath() const { return QDir::toNativeSeparators(m_path); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    RecordingMessageBoxes m_boxes;
    console::Panel m_left, m_right; // never started: nothing is sent here
};

void TestHistoryFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("TstHis.db"));
    m_boxes = {};
}

std::unique_ptr<sfrmTransmit> TestHistoryFaults::makeWindow()
{
    return std::make_unique<sfrmTransmit>(std::array<console::Panel *, 2>{&m_left, &m_right},
                                          [] { return true; }, m_boxes, m_path);
}

// The first page and the first rows read well; one leaf page in the middle
// of the table is overwritten.
void TestHistoryFaults::damagedFileIsLeftByteIdentical()
{
    storeRows(m_path, {{"Txt", "first"}});
    otherProgram(m_path, QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
        "INSERT INTO TrsData (\"Text\", \"Data\", \"Remark\", \"MD\") "
        "SELECT 'Hex', printf('%03d', i) || ',' || hex(zeroblob(40)), '', '2024-05-01T09:00:00.000' FROM n"));
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 pages = f.size() / 4096;
        QVERIFY2(pages >= 8, "the table spans too few pages");
        QVERIFY(f.seek(pages / 2 * 4096));
        f.write(QByteArray(4096, '\x55'));
    }
    const QByteArray before = readFile(m_path);
    const QStringList filesBefore = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);

    {
        auto w = makeWindow();
        w->show();
        QCOMPARE(m_boxes.boxes.size(), 1);
        const QString text = m_boxes.boxes.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The history file %1 is damaged: ").arg(shownPath())),
                 qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("row key")), qPrintable(text));
        QVERIFY(!w->Command2[0]->isEnabled());

        // Every button of the window, and an edit if a row shows at all.
        w->Command2[0]->click();
        w->Command2_Click(0);
        w->Command2_Click(1);
        w->Command1->click();
        w->DataGrid1_ButtonClick(0);
        if (w->model().rowCount() > 0)
            w->model().setData(w->model().index(0, HistoryModel::DataColumn), QStringLiteral("typed"));
        QCOMPARE(w->model().rowCount(), 0);
    }
    QCOMPARE(readFile(m_path), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
}

void TestHistoryFaults::rowGoneOrChangedBehindTheWindow_data()
{
    QTest::addColumn<QString>("behind");      // what another program does after the rows were read
    QTest::addColumn<bool>("deleting");       // false: the user edits Data of the first row
    QTest::addColumn<QStringList>("shown");   // Data in the grid afterwards, and stored
    QTest::addColumn<QString>("said");

    const QString removed = QStringLiteral("DELETE FROM TrsData WHERE \"Data\" = 'a'");
    const QString changed = QStringLiteral("UPDATE TrsData SET \"Remark\" = 'elsewhere' WHERE \"Data\" = 'a'");
    const QString retyped = QStringLiteral("UPDATE TrsData SET \"Data\" = 'A2' WHERE \"Data\" = 'a'");
    QTest::newRow("edit of a removed row") << removed << false << QStringList{"b"} << "removed";
    QTest::newRow("edit of a changed row") << changed << false << QStringList{"a", "b"} << "changed";
    QTest::newRow("edit of a retyped cell") << retyped << false << QStringList{"A2", "b"} << "changed";
    QTest::newRow("delete of a removed row") << removed << true << QStringList{"b"} << "removed";
    QTest::newRow("delete of a changed row") << changed << true << QStringList{"a", "b"} << "changed";
}

void TestHistoryFaults::rowGoneOrChangedBehindTheWindow()
{
    QFETCH(QString, behind);
    QFETCH(bool, deleting);
    QFETCH(QStringList, shown);
    QFETCH(QString, said);

    storeRows(m_path, {{"Txt", "a"}, {"Txt", "b"}});
    auto w = makeWindow();
    w->DataGrid1->setCurrentIndex(w->model().index(0, HistoryModel::DataColumn));
    otherProgram(m_path, behind);

    if (deleting) {
        w->Command2[1]->click();
    } else {
        QVERIFY(!w->model().setData(w->model().index(0, HistoryModel::DataColumn), QStringLiteral("typed")));
    }
    QCOMPARE(m_boxes.boxes.size(), 1);
    const QString text = m_boxes.boxes.first().text;
    QVERIFY2(text.contains(shownPath()), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("another program ") + said), qPrintable(text));
    // What the user typed is in the message, not lost without a word.
    if (!deleting)
        QVERIFY2(text.contains(QStringLiteral("\"typed\"")), qPrintable(text));
    QCOMPARE(column(*w, HistoryModel::DataColumn), shown);
    QCOMPARE(storedData(m_path), shown);
    if (said == QLatin1String("changed") && behind.contains(QStringLiteral("Remark")))
        QCOMPARE(w->model().index(0, HistoryModel::RemarkColumn).data().toString(), QStringLiteral("elsewhere"));
    QVERIFY(w->DataGrid1->currentIndex().isValid());
    // The refusal ended its transaction: the file takes later writes, from
    // this window and from another program.
    QVERIFY(w->model().setData(w->model().index(0, HistoryModel::RemarkColumn), QStringLiteral("later")));
    otherProgram(m_path, QStringLiteral("UPDATE TrsData SET \"Remark\" = ''"));
}

void TestHistoryFaults::fullDiskIsToldAndTheFileStaysIntact()
{
    storeRows(m_path, {{"Txt", "a"}, {"Hex", "01,02"}});
    const QByteArray before = readFile(m_path);
    QVERIFY(before.size() > 4096);
    auto w = makeWindow();
    w->DataGrid1->setCurrentIndex(w->model().index(0, HistoryModel::DataColumn));
    {
        // Less than the file already holds: no page can be journalled or
        // written back.
        FileSizeLimit full(4096);
        QVERIFY(full.ok());
        w->Command2[0]->click();
        QVERIFY(!w->model().setData(w->model().index(0, HistoryModel::DataColumn), QStringLiteral("typed")));
        w->Command2[1]->click();
    }
    const QStringList prefixes = {QStringLiteral("No row was added to the history file "),
                                  QStringLiteral("The change was not saved in the history file "),
                                  QStringLiteral("The row was not deleted from the history file ")};
    QCOMPARE(m_boxes.boxes.size(), prefixes.size());
    for (int i = 0; i < prefixes.size(); ++i) {
        const QString text = m_boxes.boxes[i].text;
        QVERIFY2(text.startsWith(prefixes[i] + shownPath() + QStringLiteral(": ")), qPrintable(text));
        // SQLite's reason follows the file name.
        QVERIFY2(text.size() > prefixes[i].size() + shownPath().size() + 8, qPrintable(text));
    }
    QVERIFY2(m_boxes.boxes[0].text.contains(QStringLiteral("full")) || m_boxes.boxes[0].text.contains(QStringLiteral("I/O")),
             qPrintable(m_boxes.boxes[0].text));
    QCOMPARE(column(*w, HistoryModel::DataColumn), (QStringList{"a", "01,02"}));
    w.reset();
    QCOMPARE(readFile(m_path), before);
    QCOMPARE(storedData(m_path), (QStringList{"a", "01,02"}));
}

void TestHistoryFaults::madeIsEditableAsADateAndTime_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");       // empty: refused, the stored value stays
    QTest::addColumn<QStringList>("reread");  // Data, newest first, when the rows are read again

    const QStringList unchanged{"newer", "older"};
    QTest::newRow("as shown") << "2030-01-02 03:04:05" << "2030-01-02 03:04:05" << QStringList{"older", "newer"};
    QTest::newRow("without seconds") << "2030-01-02 03:04" << "2030-01-02 03:04:00" << QStringList{"older", "newer"};
    QTest::newRow("ISO with T") << "2000-01-02T03:04:05" << "2000-01-02 03:04:05" << unchanged;
    QTest::newRow("blanks around") << " 2030-01-02 03:04:05 " << "2030-01-02 03:04:05" << QStringList{"older", "newer"};
    QTest::newRow("word") << "tomorrow" << "" << unchanged;
    QTest::newRow("empty") << "" << "" << unchanged;
    QTest::newRow("date only") << "2030-01-02" << "" << unchanged;
    QTest::newRow("time only") << "03:04:05" << "" << unchanged;
    QTest::newRow("30 February") << "2030-02-30 03:04:05" << "" << unchanged;
    QTest::newRow("hour 25") << "2030-01-02 25:04:05" << "" << unchanged;
    QTest::newRow("day first") << "02.01.2030 03:04:05" << "" << unchanged;
    QTest::newRow("negative year") << "-0224-03-31 02:30:00" << "" << unchanged;
    QTest::newRow("other signs, T") << "2024!05?01T09:30:00" << "" << unchanged;
    QTest::newRow("comma for a colon, T") << "2024-05-01T09,30" << "" << unchanged;
    QTest::newRow("hour alone, T") << "2024-05-01T09" << "" << unchanged;
    QTest::newRow("fraction without T") << "2030-01-02 03:04:05.678" << "" << unchanged;
    QTest::newRow("T and milliseconds") << "2030-01-02T03:04:05.678" << "2030-01-02 03:04:05" << QStringList{"older", "newer"};
    // A zone is converted to local time.
    QTest::newRow("T and zone") << "2030-01-02T05:04:05+02:00"
                                << QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).toLocalTime()
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                << QStringList{"older", "newer"};
}

void TestHistoryFaults::madeIsEditableAsADateAndTime()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QStringList, reread);

    storeRows(m_path, {{"Txt", "newer"}, {"Txt", "older"}});
    auto w = makeWindow();
    const QModelIndex made = w->model().index(1, HistoryModel::MadeColumn);
    const QString before = made.data().toString();
    QVERIFY(w->model().flags(made) & Qt::ItemIsEditable);
    const bool accepted = !shown.isEmpty();
    QCOMPARE(w->model().setData(made, typed), accepted);
    if (accepted) {
        QCOMPARE(m_boxes.texts(), QStringList{});
        QCOMPARE(made.data().toString(), shown);
    } else {
        QCOMPARE(m_boxes.boxes.size(), 1);
        QVERIFY2(m_boxes.boxes.first().text.contains(QStringLiteral("is not a date and time")),
                 qPrintable(m_boxes.boxes.first().text));
        QCOMPARE(made.data().toString(), before);
    }
    w.reset();
    QCOMPARE(storedData(m_path), reread);
}

// Rows one line of the grid's font high, about eleven in the grid, each
// Type button inside its row.
void TestHistoryFaults::rowsAreOneLineHigh()
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < 20; ++i)
        rows.append({QStringLiteral("Txt"), QString::number(i)});
    storeRows(m_path, rows);
    auto w = makeWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTableView *grid = w->DataGrid1;
    const int line = grid->fontMetrics().height();
    for (int r : {0, 10, 19}) {
        QVERIFY2(grid->rowHeight(r) >= line && grid->rowHeight(r) <= line + 6,
                 qPrintable(QStringLiteral("row %1 is %2 px, a line is %3").arg(r).arg(grid->rowHeight(r)).arg(line)));
    }
    const int visible = grid->viewport()->height() / grid->rowHeight(0);
    QVERIFY2(visible >= 10, qPrintable(QString::number(visible)));
    const QRect cell = grid->visualRect(w->model().index(0, HistoryModel::TypeColumn));
    QVERIFY(cell.contains(console::TypeButtonDelegate::buttonRect(cell)));
}

void TestHistoryFaults::madeTimesAroundAClockChange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused
    QTest::addColumn<QString>("moment"); // UTC, as the order key counts it

    // Berlin: 2026-03-29 02:00 CET becomes 03:00 CEST; 2026-10-25 03:00
    // CEST becomes 02:00 CET, and 02:00 to 03:00 comes twice.
    QTest::newRow("skipped hour") << "2026-03-29T02:30:00" << "" << "";
    QTest::newRow("skipped hour, blank") << "2026-03-29 02:30" << "" << "";
    QTest::newRow("before the skip") << "2026-03-29T00:30:00Z" << "2026-03-29T01:30:00.000" << "2026-03-29T00:30:00Z";
    QTest::newRow("after the skip") << "2026-03-29 03:30:00" << "2026-03-29T03:30:00.000" << "2026-03-29T01:30:00Z";
    QTest::newRow("repeated hour, first") << "2026-10-25T02:50:00+02:00" << "2026-10-25T02:50:00.000"
                                          << "2026-10-25T00:50:00Z";
    QTest::newRow("repeated hour, second") << "2026-10-25T02:10:00+01:00" << "2026-10-25T02:10:00.000"
                                           << "2026-10-25T01:10:00Z";
    QTest::newRow("after the repeat") << "2026-10-25T03:10:00+01:00" << "2026-10-25T03:10:00.000"
                                      << "2026-10-25T02:10:00Z";
    // A fraction of up to nine digits, kept to the millisecond.
    QTest::newRow("nine digits of a second") << "2030-01-02T03:04:05.123456789" << "2030-01-02T03:04:05.123"
                                             << "2030-01-02T02:04:05.123Z";
    QTest::newRow("one digit of a second") << "2030-01-02T03:04:05.5" << "2030-01-02T03:04:05.500"
                                           << "2030-01-02T02:04:05.500Z";
    QTest::newRow("ten digits of a second") << "2030-01-02T03:04:05.1234567891" << "" << "";
}

void TestHistoryFaults::madeTimesAroundAClockChange()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, moment);
    // The suite runs with TZ=Europe/Berlin; elsewhere this proves nothing.
    QCOMPARE(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc(), 7200);
    const std::optional<QString> made = console::storedMade(typed);
    // The local time as this program writes it; in the repeated hour the
    // offset follows where the local time alone would name the other moment.
    QCOMPARE(made.value_or(QString()).left(23), stored);
    if (stored.isEmpty()) {
        // What is refused as typed is no moment in a stored file either.
        QCOMPARE(console::madeOrder(typed), std::optional<qint64>());
        QCOMPARE(console::madeText(typed), typed);
        return;
    }
    const qint64 expected = QDateTime::fromString(moment, Qt::ISODate).toMSecsSinceEpoch();
    QCOMPARE(console::madeOrder(*made), std::optional<qint64>(expected));
    QCOMPARE(console::madeTime(*made)->toMSecsSinceEpoch(), expected);
    QCOMPARE(console::madeText(*made), QDateTime::fromMSecsSinceEpoch(expected).toString("yyyy-MM-dd HH:mm:ss"));
}

QTEST_MAIN(TestHistoryFaults)
#include "tst_history_faults.moc"
