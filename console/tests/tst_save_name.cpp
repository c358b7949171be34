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
        const QString raw = "Raw bytes (*.bin)";
        QTest::newRow("extension added, then asked") << "save" << raw << "capture" << "capture.bin" << "capture.bin" << true;
        QTest::newRow("the other filter's file") << "save" << "Hex dump with arrival times (*.txt)" << "capture"
                                                 << "capture.bin" << "capture.txt" << false;
        QTest::newRow("own extension kept") << "save" << raw << "capture.dat" << "capture.dat" << "capture.dat" << true;
        QTest::newRow("name without extension there") << "save" << raw << "capture" << "capture" << "capture.bin" << false;
        QTest::newRow("log appends") << "log" << "Log files (*.log)" << "capture" << "capture.log" << "capture.log" << false;
        QTest::newRow("log, all files") << "log" << "All files (*)" << "notes" << "notes" << "notes" << false;
        QTest::newRow("export as text") << "export" << "Text as shown (*.txt)" << "capture" << "capture.txt"
                                        << "capture.txt" << true;
    }
    void fileWrittenAndQuestion()
    {
        QFETCH(QString, item);
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, existing);
        QFETCH(QString, written);
        QFETCH(bool, asked);
        QTemporaryDir dir;
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
        const QString path = item == "save" ? chooser.saveTarget(nullptr).value().path
                           : item == "log"  ? chooser.logFile(nullptr).value()
                                            : chooser.exportTarget(nullptr).value().path;
        QCOMPARE(path, dir.filePath(written));
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
