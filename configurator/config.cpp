#include "config.h"

#include "configurator/configuration_frame.h"
#include "configurator/exchange.h"
#include "desktop/twips.h"
#include "serial/open_failure.h"
#include "serial/serial_control.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace configurator {

namespace {
const QString kBoxTitle = QStringLiteral("系統訊息");

template <typename W>
W *makeControl(QWidget *parent, const char *name, const QString &text, int left, int top,
               int width, int height)
{
    auto *w = new W(text, parent);
    w->setObjectName(QString::fromLatin1(name));
    desktop::placeTwips(w, left, top, width, height);
    return w;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int left, int top,
                  int width, int height)
{
    auto *label = makeControl<QLabel>(parent, name, text, left, top, width, height);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QComboBox *makeList(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(false); // only the listed entries, never typed text
    desktop::placeTwips(box, left, top, width, height);
    return box;
}
} // namespace

Config::Config(desktop::MessageBoxes &boxes, desktop::ProgramEnd &programEnd,
               const desktop::TickCounter &ticks, DiscoveryScan scan, PortDevice portDevice,
               QWidget *parent)
    : QWidget(parent)
    , m_boxes(boxes)
    , m_programEnd(programEnd)
    , m_ticks(ticks)
    , m_scan(std::move(scan))
    , m_portDevice(std::move(portDevice))
{
    MSComm1 = new serial::SerialControl(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    connect(MSComm1, &serial::SerialControl::bytesArrived, &m_wait, &EventWait::wake);
    m_exchange = std::make_unique<Exchange>(*MSComm1, m_ticks, m_wait);
    buildControls();
}

Config::~Config() = default;

void Config::buildControls()
{
    setObjectName(QStringLiteral("Config"));
    setWindowTitle(QStringLiteral("藍牙通訊設定"));
    desktop::sizeClientTwips(this, 11400, 9090);

    Option1 = makeControl<QRadioButton>(this, "Option1", QStringLiteral("Device Config"), 1920, 360, 2895, 375);
    Option2 = makeControl<QRadioButton>(this, "Option2", QStringLiteral("User Define"), 6600, 360, 2415, 375);
    Option1->setChecked(true);

    Frame2 = makeControl<QGroupBox>(this, "Frame2", QStringLiteral("Device Config"), 1200, 840, 8895, 3495);
    OptDevice[0] = makeControl<QRadioButton>(Frame2, "OptDevice_0", QStringLiteral("Misubishi - PLC - FX - Series "), 600, 480, 3615, 375);
    OptDevice[1] = makeControl<QRadioButton>(Frame2, "OptDevice_1", QStringLiteral("Misubish - PLC - A/Q - Series"), 600, 1680, 3615, 375);
    OptDevice[2] = makeControl<QRadioButton>(Frame2, "OptDevice_2", QStringLiteral("National - PLC - FP"), 600, 2640, 2295, 375);
    OptDevice[0]->setChecked(true);
    Label5 = makeLabel(Frame2, "Label5", QStringLiteral("Comm. Port Setting"), 4800, 240, 3375, 255);
    lblCommport_setting = makeLabel(Frame2, "lblCommport_setting", QStringLiteral("Protocol 尚未設定"), 4320, 540, 4215, 375);
    Label3 = makeLabel(Frame2, "Label3", QStringLiteral("Config Message"), 4920, 1320, 3375, 255);
    lblConfig_Message = makeLabel(Frame2, "lblConfig_Message", QString(8, u' '), 4320, 1620, 4215, 375);
    cmdDevice_Config = makeControl<QPushButton>(Frame2, "cmdDevice_Config", QStringLiteral(" Apply"), 4320, 2520, 1875, 555);
    cmdDevice_Exit = makeControl<QPushButton>(Frame2, "cmdDevice_Exit", QStringLiteral("   Exit    "), 6660, 2520, 1875, 555);

    Frame1 = makeControl<QGroupBox>(this, "Frame1", QStringLiteral("User Define"), 1200, 4440, 8895, 3975);
    Label12 = makeLabel(Frame1, "Label12", QStringLiteral("Comm Port"), 600, 540, 1215, 255);
    cmbComport = makeList(Frame1, "cmbComport", 1920, 540, 1095, 300);
    Label11 = makeLabel(Frame1, "Label11", QStringLiteral("Baud Rate"), 600, 1110, 1215, 255);
    cmbBaudRate = makeList(Frame1, "cmbBaudRate", 1920, 1110, 1095, 300);
    Label10 = makeLabel(Frame1, "Label10", QStringLiteral("Data Bit"), 720, 1680, 1215, 255);
    cmbDatabit = makeList(Frame1, "cmbDatabit", 1920, 1665, 1095, 300);
    Label8 = makeLabel(Frame1, "Label8", QStringLiteral("Parity Check"), 600, 2235, 1215, 255);
    cmbParity = makeList(Frame1, "cmbParity", 1920, 2235, 1095, 300);
    Label6 = makeLabel(Frame1, "Label6", QStringLiteral("Stop Bit"), 600, 2790, 1215, 255);
    cmbStopBit = makeList(Frame1, "cmbStopBit", 1920, 2790, 1095, 300);
    Label1 = makeLabel(Frame1, "Label1", QStringLiteral("USB_Comm"), 600, 3360, 1215, 255);
    lblComm = makeLabel(Frame1, "lblComm", QString(), 1920, 3360, 1095, 300);
    QPalette lightGreen = lblComm->palette();
    lightGreen.setColor(QPalette::Window, QColor(0x80, 0xFF, 0x80));
    // The bridge's port stays readable while its frame is disabled.
    lightGreen.setColor(QPalette::Disabled, QPalette::WindowText,
                        lightGreen.color(QPalette::Active, QPalette::WindowText));
    lblComm->setPalette(lightGreen);
    lblComm->setAutoFillBackground(true);
    Label9 = makeLabel(Frame1, "Label9", QStringLiteral("Comm. Port Setting"), 4200, 480, 3375, 255);
    lblComPortSetting = makeLabel(Frame1, "lblComPortSetting", QStringLiteral("Protocol 尚未設定"), 3840, 780, 4215, 375);
    Label7 = makeLabel(Frame1, "Label7", QStringLiteral("Config Message"), 4320, 1560, 3375, 255);
    lblMessage = makeLabel(Frame1, "lblMessage", QStringLiteral("COM PORT 尚未開啟 , 請先開啟"), 3840, 1860, 4215, 435);
    cmdPortOpen = makeControl<QPushButton>(Frame1, "cmdPortOpen", QStringLiteral(" Apply"), 3960, 2880, 1875, 555);
    cmdClose = makeControl<QPushButton>(Frame1, "cmdClose", QStringLiteral("Exit"), 6120, 2880, 1875, 555);

    connect(Option1, &QRadioButton::toggled, this, &Config::Option1_Click);
    connect(Option2, &QRadioButton::toggled, this, &Config::Option2_Click);
    connect(cmdDevice_Config, &QPushButton::clicked, this, &Config::cmdDevice_Config_Click);
    connect(cmdPortOpen, &QPushButton::clicked, this, &Config::cmdPortOpen_Click);
    connect(cmdDevice_Exit, &QPushButton::clicked, this, &Config::cmdDevice_Exit_Click);
    connect(cmdClose, &QPushButton::clicked, this, &Config::cmdClose_Click);
}

void Config::start()
{
    Form_Load();
    if (!m_ended)
        show();
}

void Config::Form_Load()
{
    discovery::ConfiguratorPorts ports{m_fields.CommPortNumber, m_fields.DetectedPort};
    discovery::ConfiguratorScanResult scan;
    try {
        scan = m_scan(ports);
    } catch (const discovery::LibraryLoadError &e) {
        m_boxes.show(QStringLiteral("無法載入 USB 裝置程式庫:%1").arg(QString::fromLocal8Bit(e.what())),
                     kBoxTitle, desktop::BoxIcon::Critical);
        endProgram(1);
        return;
    }
    m_fields.CommPortNumber = ports.CommPortNumber;
    m_fields.DetectedPort = ports.DetectedPort;
    if (scan.status != discovery::ConfiguratorScanStatus::Done) {
        // A bridge whose port cannot be found or cannot be held: the window
        // is never shown.
        m_boxes.show(QString::fromUtf8(discovery::kPortNotFoundMessage), kBoxTitle,
                     desktop::BoxIcon::Critical);
        endProgram(1);
        return;
    }
    lblComm->setText(QString::fromUtf8(scan.lblComm));

    FillSettingLists();
    m_fields.CurrentSettings = QStringLiteral("9600,e,7,1");
    MSComm1->setSettings(m_fields.CurrentSettings);

    Frame2->setEnabled(true);
    Frame1->setEnabled(false);
    cmdPortOpen->setEnabled(false);
    cmdClose->setEnabled(false);
}

void Config::FillSettingLists()
{
    for (const PortEntry &entry : comPortEntries(m_fields.DetectedPort))
        cmbComport->addItem(entry.text, entry.number);
    cmbBaudRate->addItems(baudRateEntries());
    cmbDatabit->addItems(dataBitEntries());
    cmbParity->addItems(parityEntries());
    cmbStopBit->addItems(stopBitEntries());

    cmbComport->setCurrentIndex(comPortPreselection(m_fields.DetectedPort));
    cmbDatabit->setCurrentIndex(kDataBitPreselection);
    cmbBaudRate->setCurrentIndex(kBaudRatePreselection);
    cmbParity->setCurrentIndex(kParityPreselection);
    cmbStopBit->setCurrentIndex(kStopBitPreselection);
}

void Config::CommSetting()
{
    ChosenPositions chosen;
    chosen.portNumber = cmbComport->currentData().toInt();
    chosen.baud = cmbBaudRate->currentIndex();
    chosen.parity = cmbParity->currentIndex();
    chosen.dataBits = cmbDatabit->currentIndex();
    chosen.stopBits = cmbStopBit->currentIndex();
    takeChosenPositions(m_fields, chosen);

    MSComm1->setCommPort(m_fields.CommPortNumber, m_portDevice(m_fields.CommPortNumber));
    lblComPortSetting->setText(portSummary(m_fields));
}

void Config::setListsEnabled(bool enabled)
{
    for (QComboBox *box : {cmbComport, cmbBaudRate, cmbDatabit, cmbParity, cmbStopBit})
        box->setEnabled(enabled);
}

void Config::enableMode(bool deviceConfig)
{
    QWidget *const deviceSide[] = {Frame2, cmdDevice_Config, cmdDevice_Exit};
    QWidget *const userSide[] = {Frame1, cmdPortOpen, cmdClose};
    for (QWidget *w : deviceSide)
        w->setEnabled(deviceConfig);
    for (QWidget *w : userSide)
        w->setEnabled(!deviceConfig);
    setListsEnabled(!deviceConfig);
}

void Config::Option1_Click()
{
    if (Option1->isChecked())
        enableMode(true);
}

void Config::Option2_Click()
{
    if (!Option2->isChecked())
        return;
    enableMode(false);
    lblComPortSetting->clear();
    lblMessage->clear();
}

void Config::cmdDevice_Config_Click()
{
    runExchange(Entry::DeviceConfig);
}

void Config::cmdPortOpen_Click()
{
    runExchange(Entry::UserDefine);
}

void Config::cmdDevice_Exit_Click()
{
    exitProgram();
}

void Config::cmdClose_Click()
{
    exitProgram();
}

void Config::showFailure(const QString &text)
{
    m_boxes.show(text, kBoxTitle, desktop::BoxIcon::Critical);
}

void Config::runExchange(Entry entry)
{
    // Apply pressed again while an exchange waits for its reply: the port
    // is busy with the first exchange, so the press is ignored.
    if (m_exchangeRunning || m_ended)
        return;
    m_exchangeRunning = true;
    struct Running {
        bool &flag;
        ~Running() { flag = false; }
    } running{m_exchangeRunning};

    if (entry == Entry::DeviceConfig) {
        lblComPortSetting->clear();
        lblMessage->clear();
        setListsEnabled(false);
    }
    CommSetting();
    if (!openPortForExchange())
        return;

    ExchangeRequest request;
    if (entry == Entry::DeviceConfig) {
        for (int i = 0; i < kPresetCount; ++i) {
            if (OptDevice[std::size_t(i)]->isChecked())
                request = presetRequest(i);
        }
    } else {
        request = userDefinedRequest(m_fields.BaudRate, m_fields.ParityLetter, m_fields.DataBits,
                                     m_fields.StopBits);
    }
    m_fields.CurrentSettings = request.settings;

    QLabel *result = entry == Entry::DeviceConfig ? lblConfig_Message : lblMessage;
    switch (m_exchange->sendAndJudge(request.frame)) {
    case Outcome::Cancelled:
        return;
    case Outcome::WriteFailed:
    case Outcome::Silence:
        showFailure(QStringLiteral("通訊錯誤,請檢查藍芽裝置"));
        m_exchange->closePort();
        return;
    case Outcome::EmptyReply:
        showFailure(QStringLiteral("無回應"));
        m_exchange->closePort();
        endProgram(1);
        return;
    case Outcome::Refused:
    case Outcome::OtherReply:
        showFailure(QStringLiteral("通訊錯誤"));
        result->setText(QStringLiteral("通訊錯誤"));
        m_exchange->closePort();
        endProgram(1);
        return;
    case Outcome::Acknowledged:
        break;
    }
    result->setText(m_fields.CurrentSettings + QStringLiteral(" 設定成功 "));
    m_exchange->closePort();
    // The two modes tell the user and switch the port in opposite orders.
    if (entry == Entry::DeviceConfig) {
        m_boxes.show(QStringLiteral("通訊設定已更新"), kBoxTitle, desktop::BoxIcon::None);
        m_exchange->switchSettings(m_fields.CurrentSettings);
    } else {
        m_exchange->switchSettings(m_fields.CurrentSettings);
        m_boxes.show(QStringLiteral("通訊設定已更新"), kBoxTitle, desktop::BoxIcon::None);
    }
}

bool Config::openPortForExchange()
{
    switch (m_exchange->openPort()) {
    case Opening::Cancelled:
        return false;
    case Opening::Failed:
        lblMessage->setText(QStringLiteral("通訊埠無法開啟"));
        // Why, below the message: the device, the cause and what to do.
        m_boxes.showWithDetails(QStringLiteral("開啟通訊埠時發生錯誤!請確定通訊埠存在且正常。"),
                                serial::explainFailedOpen(*MSComm1), kBoxTitle, desktop::BoxIcon::Critical);
        return false;
    case Opening::Reopened:
        lblMessage->setText(QStringLiteral("通訊埠已已開啟"));
        return true;
    case Opening::Opened:
        lblMessage->setText(QStringLiteral("通訊埠已開啟"));
        return true;
    }
    return false;
}

void Config::exitProgram()
{
    if (MSComm1->portOpen() && !MSComm1->setPortOpen(false)) {
        lblComPortSetting->clear();
        lblMessage->setText(QStringLiteral("通訊埠無法關閉"));
        showFailure(QStringLiteral("關閉通訊埠時發生錯誤!請確定通訊埠存在且正常。"));
        return;
    }
    lblMessage->setText(QStringLiteral("通訊埠已關閉"));
    endProgram(0);
}

void Config::endProgram(int exitCode)
{
    // Whatever waits inside a handler stops first, so that after end()
    // nothing of the window runs on (end() may return, as in tests). The
    // port is closed here, not by the ending process: only a close removes
    // its lock file.
    m_ended = true;
    m_wait.cancel();
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    m_programEnd.end(exitCode);
}

void Config::closeEvent(QCloseEvent *event)
{
    event->accept();
    endProgram(0);
}

} // namespace configurator
