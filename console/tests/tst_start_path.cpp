#include "console/frmmain.h"
#include "tests/support/console_window.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using serial::SerialControl;
using testsupport::PseudoTerminal;
using Console = testsupport::ConsoleWindow;
using Step = SerialControl::OpenStep;

Q_DECLARE_METATYPE(SerialControl::OpenStep)

// Start on panel 0 from the tick of its box to bytes in its grids, with the
// serial control made to refuse one step of the open.
class TestStartPath : public QObject {
    Q_OBJECT
    QTemporaryDir m_home; // the window keeps its history file here

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_home.path())); }
    void refusedStepStopsThePanelAndTheNextStartOpensAfresh_data();
    void refusedStepStopsThePanelAndTheNextStartOpensAfresh();
    void bytesThatArrivedBeforeStartAreNotShown();
};

void TestStartPath::refusedStepStopsThePanelAndTheNextStartOpensAfresh_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::newRow("open denied") << Step::Open << QSerialPort::PermissionError;
    QTest::newRow("baud rate") << Step::BaudRate << QSerialPort::UnsupportedOperationError;
    QTest::newRow("parity") << Step::Parity << QSerialPort::UnsupportedOperationError;
    QTest::newRow("flow control") << Step::FlowControl << QSerialPort::UnknownError;
}

void TestStartPath::refusedStepStopsThePanelAndTheNextStartOpensAfresh()
{
    QFETCH(Step, step);
    QFETCH(QSerialPort::SerialPortError, error);

    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    c.w.Option1[3]->click(); // 19200
    c.panel(0).failOpenAt({{step, error}});
    c.w.Check1[0]->click();
    QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("COM Port Error.")});
    QVERIFY(!c.w.Started0);
    QVERIFY(!c.w.Check1[0]->isChecked());
    QVERIFY(!c.w.MSComm1[0].portOpen());
    QVERIFY(c.w.Frame1[0]->isEnabled());
    QVERIFY(!c.w.Command2[0]->isEnabled());

    // The user picks another rate and starts again on a device that now
    // accepts it: the port opens afresh with the new settings.
    c.panel(0).failOpenAt(std::nullopt);
    c.w.Option1[1]->click(); // 38400
    c.w.Check1[0]->click();
    QCOMPARE(c.boxes.boxes.size(), 1);
    QVERIFY(c.w.Started0);
    QVERIFY(c.w.MSComm1[0].portOpen());
    QCOMPARE(c.w.MSComm1[0].settings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(pty.slaveBaudRate(), 38400);
    QVERIFY(c.w.Command2[0]->isEnabled());
    QVERIFY(!c.w.Frame1[0]->isEnabled());
    pty.write(QByteArray("\x7e\x01", 2));
    QVERIFY(c.receive(0, 2));
    QCOMPARE(c.cell(0, true, 1, 1), QStringLiteral("7E"));
    QCOMPARE(c.cell(0, true, 1, 2), QStringLiteral("1"));
}

void TestStartPath::bytesThatArrivedBeforeStartAreNotShown()
{
    PseudoTerminal pty;
    Console c;
    c.typePort(0, pty.slavePath());
    // Sent while the panel is stopped: they wait at the device.
    pty.write(QByteArray("\xAA\xBB\xCC", 3));
    QTest::qWait(50);
    c.w.Check1[0]->click();
    QVERIFY(c.boxes.boxes.isEmpty());
    QVERIFY(c.w.MSComm1[0].portOpen());
    pty.write(QByteArray("\x31", 1));
    c.receive(0, 1);
    // Give anything left over time to show up before the last look.
    QTest::qWait(100);
    c.tick();
    QCOMPARE(c.cell(0, true, 1, 1), QStringLiteral("31"));
    QCOMPARE(c.cell(0, true, 1, 2), QString());
    QCOMPARE(c.w.RxCol0(), 2);
}

QTEST_MAIN(TestStartPath)
#include "tst_start_path.moc"
