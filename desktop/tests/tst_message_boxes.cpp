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
    void theShownBoxCopiesToo_data();
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

void TestMessageBoxes::theShownBoxCopiesToo_data()
{
    QTest::addColumn<QString>("later"); // details set while the box is open
    QTest::newRow("fixed details") << "";
    QTest::newRow("details changed while open") << "/dev/ttyUSB3: back on port 4";
}

void TestMessageBoxes::theShownBoxCopiesToo()
{
    QFETCH(QString, later);
    QApplication::clipboard()->setText("before");
    desktop::QtMessageBoxes boxes;
    const auto details = std::make_shared<desktop::BoxDetails>("/dev/ttyUSB3: Device or resource busy");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        seen = true;
        if (!later.isEmpty())
            details->setText(later);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Enter);
    });
    if (later.isEmpty())
        boxes.showWithDetails("COM Port Error.", details->text(), "Tavrin", desktop::BoxIcon::None);
    else
        boxes.showWithChangingDetails("COM Port Error.", details, "Tavrin", desktop::BoxIcon::None);
    QVERIFY(seen);
    QCOMPARE(QApplication::clipboard()->text(), "COM Port Error.\r\n\r\n" + details->text());
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
