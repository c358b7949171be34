#include "console/transmit/history_store.h"
#include "console/transmit/repeat_dialog.h"
#include "console/transmit/sfrmtransmit.h"
#include "console/transmit/transmit_menu.h"
#include "history_fixtures.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using console::FrameCheck;
using console::HistoryStore;
using console::LineEnd;
using console::SendOptions;
using console::sfrmTransmit;
using fixtures::runSql;
using testsupport::readFile;

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
const QByteArray modbusRequest = QByteArray::fromHex("01030000000AC5CD");

} // namespace

// The send options in the history file, and the sends that run for a while.
class TestSending : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(QStringLiteral("TstHis.db"));
        m_boxes = {};
        m_line = std::make_unique<fixtures::Line>();
        QVERIFY(m_line->open());
    }

    void optionsLiveBesideAnOldTable()
    {
        makeForeignFile(m_path);
        const QByteArray before = readFile(m_path);
        {
            // Opened and sent from as before, the file stays byte for byte.
            auto w = makeWindow();
            QCOMPARE(sendRow(*w, 0), QByteArray("01 03 00 00 00 0a"));
            QCOMPARE(sendRow(*w, 1), QByteArray("41 54"));
            QCOMPARE(readFile(m_path), before);
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
            QCOMPARE(sendRow(*w, 1), QByteArray("41 54 0d 0a"));

            // The Type cell's tooltip tells the options of a row that has any.
            QHelpEvent help(QEvent::ToolTip, cell.center(), w->DataGrid1->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(w->DataGrid1->viewport(), &help);
            QTRY_VERIFY2(QToolTip::text().contains(QStringLiteral("Line ending: CR LF")), qPrintable(QToolTip::text()));
        }
        QCOMPARE(runSql(m_path, {}, selectOptions), QStringList{"1|crlf|none"});

        // Other programs write the same names; names not known count as none.
        runSql(m_path, {QStringLiteral("INSERT OR REPLACE INTO TrsSendOptions VALUES (2, 'lf', 'modbus-rtu')"),
                        QStringLiteral("INSERT OR REPLACE INTO TrsSendOptions VALUES (1, 'CRLF', 'crc32')")});
        auto w = makeWindow();
        QCOMPARE(sendRow(*w, 0), QByteArray("01 03 00 00 00 0a c5 cd 0a"));
        QCOMPARE(sendRow(*w, 1), QByteArray("41 54"));

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

    void unwritableFilesKeepTheirOptions_data()
    {
        QTest::addColumn<bool>("readOnly");   // else the options table lacks its Check column
        QTest::addColumn<QString>("atOpen");  // what the window says when it opens
        QTest::addColumn<QByteArray>("sent"); // the Txt row AT, which has LF + sum8 stored
        QTest::addColumn<QString>("onChange"); // what it says when an option is chosen
        QTest::newRow("opened read-only") << true << "" << QByteArray("41 54 95 0a") << "readonly";
        QTest::newRow("options table of another shape")
            << false << "The send options in the history file" << QByteArray("41 54") << "cannot be read";
    }
    void unwritableFilesKeepTheirOptions()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, atOpen);
        QFETCH(QByteArray, sent);
        QFETCH(QString, onChange);
        makeForeignFile(m_path, {QStringLiteral("CREATE TABLE TrsSendOptions (RowId INTEGER PRIMARY KEY, LineEnd TEXT%1)")
                                     .arg(readOnly ? ", \"Check\" TEXT" : ""),
                                 QStringLiteral("INSERT INTO TrsSendOptions VALUES (1, 'lf'%1)").arg(readOnly ? ", 'sum8'" : "")});
        const QByteArray before = readFile(m_path);
        {
            auto w = makeWindow(readOnly ? HistoryStore::Access::ReadOnly : HistoryStore::Access::ReadWrite);
            const QStringList said = m_boxes.texts();
            QVERIFY2(atOpen.isEmpty() ? said.isEmpty() : said.size() == 1 && said[0].startsWith(atOpen), qPrintable(said.join('|')));
            QCOMPARE(sendRow(*w, 1), sent);
            m_boxes = {};
            QVERIFY(!w->setOptionsOf(1, {LineEnd::Cr, FrameCheck::Lrc}));
            const QString text = m_boxes.texts().join('|');
            QVERIFY2(text.startsWith("The send options were not saved in the history file " + m_path)
                         && text.contains(onChange) && !text.contains('|'),
                     qPrintable(text));
            // The stored options still apply.
            QCOMPARE(sendRow(*w, 1), sent);
        }
        QCOMPARE(readFile(m_path), before);
    }

    // Not a database: nothing is offered, nothing written, said once at open.
    void damagedFileOffersNoOptions()
    {
        QVERIFY(testsupport::writeFile(m_path, QByteArray(4096, '\x5A')));
        auto w = makeWindow();
        emit w->DataGrid1->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!w->menu()->lineEndMenu()->isEnabled() && !w->menu()->checkMenu()->isEnabled());
        w->menu()->lineEndAction(LineEnd::CrLf)->trigger();
        w.reset();
        QCOMPARE(readFile(m_path), QByteArray(4096, '\x5A'));
        QCOMPARE(m_boxes.boxes.size(), 1);
    }

    void repeatRefusesPlansOutOfRange_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("said");

        QTest::newRow("interval too short") << "9" << "10" << "from 10 to 3,600,000 ms; 9 ms is out of range.";
        QTest::newRow("interval too long") << "3600001" << "" << "3,600,001 ms is out of range.";
        QTest::newRow("interval not a number") << "1.5" << "10" << "The interval \"1.5\" is not a whole number";
        QTest::newRow("no count") << "100" << "0" << "from 1 to 999,999,999; 0 is out of range.";
        QTest::newRow("count too large") << "10" << "99999999999" << "99,999,999,999 is out of range.";
    }
    void repeatRefusesPlansOutOfRange()
    {
        QFETCH(QString, interval);
        QFETCH(QString, count);
        QFETCH(QString, said);

        auto w = rowWindow();
        console::RepeatDialog *d = startRepeat(*w, interval, count);
        QVERIFY2(d->status->text().contains(said), qPrintable(d->status->text()));
        QVERIFY(!d->running());
        QCOMPARE(m_line->far.readAvailable(100), QByteArray());
    }

    // Send Repeatedly opens beside the history window, never over its grid.
    void repeatOpensBesideTheHistory_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("placed");
        const QRect wide(0, 0, 1280, 1024);
        const QRect small(0, 0, 800, 600);
        QTest::newRow("room on the right") << QRect(100, 50, 490, 300) << wide << QPoint(598, 50);
        QTest::newRow("right edge: to the left") << QRect(700, 50, 490, 300) << wide << QPoint(442, 50);
        QTest::newRow("just fits on the right") << QRect(300, 0, 242, 300) << small << QPoint(550, 0);
        QTest::newRow("a pixel short: to the left") << QRect(301, 0, 242, 300) << small << QPoint(43, 0);
        QTest::newRow("no room either side: below") << QRect(150, 0, 600, 300) << small << QPoint(150, 308);
        QTest::newRow("nor below: above") << QRect(150, 300, 600, 200) << small << QPoint(150, 92);
        QTest::newRow("no room anywhere: in the screen") << QRect(150, 100, 600, 400) << small << QPoint(0, 100);
        QTest::newRow("low window: raised into the screen") << QRect(0, 500, 300, 300) << small << QPoint(308, 400);
        QTest::newRow("second screen") << QRect(1300, 100, 490, 300) << QRect(1280, 0, 1024, 768)
                                       << QPoint(1798, 100);
    }
    void repeatOpensBesideTheHistory()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, screen);
        QFETCH(QPoint, placed);
        QCOMPARE(console::besideWindow(window, QSize(250, 200), screen), placed);
    }
    void repeatWindowLeavesTheGridInSight()
    {
        auto w = rowWindow();
        w->move(0, 0);
        w->show();
        w->sendRepeatedly();
        const QRect grid(w->DataGrid1->mapToGlobal(QPoint(0, 0)), w->DataGrid1->size());
        QVERIFY(w->repeatDialog()->isVisible());
        QVERIFY2(!w->repeatDialog()->frameGeometry().intersects(grid),
                 qPrintable(QString("%1,%2 %3x%4").arg(w->repeatDialog()->x()).arg(w->repeatDialog()->y())
                                .arg(w->repeatDialog()->width()).arg(w->repeatDialog()->height())));
    }

    void repeatSendsEachFrameOnceAtItsInterval()
    {
        auto w = rowWindow();
        QByteArray announced;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> times;
        connect(w.get(), &sfrmTransmit::sent, [&](int, const QByteArray &bytes) {
            announced += bytes;
            times << clock.elapsed();
        });
        console::RepeatDialog *d = startRepeat(*w, QStringLiteral("100"), QStringLiteral("10"));
        QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 10000);
        QCOMPARE(d->status->text(), QStringLiteral("Done: sent 10 times."));
        QCOMPARE(d->sentSoFar->text(), QStringLiteral("Sent: 10 of 10"));
        QCOMPARE(m_line->far.readAvailable(300).toHex(' '), modbusRequest.repeated(10).toHex(' '));
        QCOMPARE(announced, modbusRequest.repeated(10));
        // Nine intervals at least: a loaded machine sends later, never sooner.
        QVERIFY2(times.last() - times.first() >= 700, qPrintable(QString::number(times.last() - times.first())));
    }

    // The far end reads nothing for a while: the line fills, and the repeat
    // waits for each frame to leave instead of piling frames up.
    void repeatWaitsForTheLine()
    {
        const QByteArray frame = QByteArray("0123456789").repeated(300);
        auto w = rowWindow(QString::fromLatin1(frame));
        console::RepeatDialog *d = startRepeat(*w, QStringLiteral("10"), QString());
        QTRY_VERIFY(m_line->control().outBufferCount() > 0);
        const int sent = d->job()->sent();
        QTest::qWait(200);
        QCOMPARE(d->job()->sent(), sent);
        QVERIFY(m_line->control().outBufferCount() <= frame.size());
        d->stopButton->click();
        QByteArray received;
        QTRY_COMPARE((received += m_line->far.readAvailable(5)).size(), frame.size() * sent);
        QVERIFY(received == frame.repeated(sent));
    }

    void repeatEndsWithItsCause_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("said"); // the end of the repeat window's status, or of the box

        QTest::newRow("Stop") << "stop" << " sends: stopped by the user.";
        QTest::newRow("panel stopped") << "close port" << " (left panel): the port was closed.";
        QTest::newRow("history window closed") << "close window" << " sends: the Transmit window was closed.";
    }
    void repeatEndsWithItsCause()
    {
        QFETCH(QString, how);
        QFETCH(QString, said);

        auto w = rowWindow();
        QByteArray received;
        QPointer<console::RepeatDialog> d = startRepeat(*w, QStringLiteral("30"), QString());
        QTRY_VERIFY((received += m_line->far.readAvailable(5)).size() >= 16);
        int sentAtEnd = -1;
        connect(d->job(), &console::SendJob::finished, [&, job = d->job()] { sentAtEnd = job->sent(); });
        if (how == QLatin1String("stop"))
            d->stopButton->click();
        else if (how == QLatin1String("close port"))
            m_line->close();
        else {
            w->show();
            w->close();
        }
        QTRY_VERIFY(sentAtEnd >= 2);
        // The repeat window closes with the history window; a box tells.
        const bool closed = how == QLatin1String("close window");
        const QString text = closed ? m_boxes.texts().value(0) : d->status->text();
        QVERIFY2(text.startsWith(QStringLiteral("%1 %2 sends: ")
                                     .arg(closed ? "Send Repeatedly stopped after" : "Stopped after")
                                     .arg(sentAtEnd))
                     && text.endsWith(said),
                 qPrintable(text));
        // Every frame sent arrived once and whole; none after the end.
        received += m_line->far.readAvailable(200);
        QCOMPARE(received.toHex(' '), modbusRequest.repeated(sentAtEnd).toHex(' '));
    }

    void fileSends_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("said"); // empty: nothing is told

        QTest::newRow("256 KiB arrive byte-exact") << "whole" << qint64(256 * 1024) << "";
        QTest::newRow("above 64 MiB") << "refused" << qint64(64 * 1024 * 1024 + 1)
                                      << "holds 67,108,865 bytes; Send File sends at most 64 MiB (67,108,864 bytes).";
        QTest::newRow("empty") << "refused" << qint64(0) << "is empty; there is nothing to send.";
        QTest::newRow("adapter gone") << "far end gone" << qint64(1 << 20) << " (left panel): The line was hung up";
        QTest::newRow("cancelled") << "cancel" << qint64(1 << 20) << "";
    }
    void fileSends()
    {
        QFETCH(QString, how);
        QFETCH(qint64, size);
        QFETCH(QString, said);

        const QString path = m_dir->filePath(QStringLiteral("recipe.bin"));
        // Sparse where nothing is sent, so the large one takes no disk.
        QByteArray content(how == QLatin1String("refused") ? 0 : size, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char((i * 7919 + (i >> 13)) & 0xFF);
        QVERIFY(testsupport::writeFile(path, content) && QFile::resize(path, size));

        auto w = rowWindow();
        QByteArray announced;
        connect(w.get(), &sfrmTransmit::sent, [&](int, const QByteArray &bytes) { announced += bytes; });
        w->sendFile(path);
        // Read at the far end as it comes; otherwise the file waits in the port.
        QByteArray received;
        if (how == QLatin1String("whole"))
            QTRY_COMPARE_WITH_TIMEOUT((received += m_line->far.readAvailable(5)).size(), content.size(), 30000);
        else if (how == QLatin1String("far end gone")) {
            QTest::qWait(100);
            m_line->far.closeMaster();
        } else if (how == QLatin1String("cancel")) {
            auto *progress = w->findChild<QProgressDialog *>();
            QVERIFY(progress && progress->isVisible());
            progress->findChild<QPushButton *>()->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!w->fileSend(), 30000);
        QVERIFY2(said.isEmpty() ? m_boxes.boxes.isEmpty() : m_boxes.texts().size() == 1 && m_boxes.texts()[0].contains(said),
                 qPrintable(m_boxes.texts().join('|')));
        if (how == QLatin1String("far end gone"))
            return;
        received += m_line->far.readAvailable(300);
        // All of it when not stopped, else a part; each byte once, in order.
        QCOMPARE(size > 0 && received.size() == size, how == QLatin1String("whole"));
        QVERIFY(received == content.left(received.size()));
        QVERIFY(announced.startsWith(received));
    }

private:
    std::unique_ptr<sfrmTransmit> makeWindow(HistoryStore::Access access = HistoryStore::Access::ReadWrite)
    {
        return std::make_unique<sfrmTransmit>(std::array<console::Panel *, 2>{&m_line->panel, nullptr},
                                              [] { return true; }, m_boxes,
                                              std::make_unique<HistoryStore>(m_path, access));
    }

    // The window over one row: Hex 01,03,00,00,00,0A with the Modbus check,
    // or the Txt row `txt`.
    std::unique_ptr<sfrmTransmit> rowWindow(const QString &txt = {})
    {
        fixtures::storeRows(m_path, {txt.isEmpty() ? qMakePair(QStringLiteral("Hex"), QStringLiteral("01,03,00,00,00,0A"))
                                                   : qMakePair(QStringLiteral("Txt"), txt)});
        auto w = makeWindow();
        if (txt.isEmpty())
            w->setOptionsOf(0, {LineEnd::None, FrameCheck::ModbusRtu});
        return w;
    }

    // What the row sends, in hex.
    QByteArray sendRow(sfrmTransmit &w, int row)
    {
        w.DataGrid1->setCurrentIndex(w.model().index(row, 1));
        w.Command1_Click();
        return m_line->far.readAvailable(150).toHex(' ');
    }

    // Send Repeatedly... with that interval and count (empty: until stopped).
    console::RepeatDialog *startRepeat(sfrmTransmit &w, const QString &interval, const QString &count)
    {
        w.sendRepeatedly();
        console::RepeatDialog *d = w.repeatDialog();
        d->interval->setText(interval);
        d->count->setText(count);
        d->untilStopped->setChecked(count.isEmpty());
        d->startButton->click();
        return d;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    testsupport::RecordingMessageBoxes m_boxes;
    std::unique_ptr<fixtures::Line> m_line;
};

QTEST_MAIN(TestSending)
#include "tst_sending.moc"
