// The file a save dialog's answer writes, and the question asked before,
// over a real folder.
#include "console/file_chooser.h"
#include "console/save_name.h"
#include "tests/support/file_bytes.h"
#include "tests/support/modal_answers.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestSaveName : public QObject {
    Q_OBJECT
private slots:
    // Beside the dialogs' rows below: an extension added, then asked; a log appended to.
    void fileWrittenAndQuestion_data()
    {
        QTest::addColumn<QString>("typed"); // in the folder, unless absolute
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("asked");
        const QString raw = "Raw bytes (*.bin)";
        QTest::newRow("the other filter's file") << "capture" << "Hex dump with arrival times (*.txt)" << "capture.bin"
                                                 << "capture.txt" << false;
        QTest::newRow("own extension kept") << "capture.dat" << raw << "capture.dat" << "capture.dat" << true;
        QTest::newRow("name without extension there") << "capture" << raw << "capture" << "capture.bin" << false;
        QTest::newRow("a device, as typed") << "/dev/full" << raw << "" << "/dev/full" << false;
        QTest::newRow("all files") << "notes" << "All files (*)" << "notes" << "notes" << true;
    }
    void fileWrittenAndQuestion()
    {
        QFETCH(QString, typed);
        QFETCH(QString, filter);
        QFETCH(QString, existing);
        QFETCH(QString, written);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        QVERIFY(existing.isEmpty() || testsupport::writeFile(dir.filePath(existing)));
        const auto inDir = [&](const QString &name) { return name.startsWith('/') ? name : dir.filePath(name); };
        const console::SaveName name = console::resolveSaveName(inDir(typed), filter, false);
        QCOMPARE(name.path, inDir(written));
        // The question names the file that will be written.
        QCOMPARE(name.question, asked ? inDir(written) + " already exists.\nDo you want to replace it?" : QString());
    }

    // The three items' dialogs as a user answers them: `capture` typed.
    void dialogsAskAboutTheFileWritten_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("written"); // exists beforehand
        QTest::addColumn<bool>("asked");
        QTest::newRow("save") << "save" << "Raw bytes (*.bin)" << "capture.bin" << true;
        QTest::newRow("log appends") << "log" << "Log files (*.log)" << "capture.log" << false;
        QTest::newRow("export as text") << "export" << "Text as shown (*.txt)" << "capture.txt" << true;
    }
    void dialogsAskAboutTheFileWritten()
    {
        QFETCH(QString, item);
        QFETCH(QString, filter);
        QFETCH(QString, written);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath(written)));
        QString question;
        testsupport::ModalAnswers user([&](QWidget *modal) {
            if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                files->selectNameFilter(filter);
                files->selectFile(dir.filePath("capture"));
                static_cast<QDialog *>(files)->accept(); // its own accept, as OK runs it
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
};

QTEST_MAIN(TestSaveName)
#include "tst_save_name.moc"
