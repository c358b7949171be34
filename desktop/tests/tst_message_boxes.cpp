#include "desktop/message_boxes.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTimer>

class TestMessageBoxes : public QObject {
    Q_OBJECT
private slots:
    void copyKeyCopiesTheWholeText_data();
    void copyKeyCopiesTheWholeText();
    void theShownBoxCopiesToo();
};

void TestMessageBoxes::copyKeyCopiesTheWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("copied");

    QTest::newRow("message only") << "COM Port Conflict Error." << "" << "COM Port Conflict Error.";
    QTest::newRow("message and cause")
        << "COM Port Error."
        << "/dev/ttyUSB0: Permission denied\r\nsudo usermod -aG dialout $USER"
        << "COM Port Error.\r\n\r\n/dev/ttyUSB0: Permission denied\r\nsudo usermod -aG dialout $USER";
}

void TestMessageBoxes::copyKeyCopiesTheWholeText()
{
    QFETCH(QString, text);
    QFETCH(QString, details);
    QFETCH(QString, copied);
    QApplication::clipboard()->setText("before");
    auto box = desktop::makeMessageBox(text, details, "Tavrin", desktop::BoxIcon::None);
    QCOMPARE(box->informativeText(), details);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    // The key reaches the box through the focused OK button.
    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), copied);
    // Other keys still do what they did: Escape closes the box.
    QTest::keyClick(box.get(), Qt::Key_Escape);
    QVERIFY(!box->isVisible());
}

void TestMessageBoxes::theShownBoxCopiesToo()
{
    QApplication::clipboard()->setText("before");
    desktop::QtMessageBoxes boxes;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        seen = true;
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Enter);
    });
    boxes.showWithDetails("COM Port Error.", "/dev/ttyUSB3: Device or resource busy", "Tavrin",
                          desktop::BoxIcon::None);
    QVERIFY(seen);
    QCOMPARE(QApplication::clipboard()->text(),
             QString("COM Port Error.\r\n\r\n/dev/ttyUSB3: Device or resource busy"));
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
