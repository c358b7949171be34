#include "desktop/message_boxes.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

class TestMessageBoxes : public QObject {
    Q_OBJECT
private slots:
    void copyKeyCopiesTheWholeText_data();
    void copyKeyCopiesTheWholeText();
    void theShownBoxCopiesToo_data();
    void theShownBoxCopiesToo();
    void boxFitsItsText_data();
    void boxFitsItsText();
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

void TestMessageBoxes::boxFitsItsText_data()
{
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("later"); // set while the box is open
    QTest::addColumn<int>("lines");     // 0: longer than the limit
    const QString hungUp = "The line was hung up: the device went away or its far end closed";
    QTest::newRow("a cause on one line") << hungUp << "" << 1;
    QTest::newRow("two lines stay two") << "/dev/ttyUSB0: Permission denied\r\nsudo usermod -aG dialout $USER" << ""
                                        << 2;
    QTest::newRow("wider details while open") << "busy" << hungUp << 1;
    // Half the offscreen screen is 400 px: longer text wraps there, whole.
    QTest::newRow("long details wrap at the limit") << (hungUp + " ").repeated(6) << "" << 0;
}

void TestMessageBoxes::boxFitsItsText()
{
    QFETCH(QString, details);
    QFETCH(QString, later);
    QFETCH(int, lines);
    desktop::QtMessageBoxes boxes;
    const auto changing = std::make_shared<desktop::BoxDetails>(details);
    int width = 0, height = 0, needed = 0, unwrapped = 0, boxWidth = 0, lineHeight = 0;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!later.isEmpty())
            changing->setText(later);
        if (auto *label = box->findChild<QLabel *>("qt_msgbox_informativelabel")) {
            width = label->width();
            height = label->height();
            needed = label->heightForWidth(width);
            unwrapped = label->heightForWidth(4000);
            lineHeight = label->fontMetrics().lineSpacing();
        }
        boxWidth = box->width();
        box->accept();
    });
    boxes.showWithChangingDetails("COM Port Error.", changing, "Tavrin", desktop::BoxIcon::None);
    const QString seen = QString("details %1x%2 px, %3 px needed, %4 px unwrapped, box %5 px wide")
                             .arg(width).arg(height).arg(needed).arg(unwrapped).arg(boxWidth);
    QVERIFY2(width > 0, qPrintable(seen));
    // Never cut: the label is as tall as its text needs at its width.
    QVERIFY2(height >= needed, qPrintable(seen));
    // No line wrapped that fits in half the screen (400 px offscreen).
    if (lines > 0)
        QVERIFY2(needed == unwrapped, qPrintable(seen));
    else
        QVERIFY2(width <= 400 && needed >= 4 * lineHeight, qPrintable(seen));
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
