#include "console/history_store.h"
#include "console/sfrmtransmit.h"
#include "console/transmit_menu.h"
#include "history_fixtures.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using console::FrameCheck;
using console::HistoryStore;
using console::LineEnd;
using console::SendOptions;
using console::sfrmTransmit;
using fixtures::fileBytes;
using fixtures::runSql;
using testsupport::PseudoTerminal;
using testsupport::RecordingMessageBoxes;

namespace {

// A history file as another program makes it: no ID column, rows by rowid.
// Rowid 1 is the Txt row "AT", rowid 2 the (newer) Hex row.
void makeForeignFile(const QString &path, const QStringList &more = {})
{
    QStringList statements{
        QStringLiteral("CREATE TABLE TrsData (\"Text\" TEXT, \"Data\" TEXT, \"Remark\" TEXT, \"MD\" DATETIME)"),
        QStringLiteral("INSERT INTO TrsData VALUES ('Txt', 'AT', '', '2024-05-01T08:00:00.000')"),
        QStringLiteral("INSERT INTO TrsData VALUES ('Hex', '01,03,00,00,00,0A', '', '2024-05-01T09:00:00.000')")};
    QCOMPARE(runSql(path, statements + more), QStringList{});
}

const QString selectOptions =
    QStringLiteral("SELECT RowId || '|' || LineEnd || '|' || \"Check\" FROM TrsSendOptions ORDER BY RowId");

} // namespace

class TestSendOptions : public QObject {
    Q_OBJECT
private slots:
    void init();
    void optionsLiveBesideAnOldTable();
    void unwritableFilesKeepTheirOptions_data();
    void unwritableFilesKeepTheirOptions();
    void damagedFileOffersNoOptions();

private:
    std::unique_ptr<sfrmTransmit> makeWindow(HistoryStore::Access access = HistoryStore::Access::ReadWrite);
    QByteArray sendRow(sfrmTransmit &w, int row, int count);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    RecordingMessageBoxes m_boxes;
    std::unique_ptr<fixtures::Line> m_line;
    PseudoTerminal *m_far = nullptr;
    serial::SerialControl *m_port = nullptr;
};

void TestSendOptions::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("TstHis.db"));
    m_boxes = {};
    m_line = std::make_unique<fixtures::Line>();
    m_far = &m_line->far;
    m_port = &m_line->control;
    QVERIFY(m_line->open());
}

std::unique_ptr<sfrmTransmit> TestSendOptions::makeWindow(HistoryStore::Access access)
{
    return std::make_unique<sfrmTransmit>(std::array<serial::SerialControl *, 2>{m_port, nullptr},
                                          [] { return true; }, m_boxes,
                                          std::make_unique<HistoryStore>(m_path, access));
}

QByteArray TestSendOptions::sendRow(sfrmTransmit &w, int row, int count)
{
    w.DataGrid1->setCurrentIndex(w.model().index(row, 1));
    w.Command1_Click();
    QByteArray got = m_far->read(count, 2000);
    got += m_far->readAvailable(100);
    return got.toHex(' ');
}

void TestSendOptions::optionsLiveBesideAnOldTable()
{
    makeForeignFile(m_path);
    const QByteArray before = fileBytes(m_path);
    {
        // Opened and sent from as before, the file stays byte for byte.
        auto w = makeWindow();
        QCOMPARE(sendRow(*w, 0, 6), QByteArray("01 03 00 00 00 0a"));
        QCOMPARE(sendRow(*w, 1, 2), QByteArray("41 54"));
    }
    QCOMPARE(fileBytes(m_path), before);

    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A right-click on the Txt row makes it current and opens the menu.
        const QRect cell = w->DataGrid1->visualRect(w->model().index(1, 0));
        emit w->DataGrid1->customContextMenuRequested(cell.center());
        QTRY_VERIFY(w->menu()->isVisible());
        QCOMPARE(w->DataGrid1->currentIndex().row(), 1);
        QVERIFY(w->menu()->lineEndAction(LineEnd::None)->isChecked());
        w->menu()->lineEndAction(LineEnd::CrLf)->trigger();
        w->menu()->close();
        QCOMPARE(sendRow(*w, 1, 4), QByteArray("41 54 0d 0a"));

        // The Type cell's tooltip tells the options of a row that has any.
        QHelpEvent help(QEvent::ToolTip, cell.center(), w->DataGrid1->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(w->DataGrid1->viewport(), &help);
        QTRY_VERIFY2(QToolTip::text().contains(QStringLiteral("Line ending: CR LF")), qPrintable(QToolTip::text()));
        QCOMPARE(w->optionsOf(0), SendOptions{});
    }
    QCOMPARE(runSql(m_path, {}, QStringLiteral("SELECT name FROM pragma_table_info('TrsData')")),
             (QStringList{"Text", "Data", "Remark", "MD"}));
    QCOMPARE(runSql(m_path, {}, QStringLiteral("SELECT name FROM pragma_table_info('TrsSendOptions')")),
             (QStringList{"RowId", "LineEnd", "Check"}));
    QCOMPARE(runSql(m_path, {}, selectOptions), QStringList{"1|crlf|none"});

    // Other programs write the same names; names not known count as none.
    runSql(m_path, {QStringLiteral("INSERT OR REPLACE INTO TrsSendOptions VALUES (2, 'lf', 'modbus-rtu')"),
                    QStringLiteral("INSERT OR REPLACE INTO TrsSendOptions VALUES (1, 'CRLF', 'crc32')")});
    auto w = makeWindow();
    QCOMPARE(sendRow(*w, 0, 9), QByteArray("01 03 00 00 00 0a c5 cd 0a"));
    QCOMPARE(sendRow(*w, 1, 2), QByteArray("41 54"));

    // A deleted row takes its options along; a row another program removed
    // leaves no options to the next row that gets its rowid.
    w->DataGrid1->setCurrentIndex(w->model().index(0, 0));
    w->Command2_Click(1);
    QCOMPARE(runSql(m_path, {}, selectOptions), QStringList{"1|CRLF|crc32"});
    runSql(m_path, {QStringLiteral("INSERT INTO TrsSendOptions VALUES (2, 'cr', 'sum8')")});
    w->Command2_Click(0);
    QCOMPARE(w->model().rowAt(1).key, 2);
    QCOMPARE(w->optionsOf(1), SendOptions{});
    QCOMPARE(runSql(m_path, {}, selectOptions), QStringList{"1|CRLF|crc32"});
    QCOMPARE(m_boxes.texts(), QStringList{});
}

void TestSendOptions::unwritableFilesKeepTheirOptions_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("atOpen");     // what the window says when it opens
    QTest::addColumn<QByteArray>("sent");    // the Txt row AT, which has LF + sum8 stored
    QTest::addColumn<QString>("onChange");   // what it says when an option is chosen

    QTest::newRow("opened read-only") << "read-only store" << "" << QByteArray("41 54 95 0a") << "readonly";
    QTest::newRow("read-only file") << "read-only file" << "" << QByteArray("41 54 95 0a") << "readonly";
    QTest::newRow("options table of another shape")
        << "narrow table" << "The send options in the history file" << QByteArray("41 54") << "cannot be read";
}

void TestSendOptions::unwritableFilesKeepTheirOptions()
{
    QFETCH(QString, how);
    QFETCH(QString, atOpen);
    QFETCH(QByteArray, sent);
    QFETCH(QString, onChange);

    makeForeignFile(m_path, {how == QLatin1String("narrow table")
                                 ? QStringLiteral("CREATE TABLE TrsSendOptions (RowId INTEGER PRIMARY KEY, LineEnd TEXT)")
                                 : QStringLiteral("CREATE TABLE TrsSendOptions (RowId INTEGER PRIMARY KEY, "
                                                  "LineEnd TEXT, \"Check\" TEXT)"),
                             how == QLatin1String("narrow table")
                                 ? QStringLiteral("INSERT INTO TrsSendOptions VALUES (1, 'lf')")
                                 : QStringLiteral("INSERT INTO TrsSendOptions VALUES (1, 'lf', 'sum8')")});
    const QByteArray before = fileBytes(m_path);
    std::optional<fixtures::ReadOnlyFile> readOnly;
    if (how == QLatin1String("read-only file")) {
        readOnly.emplace(m_path);
        if (!readOnly->immutable)
            QSKIP("chattr +i is not available here");
    }
    {
        auto w = makeWindow(how == QLatin1String("read-only store") ? HistoryStore::Access::ReadOnly
                                                                    : HistoryStore::Access::ReadWrite);
        QCOMPARE(m_boxes.boxes.size(), atOpen.isEmpty() ? 0 : 1);
        if (!atOpen.isEmpty())
            QVERIFY2(m_boxes.boxes.first().text.startsWith(atOpen), qPrintable(m_boxes.boxes.first().text));
        QCOMPARE(sendRow(*w, 1, int(sent.size() + 1) / 3), sent);

        m_boxes = {};
        QVERIFY(!w->setOptionsOf(1, {LineEnd::Cr, FrameCheck::Lrc}));
        QCOMPARE(m_boxes.boxes.size(), 1);
        const QString text = m_boxes.boxes.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The send options were not saved in the history file ")
                                 + QDir::toNativeSeparators(m_path)),
                 qPrintable(text));
        QVERIFY2(text.contains(onChange), qPrintable(text));
        // The stored options still apply.
        QCOMPARE(sendRow(*w, 1, int(sent.size() + 1) / 3), sent);
    }
    QCOMPARE(fileBytes(m_path), before);
}

void TestSendOptions::damagedFileOffersNoOptions()
{
    QFile f(m_path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("SQLite format 3").leftJustified(4096, '\x5A'));
    f.close();
    const QByteArray before = fileBytes(m_path);
    {
        auto w = makeWindow();
        QCOMPARE(m_boxes.boxes.size(), 1);
        emit w->DataGrid1->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!w->menu()->lineEndMenu()->isEnabled());
        QVERIFY(!w->menu()->checkMenu()->isEnabled());
        QVERIFY(!w->menu()->repeatAction()->isEnabled());
        w->menu()->lineEndAction(LineEnd::CrLf)->trigger();
        w->menu()->checkAction(FrameCheck::Sum8)->trigger();
        QCOMPARE(m_boxes.boxes.size(), 1);
    }
    QCOMPARE(fileBytes(m_path), before);
}

QTEST_MAIN(TestSendOptions)
#include "tst_send_options.moc"
