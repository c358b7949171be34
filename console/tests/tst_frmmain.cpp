#include "console/panel/baud_rate_dialog.h"
#include "console/frmmain.h"
#include "tests/support/console_window.h"
#include "desktop/termination_signals.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/modal_answers.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>

using console::frmMain;
using desktop::BoxIcon;
using testsupport::PseudoTerminal;
using testsupport::RecordingMessageBoxes;

using Console = testsupport::ConsoleWindow;

namespace {

// The window as Tavrin's main() builds it, its left panel started on port 1
// of `deviceDir`: says "started" once the port is open, then runs until a
// termination signal closes the window.
int runUntilSignalled(const char *deviceDir)
{
    console::PortEnvironment ports;
    ports.places.deviceDir = QString::fromLocal8Bit(deviceDir);
    RecordingMessageBoxes boxes;
    frmMain window(boxes, ports);
    desktop::TerminationSignals termination;
    desktop::closeOnTerminationSignals(termination, window);
    window.show();
    window.Check1[0]->click();
    std::printf(window.Check1[0]->isChecked() ? "started\n" : "failed\n");
    std::fflush(stdout);
    return QApplication::exec();
}

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
    // The window keeps its history file in the current directory.
    QTemporaryDir m_home;
private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }
    void startsWithDesignState();
    void optionPiecesBuildTheSettingsString();
    void startOpensThePortWithThePanelSettings();
    void conflictRuleComparesTexts_data();
    void conflictRuleComparesTexts();
    void pickingTheOtherPortOnlyWarns();
    void startFailuresLeaveThePanelStopped_data();
    void startFailuresLeaveThePanelStopped();
    void modemLinesOnAPseudoTerminal();
    void bytesShowInBothGridsAtTheirCells();
    void stoppingPanelIsClosedByTheNextTick();
    void restartedBeforeClose();
    void baudChoiceStopsARunningPanel();
    void otherBaudRateReachesTheLine();
    void clearResetsOnePanelOnly();
    void scrollCouplingStaysWithinAPanel();
    void viewMovesOneRowPerNewRow();
    void unplugStopsThePanelOnce();
    void startedPanelWithClosedPortIsSkipped();
    void terminationSignalReleasesThePort();
};

void TestFrmMain::startsWithDesignState()
{
    Console c;
    QCOMPARE(c.w.windowTitle(), QStringLiteral("Tavrin"));
    QCOMPARE(c.w.Combo1[0]->currentText(), QStringLiteral("1"));
    QCOMPARE(c.w.Combo1[1]->currentText(), QStringLiteral("2"));
    QCOMPARE(c.w.Combo1[0]->count(), 16);
    QCOMPARE(c.w.Combo1[0]->itemText(15), QStringLiteral("16"));
    for (int i = 0; i < 2; ++i) {
        QVERIFY(!c.w.Check1[i]->isChecked());
        QVERIFY(c.stoppedLayout(i));
        QCOMPARE(c.view(i).settings(), QStringLiteral("9600,n,8,1"));
    }
    QVERIFY(c.w.Option1[5]->isChecked() && c.w.Option1[13]->isChecked());
    QCOMPARE(c.w.Option1[13]->text(), QStringLiteral("9600"));
    QVERIFY(c.w.Option2[3]->isChecked() && c.w.Option2[4]->isChecked());
    QVERIFY(c.w.Option3[0]->isChecked() && c.w.Option3[5]->isChecked());
    QVERIFY(c.w.Option4[0]->isChecked() && c.w.Option4[5]->isChecked());
    // The "1.5" stop bits are never offered.
    QVERIFY(!c.w.Option4[1]->isEnabled() && !c.w.Option4[4]->isEnabled());
    QCOMPARE(c.w.Option4[1]->text(), QStringLiteral("1.5"));
    QCOMPARE(c.w.Timer1->interval(), 500);
    QVERIFY(!c.w.Started0 && !c.w.Started1);
}

void TestFrmMain::optionPiecesBuildTheSettingsString()
{
    Console c;
    // Right panel indexes run backwards: 11 is 19200, 5 is "7", 4 is Even, 3 is "2".
    c.w.Option1[11]->click();
    c.w.Option2[5]->click();
    c.w.Option3[4]->click();
    c.w.Option4[3]->click();
    QCOMPARE(c.view(1).settings(), QStringLiteral("19200,e,7,2"));
    QCOMPARE(c.view(0).settings(), QStringLiteral("9600,n,8,1"));
    // Nothing is filtered out: 5 data bits with 2 stop bits pass as built.
    c.w.Option2[0]->click();
    c.w.Option4[2]->click();
    c.w.Option3[2]->click();
    c.w.Option1[0]->click();
    QCOMPARE(c.view(0).settings(), QStringLiteral("57600,o,5,2"));
}

void TestFrmMain::startOpensThePortWithThePanelSettings()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    c.w.Option1[3]->click();  // 19200
    c.w.Option2[0]->click();  // 5 data bits
    c.w.Option3[1]->click();  // even
    c.w.Option4[2]->click();  // 2 stop bits
    c.w.Check1[0]->click();
    QVERIFY(c.boxes.boxes.isEmpty());
    QVERIFY(c.w.Started0);
    QVERIFY(c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.MSComm1[0].settings(), QStringLiteral("19200,e,5,2"));
    QCOMPARE(pty.slaveBaudRate(), 19200);
    QCOMPARE(pty.slaveStopBits(), 2);
    QCOMPARE(c.w.MSComm1[0].port().dataBits(), QSerialPort::Data5);
    QCOMPARE(c.w.MSComm1[0].port().parity(), QSerialPort::EvenParity);
    QCOMPARE(c.w.MSComm1[0].port().flowControl(), QSerialPort::NoFlowControl);
    QVERIFY(c.runningLayout(0));
    QVERIFY(c.stoppedLayout(1));
}

void TestFrmMain::conflictRuleComparesTexts_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("same number") << "3" << "3" << true;
    QTest::newRow("1 and 01") << "1" << "01" << false;
    QTest::newRow("same path") << "/dev/pts/9" << "/dev/pts/9" << true;
}

void TestFrmMain::conflictRuleComparesTexts()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(bool, conflict);
    Console c;
    c.typePort(0, left);
    c.typePort(1, right);
    // Refused even though the other panel is stopped.
    c.w.Check1[0]->click();
    QVERIFY(!c.w.Started0);
    QVERIFY(!c.w.Check1[0]->isChecked());
    QVERIFY(c.stoppedLayout(0));
    QCOMPARE(c.boxes.boxes.size(), 1);
    if (conflict) {
        QCOMPARE(c.boxes.boxes[0].text, QStringLiteral("COM Port Conflict Error."));
        QCOMPARE(c.boxes.boxes[0].icon, BoxIcon::Critical);
        // Nothing reached the serial control.
        QCOMPARE(c.w.MSComm1[0].device(), QStringLiteral("/dev/ttyUSB0"));
    } else {
        // No conflict: the start goes on and fails on the missing adapter.
        QCOMPARE(c.boxes.boxes[0].text, QStringLiteral("COM Port Error."));
    }
    QCOMPARE(c.boxes.boxes[0].title, QStringLiteral("Tavrin"));
}

void TestFrmMain::pickingTheOtherPortOnlyWarns()
{
    Console c;
    c.w.Combo1[1]->setCurrentIndex(0);
    c.w.Combo1_Click(1);
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("COM Port Conflicts.")});
    QCOMPARE(c.boxes.boxes[0].icon, BoxIcon::Information);
    QCOMPARE(c.w.Combo1[1]->currentText(), QStringLiteral("1"));
    c.w.Check1[1]->click();
    QCOMPARE(c.boxes.boxes.last().text, QStringLiteral("COM Port Conflict Error."));
}

void TestFrmMain::startFailuresLeaveThePanelStopped_data()
{
    QTest::addColumn<QString>("portText");
    QTest::newRow("missing adapter number") << "16";
    QTest::newRow("missing device path") << "/dev/no-such-tty";
    QTest::newRow("not a port") << "abc";
    QTest::newRow("zero") << "0";
    QTest::newRow("empty") << "";
}

void TestFrmMain::startFailuresLeaveThePanelStopped()
{
    QFETCH(QString, portText);
    Console c;
    c.typePort(0, portText);
    c.w.Check1[0]->click();
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("COM Port Error.")});
    QCOMPARE(c.boxes.boxes[0].icon, BoxIcon::None);
    QVERIFY(!c.w.Started0);
    QVERIFY(!c.w.Check1[0]->isChecked());
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QVERIFY(c.stoppedLayout(0));
    c.tick();
    QCOMPARE(c.boxes.boxes.size(), 1);
}

void TestFrmMain::modemLinesOnAPseudoTerminal()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(1, pty.slavePath());
    c.w.Check2[1]->click();
    c.w.Check3[1]->click();
    c.w.Check1[1]->click();
    QVERIFY(c.boxes.boxes.isEmpty());
    QVERIFY(c.w.MSComm1[1].portOpen());
    QVERIFY(c.w.MSComm1[1].dtrEnable());
    QVERIFY(c.w.MSComm1[1].rtsEnable());
}

void TestFrmMain::bytesShowInBothGridsAtTheirCells()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    c.w.Check1[0]->click();
    QByteArray bytes;
    bytes.append('\0').append('\n').append(char(0xFF));
    for (int i = 0; i < 37; ++i)
        bytes.append(char('a' + i % 26));
    pty.write(bytes);
    QVERIFY(c.receive(0, 40));
    // Every byte is shown: rows 1 and 2 full, 8 cells of row 3.
    QCOMPARE(c.cell(0, true, 1, 1), QStringLiteral("0"));
    QCOMPARE(c.cell(0, false, 1, 1), QString(QChar(0)));
    QCOMPARE(c.cell(0, true, 1, 2), QStringLiteral("A"));
    QCOMPARE(c.cell(0, false, 1, 2), QStringLiteral("\n"));
    QCOMPARE(c.cell(0, true, 1, 3), QStringLiteral("FF"));
    QCOMPARE(c.cell(0, false, 1, 4), QStringLiteral("a"));
    QCOMPARE(c.cell(0, true, 3, 8), QStringLiteral("6B"));
    QCOMPARE(c.cell(0, true, 3, 9), QString());
    QCOMPARE(c.cell(0, false, 3, 0), QStringLiteral("2"));
    QCOMPARE(c.w.RxRow0(), 3);
    QCOMPARE(c.w.RxCol0(), 9);
    QCOMPARE(c.w.RxRow1(), 1);
    QCOMPARE(c.w.MSHFlexGrid1[1]->model()->rowCount(), 2);
}

void TestFrmMain::stoppingPanelIsClosedByTheNextTick()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    c.w.Check1[0]->click();
    c.w.Check1[0]->click(); // untick: unlocked at once, port still open
    QVERIFY(!c.w.Started0);
    QVERIFY(c.stoppedLayout(0));
    QVERIFY(c.w.MSComm1[0].portOpen());
    pty.write("late");
    QTest::qWait(50);
    c.tick();
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.RxCol0(), 1); // nothing was read from it
}

void TestFrmMain::restartedBeforeClose()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    c.w.Check1[0]->click();
    c.w.Check1[0]->click();
    c.w.Check1[0]->click(); // ticked again before the poll closed the port
    QVERIFY(c.w.Started0);
    QVERIFY(c.w.MSComm1[0].portOpen());
    QVERIFY(c.stoppedLayout(0));
    pty.write("go");
    QVERIFY(c.receive(0, 2));
    QVERIFY(c.w.MSComm1[0].portOpen());
    QCOMPARE(c.cell(0, false, 1, 2), QStringLiteral("o"));
    QVERIFY(c.boxes.boxes.isEmpty());
}

void TestFrmMain::baudChoiceStopsARunningPanel()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(1, pty.slavePath());
    c.w.Check1[1]->click();
    c.w.Check1[1]->click();
    c.w.Check1[1]->click(); // restarted before close: the frames are usable
    c.w.Option1[8]->click(); // 57600 in the right panel
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("COM Port ") + pty.slavePath() + QStringLiteral("has been stopped.")});
    QCOMPARE(c.boxes.boxes[0].icon, BoxIcon::None);
    QVERIFY(!c.w.Check1[1]->isChecked());
    QVERIFY(!c.w.Started1);
    QCOMPARE(c.w.Baud1, QStringLiteral("57600"));
    QCOMPARE(c.w.Baud0, QStringLiteral("9600"));
    c.tick();
    QVERIFY(!c.w.MSComm1[1].portOpen());
    // The new rate applies at the next start.
    c.w.Check1[1]->click();
    QCOMPARE(pty.slaveBaudRate(), 57600);
}

void TestFrmMain::otherBaudRateReachesTheLine()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    QAction *item = c.view(0).menu()->otherBaudRateAction();
    QStringList typed{"115200x", "115200"};
    QString refusal;
    testsupport::ModalAnswers user([&](QWidget *modal) {
        auto *dialog = qobject_cast<console::BaudRateDialog *>(modal);
        dialog->rateBox()->setEditText(typed.takeFirst());
        dialog->accept();
        // A refused text stays in the open dialog with its reason.
        refusal = dialog->refusal()->text();
        // Shown whole: as tall as its text needs, within the dialog.
        const QLabel *label = dialog->refusal();
        if (label->height() < label->heightForWidth(label->width()) || !dialog->rect().contains(label->geometry()))
            refusal += QString(" (cut: %1x%2 in %3x%4)").arg(label->width()).arg(label->height())
                           .arg(dialog->width()).arg(dialog->height());
        if (dialog->isVisible())
            dialog->reject();
    });
    item->trigger();
    QCOMPARE(refusal, QString("\"115200x\" is not a whole number: type a baud rate such as 115200."));
    QCOMPARE(c.view(0).settings(), QString("9600,n,8,1"));
    QVERIFY(c.w.Option1[5]->isChecked());

    // No button shows the rate: the port box's tooltip does, read as a
    // hover reads it.
    const auto tipEnd = [&c] {
        QComboBox *box = c.w.Combo1[0];
        QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box, &hover);
        return box->toolTip().section(u'\n', -1);
    };
    QCOMPARE(tipEnd(), QString("Settings at Start: 9600,n,8,1"));
    item->trigger();
    QCOMPARE(c.view(0).settings(), QString("115200,n,8,1"));
    for (int k = 0; k < 8; ++k)
        QVERIFY(!c.w.Option1[k]->isChecked());
    QCOMPARE(tipEnd(), QString("Settings at Start: 115200,n,8,1 (Other Baud Rate)"));
    c.w.Check1[0]->click();
    QCOMPARE(pty.slaveBaudRate(), 115200);
    QVERIFY(!item->isEnabled());
    QCOMPARE(tipEnd(), QString("Settings in use: 115200,n,8,1 (Other Baud Rate)"));
    // Stopped, a click on a rate button is that rate again.
    c.w.Check1[0]->click();
    c.tick(); // the port closes at the next tick
    QVERIFY(item->isEnabled());
    c.w.Option1[5]->click();
    QCOMPARE(c.view(0).settings(), QString("9600,n,8,1"));
    QCOMPARE(tipEnd(), QString("Settings at Start: 9600,n,8,1"));
    QVERIFY(c.boxes.boxes.isEmpty());
}

void TestFrmMain::clearResetsOnePanelOnly()
{
    PseudoTerminal left, right;
    Console c;
    c.typePort(0, left.slavePath());
    c.typePort(1, right.slavePath());
    c.w.Check1[0]->click();
    c.w.Check1[1]->click();
    left.write(QByteArray(20, 'L'));
    right.write(QByteArray(20, 'R'));
    QVERIFY(c.waitFor(0, 20));
    QVERIFY(c.receive(1, 20));
    c.w.Command1[1]->click();
    QCOMPARE(c.w.RxRow1(), 1);
    QCOMPARE(c.w.RxCol1(), 1);
    QCOMPARE(c.cell(1, false, 1, 1), QString());
    QCOMPARE(c.cell(1, true, 0, 0), QStringLiteral("Hex"));
    QCOMPARE(c.w.RxRow0(), 2);
    QCOMPARE(c.cell(0, false, 2, 4), QStringLiteral("L"));
    // The port stays open and the next bytes start again at row 1, column 1.
    QVERIFY(c.w.MSComm1[1].portOpen());
    right.write("n");
    QVERIFY(c.receive(1, 1));
    QCOMPARE(c.cell(1, false, 1, 1), QStringLiteral("n"));
}

void TestFrmMain::scrollCouplingStaysWithinAPanel()
{
    Console c;
    c.panel(0).receive().append(QByteArray(16 * 40, 'a'));
    c.panel(1).receive().append(QByteArray(16 * 40, 'b'));
    // The user scrolls panel 1's hex grid.
    c.w.MSHFlexGrid2[1]->verticalScrollBar()->setValue(12);
    QCOMPARE(c.w.MSHFlexGrid2[1]->firstVisibleRow(), 12);
    QCOMPARE(c.w.MSHFlexGrid1[1]->firstVisibleRow(), 12);
    QCOMPARE(c.w.MSHFlexGrid1[0]->firstVisibleRow(), 1);
    QCOMPARE(c.w.MSHFlexGrid2[0]->firstVisibleRow(), 1);
    c.w.MSHFlexGrid1[0]->verticalScrollBar()->setValue(7);
    QCOMPARE(c.w.MSHFlexGrid2[0]->firstVisibleRow(), 7);
    QCOMPARE(c.w.MSHFlexGrid2[1]->firstVisibleRow(), 12);
}

void TestFrmMain::viewMovesOneRowPerNewRow()
{
    PseudoTerminal pty;
    Console c;
    QCOMPARE(c.w.MSHFlexGrid1[0]->visibleDataRows(), 7);
    c.typePort(0, pty.slavePath());
    c.w.Check1[0]->click();
    // 7 full rows: 9 grid rows, the first scroll.
    pty.write(QByteArray(16 * 6, 'x'));
    QVERIFY(c.receive(0, 16 * 6));
    QCOMPARE(c.w.MSHFlexGrid1[0]->firstVisibleRow(), 1);
    pty.write(QByteArray(16, 'x'));
    QVERIFY(c.receive(0, 16));
    QCOMPARE(c.w.MSHFlexGrid1[0]->firstVisibleRow(), 2);
    QCOMPARE(c.w.MSHFlexGrid2[0]->firstVisibleRow(), 2);
    pty.write(QByteArray(16 * 50, 'x'));
    QVERIFY(c.receive(0, 16 * 50));
    QCOMPARE(c.w.MSHFlexGrid1[0]->firstVisibleRow(), 52);
    // Scrolled to the top, each new row moves the view by one row only.
    c.w.MSHFlexGrid1[0]->verticalScrollBar()->setValue(1);
    pty.write(QByteArray(16 * 3, 'y'));
    QVERIFY(c.receive(0, 16 * 3));
    QCOMPARE(c.w.MSHFlexGrid1[0]->firstVisibleRow(), 4);
    QCOMPARE(c.w.MSHFlexGrid2[0]->firstVisibleRow(), 4);
}

void TestFrmMain::unplugStopsThePanelOnce()
{
    auto pty = std::make_unique<PseudoTerminal>();
    Console c;
    c.typePort(0, pty->slavePath());
    c.w.Check1[0]->click();
    pty->write("before");
    QVERIFY(c.receive(0, 6));
    pty->write("gone");
    QTest::qWait(50);
    pty.reset();
    QTRY_VERIFY(c.w.MSComm1[0].hasFault());
    c.tick();
    c.tick();
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("COM Port Error.")});
    QVERIFY(!c.w.Started0);
    QVERIFY(!c.w.Check1[0]->isChecked());
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QVERIFY(c.stoppedLayout(0));
    // What the grids showed stays, and what came before the fault is added.
    QCOMPARE(c.cell(0, false, 1, 1), QStringLiteral("b"));
    QCOMPARE(c.cell(0, false, 1, 10), QStringLiteral("e"));
    QCOMPARE(c.w.RxCol0(), 11);
}

void TestFrmMain::startedPanelWithClosedPortIsSkipped()
{
    Console c;
    c.w.Started1 = true; // as while a start-failure box is open
    c.tick();
    QVERIFY(c.boxes.boxes.isEmpty());
    QVERIFY(!c.w.MSComm1[1].portOpen());
    QCOMPARE(c.w.RxCol1(), 1);
}

// Ended by SIGTERM with a port open, the program ends as closing its window
// does, so the port's lock file goes with it. (SIGINT and SIGHUP take the
// same path: see the shared options' test.)
void TestFrmMain::terminationSignalReleasesThePort()
{
    PseudoTerminal pty;
    QTemporaryDir dir;
    QVERIFY(QFile::link(pty.slavePath(), dir.filePath("ttyUSB0")));
    const QString lockFile = "/var/lock/LCK.." + dir.filePath("ttyUSB0").replace('/', '_');
    // A folder of its own for its history file and settings.
    QProcess tavrin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", dir.path());
    tavrin.setProcessEnvironment(environment);
    tavrin.setWorkingDirectory(dir.path());
    tavrin.start(QCoreApplication::applicationFilePath(), {"--until-signalled", dir.path()});
    QVERIFY(tavrin.waitForReadyRead(20000));
    QCOMPARE(tavrin.readLine(), QByteArray("started\n"));
    QVERIFY(QFile::exists(lockFile));
    ::kill(pid_t(tavrin.processId()), SIGTERM);
    QVERIFY(tavrin.waitForFinished(20000));
    QCOMPARE(tavrin.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrin.exitCode(), 0);
    QVERIFY(!QFile::exists(lockFile));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--until-signalled") == 0)
        return runUntilSignalled(argv[2]);
    TestFrmMain test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_frmmain.moc"
