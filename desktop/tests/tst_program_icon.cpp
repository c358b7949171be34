#include "desktop/program_icon.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>

namespace {

// Share of pixels that are not fully transparent.
double coverage(const QImage &image)
{
    qsizetype painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) != 0;
    return double(painted) / double(image.width() * image.height());
}

} // namespace

class TestProgramIcon : public QObject {
    Q_OBJECT
private slots:
    void drawsEachProgramAtEverySize_data();
    void drawsEachProgramAtEverySize();
    void programsHaveDifferentPictures();
    void unknownProgramHasNoIcon();
    void windowsTakeTheProgramIcon();
};

void TestProgramIcon::drawsEachProgramAtEverySize_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("console") << QStringLiteral("tavrin");
    QTest::newRow("configurator") << QStringLiteral("morvex");
    QTest::newRow("port checker") << QStringLiteral("pelurk");
}

void TestProgramIcon::drawsEachProgramAtEverySize()
{
    QFETCH(QString, name);
    const QIcon icon = desktop::programIcon(name);
    QVERIFY(!icon.isNull());
    // Title bars ask for 16 to 24 pixels, task bars and switchers up to 256.
    for (const int side : {16, 24, 32, 48, 256}) {
        QVERIFY2(icon.availableSizes().contains(QSize(side, side)), qPrintable(QString::number(side)));
        const QImage image = icon.pixmap(side, side).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        // A picture, not a blank square and not a filled one.
        const double share = coverage(image);
        QVERIFY2(share > 0.3 && share < 0.95, qPrintable(QStringLiteral("%1 px: %2").arg(side).arg(share)));
    }
}

void TestProgramIcon::programsHaveDifferentPictures()
{
    const QImage tavrin = desktop::programIcon(QStringLiteral("tavrin")).pixmap(32, 32).toImage();
    const QImage morvex = desktop::programIcon(QStringLiteral("morvex")).pixmap(32, 32).toImage();
    const QImage pelurk = desktop::programIcon(QStringLiteral("pelurk")).pixmap(32, 32).toImage();
    QVERIFY(tavrin != morvex);
    QVERIFY(morvex != pelurk);
    QVERIFY(tavrin != pelurk);
}

void TestProgramIcon::unknownProgramHasNoIcon()
{
    QVERIFY(desktop::programIcon(QStringLiteral("nosuchprogram")).isNull());
    QVERIFY(desktop::programIcon(QString()).isNull());
}

void TestProgramIcon::windowsTakeTheProgramIcon()
{
    desktop::setProgramIcon(QStringLiteral("morvex"));
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("morvex"));
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shown = window.windowIcon().pixmap(32, 32).toImage();
    const QImage expected = desktop::programIcon(QStringLiteral("morvex")).pixmap(32, 32).toImage();
    QCOMPARE(shown, expected);
}

QTEST_MAIN(TestProgramIcon)
#include "tst_program_icon.moc"
