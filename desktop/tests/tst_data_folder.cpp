#include "desktop/data_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void expandsEnvironmentReferences_data();
    void expandsEnvironmentReferences();
    void entersTheFolderMadeWhenMissing();
    void refusalLeavesTheCurrentFolder_data();
    void refusalLeavesTheCurrentFolder();
};

void TestDataFolder::expandsEnvironmentReferences_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded"); // "-" when refused
    QTest::newRow("none") << "C:\\Data" << "C:\\Data";
    QTest::newRow("shortcut's") << "%LOCALAPPDATA%\\PLC Serial Kit" << "C:\\Users\\Ann\\AppData\\Local\\PLC Serial Kit";
    QTest::newRow("two") << "%A%%B%" << "ab";
    QTest::newRow("inside") << "x%A%y" << "xay";
    QTest::newRow("lone percent") << "50%" << "50%";
    QTest::newRow("after one") << "%A%/50%" << "a/50%";
    QTest::newRow("unset") << "%NOSUCH%\\x" << "-";
}

void TestDataFolder::expandsEnvironmentReferences()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LOCALAPPDATA"), QStringLiteral("C:\\Users\\Ann\\AppData\\Local"));
    environment.insert(QStringLiteral("A"), QStringLiteral("a"));
    environment.insert(QStringLiteral("B"), QStringLiteral("b"));
    QString missing;
    const auto result = desktop::expandEnvironmentReferences(text, environment, &missing);
    QCOMPARE(result.value_or(QStringLiteral("-")), expanded);
    QCOMPARE(missing, result ? QString() : QStringLiteral("NOSUCH"));
}

void TestDataFolder::entersTheFolderMadeWhenMissing()
{
    QTemporaryDir scratch;
    const QString before = QDir::currentPath();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("SCRATCH"), scratch.path());
    QCOMPARE(desktop::enterDataFolder(QStringLiteral("%SCRATCH%/PLC Serial Kit/inner"), environment), std::nullopt);
    QCOMPARE(QDir::currentPath(), scratch.path() + QStringLiteral("/PLC Serial Kit/inner"));
    // A folder that is already there is taken as it is.
    QVERIFY(QFile(QStringLiteral("TstHis.db")).open(QIODevice::WriteOnly));
    QCOMPARE(desktop::enterDataFolder(scratch.path() + QStringLiteral("/PLC Serial Kit/inner"), environment), std::nullopt);
    QVERIFY(QFile::exists(QStringLiteral("TstHis.db")));
    QDir::setCurrent(before);
}

void TestDataFolder::refusalLeavesTheCurrentFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file in the way") << "file/inner" << "Cannot make the data folder ";
    QTest::newRow("unset variable") << "%NOSUCH%/x" << "the environment has no NOSUCH.";
    QTest::newRow("empty") << "" << "The data folder is empty.";
}

void TestDataFolder::refusalLeavesTheCurrentFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    QTemporaryDir scratch;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(scratch.path()));
    QVERIFY(QFile(QStringLiteral("file")).open(QIODevice::WriteOnly));
    const auto refused = desktop::enterDataFolder(folder, QProcessEnvironment());
    const QString after = QDir::currentPath();
    QDir::setCurrent(before);
    QVERIFY(refused);
    QVERIFY2(refused->contains(reason), qPrintable(*refused));
    QCOMPARE(after, scratch.path());
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_data_folder.moc"
