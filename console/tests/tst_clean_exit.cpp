// Tavrin ended by SIGTERM with a port open: it ends as closing its window
// does, so the port's lock file goes with it. (SIGINT and SIGHUP take the
// same path: see the shared options' test.)
#include "tests/support/pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCleanExit : public QObject {
    Q_OBJECT
private slots:
    void signalClosesThePort()
    {
        testsupport::PseudoTerminal pty;
        QTemporaryDir dir;
        const QString dev = dir.filePath("dev");
        QVERIFY(QDir().mkpath(dev));
        QVERIFY(QFile::link(pty.slavePath(), dev + "/ttyUSB0"));
        const QString lockFile = "/var/lock/LCK.." + QString(dev + "/ttyUSB0").replace('/', '_');

        QProcess console;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", dir.path());
        console.setProcessEnvironment(environment);
        console.setWorkingDirectory(dir.path());
        console.start(QStringLiteral(SIGNALLED_CONSOLE_PATH), {dev});
        QVERIFY(console.waitForReadyRead(20000));
        QCOMPARE(console.readLine(), QByteArray("started\n"));
        QVERIFY(QFile::exists(lockFile));

        ::kill(pid_t(console.processId()), SIGTERM);
        QVERIFY(console.waitForFinished(20000));
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.exitCode(), 0);
        QVERIFY(!QFile::exists(lockFile));
    }
};

QTEST_GUILESS_MAIN(TestCleanExit)
#include "tst_clean_exit.moc"
