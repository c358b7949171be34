#include "desktop/twips.h"
#include "discovery/discovery.h"
#include "discovery/tests/fakes.h"
#include "portcheck/port_num.h"
#include "tests/support/recorders.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using discovery::fakes::FakeBridge;
using discovery::fakes::FakeRegistry;
using discovery::fakes::FakeVendorLibrary;
using discovery::fakes::FakeVersion;
using portcheck::PortNum;

namespace {

FakeBridge bridge(const char *serial, const char *product)
{
    FakeBridge b;
    b.serial = serial;
    b.product = product;
    return b;
}

// Records what txtData held when the window was first shown.
class ShowWatcher final : public QObject {
public:
    explicit ShowWatcher(PortNum &window) : m_window(window) { window.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && shows++ == 0)
            textAtFirstShow = m_window.txtData->text();
        return false;
    }
    int shows = 0;
    QString textAtFirstShow;

private:
    PortNum &m_window;
};

const QString kNoBridge = QStringLiteral("\r\n\r\n");
const QString kBridgeOnCom3 = QStringLiteral("  Serial Num = 0001\r\n"
                                             "  Device Name = CP2102 USB to UART Bridge Controller\r\n"
                                             "  This device is on COM Port :  3\r\n\r\n\r\n\r\n");

} // namespace

class TestPortNum : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensWithTheReportOfNoBridge();
    void refreshReplacesTheReport();
    void bridgeAppearsAndDisappears();
    void reportBytesShowAsLatin1();
    void missingLibraryEndsWithoutShowing();
    void missingFunctionOnRefreshEnds();
    void unloadClosesABridgeLeftOpen();
    void quitEndsAtOnce();
    void layoutCaptionsColoursAndFonts();
    void tabOrder();

private:
    std::unique_ptr<FakeVendorLibrary> vendor;
    std::unique_ptr<FakeRegistry> registry;
    std::unique_ptr<FakeVersion> version;
    std::unique_ptr<discovery::Discovery> scan;
    testsupport::RecordingMessageBoxes boxes;
    testsupport::RecordingProgramEnd programEnd;
    std::unique_ptr<PortNum> window;
};

void TestPortNum::init()
{
    window.reset();
    scan.reset();
    vendor = std::make_unique<FakeVendorLibrary>();
    registry = std::make_unique<FakeRegistry>();
    registry->setString("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters",
                        "PortName", "COM3");
    version = std::make_unique<FakeVersion>();
    scan = std::make_unique<discovery::Discovery>(*vendor, *registry, *version);
    boxes = {};
    programEnd = {};
    window = std::make_unique<PortNum>(*scan, boxes, programEnd);
}

void TestPortNum::cleanup()
{
    window.reset();
}

void TestPortNum::opensWithTheReportOfNoBridge()
{
    ShowWatcher watcher(*window);
    window->start();
    QVERIFY(window->isVisible());
    QCOMPARE(watcher.shows, 1);
    QCOMPARE(watcher.textAtFirstShow, kNoBridge);
    // Shown as two empty lines.
    QCOMPARE(window->txtData->toPlainText(), QStringLiteral("\n\n"));
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(programEnd.ends, 0);
}

void TestPortNum::refreshReplacesTheReport()
{
    vendor->bridges = {bridge("0001", "CP2102 USB to UART Bridge Controller")};
    window->start();
    QCOMPARE(window->txtData->text(), kBridgeOnCom3);
    QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
    QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
    QCOMPARE(window->txtData->text(), kBridgeOnCom3);
    QCOMPARE(std::count(vendor->calls.begin(), vendor->calls.end(), "GetNumDevices"), 3);
}

void TestPortNum::bridgeAppearsAndDisappears()
{
    window->start();
    QCOMPARE(window->txtData->text(), kNoBridge);

    vendor->bridges = {bridge("0001", "CP2102 USB to UART Bridge Controller")};
    QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
    QCOMPARE(window->txtData->text(), kBridgeOnCom3);

    vendor->bridges.clear();
    QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
    QCOMPARE(window->txtData->text(), kNoBridge);
}

void TestPortNum::reportBytesShowAsLatin1()
{
    vendor->bridges = {bridge("0001", "Br\xFC" "cke \xB5")};
    window->start();
    QVERIFY(window->txtData->text().contains(QStringLiteral("  Device Name = Brücke µ\r\n")));
}

void TestPortNum::missingLibraryEndsWithoutShowing()
{
    vendor->missingFunction = "CP210x_GetNumDevices";
    ShowWatcher watcher(*window);
    window->start();
    QCOMPARE(programEnd.ends, 1);
    QVERIFY(programEnd.lastExitCode != 0);
    QCOMPARE(watcher.shows, 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(boxes.boxes[0].text.contains(QStringLiteral("CP210x_GetNumDevices")));
    QCOMPARE(boxes.boxes[0].icon, desktop::BoxIcon::Critical);
}

void TestPortNum::missingFunctionOnRefreshEnds()
{
    vendor->bridges = {bridge("0001", "P")};
    window->start();
    QCOMPARE(programEnd.ends, 0);

    vendor->missingFunction = "CP210x_GetDeviceSerialNumber";
    QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
    QCOMPARE(programEnd.ends, 1);
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(boxes.boxes[0].text.contains(QStringLiteral("CP210x_GetDeviceSerialNumber")));
}

void TestPortNum::unloadClosesABridgeLeftOpen()
{
    vendor->bridges = {bridge("0001", "P")};
    window->start();
    window->close();
    QCOMPARE(std::count(vendor->calls.begin(), vendor->calls.end(), "Close 0"), 1);  // the scan's own

    // A scan cut short inside a pass leaves the bridge open for the unload.
    init();
    vendor->bridges = {bridge("0001", "P")};
    vendor->missingFunction = "CP210x_GetDevicePid";
    window->start();
    QVERIFY(scan->bridgeOpen());
    window->close();
    QVERIFY(vendor->openHandles.empty());
    QCOMPARE(vendor->calls.back(), std::string("Close 0"));
}

void TestPortNum::quitEndsAtOnce()
{
    window->start();
    QTest::mouseClick(window->cmdQuit, Qt::LeftButton);
    QCOMPARE(programEnd.ends, 1);
    QCOMPARE(programEnd.lastExitCode, 0);
}

void TestPortNum::layoutCaptionsColoursAndFonts()
{
    window->start();
    const qreal dpi = window->logicalDpiY();
    const auto twips = [dpi](int l, int t, int w, int h) {
        return QRect(desktop::twipsToPixels(l, dpi), desktop::twipsToPixels(t, dpi),
                     desktop::twipsToPixels(w, dpi), desktop::twipsToPixels(h, dpi));
    };
    QCOMPARE(window->windowTitle(), QStringLiteral("USB_COM_PortNum"));
    QCOMPARE(window->size(), twips(0, 0, 6795, 3675).size());
    QCOMPARE(window->Label1->geometry(), twips(120, 240, 5775, 375));
    QCOMPARE(window->txtData->geometry(), twips(120, 600, 5775, 1935));
    QCOMPARE(window->cmdRefresh->geometry(), twips(120, 2760, 2655, 615));
    QCOMPARE(window->cmdQuit->geometry(), twips(3240, 2760, 2655, 615));

    QCOMPARE(window->Label1->text(), QStringLiteral("USB Devices"));
    QCOMPARE(window->cmdRefresh->text(), QStringLiteral("Refresh"));
    QCOMPARE(window->cmdQuit->text(), QStringLiteral("Quit"));
    QVERIFY(window->Label1->alignment() & Qt::AlignHCenter);

    QCOMPARE(window->Label1->palette().color(QPalette::Window), QColor(255, 255, 128));
    QVERIFY(window->Label1->autoFillBackground());
    QCOMPARE(window->txtData->palette().color(QPalette::Base), QColor(192, 255, 192));
    QCOMPARE(window->txtData->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    const QFont label = window->Label1->font();
    QCOMPARE(label.families().value(0), QStringLiteral("新細明體"));
    QCOMPARE(label.pointSizeF(), 12.0);
    // The named font is missing here: a CJK font stands in.
    QVERIFY2(QFontInfo(label).family().contains(QStringLiteral("CJK")), qPrintable(QFontInfo(label).family()));
    QCOMPARE(window->txtData->font().families().value(0), QStringLiteral("Arial"));
    QCOMPARE(window->txtData->font().pointSizeF(), 12.0);
    for (QPushButton *button : {window->cmdRefresh, window->cmdQuit}) {
        QCOMPARE(button->font().families().value(0), QStringLiteral("Arial"));
        QCOMPARE(button->font().pointSizeF(), 9.75);
        QVERIFY(button->font().bold());
    }
}

void TestPortNum::tabOrder()
{
    window->start();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->txtData));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->cmdQuit));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->cmdRefresh));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->txtData));
    QCOMPARE(window->txtData->text(), kNoBridge);  // Tab moved on, typed nothing
}

QTEST_MAIN(TestPortNum)
#include "tst_port_num.moc"
