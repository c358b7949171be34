// The kit's programs on Windows, run under Wine by tests/wine/run_under_wine.py:
// each test function builds a program's window as its main() does, over the
// real Win32 back-ends. COM5 is a pseudo-terminal whose far end the runner
// plays (see the peers there); the vendor DLL beside this program is the
// test double of discovery/wintests, and the registry is the prefix's own.
//
// Run one function per Wine prefix: kit_wintests.exe serialPort

#include "configurator/config.h"
#include "console/frmmain.h"
#include "console/receive/byte_grid_view.h"
#include "console/transmit/sfrmtransmit.h"
#include "desktop/program_icon.h"
#include "desktop/tick_counter.h"
#include "discovery/configurator_scan.h"
#include "discovery/discovery.h"
#include "discovery/platform_backends.h"
#include "discovery/wintests/fake_vendor.h"
#include "portcheck/port_num.h"
#include "portcheck/text_box.h"
#include "serial/serial_control.h"
#include "tests/support/recorders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <windows.h>

#include <cstring>

using testsupport::RecordingMessageBoxes;
using testsupport::RecordingProgramEnd;

namespace {

QByteArray allByteValues(bool descending)
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(descending ? 255 - i : i);
    return bytes;
}

// The test double as the discovery back-end will find it (by name, beside
// this program), with the given bridges.
class Bridges {
public:
    Bridges() : m_module(LoadLibraryA("CP210xManufacturing.dll")) {}
    ~Bridges()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    bool loaded() const { return m_module != nullptr; }
    void add(const char *serial, const char *product)
    {
        FakeBridge b{};
        b.vid = 0x10C4;
        b.pid = 0xEA60;
        std::strncpy(b.serial, serial, sizeof b.serial - 1);
        std::strncpy(b.product, product, sizeof b.product - 1);
        if (!m_reset) {
            m_reset = true;
            call<FakeVendorResetFunction>("FakeVendor_Reset")();
        }
        call<FakeVendorAddBridgeFunction>("FakeVendor_AddBridge")(&b);
    }

private:
    template <typename Function>
    Function call(const char *name)
    {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, name)));
    }
    HMODULE m_module;
    bool m_reset = false;
};

// The key the NT 5 lookup reads for a bridge instance: PortName under
// HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_10c4&Pid_ea60&Mi_00\<serial>_00.
bool setPortName(const char *instance, const char *portName)
{
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\")
        + instance + "\\Device Parameters";
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr)
        != ERROR_SUCCESS)
        return false;
    const LONG written = RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(portName),
                                        DWORD(std::strlen(portName) + 1));
    RegCloseKey(key);
    return written == ERROR_SUCCESS;
}

} // namespace

class TestKitUnderWine : public QObject {
    Q_OBJECT
private slots:
    void serialPort();
    void tavrin();
    void morvex();
    void pelurk();
};

// The far end: waits for the 256 byte values in descending order, checks the
// line settings, answers with the 256 values ascending, and closes its end
// when "BYE" comes. Bytes it wrote before the port opened must not arrive.
void TestKitUnderWine::serialPort()
{
    serial::SerialControl port;
    port.setCommPort(5);
    QVERIFY(port.setSettings(QStringLiteral("19200,n,8,2")));
    port.setDTREnable(true); // a pseudo-terminal has no modem lines: ignored
    port.setRTSEnable(true);
    QVERIFY2(port.setPortOpen(true), qPrintable(port.lastError()));
    QVERIFY(port.portOpen());
    QSignalSpy faults(&port, &serial::SerialControl::faulted);

    QVERIFY(port.output(allByteValues(true)));
    QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), qint64(256), 10000);
    QCOMPARE(port.input(), allByteValues(false));
    QCOMPARE(port.inBufferCount(), qint64(0));
    QCOMPARE(port.input(), QByteArray());

    QVERIFY(port.output(QString::fromLatin1("BYE")));
    QTRY_COMPARE_WITH_TIMEOUT(faults.count(), 1, 10000);
    QVERIFY(port.hasFault());
    QVERIFY(!port.portOpen());
    QVERIFY(!port.output(QByteArray("x")));
}

// The far end writes "ABCDEFGHIJKLMNOPQRST" once the port is open and then
// expects 7E 00 FF 0D 0A, the row sent from the history.
void TestKitUnderWine::tavrin()
{
    RecordingMessageBoxes boxes;
    console::frmMain main(boxes);
    QVERIFY(QFile::exists(QStringLiteral("TstHis.db")));
    desktop::setProgramIcon(QStringLiteral("tavrin"));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    // Drawn from PNG files on Windows, from 16 px for the title bar to 256.
    const QList<QSize> sizes = main.windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)), qPrintable(QString::number(sizes.size())));

    main.Combo1[0]->setEditText(QStringLiteral("5"));
    main.Check1[0]->click();
    QVERIFY(main.Check1[0]->isChecked());
    QVERIFY2(main.MSComm1[0].portOpen(), qPrintable(boxes.texts().join(QLatin1Char('|'))));

    const auto cell = [&](bool hexGrid, int row, int column) {
        auto *m = (hexGrid ? main.MSHFlexGrid2 : main.MSHFlexGrid1)[0]->model();
        return m->data(m->index(row, column)).toString();
    };
    // Shown by the window's own 500 ms poll: 16 to a row, then the next row.
    QTRY_COMPARE_WITH_TIMEOUT(cell(false, 2, 4), QStringLiteral("T"), 10000);
    QCOMPARE(cell(false, 1, 1), QStringLiteral("A"));
    QCOMPARE(cell(false, 1, 16), QStringLiteral("P"));
    QCOMPARE(cell(true, 1, 1), QStringLiteral("41"));
    QCOMPARE(cell(true, 2, 4), QStringLiteral("54"));
    QCOMPARE(main.MSComm1[0].inBufferCount(), qint64(0));

    QTimer::singleShot(0, [&] {
        console::sfrmTransmit *t = main.transmitWindow();
        t->Command2_Click(0);
        const QModelIndex data = t->DataGrid1->currentIndex().siblingAtColumn(1);
        t->model().setData(data, QStringLiteral("7E,00,FF,0D,0A"));
        t->DataGrid1->setCurrentIndex(data.siblingAtColumn(0));
        t->DataGrid1_ButtonClick(0); // Txt -> Hex
        t->Command1_Click();
        t->close();
    });
    main.Command2_Click(0);
    QVERIFY(main.Port1);
    QTRY_COMPARE_WITH_TIMEOUT(main.MSComm1[0].outBufferCount(), qint64(0), 5000);
    QCOMPARE(boxes.texts(), QStringList{});
    // The peer's verdict on the row comes from the runner.
}

// The far end expects the FX preset's frame at 9600,e,7,1 and acknowledges it.
void TestKitUnderWine::morvex()
{
    Bridges bridges;
    QVERIFY(bridges.loaded());
    bridges.add("0001", "USB to UART adapter");
    QVERIFY(setPortName("0001_00", "COM5"));

    RecordingMessageBoxes boxes;
    RecordingProgramEnd programEnd;
    desktop::MonotonicTickCounter ticks;
    discovery::PlatformBackends backends = discovery::makePlatformBackends();
    discovery::Discovery scan(*backends.vendor, *backends.registry, *backends.version);
    configurator::Config window(boxes, programEnd, ticks, [&scan](discovery::ConfiguratorPorts &ports) {
        scan.DeviceHandle = 1;
        return discovery::FillDeviceListForConfigurator(scan, ports);
    });
    window.start();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(programEnd.ends, 0);
    QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("cmbComport"))->currentText(), QStringLiteral("COM5"));

    window.findChild<QRadioButton *>(QStringLiteral("OptDevice_0"))->setChecked(true);
    window.findChild<QPushButton *>(QStringLiteral("cmdDevice_Config"))->click();

    QCOMPARE(programEnd.ends, 0);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblConfig_Message"))->text(),
             QStringLiteral("9600,e,7,1 設定成功 "));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("通訊設定已更新")});
}

// Two bridges of the test double, on COM5 and COM12.
void TestKitUnderWine::pelurk()
{
    Bridges bridges;
    QVERIFY(bridges.loaded());
    bridges.add("0001", "USB to UART adapter");
    bridges.add("ab 12", "Second adapter");
    QVERIFY(setPortName("0001_00", "COM5"));
    QVERIFY(setPortName("ab_12_00", "COM12"));

    const discovery::PlatformBackends backends = discovery::makePlatformBackends();
    discovery::Discovery scan(*backends.vendor, *backends.registry, *backends.version);
    RecordingMessageBoxes boxes;
    RecordingProgramEnd programEnd;
    portcheck::PortNum window(scan, boxes, programEnd);
    window.start();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.txtData->text(),
             QStringLiteral("  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                            "  This device is on COM Port :  5\r\n\r\n"
                            "  Serial Num = ab 12\r\n  Device Name = Second adapter\r\n"
                            "  This device is on COM Port :  12\r\n\r\n\r\n\r\n"));
    QCOMPARE(boxes.texts(), QStringList{});
    QCOMPARE(programEnd.ends, 0);
}

QTEST_MAIN(TestKitUnderWine)
#include "tst_kit_under_wine.moc"
