#include "desktop/version.h"
#include "tests/support/headless_process.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <QTest>

#include <csignal>

// --help, --version and mistakes, for each of the three programs as built.
class SharedOptions : public QObject {
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // Runs with no display at all: a program that created its window system
    // here would fail to start instead of answering.
    static Run run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        testsupport::startWithoutDisplay(process, program, arguments);
        if (!process.waitForFinished(20000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    static void programRows()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        QTest::newRow("tavrin") << QStringLiteral(TAVRIN_PATH) << QStringLiteral("Tavrin");
        QTest::newRow("morvex") << QStringLiteral(MORVEX_PATH) << QStringLiteral("Morvex");
        QTest::newRow("pelurk") << QStringLiteral(PELURK_PATH) << QStringLiteral("Pelurk");
    }

private slots:
    void versionIsOneLineWithoutDisplay_data() { programRows(); }
    void versionIsOneLineWithoutDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        const Run result = run(program, {QStringLiteral("--version")});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.out), name + u' ' + QLatin1String(desktop::kitVersion) + u'\n');
        QVERIFY(QString::fromLatin1(desktop::kitVersion).contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))));
        QCOMPARE(result.err, QByteArray());
    }

    void helpGoesToStandardOutput_data() { programRows(); }
    void helpGoesToStandardOutput()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        const Run result = run(program, {QStringLiteral("--help")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.startsWith("Usage: " + name.toLower().toUtf8() + ' '), result.out.constData());
        QVERIFY(result.out.contains("--version"));
        QCOMPARE(result.err, QByteArray());
    }

    // --data-dir is made (%NAME% expanded) and entered before anything else,
    // or the program ends there with the reason.
    void dataFolderIsMadeOrRefused_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // %SCRATCH% is a new folder with a file "file"
        QTest::addColumn<int>("status");
        const QStringList list = {QStringLiteral("--list"), QStringLiteral("--sysfs"), QStringLiteral("%SCRATCH%")};
        for (const char *program : {TAVRIN_PATH, MORVEX_PATH, PELURK_PATH})
            QTest::addRow("%s: a file in the way", qPrintable(QFileInfo(program).baseName()))
                << QString::fromUtf8(program) << QStringList{QStringLiteral("%SCRATCH%/file/x")} << 1;
        QTest::newRow("made") << QStringLiteral(PELURK_PATH) << QStringList{QStringLiteral("%SCRATCH%/a b/c")} + list
                              << 0;
        QTest::newRow("unset") << QStringLiteral(PELURK_PATH) << QStringList{QStringLiteral("%NO_SUCH_NAME%/c")} + list
                               << 1;
    }
    void dataFolderIsMadeOrRefused()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QTemporaryDir scratch;
        QVERIFY(QFile(scratch.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("bus/usb/devices"))); // a sysfs tree with no device
        qputenv("SCRATCH", QFile::encodeName(scratch.path()));
        // The folder is the program's to expand; the rest is expanded here.
        for (qsizetype i = 1; i < arguments.size(); ++i)
            arguments[i].replace(QStringLiteral("%SCRATCH%"), scratch.path());
        const Run result = run(program, QStringList{QStringLiteral("--data-dir")} + arguments);
        QCOMPARE(result.exitCode, status);
        QCOMPARE(QFileInfo::exists(scratch.filePath(QStringLiteral("a b/c"))), status == 0);
        QCOMPARE(result.err.contains("data folder"), status != 0);
    }

    void mistakesPrintUsageToStandardError_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("reason");
        const QStringList programs = {QStringLiteral(TAVRIN_PATH), QStringLiteral(MORVEX_PATH),
                                      QStringLiteral(PELURK_PATH)};
        for (const QString &program : programs) {
            const QByteArray name = QFileInfo(program).baseName().toUtf8();
            QTest::newRow(name + " unknown") << program << QStringList{QStringLiteral("--frobnicate")}
                                             << QByteArray("frobnicate");
            QTest::newRow(name + " short") << program << QStringList{QStringLiteral("-x")} << QByteArray("x");
            QTest::newRow(name + " stray") << program << QStringList{QStringLiteral("extra")}
                                           << QByteArray("'extra'");
            QTest::newRow(name + " Qt option without its value") << program << QStringList{QStringLiteral("-platform")}
                                                                 << QByteArray("Missing value after '-platform'");
            QTest::newRow(name + " after help") << program
                                                << QStringList{QStringLiteral("--help"), QStringLiteral("--bogus")}
                                                << QByteArray("bogus");
        }
    }
    void mistakesPrintUsageToStandardError()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reason);
        const Run result = run(program, arguments);
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains(reason), result.err.constData());
        QVERIFY2(result.err.contains("Usage: "), result.err.constData());
    }

    // Started with no display and Qt's own options: the window comes up
    // only if -platform offscreen reached the application object. A
    // termination signal then ends the program as closing its window does.
    void qtOptionsAndTerminationSignals_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        QTest::newRow("tavrin, SIGTERM")
            << QStringLiteral(TAVRIN_PATH)
            << QStringList{"-platform", "offscreen", "-style", "fusion", "-reverse", "-qwindowgeometry", "640x480+0+0"}
            << SIGTERM;
        QTest::newRow("morvex, SIGINT") << QStringLiteral(MORVEX_PATH)
                                        << QStringList{"--platform", "offscreen", "-stylesheet", "%1/missing.qss",
                                                       "-widgetcount", "--sysfs", "%1"}
                                        << SIGINT;
        QTest::newRow("pelurk, SIGHUP") << QStringLiteral(PELURK_PATH)
                                        << QStringList{"-platform", "offscreen", "-style=fusion", "-session", "s1",
                                                       "--sysfs", "%1"}
                                        << SIGHUP;
    }
    void qtOptionsAndTerminationSignals()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        // A folder of its own: the history file, the settings, an empty
        // sysfs tree.
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("bus/usb-serial/devices"));
        arguments.replaceInStrings("%1", dir.path());

        QProcess process;
        process.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", dir.path());
        process.setProcessEnvironment(environment);
        testsupport::startWithoutDisplay(process, program, arguments);
        QVERIFY(process.waitForStarted());
        QVERIFY2(testsupport::waitUntilCatching(process.processId(), signal), process.readAllStandardError().constData());
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(!process.readAllStandardError().contains("platform"), "the platform was not taken");
    }
};

QTEST_GUILESS_MAIN(SharedOptions)
#include "tst_shared_options.moc"
