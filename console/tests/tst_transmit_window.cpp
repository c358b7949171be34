#include "console/frmmain.h"
#include "console/transmit/history_store.h"
#include "console/transmit/send_options.h"
#include "console/transmit/sfrmtransmit.h"
#include "console/transmit/type_button_delegate.h"
#include "history_fixtures.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "console/replay/replay_dialog.h"
#include "console/transmit/transmit_menu.h"
#include <QPlainTextEdit>

using console::FrameCheck;
using console::HistoryModel;
using console::LineEnd;
using console::HistoryStore;
using console::sfrmTransmit;
using testsupport::PseudoTerminal;
using testsupport::RecordingMessageBoxes;
using fixtures::column;
using fixtures::Line;
using fixtures::storeRows;
using fixtures::storedData;
using testsupport::readFile;

Q_DECLARE_METATYPE(LineEnd)
Q_DECLARE_METATYPE(FrameCheck)

class TestTransmitWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sendsExactBytesThroughThePanelNamed_data();
    void sendsExactBytesThroughThePanelNamed();
    void closedPortOrNoRowSendsNothing();
    void listenOnlyRefusesWithTheReason();
    void sendWaitsForEarlierBytesWhileEventsRun();
    void addNewGivesACurrentTxtRow();
    void deleteRemovesTheCurrentRowOnly_data();
    void deleteRemovesTheCurrentRowOnly();
    void typeButtonToggles_data();
    void typeButtonToggles();
    void showsItsCaptions();
    void unusableFileOpensEmptyAndUnchanged_data();
    void unusableFileOpensEmptyAndUnchanged();
    void editsAreWrittenOrReported_data();
    void editsAreWrittenOrReported();
    void transmitFromTheMainWindow();
    void replayRequestsReportsEachAnswer();

private:
    std::unique_ptr<sfrmTransmit> makeWindow();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    RecordingMessageBoxes m_boxes;
    std::unique_ptr<Line> m_left, m_right;
    bool m_port1 = true;
};

void TestTransmitWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("TstHis.db"));
    m_boxes = {};
    m_left = std::make_unique<Line>();
    m_right = std::make_unique<Line>();
    QVERIFY(m_left->open());
    QVERIFY(m_right->open());
    m_port1 = true;
}

void TestTransmitWindow::cleanup()
{
    m_left.reset();
    m_right.reset();
    m_dir.reset();
}

std::unique_ptr<sfrmTransmit> TestTransmitWindow::makeWindow()
{
    return std::make_unique<sfrmTransmit>(
        std::array<console::Panel *, 2>{&m_left->panel, &m_right->panel},
        [this] { return m_port1; }, m_boxes, m_path);
}

void TestTransmitWindow::sendsExactBytesThroughThePanelNamed_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("data");
    QTest::addColumn<LineEnd>("lineEnd");
    QTest::addColumn<FrameCheck>("check");
    QTest::addColumn<bool>("port1");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const char *type, const QString &data, bool port1, const QByteArray &bytes,
                        LineEnd end = LineEnd::None, FrameCheck check = FrameCheck::None, const char *message = "") {
        QTest::newRow(name) << type << data << end << check << port1 << bytes << message;
    };
    row("Txt AT left", "Txt", "AT", true, QByteArray("\x41\x54"));
    row("Txt AT right, left open too", "Txt", "AT", false, QByteArray("\x41\x54"));
    row("Txt through the code page", "Txt", QStringLiteral("\u00B0C\u2103"), false, QByteArray("\xB0\x43\x3F"));
    row("Hex three values", "Hex", "12,34,AB", true, QByteArray("\x12\x34\xAB"));
    row("Hex right, trailing comma", "Hex", "7 , f,", false, QByteArray("\x07\x0F\x00", 3));
    row("lower-case txt is hex", "txt", "41", true, QByteArray("\x41"));
    row("value above FF", "Hex", "12,100", false, QByteArray(), LineEnd::None, FrameCheck::None, "Invalid output value");
    row("hex typed with blanks", "Hex", "01 03 00 00 00 0A", true, QByteArray(), LineEnd::None, FrameCheck::None,
        "Invalid output value\nhex items are separated by commas: 01,03,00");

    // With send options: the check over the row's bytes, then the line ending.
    row("Txt LRC over the text's bytes, CR", "Txt", ":01", false, QByteArray::fromHex("3A303136350D"), LineEnd::Cr,
        FrameCheck::Lrc);
    row("Hex sum, LF", "Hex", "80,ff,81", true, QByteArray::fromHex("80FF81000A"), LineEnd::Lf, FrameCheck::Sum8);
    row("Txt MEWTOCOL BCC, CR", "Txt", "%01#RCSX0000", true, QByteArray("%01#RCSX00001D\r"), LineEnd::Cr,
        FrameCheck::MewtocolBcc);
    row("Hex FX sum after STX through ETX", "Hex", "02,30,31,30,46,36,30,34,03", false,
        QByteArray("\x02" "010F604" "\x03" "74"), LineEnd::None, FrameCheck::FxSum);
    row("empty Txt, CR", "Txt", "", true, QByteArray::fromHex("0D"), LineEnd::Cr);
    row("options on a refused row", "Hex", "1FF", true, QByteArray(), LineEnd::CrLf, FrameCheck::ModbusRtu,
        "Invalid output value");
}

void TestTransmitWindow::sendsExactBytesThroughThePanelNamed()
{
    QFETCH(QString, type);
    QFETCH(QString, data);
    QFETCH(LineEnd, lineEnd);
    QFETCH(FrameCheck, check);
    QFETCH(bool, port1);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    storeRows(m_path, {{type, data}});
    auto w = makeWindow();
    QVERIFY(w->setOptionsOf(0, {lineEnd, check}));
    QSignalSpy sent(w.get(), &sfrmTransmit::sent);
    m_port1 = port1;
    w->Command1_Click();

    PseudoTerminal &chosen = port1 ? m_left->far : m_right->far;
    PseudoTerminal &other = port1 ? m_right->far : m_left->far;
    QCOMPARE(chosen.read(int(bytes.size()), 2000).toHex(' '), bytes.toHex(' '));
    QCOMPARE(chosen.readAvailable(150).toHex(' '), QByteArray());
    QCOMPARE(other.readAvailable(50).toHex(' '), QByteArray());
    QStringList told;
    for (const auto &box : m_boxes.boxes) {
        QCOMPARE(box.title, QStringLiteral("Tavrin"));
        told << (box.details.isEmpty() ? box.text : box.text + u'\n' + box.details);
    }
    QCOMPARE(told, message.isEmpty() ? QStringList{} : QStringList{message});
    // What was written is announced once, with its panel.
    const QList<QVariantList> expected = bytes.isEmpty() ? QList<QVariantList>{}
                                                         : QList<QVariantList>{{port1 ? 0 : 1, bytes}};
    QCOMPARE(QList<QVariantList>(sent), expected);
}

void TestTransmitWindow::closedPortOrNoRowSendsNothing()
{
    {
        auto empty = makeWindow();
        empty->Command1_Click();
        QCOMPARE(m_boxes.texts(), QStringList{});
    }
    storeRows(m_path, {{"Txt", "AT"}});
    auto w = makeWindow();
    // The right panel was stopped by a fault while the window was up.
    m_right->close();
    m_port1 = false;
    w->Command1_Click();
    QCOMPARE(m_boxes.texts(), QStringList{"COM Port Error."});
    QCOMPARE(m_boxes.boxes.first().title, QStringLiteral("Tavrin"));
    QCOMPARE(m_left->far.readAvailable(100), QByteArray());
    QCOMPARE(m_right->far.readAvailable(50), QByteArray());
}

// A panel that only listens refuses the send as a closed one does, and the
// box's details say why.
void TestTransmitWindow::listenOnlyRefusesWithTheReason()
{
    storeRows(m_path, {{"Hex", "01,03"}});
    m_left->panel.setListenOnly(true);
    auto w = makeWindow();
    m_port1 = true;
    QSignalSpy sent(w.get(), &sfrmTransmit::sent);
    w->Command1_Click();
    QCOMPARE(m_boxes.texts(), QStringList{"COM Port Error."});
    QCOMPARE(m_boxes.boxes.first().details,
             QStringLiteral("%1 (left panel): Listen Only is on: nothing is sent through this port")
                 .arg(m_left->control().device()));
    QCOMPARE(sent.count(), 0);
    QCOMPARE(m_left->far.readAvailable(100), QByteArray());
}

void TestTransmitWindow::sendWaitsForEarlierBytesWhileEventsRun()
{
    // Far more than the line takes at once, so the second send finds bytes
    // still waiting in the output buffer.
    QString big;
    for (int i = 0; i < 200000; ++i)
        big.append(QChar(u'a' + i % 26));
    storeRows(m_path, {{"Hex", "AB,CD"}, {"Txt", big}});
    auto w = makeWindow();

    QByteArray received;
    QTimer drain;
    connect(&drain, &QTimer::timeout, [&] { received += m_left->far.readAvailable(3); });
    drain.start(5);

    w->DataGrid1->setCurrentIndex(w->model().index(1, 0));
    w->Command1_Click();
    QVERIFY(m_left->control().outBufferCount() > 0);
    w->DataGrid1->setCurrentIndex(w->model().index(0, 0));
    w->Command1_Click();
    // The far end was read from inside the wait, so events ran meanwhile.
    QVERIFY(received.size() > 0);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), big.size() + 2, 5000);
    QCOMPARE(received.left(big.size()), big.toLatin1());
    QCOMPARE(received.right(2).toHex(' '), QByteArray("ab cd"));
}

void TestTransmitWindow::addNewGivesACurrentTxtRow()
{
    {
        auto w = makeWindow();
        const QDateTime before = QDateTime::currentDateTime();
        w->Command2_Click(0);
        const QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(w->model().rowCount(), 1);
        QCOMPARE(column(*w, 0), QStringList{"Txt"});
        QCOMPARE(column(*w, 1), QStringList{""});
        QCOMPARE(column(*w, 2), QStringList{""});
        const QDateTime made = QDateTime::fromString(column(*w, 3).first(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(made.isValid());
        QVERIFY(made >= before.addMSecs(-before.time().msec()) && made <= after);
        QCOMPARE(w->DataGrid1->currentIndex(), w->model().index(0, 0));
        QCOMPARE(w->NewRow, 0);
        w->model().setData(w->model().index(0, 1), QStringLiteral("first"));

        w->Command2_Click(0);
        QCOMPARE(w->NewRow, 1);
        w->model().setData(w->DataGrid1->currentIndex().siblingAtColumn(1), QStringLiteral("second"));
        // Added rows go to the end, as in an open record set.
        QCOMPARE(column(*w, 1), (QStringList{"first", "second"}));
        QCOMPARE(m_boxes.texts(), QStringList{});
    }
    // Loading the window again reads the rows again, newest first.
    auto again = makeWindow();
    QCOMPARE(column(*again, 1), (QStringList{"second", "first"}));
    QCOMPARE(again->DataGrid1->currentIndex(), again->model().index(0, 0));
}

void TestTransmitWindow::deleteRemovesTheCurrentRowOnly_data()
{
    QTest::addColumn<QStringList>("data");   // newest first
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("currentAfter");   // -1: no current row

    QTest::newRow("only row") << QStringList{"a"} << 0 << QStringList{} << -1;
    QTest::newRow("last row") << QStringList{"a", "b", "c"} << 2 << QStringList{"a", "b"} << 1;
    QTest::newRow("middle row") << QStringList{"a", "b", "c"} << 1 << QStringList{"a", "c"} << 1;
    QTest::newRow("one of two identical") << QStringList{"same", "same"} << 0 << QStringList{"same"} << 0;
    QTest::newRow("empty table") << QStringList{} << -1 << QStringList{} << -1;
}

void TestTransmitWindow::deleteRemovesTheCurrentRowOnly()
{
    QFETCH(QStringList, data);
    QFETCH(int, current);
    QFETCH(QStringList, left);
    QFETCH(int, currentAfter);

    QList<QPair<QString, QString>> rows;
    for (const QString &d : data)
        rows.append({QStringLiteral("Txt"), d});
    // Identical rows: the same type, data and time.
    storeRows(m_path, rows, true);

    auto w = makeWindow();
    if (current >= 0)
        w->DataGrid1->setCurrentIndex(w->model().index(current, 1));
    w->Command2_Click(1);
    QCOMPARE(column(*w, 1), left);
    QCOMPARE(w->DataGrid1->currentIndex().row(), currentAfter);
    QCOMPARE(storedData(m_path), left);
    QCOMPARE(m_boxes.texts(), QStringList{});
    // Any other index does nothing.
    w->Command2_Click(2);
    QCOMPARE(storedData(m_path), left);
}

void TestTransmitWindow::typeButtonToggles_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("afterEachClick");

    QTest::newRow("Txt") << "Txt" << QStringList{"Hex", "Txt", "Hex"};
    QTest::newRow("Hex") << "Hex" << QStringList{"Txt", "Hex"};
    QTest::newRow("lower-case txt") << "txt" << QStringList{"Txt"};
    QTest::newRow("empty") << "" << QStringList{"Txt"};
    QTest::newRow("other text") << "TXT " << QStringList{"Txt"};
}

void TestTransmitWindow::typeButtonToggles()
{
    QFETCH(QString, type);
    QFETCH(QStringList, afterEachClick);

    storeRows(m_path, {{"Hex", "01"}, {type, "02"}});
    auto w = makeWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    const QModelIndex cell = w->model().index(1, HistoryModel::TypeColumn);
    const QRect rect = w->DataGrid1->visualRect(cell);
    // A click on the text of the cell is not a click on its button.
    QTest::mouseClick(w->DataGrid1->viewport(), Qt::LeftButton, {}, rect.topLeft() + QPoint(3, 3));
    QCOMPARE(cell.data().toString(), type);

    const QPoint button = console::TypeButtonDelegate::buttonRect(rect).center();
    for (const QString &expected : afterEachClick) {
        QTest::mouseClick(w->DataGrid1->viewport(), Qt::LeftButton, {}, button);
        QCOMPARE(cell.data().toString(), expected);
    }
    QCOMPARE(w->DataGrid1->currentIndex(), cell);
    QCOMPARE(w->model().index(0, 0).data().toString(), QStringLiteral("Hex"));

    w.reset();
    HistoryStore store(m_path);
    QCOMPARE(store.readAll()->at(1).type, afterEachClick.last());
}

void TestTransmitWindow::showsItsCaptions()
{
    auto w = makeWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("Transmit"));
    QCOMPARE(w->DataGrid1Caption->text(), QStringLiteral("History Transmit Data "));
    QStringList headers;
    for (int c = 0; c < w->model().columnCount(); ++c)
        headers << w->DataGrid1->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"Type", "Data", "Remark", "NO."}));
    QCOMPARE(w->Command2[0]->text(), QStringLiteral("Add New"));
    QCOMPARE(w->Command2[1]->text(), QStringLiteral("Delete"));
    QCOMPARE(w->Command1->text(), QStringLiteral("Transmit Selected Data"));
}

void TestTransmitWindow::unusableFileOpensEmptyAndUnchanged_data()
{
    QTest::addColumn<QByteArray>("junk");       // empty: an SQLite file with a narrow TrsData
    QTest::addColumn<QString>("what");

    QByteArray binary;
    for (int i = 0; i < 8192; ++i)
        binary.append(char((i * 7919) % 251));
    QTest::newRow("text file") << QByteArray("Text,Data,Remark,MD\r\nTxt,AT,,\r\n").repeated(100)
                               << "is not an SQLite database";
    QTest::newRow("binary file") << binary << "is not an SQLite database";
    QTest::newRow("TrsData lacks columns") << QByteArray() << "lacks the column(s) MD";
}

void TestTransmitWindow::unusableFileOpensEmptyAndUnchanged()
{
    QFETCH(QByteArray, junk);
    QFETCH(QString, what);

    if (junk.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("narrow"));
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE TrsData (\"Text\", \"Data\", \"Remark\")")));
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("INSERT INTO TrsData VALUES ('Txt', 'AT', '')")));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("narrow"));
    } else {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    const QByteArray before = readFile(m_path);
    const QStringList filesBefore = QDir(m_dir->path()).entryList(QDir::Files);

    {
        auto w = makeWindow();
        QCOMPARE(m_boxes.boxes.size(), 1);
        const auto box = m_boxes.boxes.first();
        QCOMPARE(box.title, QStringLiteral("Tavrin"));
        QVERIFY2(box.text.contains(QDir::toNativeSeparators(m_path)), qPrintable(box.text));
        QVERIFY2(box.text.contains(what), qPrintable(box.text));
        QCOMPARE(w->model().rowCount(), 0);
        QVERIFY(!w->Command2[0]->isEnabled());
        w->Command2_Click(0);
        w->Command2_Click(1);
        w->Command1_Click();
        QCOMPARE(w->model().rowCount(), 0);
        QCOMPARE(m_boxes.boxes.size(), 1);
    }
    QCOMPARE(readFile(m_path), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), filesBefore);
    QCOMPARE(m_left->far.readAvailable(50), QByteArray());
}

void TestTransmitWindow::editsAreWrittenOrReported_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("shown");   // what the cell and the line show afterwards

    QTest::newRow("writable file") << false << "typed";
    QTest::newRow("read-only file") << true << "stored";
}

void TestTransmitWindow::editsAreWrittenOrReported()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, shown);

    storeRows(m_path, {{"Txt", "stored"}});
    const QByteArray before = readFile(m_path);
    sfrmTransmit w({&m_left->panel, &m_right->panel}, [] { return true; }, m_boxes,
                   std::make_unique<HistoryStore>(m_path, readOnly ? HistoryStore::Access::ReadOnly
                                                                   : HistoryStore::Access::ReadWrite));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The user types into the Data cell and presses Enter.
    const QModelIndex cell = w.model().index(0, HistoryModel::DataColumn);
    w.DataGrid1->setCurrentIndex(cell);
    w.DataGrid1->edit(cell);
    auto *editor = w.DataGrid1->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("typed"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!w.DataGrid1->viewport()->findChild<QLineEdit *>());

    if (readOnly) {
        QCOMPARE(m_boxes.boxes.size(), 1);
        QCOMPARE(m_boxes.boxes.first().title, QStringLiteral("Tavrin"));
        QVERIFY2(m_boxes.boxes.first().text.contains(QDir::toNativeSeparators(m_path)),
                 qPrintable(m_boxes.boxes.first().text));
        QCOMPARE(readFile(m_path), before);
    } else {
        QCOMPARE(m_boxes.texts(), QStringList{});
    }
    QCOMPARE(cell.data().toString(), shown);
    // Enter ended the edit and pressed no button of the window.
    QCOMPARE(w.model().rowCount(), 1);
    QVERIFY(w.isVisible());
    QCOMPARE(m_left->far.readAvailable(50), QByteArray());

    // What is sent is what is stored.
    w.Command1_Click();
    QCOMPARE(m_left->far.read(int(shown.size()), 2000), shown.toLatin1());
    QCOMPARE(storedData(m_path), QStringList{shown});
}

void TestTransmitWindow::transmitFromTheMainWindow()
{
    // Tavrin keeps its history in the current directory.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
    // The main window opens the ports itself.
    m_left.reset();
    m_right.reset();
    PseudoTerminal left, right;

    RecordingMessageBoxes boxes;
    {
        console::frmMain main(boxes);
        main.Timer1->stop();
        QVERIFY(main.transmitWindow());              // loaded hidden at start
        QVERIFY(!main.transmitWindow()->isVisible());
        QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("TstHis.db"))));
        main.show();
        main.Combo1[0]->setEditText(left.slavePath());
        main.Combo1[1]->setEditText(right.slavePath());
        main.Check1[0]->setChecked(true);
        main.Check1[1]->setChecked(true);
        QVERIFY(main.MSComm1[0].portOpen() && main.MSComm1[1].portOpen());

        bool shownModal = false;
        bool port1 = true;
        QTimer::singleShot(0, [&] {
            sfrmTransmit *t = main.transmitWindow();
            shownModal = t->isVisible() && t->isModal();
            port1 = main.Port1;
            t->Command2_Click(0);
            const QModelIndex data = t->DataGrid1->currentIndex().siblingAtColumn(1);
            t->model().setData(data, QStringLiteral("0D,0A,7E"));
            t->DataGrid1->setCurrentIndex(data.siblingAtColumn(0));
            t->DataGrid1_ButtonClick(0);
            t->Command1_Click();
            t->close();
        });
        main.Command2_Click(1);
        QVERIFY(shownModal);
        QVERIFY(!port1);
        QVERIFY(!main.transmitWindow());                  // closing unloaded it
        QCOMPARE(right.read(3, 2000).toHex(' '), QByteArray("0d 0a 7e"));
        QCOMPARE(right.readAvailable(100), QByteArray());
        QCOMPARE(left.readAvailable(50), QByteArray());
        QCOMPARE(boxes.texts(), QStringList{});
    }

    // Started again, the row is still there.
    console::frmMain main(boxes);
    main.Timer1->stop();
    QStringList types, data;
    QTimer::singleShot(0, [&] {
        sfrmTransmit *t = main.transmitWindow();
        types = column(*t, 0);
        data = column(*t, 1);
        t->close();
    });
    main.Command2_Click(0);
    QVERIFY(main.Port1);
    QCOMPARE(types, QStringList{"Hex"});
    QCOMPARE(data, QStringList{"0D,0A,7E"});
}

namespace {
struct RecordingChooser final : console::FileChooser {
    QString path;
    std::optional<SaveTarget> saveTarget(QWidget *) override { return std::nullopt; }
    std::optional<QString> logFile(QWidget *) override { return std::nullopt; }
    std::optional<ExportTarget> exportTarget(QWidget *) override { return std::nullopt; }
    std::optional<QString> recordingFile(QWidget *) override { return path; }
};
} // namespace

// Replay Requests...: the recording's requests through the panel Port1
// names, the device played by the test on the far end; a line per answer
// as it comes, then the totals.
void TestTransmitWindow::replayRequestsReportsEachAnswer()
{
    m_port1 = false;
    auto window = makeWindow();
    RecordingChooser files;
    files.path = m_dir->filePath("poll.csv");
    QFile csv(files.path);
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("time,panel,port,gap_ms,length,hex,text,check,event,protocol\n"
              "2026-12-07T14:03:11.000,left,COM1,,8,01 03 00 00 00 02 C4 0B,,,,modbus-rtu\n"
              "2026-12-07T14:03:11.020,right,COM2,11.0,9,01 03 04 00 0A 00 14 DA 3E,,,,modbus-rtu\n"
              "2026-12-07T14:03:11.500,left,COM1,,8,01 01 00 00 00 02 BD CB,,,,modbus-rtu\n"
              "2026-12-07T14:03:11.520,right,COM2,11.0,6,01 01 01 03 11 89,,,,modbus-rtu\n");
    csv.close();
    window->setFileChooser(&files);
    QAction *item = window->menu()->replayAction();
    QCOMPARE(item->text(), "Replay &Requests...");
    item->trigger();
    console::ReplayDialog *dialog = window->replayDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), "Replay Requests - " + m_right->panel.portText());
    dialog->chooseFile();
    QCOMPARE(dialog->file()->text(), files.path);
    dialog->timingChoice()->setCurrentIndex(1); // Fast
    dialog->startOrStop();
    QCOMPARE(dialog->startButton()->text(), "&Stop");
    // The device answers the first with another value, the second not at
    // all.
    QCOMPARE(m_right->far.read(8).toHex(' ').toUpper(), QByteArray("01 03 00 00 00 02 C4 0B"));
    m_right->far.write(QByteArray::fromHex("010304000A00751BD6"));
    const auto waitForLines = [&](int lines) {
        // An empty report is one empty block.
        for (int i = 0; i < 500 && dialog->report()->toPlainText().split('\n', Qt::SkipEmptyParts).size() < lines; ++i) {
            m_right->panel.poll();
            QTest::qWait(10);
        }
        return dialog->report()->toPlainText();
    };
    QCOMPARE(waitForLines(1),
             "request 1 (Read holding registers 0-1, unit 1): different: register 1: 20 -> 117");
    QCOMPARE(m_right->far.read(8).toHex(' ').toUpper(), QByteArray("01 01 00 00 00 02 BD CB"));
    QCOMPARE(waitForLines(3).split('\n').mid(1),
             (QStringList{"request 2 (Read coils 0-1, unit 1): no answer",
                          "2 requests: 0 same, 1 different, 1 no answer"}));
    QCOMPARE(dialog->status()->text(), "2 of 2 requests: 0 same, 1 different, 1 no answer");
    QCOMPARE(dialog->startButton()->text(), "&Start");
    // Nothing went to the other panel.
    QVERIFY(m_left->far.readAvailable(20).isEmpty());
    // A file that cannot be played says why, and nothing starts.
    dialog->file()->setText(m_dir->filePath("missing.csv"));
    dialog->startOrStop();
    QVERIFY2(dialog->status()->text().startsWith("Cannot read " + m_dir->filePath("missing.csv")),
             qPrintable(dialog->status()->text()));
    QCOMPARE(dialog->startButton()->text(), "&Start");
    // A port that is not open.
    m_right->close();
    dialog->file()->setText(files.path);
    dialog->startOrStop();
    QCOMPARE(dialog->status()->text(), "The port " + m_right->panel.portText() + " is not open: start it first");
}

QTEST_MAIN(TestTransmitWindow)
#include "tst_transmit_window.moc"
