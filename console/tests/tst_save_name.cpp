// The file a save dialog's answer writes, and the question asked before,
// over a real folder.
#include "console/files/file_chooser.h"
#include "console/files/save_name.h"
#include "tests/support/files.h"
#include "tests/support/modal_answers.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestSaveName : public QObject {
    Q_OBJECT
private slots:
    // The save, log and export items' dialogs as a user answers them: the
    // file written, and the question asked before about that very file.
    void fileWrittenAndQuestion_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed"); // in the folder
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("type"); // what the file is written as
        const QString raw = "Raw bytes (*.bin)";
        const QString hexDump = "Hex dump with arrival times (*.txt)";
        const QString csv = "CSV (*.csv)";
        const QString shown = "Text as shown (*.txt)";
        QTest::newRow("extension added, then asked") << "save" << raw << "capture" << "capture.bin" << "capture.bin" << true << "raw";
        QTest::newRow("the other filter's file") << "save" << "Hex dump with arrival times (*.txt)" << "capture"
                                                 << "capture.bin" << "capture.txt" << false << "hex";
        QTest::newRow("own extension kept") << "save" << raw << "capture.dat" << "capture.dat" << "capture.dat" << true << "raw";
        QTest::newRow("name without extension there") << "save" << raw << "capture" << "capture" << "capture.bin" << false << "raw";
        QTest::newRow("log appends") << "log" << "Log files (*.log)" << "capture" << "capture.log" << "capture.log" << false << "log";
        QTest::newRow("log, all files") << "log" << "All files (*)" << "notes" << "notes" << "notes" << false << "log";
        QTest::newRow("export as text") << "export" << "Text as shown (*.txt)" << "capture" << "capture.txt"
                                        << "capture.txt" << true << "text";
        // A typed known extension picks its type, whatever filter was left.
        QTest::newRow("typed .txt under raw") << "save" << raw << "ans.txt" << "" << "ans.txt" << false << "hex";
        QTest::newRow("typed .BIN under hex dump") << "save" << hexDump << "ans.BIN" << "ans.BIN" << "ans.BIN" << true
                                                   << "raw";
        QTest::newRow("unknown extension keeps the filter") << "save" << hexDump << "ans.dat" << "" << "ans.dat" << false
                                                            << "hex";
        QTest::newRow("typed .txt under CSV") << "export" << csv << "calls.txt" << "" << "calls.txt" << false << "text";
        QTest::newRow("typed .csv under text") << "export" << shown << "calls.csv" << "" << "calls.csv" << false << "csv";
    }
    void fileWrittenAndQuestion()
    {
        QFETCH(QString, item);
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, existing);
        QFETCH(QString, written);
        QFETCH(bool, asked);
        QFETCH(QString, type);
        QTemporaryDir dir;
        if (!existing.isEmpty())
            QVERIFY(testsupport::writeFile(dir.filePath(existing)));
        QString question;
        testsupport::ModalAnswers user([&](QWidget *modal) {
            if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                testsupport::answerFileDialog(files, filter, dir.filePath(typed));
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                question = box->text();
                box->button(QMessageBox::Yes)->click();
            }
        });
        console::DialogFileChooser chooser;
        QString path, writtenAs = "log";
        if (item == "save") {
            const auto target = chooser.saveTarget(nullptr).value();
            path = target.path;
            writtenAs = target.hexDump ? "hex" : "raw";
        } else if (item == "export") {
            const auto target = chooser.exportTarget(nullptr).value();
            path = target.path;
            writtenAs = target.csv ? "csv" : "text";
        } else {
            path = chooser.logFile(nullptr).value();
        }
        QCOMPARE(path, dir.filePath(written));
        QCOMPARE(writtenAs, type);
        QCOMPARE(question, asked ? dir.filePath(written) + " already exists.\nDo you want to replace it?" : QString());
    }

    // A name that is there and is no regular file, as a device, is written
    // as typed and asks nothing (a dialog is kept out of /dev).
    void deviceAsTyped()
    {
        const console::SaveName name = console::resolveSaveName("/dev/full", "Raw bytes (*.bin)", false);
        QCOMPARE(name.path, QString("/dev/full"));
        QCOMPARE(name.question, QString());
    }
};

QTEST_MAIN(TestSaveName)
#include "tst_save_name.moc"
