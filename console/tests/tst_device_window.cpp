// "Answer as Device..." of a started panel: the window, its tables, the
// panel answering a master the test plays on a pseudo-terminal, and the
// answers as sent rows of the panel.
#include "console/device/device_window.h"
#include "console/device/register_model.h"
#include "console/frmmain.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

using console::DeviceWindow;
using console::RegisterModel;
using protocol::RegisterKind;
using testsupport::PseudoTerminal;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using testsupport::hex;
using testsupport::spaced;

struct Console : testsupport::ConsoleWindow {
    PseudoTerminal pty;
    QTemporaryDir folder;

    bool start()
    {
        w.Combo1[0]->setEditText(pty.slavePath());
        w.Check1[0]->setChecked(true);
        return w.MSComm1[0].portOpen();
    }
    DeviceWindow *openDevice(const QByteArray &table)
    {
        const QString path = folder.filePath("table.csv");
        writeFile(path, table);
        view(0).menu()->deviceAction()->trigger();
        DeviceWindow *device = w.deviceWindow(0);
        if (!device)
            return nullptr;
        files.tableToLoad = path;
        device->loadTable();
        return device;
    }
    // What the panel sends, while the window's events run (its poll is a
    // timer of the device window). Where nothing is to come, a shorter wait
    // (`tries` of 10 ms) does.
    QByteArray answer(int count, int tries = 500)
    {
        QByteArray got;
        for (int i = 0; i < tries && got.size() < count; ++i) {
            QTest::qWait(10);
            // Less than a few milliseconds reads nothing.
            got += pty.readAvailable(5);
        }
        return got;
    }
    QByteArray ask(const char *request, int count)
    {
        pty.write(hex(request));
        return answer(count);
    }
    // A recording of unit 1's holding registers 0-1 (10 117) and unit 5's
    // register 1, loaded into the device; its path.
    QString loadPollCapture(DeviceWindow &device)
    {
        const QString capture = folder.filePath("poll.csv");
        writeFile(capture, "time,panel,port,gap_ms,length,hex,text,check,event\n"
                           "2026-12-07T14:03:11.000,left,COM1,,8,01 03 00 00 00 02 C4 0B,,,\n"
                           "2026-12-07T14:03:11.020,right,COM2,11.0,9,01 03 04 00 0A 00 75 1B D6,,,\n"
                           "2026-12-07T14:03:11.500,left,COM1,,8,05 03 00 01 00 01 D4 4E,,,\n"
                           "2026-12-07T14:03:11.520,right,COM2,11.0,7,05 03 02 01 2C 49 C9,,,\n");
        files.recording = capture;
        device.loadCapture();
        return capture;
    }
    bool unanswered(const char *request)
    {
        pty.write(hex(request));
        return answer(1, 50).isEmpty();
    }
};

// The request lines the window lists, each without its time of day (checked
// for its form).
QStringList requestLines(DeviceWindow &device)
{
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    QStringList lines;
    const console::RequestLog &log = device.requestLog();
    for (int row = 0; row < log.rowCount(); ++row) {
        const QString line = log.data(log.index(row), Qt::DisplayRole).toString();
        lines << (time.match(line).hasMatch() ? line.mid(13) : QStringLiteral("no time: ") + line);
    }
    return lines;
}

const QByteArray kTable = "coil,0,1\ncoil,1,1\nholding,0,10\nholding,1,20\ninput,5,7\n";

} // namespace

class TestDeviceWindow : public QObject {
    Q_OBJECT

private slots:
    void onlyForAStartedPanel()
    {
        Console c;
        QAction *item = c.view(0).menu()->deviceAction();
        QCOMPARE(item->text(), "Answer as &Device...");
        QVERIFY(!item->isEnabled());
        QVERIFY(c.start());
        QVERIFY(item->isEnabled());
        c.w.Check1[0]->setChecked(false);
        QVERIFY(!item->isEnabled());
    }

    void answersWritesAndSentRows()
    {
        Console c;
        QVERIFY(c.start());
        DeviceWindow *device = c.openDevice(kTable);
        QVERIFY(device);
        QCOMPARE(device->windowTitle(), "Tavrin Device - " + c.pty.slavePath());
        QVERIFY(!device->isModal());
        QCOMPARE(device->replyDelay()->minimum(), 0);
        QCOMPARE(device->replyDelay()->maximum(), 10000);
        QCOMPARE(device->tables()->count(), 4);
        QCOMPARE(device->model(RegisterKind::Holding).rowCount(), 2);
        // Holding 0-1 read.
        QCOMPARE(spaced(c.ask("01 03 00 00 00 02 C4 0B", 9)), "01 03 04 00 0A 00 14 DA 3E");
        // A write changes the table at once, marked.
        QCOMPARE(spaced(c.ask("01 06 00 01 01 2C D8 47", 8)), "01 06 00 01 01 2C D8 47");
        RegisterModel &holding = device->model(RegisterKind::Holding);
        QCOMPARE(holding.data(holding.index(1, RegisterModel::ValueColumn), Qt::DisplayRole).toInt(), 300);
        QVERIFY(holding.isMarked(1));
        QVERIFY(!holding.isMarked(0));
        QCOMPARE(holding.data(holding.index(1, RegisterModel::ValueColumn), Qt::ToolTipRole).toString(),
                 "Written by the master");
        // Each answer went out through the panel: two sent events with its
        // bytes.
        int sent = 0;
        for (const console::PortEvent &e : c.panel(0).events())
            sent += e.kind == console::PortEventKind::Sent;
        QCOMPARE(sent, 2);
        QByteArray sentBytes;
        c.panel(0).sentBytes().forEachSpan(0, c.panel(0).sentBytes().size(),
                                           [&](QByteArrayView piece) { sentBytes += piece; });
        QCOMPARE(spaced(sentBytes),
                 "01 03 04 00 0A 00 14 DA 3E 01 06 00 01 01 2C D8 47");
        // Clear empties the panel; the device goes on with what comes next.
        c.w.Command1[0]->click();
        QCOMPARE(spaced(c.ask("01 01 00 00 00 02 BD CB", 6)), "01 01 01 03 11 89");
        // Another unit, once typed; a text that is no unit list keeps them.
        device->units()->setText("2");
        QVERIFY(c.unanswered("01 01 00 00 00 02 BD CB"));
        QCOMPARE(spaced(c.ask("02 04 00 05 00 01 21 F8", 7)), "02 04 02 00 07 BC F2");
        device->units()->setText("2,300");
        QCOMPARE(spaced(c.ask("02 04 00 05 00 01 21 F8", 7)), "02 04 02 00 07 BC F2");
        QCOMPARE(device->status()->text(), "Requests 6, answered 5, exceptions 0, no answer 1, dropped 0");
        QCOMPARE(requestLines(*device).first(), "unit 1 function 3 address 0 count 2 ok");
        QCOMPARE(requestLines(*device).at(3), "unit 1 function 1 address 0 count 2 other unit, no answer");
        QCOMPARE(requestLines(*device).size(), 6);
        // Closing stops answering.
        device->close();
        QTRY_VERIFY(!c.w.deviceWindow(0));
        QVERIFY(c.unanswered("02 04 00 05 00 01 21 F8"));
    }

    void loadAndSave()
    {
        Console c;
        QVERIFY(c.start());
        DeviceWindow *device = c.openDevice("holding,1,5\nholding,1,6\n");
        QVERIFY(device);
        QCOMPARE(c.boxes.texts().size(), 1);
        QVERIFY2(c.boxes.texts()[0].endsWith("line 2: holding 1 was given on line 1 too; the later value 6 is kept"),
                 qPrintable(c.boxes.texts()[0]));
        QCOMPARE(device->table().value(RegisterKind::Holding, 1), std::optional<std::uint16_t>(6));
        // A bad file loads nothing: the table stays.
        writeFile(c.folder.filePath("bad.csv"), "holding,2,1\ncoil,3,7\n");
        c.files.tableToLoad = c.folder.filePath("bad.csv");
        device->loadTable();
        QVERIFY2(c.boxes.texts().last().endsWith("line 2: value \"7\" is out of range 0-1 in table coil"),
                 qPrintable(c.boxes.texts().last()));
        QCOMPARE(c.boxes.boxes.last().icon, desktop::BoxIcon::Critical);
        QCOMPARE(device->table().size(), 1u);
        // Edited, then saved.
        device->tables()->setCurrentIndex(int(RegisterKind::Coil));
        device->addEntry();
        device->addEntry();
        RegisterModel &coils = device->model(RegisterKind::Coil);
        QVERIFY(coils.setData(coils.index(1, RegisterModel::ValueColumn), 1, Qt::EditRole));
        c.files.tableToSave = c.folder.filePath("saved.csv");
        device->saveTable();
        QCOMPARE(readFile(c.folder.filePath("saved.csv")),
                 QByteArray("table,address,value\ncoil,0,0\ncoil,1,1\nholding,1,6\n"));
        device->close();
    }

    // From a Capture...: the recorded answer to a recorded request, nothing
    // to any other; the counts shown; a file with nothing to play refused.
    void answersFromACapture()
    {
        Console c;
        QVERIFY(c.start());
        DeviceWindow *device = c.openDevice(kTable);
        QVERIFY(device);
        QVERIFY(!device->recordedTimes()->isVisibleTo(device));
        const QString capture = c.loadPollCapture(*device);
        QCOMPARE(device->capture(), capture);
        QVERIFY(device->recordedTimes()->isVisibleTo(device));
        QVERIFY(device->device().fromRecording());
        // Not the table's 10 20: the recording's 10 117.
        QCOMPARE(spaced(c.ask("01 03 00 00 00 02 C4 0B", 9)), "01 03 04 00 0A 00 75 1B D6");
        // Unit 5 was recorded, but the device is unit 1; the table's own
        // requests are not recorded.
        QVERIFY(c.unanswered("05 03 00 01 00 01 D4 4E"));
        QVERIFY(c.unanswered("01 01 00 00 00 02 BD CB"));
        QCOMPARE(device->status()->text(),
                 "From poll.csv (1 exchanges): requests 3, matched 1, not recorded 2, answered 1");
        // A line per request, as the command prints them.
        QCOMPARE(requestLines(*device), QStringList({
                                            "Read holding registers 0-1, unit 1: answered from the recording",
                                            "Read holding registers 1-1, unit 5: not in the recording, no answer",
                                            "Read coils 0-1, unit 1: not in the recording, no answer",
                                        }));
        QCOMPARE(device->requestHeading()->text(), "Re&quests:");
        // Units edited: the recording is played for them, from all of it;
        // units it holds nothing for leave it as it was.
        device->units()->setText("1,5");
        QCOMPARE(spaced(c.ask("05 03 00 01 00 01 D4 4E", 7)), "05 03 02 01 2C 49 C9");
        device->units()->setText("7");
        QCOMPARE(device->problem()->text(), "Answering as before: poll.csv holds no request for unit 7");
        QCOMPARE(spaced(c.ask("05 03 00 01 00 01 D4 4E", 7)), "05 03 02 01 2C 49 C9");
        device->units()->setText("1");
        QVERIFY(device->problem()->text().isEmpty());
        QVERIFY(c.unanswered("05 03 00 01 00 01 D4 4E"));
        // A capture that holds no request: refused, the recording kept.
        writeFile(c.folder.filePath("answers.csv"), "time,panel,port,gap_ms,length,hex,text,check,event\n"
                                                    "2026-12-07T14:03:11.020,right,COM2,,2,01 83,,,\n");
        c.files.recording = c.folder.filePath("answers.csv");
        device->loadCapture();
        QVERIFY2(c.boxes.texts().last().contains("cannot be played: it holds no Modbus RTU request"),
                 qPrintable(c.boxes.texts().last()));
        QCOMPARE(device->capture(), capture);
        c.files.recording = capture;
        device->units()->setText("7");
        device->loadCapture();
        QVERIFY2(c.boxes.texts().last().endsWith("holds no request for unit 7"), qPrintable(c.boxes.texts().last()));
        device->close();
    }

    // A master that writes 1100 requests while the answers wait their 10 s:
    // 64 wait, the others are dropped and counted; the window keeps the
    // newest 1000 lines and says how many went.
    void floodFromACapture()
    {
        Console c;
        QVERIFY(c.start());
        DeviceWindow *device = c.openDevice(kTable);
        QVERIFY(device);
        c.loadPollCapture(*device);
        device->replyDelay()->setValue(10000);
        device->recordedTimes()->setChecked(false);
        QByteArray flood;
        for (int i = 0; i < 1100; ++i)
            flood += hex("01 03 00 00 00 02 C4 0B");
        c.pty.write(flood);
        QTRY_COMPARE_WITH_TIMEOUT(device->device().recordingCounts().matched, 1100, 60000);
        QCOMPARE(device->device().recordingCounts().dropped, 1100 - 64);
        QCOMPARE(device->requestLog().rowCount(), 1000);
        const QStringList lines = requestLines(*device);
        QCOMPARE(lines.first(), "Read holding registers 0-1, unit 1: dropped: too many waiting");
        QCOMPARE(lines.last(), "Read holding registers 0-1, unit 1: dropped: too many waiting");
        QCOMPARE(lines.count("Read holding registers 0-1, unit 1: answered from the recording"), 0);
        QCOMPARE(device->requestHeading()->text(), "Re&quests (the newest 1000; 100 older ones dropped):");
        device->close();
    }

    // The newest lines kept, one insert a batch; the others counted, with
    // those the device let go before the window saw them.
    void requestLogIsBounded()
    {
        console::RequestLog log(3);
        QAbstractItemModelTester tester(&log, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto rows = [&] {
            QStringList out;
            for (int row = 0; row < log.rowCount(); ++row)
                out << log.data(log.index(row), Qt::DisplayRole).toString();
            return out;
        };
        QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
        log.append({"a", "b", "c"});
        QCOMPARE(rows(), QStringList({"a", "b", "c"}));
        QCOMPARE(removed.count(), 0); // filled to the brim, nothing let go
        QCOMPARE(log.dropped(), 0);
        log.append({"d"});
        QCOMPARE(rows(), QStringList({"b", "c", "d"}));
        QCOMPARE(log.dropped(), 1);
        // More than the log holds at once: the batch's newest.
        log.append({"e", "f", "g", "h"}, 2);
        QCOMPARE(rows(), QStringList({"f", "g", "h"}));
        QCOMPARE(log.dropped(), 1 + 2 + 1 + 3);
        log.append({}, 5);
        QCOMPARE(log.dropped(), 12);
        QCOMPARE(log.rowCount(), 3);
        QVERIFY(!log.data(log.index(2), Qt::EditRole).isValid());
    }

    void modelEdits()
    {
        protocol::RegisterTable table;
        table.set(RegisterKind::Coil, 3, 1);
        table.set(RegisterKind::Coil, 9, 0);
        RegisterModel coils(table, RegisterKind::Coil);
        QAbstractItemModelTester tester(&coils, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto value = coils.index(0, RegisterModel::ValueColumn);
        const auto address = coils.index(0, RegisterModel::AddressColumn);
        QVERIFY(!coils.setData(value, 2, Qt::EditRole));
        QVERIFY(!coils.setData(value, -1, Qt::EditRole));
        QVERIFY(coils.setData(value, 0, Qt::EditRole));
        QVERIFY(!coils.setData(address, 9, Qt::EditRole)); // taken
        QVERIFY(!coils.setData(address, 65536, Qt::EditRole));
        QVERIFY(coils.setData(address, 65535, Qt::EditRole));
        QCOMPARE(coils.data(coils.index(1, RegisterModel::AddressColumn), Qt::DisplayRole).toInt(), 65535);
        QVERIFY(!table.value(RegisterKind::Coil, 3));
        int row = -1;
        QVERIFY(!coils.addEntry(&row)); // after 65535 there is none
        coils.removeEntry(1);
        QVERIFY(coils.addEntry(&row));
        QCOMPARE(row, 1);
        QCOMPARE(table.value(RegisterKind::Coil, 10), std::optional<std::uint16_t>(0));
        coils.written(10);
        QVERIFY(coils.isMarked(10));
        QVERIFY(coils.data(coils.index(1, RegisterModel::ValueColumn), Qt::FontRole).value<QFont>().bold());
        coils.reload();
        QVERIFY(!coils.isMarked(10));
    }
};

QTEST_MAIN(TestDeviceWindow)
#include "tst_device_window.moc"
