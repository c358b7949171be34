#include "console/frmmain.h"
#include "console/files/file_writer.h"
#include "console/files/receive_files.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using console::ByteSelection;
using console::ByteStore;
using console::FileChooser;
using console::frmMain;
using console::ReceiveBuffer;
using testsupport::ScriptedFiles;
using testsupport::utc;
using testsupport::PseudoTerminal;
using testsupport::readFile;
using testsupport::RecordingMessageBoxes;
using testsupport::writeFile;

namespace {

QByteArray everyByteValue(int times)
{
    QByteArray bytes;
    for (int t = 0; t < times; ++t)
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    return bytes;
}

// The window with a pseudo-terminal whose far end the test plays.
struct Console : testsupport::ConsoleWindow {
    PseudoTerminal pty;
    bool start(int panel = 0)
    {
        w.Combo1[panel]->setEditText(pty.slavePath());
        w.Check1[panel]->setChecked(true);
        return w.MSComm1[panel].portOpen();
    }
    // The far end sends; the panel shows it at the next tick.
    bool send(const QByteArray &bytes, int panel = 0)
    {
        const qint64 before = w.MSComm1[panel].inBufferCount();
        // In pieces the line takes at once, letting the port read between.
        for (qsizetype at = 0; at < bytes.size(); at += 1024) {
            pty.write(bytes.mid(at, 1024));
            QCoreApplication::processEvents();
        }
        for (int i = 0; i < 500 && w.MSComm1[panel].inBufferCount() < before + bytes.size(); ++i)
            QTest::qWait(10);
        tick();
        return w.MSComm1[panel].inBufferCount() == 0;
    }
    const ReceiveBuffer &rx(int p = 0) { return panel(p).receive(); }
    // Text of the panel's last shown byte.
    QString cellText(int panel = 0)
    {
        const qint64 last = rx(panel).shownSize() - 1;
        return cell(panel, false, int(last / 16) + 1, int(last % 16) + 1);
    }
    QString clipboard() const { return QApplication::clipboard()->text(); }
};

} // namespace

class TestReceiveTools : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }
    void selectionRanges_data();
    void selectionRanges();
    void selectedBytesAcrossRowsAndChunks_data();
    void selectedBytesAcrossRowsAndChunks();
    void copyTextsFromBothGrids_data();
    void copyTextsFromBothGrids();
    void hexCopyBreaksLinesWhereTheGridDoes();
    void copyAboveTheLimitIsRefused();
    void clicksKeysAndBothGridsShareTheSelection();
    void menuItemsAndTheirPanel();
    void listenOnlyKeptPerPanel();
    void savedRawFileHoldsExactlyWhatWasSent();
    void hexDumpLinesAndTimes();
    void cancelledSaveLeavesNoFile();
    void saveFailuresAreReported_data();
    void saveFailuresAreReported();
    void savesToANodeGoInPlace_data();
    void savesToANodeGoInPlace();
    void failedSyncKeepsTheOlderFile();
    void loggingAcrossClearAndStopStart();
    void logFailureStopsOnlyTheLog_data();
    void logFailureStopsOnlyTheLog();
    void arrivalMarksPerBurst();
    void markOfInAnyOrder();
    void rowLabelTooltip();
    void controlHandsBytesOverAsTheyArrive();
    void clearKeepsWaitingBytesForTheNextTick();
};

void TestReceiveTools::selectionRanges_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("anchor");
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("count");
    QTest::newRow("nothing received") << 0LL << 0LL << 0LL << 0LL << 0LL;
    QTest::newRow("one cell") << 40LL << 5LL << 5LL << 5LL << 1LL;
    QTest::newRow("forwards") << 40LL << 5LL << 20LL << 5LL << 16LL;
    QTest::newRow("backwards") << 40LL << 20LL << 5LL << 5LL << 16LL;
    QTest::newRow("onto the waiting cell") << 40LL << 30LL << 40LL << 30LL << 10LL;
    QTest::newRow("past the end is clamped") << 40LL << 30LL << 900LL << 30LL << 10LL;
}

void TestReceiveTools::selectionRanges()
{
    QFETCH(qint64, limit);
    QFETCH(qint64, anchor);
    QFETCH(qint64, current);
    QFETCH(qint64, first);
    QFETCH(qint64, count);
    ByteSelection s;
    s.setLimit(limit);
    s.setCurrent(anchor, false);
    s.setCurrent(current, true);
    QCOMPARE(s.selected().first, first);
    QCOMPARE(s.selected().count, count);
    s.selectAll();
    QCOMPARE(s.selected().first, 0);
    QCOMPARE(s.selected().count, limit);
    s.reset();
    QCOMPARE(s.current(), 0);
    QCOMPARE(s.selected().count, 0);
}

void TestReceiveTools::selectedBytesAcrossRowsAndChunks_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("count");
    QTest::newRow("within a row") << 3LL << 5LL;
    QTest::newRow("across rows") << 14LL << 20LL;
    QTest::newRow("across a chunk boundary") << 65530LL << 20LL;
    QTest::newRow("across two chunk boundaries") << 100LL << 140000LL;
    QTest::newRow("the last byte") << 200000LL - 1 << 1LL;
}

void TestReceiveTools::selectedBytesAcrossRowsAndChunks()
{
    QFETCH(qint64, first);
    QFETCH(qint64, count);
    QByteArray all(200000, Qt::Uninitialized);
    for (qsizetype i = 0; i < all.size(); ++i)
        all[i] = char(i * 7 + 3);
    ByteStore store;
    // Uneven appends, as ticks bring them.
    for (qsizetype at = 0; at < all.size(); at += 999)
        store.append(all.mid(at, 999));
    const QByteArray expected = all.mid(first, count);
    QCOMPARE(console::copiedText(store, first, count), QString::fromLatin1(expected));
    const QString hex = console::copiedHex(store, first, count);
    QCOMPARE(QByteArray::fromHex(hex.toLatin1()), expected);
}

void TestReceiveTools::copyTextsFromBothGrids_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    QTest::newRow("NUL") << 0x00 << QString(QChar(0)) << "00\n";
    QTest::newRow("line feed") << 0x0A << "\n" << "0A\n";
    QTest::newRow("DEL") << 0x7F << QString(QChar(0x7F)) << "7F\n";
    QTest::newRow("FF") << 0xFF << QStringLiteral("\u00ff") << "FF\n";
}

void TestReceiveTools::copyTextsFromBothGrids()
{
    QFETCH(int, byte);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send(QByteArray("ab") + char(byte) + "c"));
    c.panel(0).receive().selection().setCurrent(2, false);
    c.view(0).copySelection(false);
    QCOMPARE(c.clipboard(), text);
    c.view(0).copySelection(true);
    QCOMPARE(c.clipboard(), hex);
}

void TestReceiveTools::hexCopyBreaksLinesWhereTheGridDoes()
{
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send(everyByteValue(1).left(40)));
    auto &s = c.panel(0).receive().selection();
    s.setCurrent(33, false);
    s.setCurrent(14, true);
    c.view(0).copySelection(true);
    QCOMPARE(c.clipboard(), QStringLiteral("0E 0F\n10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n20 21\n"));
    // The menu copies from the grid it was opened on.
    emit c.w.MSHFlexGrid1[0]->customContextMenuRequested(QPoint(5, 5));
    c.view(0).menu()->hide();
    c.view(0).menu()->copyAction()->trigger();
    QCOMPARE(c.clipboard(), QString::fromLatin1(everyByteValue(1).mid(14, 20)));
}

void TestReceiveTools::copyAboveTheLimitIsRefused()
{
    Console c;
    c.view(0).showReceived(QByteArray(console::kCopyLimit + 1, 'x'));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    c.view(0).selectAllReceived();
    c.view(0).copySelection(true);
    QCOMPARE(c.clipboard(), QStringLiteral("before"));
    QCOMPARE(c.boxes.boxes.size(), 1);
    QVERIFY(c.boxes.boxes[0].text.contains(QStringLiteral("4194304")));
    QVERIFY(c.boxes.boxes[0].text.contains(QStringLiteral("4194305")));
}

void TestReceiveTools::clicksKeysAndBothGridsShareTheSelection()
{
    Console c;
    c.view(0).showReceived(everyByteValue(1).left(100));
    auto *text = c.w.MSHFlexGrid1[0];
    auto *hex = c.w.MSHFlexGrid2[0];
    const auto &s = c.rx().selection();
    auto centre = [](console::ByteGridView *g, int row, int column) { return g->cellRect(row, column).center(); };

    QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, centre(hex, 2, 3));
    QCOMPARE(s.current(), 18);
    QCOMPARE(s.selected().count, 1);
    QTest::mouseClick(text->viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(text, 1, 15));
    QCOMPARE(s.selected().first, 14);
    QCOMPARE(s.selected().count, 5);
    QCOMPARE(text->cellAt(centre(text, 1, 15)), QPoint(15, 1));
    // Dragging in the text grid.
    QTest::mousePress(text->viewport(), Qt::LeftButton, {}, centre(text, 1, 1));
    QMouseEvent move(QEvent::MouseMove, centre(text, 3, 4), text->viewport()->mapToGlobal(centre(text, 3, 4)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text->viewport(), &move);
    QTest::mouseRelease(text->viewport(), Qt::LeftButton, {}, centre(text, 3, 4));
    QCOMPARE(s.selected().first, 0);
    QCOMPARE(s.selected().count, 36);
    // Arrow keys move the current cell; Shift extends; the grid's edge holds.
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Down);
    QCOMPARE(s.current(), 51);
    QTest::keyClick(hex, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(s.selected().first, 51);
    QCOMPARE(s.selected().count, 2);
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(hex, Qt::Key_Up);
    QCOMPARE(s.current(), 4);
    // Select All from the menu: every received byte, whichever grid.
    c.view(0).menu()->selectAllAction()->trigger();
    QCOMPARE(s.selected().first, 0);
    QCOMPARE(s.selected().count, 100);
    // Clear makes (1,1) current again.
    c.w.Command1[0]->click();
    QCOMPARE(s.current(), 0);
    QCOMPARE(s.selected().count, 0);
}

void TestReceiveTools::menuItemsAndTheirPanel()
{
    Console c;
    for (int panel = 0; panel < 2; ++panel) {
        console::ReceiveMenu *menu = c.view(panel).menu();
        QStringList texts;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        QCOMPARE(texts, (QStringList{"&Copy", "Select &All", "&Save Received Bytes...", "&Log to File...",
                                     "&Traffic View...", "&Reconnect Automatically", "&Listen Only", "Choose &Port...",
                                     "Other &Baud Rate...", "Answer as &Device..."}));
        QCOMPARE(menu->copyAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        QCOMPARE(menu->selectAllAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
        QVERIFY(menu->logAction()->isCheckable());
        QVERIFY(!menu->saveAction()->isCheckable());
        // Either grid of the panel opens this panel's menu.
        for (auto *grid : {c.w.MSHFlexGrid1[panel], c.w.MSHFlexGrid2[panel]}) {
            emit grid->customContextMenuRequested(QPoint(10, 30));
            QVERIFY(menu->isVisible());
            QCOMPARE(menu->target(), grid);
            QVERIFY(!c.view(1 - panel).menu()->isVisible());
            menu->hide();
        }
    }
    QVERIFY(c.view(0).menu() != c.view(1).menu());
    // The shortcut works on the focused grid while the menu is closed.
    c.view(1).showReceived(QByteArray("\x01\x02", 2));
    c.w.activateWindow();
    QApplication::setActiveWindow(&c.w);
    c.w.MSHFlexGrid2[1]->setFocus();
    QTest::keyClick(c.w.MSHFlexGrid2[1], Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(c.w.MSHFlexGrid2[1], Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(c.clipboard(), QStringLiteral("01 02\n"));
}

// [Panel<n>] ListenOnly, as a rig writes it, ticks the panel's item and
// holds its port to listening; the item writes it back.
void TestReceiveTools::listenOnlyKeptPerPanel()
{
    testsupport::ConsoleWindow c(QByteArray("[Panel1]\nListenOnly=true\n"));
    QVERIFY(!c.view(0).menu()->listenOnlyAction()->isChecked());
    QVERIFY(c.view(1).menu()->listenOnlyAction()->isChecked());
    QVERIFY(!c.panel(0).control().listenOnly());
    QVERIFY(c.panel(1).control().listenOnly());
    c.view(0).menu()->listenOnlyAction()->trigger();
    c.view(1).menu()->listenOnlyAction()->trigger();
    QVERIFY(c.panel(0).control().listenOnly());
    QVERIFY(!c.panel(1).control().listenOnly());
    QCOMPARE(c.stored("Panel0/ListenOnly").toBool(), true);
    QCOMPARE(c.stored("Panel1/ListenOnly").toBool(), false);
}

void TestReceiveTools::savedRawFileHoldsExactlyWhatWasSent()
{
    Console c;
    QVERIFY(c.start());
    QByteArray sent = everyByteValue(3);
    for (int i = 0; i < 70000; ++i)
        sent.append(char(i * 13 + i / 256));
    QVERIFY(c.send(sent.left(1000)));
    QVERIFY(c.send(sent.mid(1000)));
    QCOMPARE(c.rx().shownSize(), sent.size());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.bin"));
    QVERIFY(writeFile(path, "an older, longer file of that name that must be replaced whole"));
    c.files.save = FileChooser::SaveTarget{path, false};
    c.view(0).menu()->saveAction()->trigger();
    QCOMPARE(c.boxes.boxes.size(), 0);
    QCOMPARE(readFile(path), sent);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"line.bin"});
}

void TestReceiveTools::hexDumpLinesAndTimes()
{
    Console c;
    qint64 now = utc(14, 3, 11, 482);
    c.panel(0).receive().setClock([&] { return now; });
    c.view(0).showReceived(QByteArray("Hello\r\n\x00\xff" "ABCDEFGHIJ", 19));
    now = utc(14, 3, 12, 0);
    c.view(0).showReceived(QByteArray("0123456789:;<=>?@ABCDEFGHIJKL"));
    // This tick's first byte starts the fourth line.
    now = utc(14, 3, 12, 500);
    c.view(0).showReceived(QByteArray("Z"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dump.txt"));
    c.files.save = FileChooser::SaveTarget{path, true};
    c.view(0).saveReceived();
    QCOMPARE(c.boxes.boxes.size(), 0);
    const QByteArray expected =
        "00000000  48 65 6C 6C 6F 0D 0A 00 FF 41 42 43 44 45 46 47  Hello....ABCDEFG  2026-12-07 14:03:11.482\n"
        "00000010  48 49 4A 30 31 32 33 34 35 36 37 38 39 3A 3B 3C  HIJ0123456789:;<  2026-12-07 14:03:11.482\n"
        "00000020  3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A 4B 4C  =>?@ABCDEFGHIJKL  2026-12-07 14:03:12.000\n"
        "00000030  5A" + QByteArray(45, ' ') + "  Z" + QByteArray(15, ' ') + "  2026-12-07 14:03:12.500\n";
    QCOMPARE(readFile(path), expected);
}

void TestReceiveTools::cancelledSaveLeavesNoFile()
{
    ByteStore store;
    store.append(QByteArray(9 * 1024 * 1024, 'q'));
    console::ArrivalTimes times;
    times.arrived(0, console::ArrivalClock::fromMilliseconds([] { return utc(9, 0, 0, 0); }));
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
    int reports = 0;
    auto result = console::saveHexDump(store, times, store.size(), fresh, [&](qint64, qint64) { return ++reports < 2; });
    QVERIFY(result.cancelled);
    QVERIFY(!result.ok);
    QCOMPARE(reports, 2);
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // A cancelled save over an older file keeps the older file as it was.
    const QString older = dir.filePath(QStringLiteral("older.bin"));
    QVERIFY(writeFile(older, "kept"));
    result = console::saveRaw(store, store.size(), older, [](qint64, qint64) { return false; });
    QVERIFY(result.cancelled);
    QCOMPARE(readFile(older), QByteArray("kept"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"older.bin"});
    // A Clear while the save lets events run is a failure to tell, not a cancel.
    result = console::saveHexDump(store, times, store.size(), older, [&](qint64, qint64) { store.clear(); return true; });
    QVERIFY(!result.ok && !result.cancelled);
    QCOMPARE(result.error, QStringLiteral("the received bytes were cleared while saving"));
    QCOMPARE(readFile(older), QByteArray("kept"));
}

void TestReceiveTools::saveFailuresAreReported_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("received");
    QTest::addColumn<int>("sizeLimit"); // 0: none
    QTest::addColumn<bool>("hexDump");
    QTest::addColumn<QString>("reason");
    const QString missing = QStringLiteral("No such file or directory");
    const QString tooLarge = QStringLiteral("File too large");
    QTest::newRow("missing folder, raw") << "missing/deeper" << 200000 << 0 << false << missing;
    QTest::newRow("missing folder, hex dump") << "missing/deeper" << 200000 << 0 << true << missing;
    QTest::newRow("full disk, raw") << "" << 200000 << 50000 << false << tooLarge;
    QTest::newRow("full disk, hex dump") << "" << 200000 << 50000 << true << tooLarge;
    // The whole file is smaller than a write buffer: the failure comes with
    // the last bytes.
    QTest::newRow("full at the end, raw") << "" << 1000 << 500 << false << tooLarge;
    QTest::newRow("full at the end, hex dump") << "" << 1000 << 500 << true << tooLarge;
    QTest::newRow("full at the end, older file") << "older" << 1000 << 500 << false << tooLarge;
    if (::geteuid() != 0)
        QTest::newRow("read-only folder") << "readonly" << 200000 << 0 << false << "Permission denied";
}

void TestReceiveTools::saveFailuresAreReported()
{
    QFETCH(QString, folder);
    QFETCH(int, received);
    QFETCH(int, sizeLimit);
    QFETCH(bool, hexDump);
    QFETCH(QString, reason);
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send(QByteArray(received, 'r')));
    QTemporaryDir dir;
    if (folder == QStringLiteral("readonly")) {
        QVERIFY(QDir(dir.path()).mkdir(folder));
        QFile::setPermissions(dir.filePath(folder), QFile::ReadOwner | QFile::ExeOwner);
    }
    const bool older = folder == QStringLiteral("older");
    const QString path = dir.filePath(folder.isEmpty() || older ? QStringLiteral("out.bin") : folder + "/out.bin");
    if (older)
        QVERIFY(writeFile(path, "kept"));
    c.files.save = FileChooser::SaveTarget{path, hexDump};
    {
        // A file-size limit stands in for a full disk: writes past it fail.
        std::optional<testsupport::FileSizeLimit> full;
        if (sizeLimit > 0)
            QVERIFY(full.emplace(rlim_t(sizeLimit)).ok());
        c.view(0).saveReceived();
    }
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("Could not save %1: %2").arg(path, reason)});
    QCOMPARE(readFile(path), older ? QByteArray("kept") : QByteArray("<missing>"));
    if (sizeLimit > 0)
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), older ? QStringList{"out.bin"} : QStringList{});
    // The panel goes on receiving.
    QVERIFY(c.send("more"));
    QCOMPARE(c.rx().shownSize(), received + 4);
}

void TestReceiveTools::savesToANodeGoInPlace_data()
{
    QTest::addColumn<QString>("node");   // a device path, or "fifo"
    QTest::addColumn<bool>("reader");    // the FIFO has a reader
    QTest::addColumn<bool>("hexDump");
    QTest::addColumn<QString>("reason"); // empty: saved
    // Nodes of the test's own, never the system's: a writer that replaced
    // a node would replace /dev/full itself when run as root.
    QTest::newRow("full device, raw") << "full" << false << false << "No space left on device";
    QTest::newRow("full device, hex dump") << "full" << false << true << "No space left on device";
    QTest::newRow("null device") << "null" << false << false << "";
    QTest::newRow("FIFO nobody reads") << "fifo" << false << false << "No such device or address";
    QTest::newRow("FIFO with a reader") << "fifo" << true << false << "";
}

// A device node or FIFO is written as it stands and never replaced by a
// regular file; its failure is the system's own reason.
void TestReceiveTools::savesToANodeGoInPlace()
{
    QFETCH(QString, node);
    QFETCH(bool, reader);
    QFETCH(bool, hexDump);
    QFETCH(QString, reason);
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send("node bytes"));
    QTemporaryDir dir;
    int readEnd = -1;
    const QString name = node;
    node = dir.filePath(name);
    if (name == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(node).constData(), 0600), 0);
        if (reader)
            QVERIFY((readEnd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK)) >= 0);
    } else {
        // The memory devices: 1,7 is full, 1,3 null.
        if (::geteuid() != 0)
            QSKIP("only root makes device nodes");
        QCOMPARE(::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, name == "full" ? 7 : 3)), 0);
    }
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(node).constData(), &before), 0);
    c.files.save = FileChooser::SaveTarget{node, hexDump};
    c.view(0).saveReceived();
    QCOMPARE(c.boxes.texts(), reason.isEmpty() ? QStringList{}
                                               : QStringList{QString("Could not save %1: %2").arg(node, reason)});
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(node).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    if (readEnd >= 0) {
        char got[64] = {};
        QCOMPARE(::read(readEnd, got, sizeof got), ssize_t(10));
        QCOMPARE(QByteArray(got), QByteArray("node bytes"));
        ::close(readEnd);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{name});
}

void TestReceiveTools::failedSyncKeepsTheOlderFile()
{
    // A disk that takes the writes but cannot keep them fails at the sync,
    // before the file is renamed over the older one.
    QTemporaryDir dir;
    const QString path = dir.filePath("older.bin");
    QVERIFY(writeFile(path, "kept"));
    console::FileWriter writer(path, [](QFileDevice &, QString *reason) {
        *reason = QStringLiteral("Input/output error");
        return false;
    });
    QVERIFY(writer.open());
    QVERIFY(writer.write("lost"));
    QVERIFY(!writer.commit());
    QCOMPARE(writer.errorString(), QString("Input/output error"));
    QCOMPARE(readFile(path), QByteArray("kept"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"older.bin"});
}

void TestReceiveTools::loggingAcrossClearAndStopStart()
{
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send("before the log|"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("panel.log"));
    QVERIFY(writeFile(path, "kept:"));
    c.files.log = path;
    QAction *item = c.view(0).menu()->logAction();
    item->trigger();
    QVERIFY(item->isChecked());
    // The item names the file, and the grids say where the panel logs, also
    // over a byte cell.
    QCOMPARE(item->text(), QString("&Log to File... (panel.log)"));
    const QPoint cell = c.w.MSHFlexGrid2[0]->cellRect(1, 3).center();
    QHelpEvent hover(QEvent::ToolTip, cell, c.w.MSHFlexGrid2[0]->viewport()->mapToGlobal(cell));
    QApplication::sendEvent(c.w.MSHFlexGrid2[0]->viewport(), &hover);
    QCOMPARE(QToolTip::text(), "Logging to " + path);
    QCOMPARE(c.w.MSHFlexGrid1[0]->toolTip(), "Logging to " + path);
    const QByteArray all = everyByteValue(2);
    QVERIFY(c.send(all.left(300)));
    // Flushed at the tick: the file holds it before logging stops.
    QCOMPARE(readFile(path), "kept:" + all.left(300));
    c.w.Command1[0]->click();
    QVERIFY(c.send(all.mid(300, 100)));
    // Stopping and starting the panel does not stop the log.
    c.w.Check1[0]->setChecked(false);
    c.w.Timer1_Timer();
    QVERIFY(c.start());
    QVERIFY(c.send(all.mid(400)));
    item->trigger(); // unchecked: the log stops
    QVERIFY(!item->isChecked());
    QCOMPARE(item->text(), QString("&Log to File..."));
    QCOMPARE(c.w.MSHFlexGrid2[0]->toolTip(), QString());
    QVERIFY(c.send("not logged|"));
    item->trigger(); // checked again: appended to the same file
    QVERIFY(c.send("again"));
    QCOMPARE(readFile(path), "kept:" + all + "again");
    QCOMPARE(c.boxes.boxes.size(), 0);
    // A cancelled file dialog leaves the item unchecked.
    item->trigger();
    c.files.log.reset();
    item->trigger();
    QVERIFY(!item->isChecked());
    QVERIFY(!c.panel(0).log().isOpen());
}

void TestReceiveTools::logFailureStopsOnlyTheLog_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("failsAtOpen");
    QTest::addColumn<int>("sizeLimit"); // 0: none
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << "/dev/full" << false << 0 << "No space left on device";
    QTest::newRow("missing folder") << "/nonexistent-folder/panel.log" << true << 0 << "No such file or directory";
    QTest::newRow("file-size limit") << m_home.filePath("limited.log") << false << 3000 << "File too large";
}

void TestReceiveTools::logFailureStopsOnlyTheLog()
{
    QFETCH(QString, path);
    QFETCH(bool, failsAtOpen);
    QFETCH(int, sizeLimit);
    QFETCH(QString, reason);
    Console c;
    QVERIFY(c.start());
    c.files.log = path;
    QAction *item = c.view(0).menu()->logAction();
    item->trigger();
    QCOMPARE(item->isChecked(), !failsAtOpen);
    if (!failsAtOpen) {
        QVERIFY(c.boxes.boxes.isEmpty());
        std::optional<testsupport::FileSizeLimit> full;
        if (sizeLimit > 0)
            QVERIFY(full.emplace(rlim_t(sizeLimit)).ok());
        QVERIFY(c.send(QByteArray(5000, 'f')));
    }
    QVERIFY(!item->isChecked());
    QCOMPARE(item->text(), QString("&Log to File..."));
    QCOMPARE(c.boxes.boxes.size(), 1);
    const QString text = c.boxes.boxes[0].text;
    QVERIFY2(text.contains(path) && text.endsWith(reason), qPrintable(text));
    QVERIFY(c.send("still receiving"));
    QCOMPARE(c.w.Check1[0]->isChecked(), true);
    QCOMPARE(c.cellText(), QStringLiteral("g"));
    QCOMPARE(c.boxes.boxes.size(), 1);
}

void TestReceiveTools::arrivalMarksPerBurst()
{
    ReceiveBuffer b;
    qint64 mono = 5000000;
    qint64 wall = utc(14, 3, 11, 482) * 1000;
    b.setClock(console::ArrivalClock{[&] { return mono; }, [&] { return wall; }});
    auto later = [&](qint64 us) {
        mono += us;
        wall += us;
    };
    const console::ArrivalTimes &t = b.arrivalTimes();
    b.append("abc");
    later(999);
    b.received("de", 2); // within 1 ms of the last bytes: their mark
    later(1000);
    b.received("fgh", 3); // after 1 ms of silence: a mark, taken as they come
    later(500000);
    b.showWaiting();
    b.append({}); // a tick that brought nothing
    wall += 3600LL * 1000 * 1000; // the wall clock is set an hour ahead
    later(2000);
    b.append("ij");
    QCOMPARE(int(t.count()), 3);
    QCOMPARE(t.mark(1).firstByte, 5);
    QCOMPARE(t.mark(2).firstByte, 8);
    QCOMPARE(t.idleBeforeUs(1), 1000);
    QCOMPARE(t.timeOf(4), utc(14, 3, 11, 482));
    QCOMPARE(t.timeOf(7), utc(14, 3, 11, 483));
    QCOMPARE(t.timeOf(9), utc(15, 3, 11, 985));
    // Discarded bytes take their marks along; a Clear keeps those of the
    // bytes still waiting, which become the first.
    later(2000);
    b.received("kl", 2);
    b.discarded();
    QCOMPARE(int(t.count()), 3);
    later(2000);
    b.received("mn", 2);
    b.reset();
    QCOMPARE(int(t.count()), 1);
    QCOMPARE(t.mark(0).firstByte, 0);
    QCOMPARE(t.timeOf(1), utc(15, 3, 11, 989));
}

void TestReceiveTools::markOfInAnyOrder()
{
    // Bursts at bytes 0, 3, 4 and 10: each byte's burst, asked forwards,
    // backwards and by jumps, and again after the marks shrank under it.
    console::ArrivalTimes t;
    qint64 now = 0;
    const console::ArrivalClock clock{[&] { return now; }, [&] { return now; }};
    for (const qint64 first : {0, 3, 4, 10}) {
        t.arrived(first, clock);
        now += 5000;
    }
    const auto burstOf = [](qint64 i) { return i < 3 ? 0 : i < 4 ? 1 : i < 10 ? 2 : 3; };
    QList<qint64> order;
    for (qint64 i = 0; i < 14; ++i)
        order << i;
    for (qint64 i = 13; i >= 0; --i)
        order << i;
    order << 12 << 0 << 9 << 3 << 4 << 2 << 11 << 1 << 10;
    for (const qint64 i : order)
        QCOMPARE(t.markOf(i), std::optional<size_t>(burstOf(i)));
    QVERIFY(t.markOf(13));
    t.truncate(4); // the last two bursts go
    QCOMPARE(t.markOf(13), std::optional<size_t>(1));
    QCOMPARE(t.markOf(2), std::optional<size_t>(0));
    t.dropBefore(3); // byte 3 becomes byte 0, in what was the second burst
    QCOMPARE(int(t.count()), 1);
    QCOMPARE(t.markOf(0), std::optional<size_t>(0));
    QCOMPARE(t.markOf(5), std::optional<size_t>(0));
}

void TestReceiveTools::rowLabelTooltip()
{
    Console c;
    QAbstractItemModelTester check(c.panel(0).receive().textModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    qint64 now = utc(14, 3, 11, 482);
    c.panel(0).receive().setClock([&] { return now; });
    c.view(0).showReceived(QByteArray(20, 'a'));
    now = utc(14, 3, 11, 982);
    c.view(0).showReceived(QByteArray(300, 'b'));
    auto tip = [&](int row) {
        auto *m = c.w.MSHFlexGrid2[0]->model();
        return m->data(m->index(row, 0), Qt::ToolTipRole).toString();
    };
    QCOMPARE(tip(1), QStringLiteral("Row 0 \u2014 2026-12-07 14:03:11.482"));
    QCOMPARE(tip(2), QStringLiteral("Row 1 \u2014 2026-12-07 14:03:11.482"));
    QCOMPARE(tip(3), QStringLiteral("Row 2 \u2014 2026-12-07 14:03:11.982"));
    QCOMPARE(tip(21), QStringLiteral("Row 20"));
    // Hovering a label shows it; hovering a byte cell shows nothing.
    auto *grid = c.w.MSHFlexGrid1[0];
    grid->setFirstVisibleRow(15);
    const QPoint label = grid->cellRect(17, 0).center();
    QHelpEvent hover(QEvent::ToolTip, label, grid->viewport()->mapToGlobal(label));
    QApplication::sendEvent(grid->viewport(), &hover);
    QCOMPARE(QToolTip::text(), QStringLiteral("Row 16 \u2014 2026-12-07 14:03:11.982"));
    // The label column keeps its width: long numbers are read in the tooltip.
    QCOMPARE(grid->cellRect(17, 0).width(), grid->cellRect(1, 0).width());
}

namespace {
struct RecordingSink final : serial::ReceiveSink {
    QByteArray got;
    int discards = 0;
    void received(const char *data, qint64 count) override { got.append(data, count); }
    void discarded() override { ++discards; }
};
} // namespace

void TestReceiveTools::controlHandsBytesOverAsTheyArrive()
{
    PseudoTerminal pty;
    serial::SerialControl comm;
    RecordingSink sink;
    comm.setReceiveSink(&sink);
    comm.setDevice(pty.slavePath());
    QVERIFY(comm.setPortOpen(true));
    const QByteArray all = everyByteValue(40);
    pty.write(all);
    QTRY_COMPARE(sink.got.size(), all.size());
    QCOMPARE(sink.got, all);
    // Handed over, yet counted as waiting until the poll reads.
    QCOMPARE(comm.inBufferCount(), all.size());
    QVERIFY(comm.input().isEmpty());
    QCOMPARE(comm.inBufferCount(), 0);
    pty.write("xyz");
    QTRY_COMPARE(comm.inBufferCount(), 3);
    comm.clearInBuffer();
    QCOMPARE(sink.discards, 1);
    QCOMPARE(comm.inBufferCount(), 0);
    pty.write("12");
    QTRY_COMPARE(comm.inBufferCount(), 2);
    QVERIFY(comm.setPortOpen(false));
    QCOMPARE(sink.discards, 2);
    comm.setReceiveSink(nullptr);
}

void TestReceiveTools::clearKeepsWaitingBytesForTheNextTick()
{
    Console c;
    QVERIFY(c.start());
    QVERIFY(c.send("first"));
    c.pty.write("waiting");
    QTRY_COMPARE(c.w.MSComm1[0].inBufferCount(), 7);
    c.w.Command1[0]->click();
    QCOMPARE(c.rx().shownSize(), 0);
    c.w.Timer1_Timer();
    QCOMPARE(c.rx().shownSize(), 7);
    QCOMPARE(console::copiedText(c.rx().store(), 0, 7), QStringLiteral("waiting"));
    // A stopping panel's waiting bytes go with the port.
    c.pty.write("dropped");
    QTRY_COMPARE(c.w.MSComm1[0].inBufferCount(), 7);
    c.w.Check1[0]->setChecked(false);
    c.w.Timer1_Timer();
    QCOMPARE(c.rx().store().size(), 7);
}

QTEST_MAIN(TestReceiveTools)
#include "tst_receive_tools.moc"
