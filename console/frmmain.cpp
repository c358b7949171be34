#include "frmmain.h"

#include "console/panel/port_box_tip.h"
#include "console/files/receive_files.h"
#include "console/transmit/sfrmtransmit.h"
#include "console/traffic/traffic_window.h"
#include "desktop/twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace console {

namespace {
const QString kTitle = QStringLiteral("Tavrin");
// Panel 1 is panel 0 moved this far to the right.
constexpr int kPanelShift = 5790;
} // namespace

frmMain::frmMain(desktop::MessageBoxes &boxes, QWidget *parent)
    : frmMain(boxes, PortEnvironment{}, parent)
{
}

frmMain::frmMain(desktop::MessageBoxes &boxes, const PortEnvironment &ports, QWidget *parent)
    : QWidget(parent)
    , m_panels{Panel(ports), Panel(ports)}
    , Started0(m_panels[0].runFlag())
    , Started1(m_panels[1].runFlag())
    , m_boxes(boxes)
    , m_ports(ports)
    , m_settings(ports.settingsFile)
{
    setWindowTitle(kTitle);
    desktop::sizeClientTwips(this, 11610, 7845);
    // The layout was drawn for an 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    buildPanel(0);
    buildPanel(1);
    keepReceivedWithin(m_settings.receiveMemoryBudget());

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    // Queued: Qt does not fire a timer again while its own timeout is being
    // handled, so a box opened by a tick (a fault) would stop every tick
    // behind it. Run from the event queue, the ticks go on under the box.
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer, Qt::QueuedConnection);

    Form_Load();
    Timer1->start();
}

frmMain::~frmMain()
{
    // The traffic window reads the panels: it goes first.
    delete m_traffic;
}

void frmMain::setFileChooser(FileChooser *files)
{
    m_files = files;
    if (m_traffic)
        m_traffic->setFileChooser(files);
}

void frmMain::showTrafficView()
{
    if (!m_traffic) {
        m_traffic = new TrafficWindow({&m_panels[0], &m_panels[1]}, m_settings, m_boxes, this);
        m_traffic->setFileChooser(m_files);
    }
    m_traffic->show();
    m_traffic->raise();
    m_traffic->activateWindow();
}

void frmMain::keepReceivedWithin(qint64 memoryBudget)
{
    for (int i = 0; i < 2; ++i) {
        ReceiveBuffer &received = m_panels[i].receive();
        received.setMemoryBudget(memoryBudget);
        // Queued: the failure shows while bytes are being handed over.
        connect(&received, &ReceiveBuffer::spillFailed, this, [this, i](const QString &reason) {
            message(QStringLiteral("The received bytes of port panel %1 stay in memory from now on: %2")
                        .arg(i + 1)
                        .arg(reason),
                    desktop::BoxIcon::Exclamation);
        }, Qt::QueuedConnection);
    }
}

void frmMain::buildPanel(int i)
{
    // Positions are panel 0's; panel 1 differs by the shift and, in a few
    // places, by the small offsets of its own design.
    const int dx = i * kPanelShift;

    Label1[i] = new QLabel(QStringLiteral("COM Port :"), this);
    desktop::placeTwips(Label1[i], 150 + dx, 90, 945, 240);

    Combo1[i] = new QComboBox(this);
    Combo1[i]->setEditable(true);
    Combo1[i]->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= 16; ++n)
        Combo1[i]->addItem(QString::number(n));
    Combo1[i]->setCurrentIndex(i == 0 ? 0 : 1);
    desktop::placeTwips(Combo1[i], 1200 + dx, 60, 705, 315);
    connect(Combo1[i], &QComboBox::activated, this, [this, i] { Combo1_Click(i); });
    m_panels[i].setPortText(Combo1[i]->currentText());
    connect(Combo1[i], &QComboBox::currentTextChanged, &m_panels[i], &Panel::setPortText);
    new PortBoxTip(Combo1[i], m_ports.places);

    Check1[i] = new QCheckBox(QStringLiteral("Start"), this);
    QFont bold = Check1[i]->font();
    bold.setBold(true);
    Check1[i]->setFont(bold);
    desktop::placeTwips(Check1[i], 2370 + dx, 90, 1545, 315);
    // Raised for code changes too, as the start/stop handling expects.
    connect(Check1[i], &QCheckBox::toggled, this, [this, i] { Check1_Click(i); });

    Frame1[i] = new QGroupBox(QStringLiteral("Baud Rate"), this);
    desktop::placeTwips(Frame1[i], 150 + dx, 480, 1635, 2475);
    Frame2[i] = new QGroupBox(QStringLiteral("Data Bit"), this);
    desktop::placeTwips(Frame2[i], 2010 + dx, 540, 1905, 645);
    Frame3[i] = new QGroupBox(QStringLiteral("Parity Check"), this);
    desktop::placeTwips(Frame3[i], 2010 + dx, 1230, 1905, 1155);
    Frame4[i] = new QGroupBox(QStringLiteral("Stop Bit"), this);
    desktop::placeTwips(Frame4[i], 1980 + dx, 2430, 1935, 525);
    buildOptions(OptionGroup::Baud, i, Frame1[i]);
    buildOptions(OptionGroup::DataBits, i, Frame2[i]);
    buildOptions(OptionGroup::Parity, i, Frame3[i]);
    buildOptions(OptionGroup::StopBits, i, Frame4[i]);

    Check2[i] = new QCheckBox(QStringLiteral("DSR/DTR"), this);
    desktop::placeTwips(Check2[i], 4170 + dx, i == 0 ? 1230 : 1200, 1095, 315);
    Check3[i] = new QCheckBox(QStringLiteral("CTS/RTS"), this);
    desktop::placeTwips(Check3[i], 4170 + dx, i == 0 ? 1890 : 1860, 1095, 315);

    ReceiveBuffer &receive = m_panels[i].receive();
    MSHFlexGrid1[i] = new ByteGridView(this);
    MSHFlexGrid1[i]->setModel(receive.textModel());
    MSHFlexGrid1[i]->setSelection(&receive.selection());
    desktop::placeTwips(MSHFlexGrid1[i], 150 + dx, 3060, 5550, 2025);
    MSHFlexGrid2[i] = new ByteGridView(this);
    MSHFlexGrid2[i]->setModel(receive.hexModel());
    MSHFlexGrid2[i]->setSelection(&receive.selection());
    desktop::placeTwips(MSHFlexGrid2[i], 150 + dx, 5190, 5550, 2025);
    connect(MSHFlexGrid1[i], &ByteGridView::userScrolled, this, [this, i] { MSHFlexGrid1_Scroll(i); });
    connect(MSHFlexGrid2[i], &ByteGridView::userScrolled, this, [this, i] { MSHFlexGrid2_Scroll(i); });

    buildReceiveMenu(i);

    Command1[i] = new QPushButton(QStringLiteral("Clear"), this);
    desktop::placeTwips(Command1[i], 150 + dx, 7350, 1875, 405);
    connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    Command2[i] = new QPushButton(QStringLiteral("Transmit"), this);
    desktop::placeTwips(Command2[i], 2070 + dx, 7350, 1875, 405);
    Command2[i]->setEnabled(false);
    connect(Command2[i], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
}

void frmMain::buildReceiveMenu(int i)
{
    m_menus[i] = new ReceiveMenu(this);
    m_menus[i]->attachTo(MSHFlexGrid1[i]);
    m_menus[i]->attachTo(MSHFlexGrid2[i]);
    ReceiveMenu *menu = m_menus[i];
    connect(menu->copyAction(), &QAction::triggered, this,
            [this, i, menu] { copySelection(i, menu->target() == MSHFlexGrid2[i]); });
    connect(menu->selectAllAction(), &QAction::triggered, this, [this, i] { selectAllReceived(i); });
    connect(menu->saveAction(), &QAction::triggered, this, [this, i] { saveReceived(i); });
    connect(menu->logAction(), &QAction::triggered, this, [this, i](bool on) { setLogging(i, on); });
    connect(menu->trafficAction(), &QAction::triggered, this, &frmMain::showTrafficView);
    connect(menu->choosePortAction(), &QAction::triggered, this, [this, i] { choosePort(i); });
    connect(menu->otherBaudRateAction(), &QAction::triggered, this, [this, i] { chooseOtherBaudRate(i); });
    connectReconnect(i);
}

void frmMain::copySelection(int i, bool hex)
{
    const ByteSelection::Range range = receiveOf(i).selection().selected();
    if (range.count == 0)
        return;
    if (range.count > kCopyLimit) {
        message(QStringLiteral("The selection holds %1 bytes; Copy takes at most %2 bytes. "
                               "Save Received Bytes... takes any number.")
                    .arg(range.count)
                    .arg(kCopyLimit),
                desktop::BoxIcon::Information);
        return;
    }
    const ByteStore &store = receiveOf(i).store();
    QApplication::clipboard()->setText(hex ? copiedHex(store, range.first, range.count)
                                           : copiedText(store, range.first, range.count));
}

void frmMain::selectAllReceived(int i)
{
    receiveOf(i).selection().selectAll();
}

void frmMain::saveReceived(int i)
{
    const std::optional<FileChooser::SaveTarget> target = m_files->saveTarget(this);
    if (!target)
        return;
    const ReceiveBuffer &buffer = receiveOf(i);
    const qint64 count = buffer.shownSize();
    SaveResult result;
    if (!target->hexDump) {
        result = saveRaw(buffer.store(), count, target->path);
    } else {
        // About 6 bytes of file a byte received: long enough to want a way out.
        QProgressDialog progress(QStringLiteral("Saving %1 ...").arg(target->path), QStringLiteral("Cancel"), 0,
                                 1000, this);
        progress.setWindowTitle(kTitle);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        result = saveHexDump(buffer.store(), buffer.arrivalTimes(), count, target->path,
                             [&](qint64 done, qint64 total) {
                                 progress.setValue(int(done * 1000 / std::max<qint64>(1, total)));
                                 return !progress.wasCanceled();
                             });
    }
    if (!result.ok && !result.cancelled)
        message(QStringLiteral("Could not save %1: %2").arg(target->path, result.error), desktop::BoxIcon::Critical);
}

void frmMain::setLogging(int i, bool on)
{
    ReceiveLog &log = m_panels[i].log();
    if (!on)
        log.close();
    else if (const std::optional<QString> path = m_files->logFile(this); path && !log.open(*path))
        message(QStringLiteral("Could not log to %1: %2").arg(*path, log.errorString()), desktop::BoxIcon::Critical);
    showLogging(i);
}

void frmMain::showLogging(int i)
{
    const ReceiveLog &log = m_panels[i].log();
    const QString file = log.isOpen() ? QFileInfo(log.fileName()).absoluteFilePath() : QString();
    m_menus[i]->showLogFile(file);
    const QString tip = file.isEmpty() ? QString() : tr("Logging to %1").arg(file);
    MSHFlexGrid1[i]->setToolTip(tip);
    MSHFlexGrid2[i]->setToolTip(tip);
}

void frmMain::buildOptions(OptionGroup group, int panel, QGroupBox *frame)
{
    for (const OptionSpec &entry : optionSpecs(group)) {
        if (entry.panel != panel)
            continue;
        auto *option = new QRadioButton(entry.caption, frame);
        desktop::placeTwips(option, entry.left, entry.top, entry.width, entry.height);
        option->setChecked(entry.selectedAtStart);
        // The unavailable "1.5" would lie on top of "2" in the left panel;
        // it is not shown at all.
        option->setEnabled(entry.available);
        option->setVisible(entry.available);
        const int index = entry.index;
        switch (group) {
        case OptionGroup::Baud:
            Option1[index] = option;
            connect(option, &QRadioButton::toggled, this, [this, index](bool on) { if (on) Option1_Click(index); });
            break;
        case OptionGroup::DataBits:
            Option2[index] = option;
            connect(option, &QRadioButton::toggled, this, [this, index](bool on) { if (on) Option2_Click(index); });
            break;
        case OptionGroup::Parity:
            Option3[index] = option;
            connect(option, &QRadioButton::toggled, this, [this, index](bool on) { if (on) Option3_Click(index); });
            break;
        case OptionGroup::StopBits:
            Option4[index] = option;
            connect(option, &QRadioButton::toggled, this, [this, index](bool on) { if (on) Option4_Click(index); });
            break;
        }
    }
}

QString frmMain::settingsOf(int panel) const
{
    return panel == 0 ? settingsString(Baud0, Parity0, DataBits0, StopBits0)
                      : settingsString(Baud1, Parity1, DataBits1, StopBits1);
}

void frmMain::message(const QString &text, desktop::BoxIcon icon)
{
    m_boxes.show(text, kTitle, icon);
}

void frmMain::Form_Load()
{
    ResetGrids0();
    ResetGrids1();
    Baud0 = Baud1 = QStringLiteral("9600");
    Parity0 = Parity1 = QStringLiteral(",n");
    DataBits0 = DataBits1 = QStringLiteral(",8");
    StopBits0 = StopBits1 = QStringLiteral(",1");
    Started0 = Started1 = false;
    // The write positions follow from the (now empty) receive buffers.
    for (Panel &p : m_panels)
        p.setSplitRule(m_settings.traffic().split);
    loadTransmitWindow();
}

void frmMain::loadTransmitWindow()
{
    if (!m_transmit) {
        m_transmit = std::make_unique<sfrmTransmit>(
            std::array<serial::SerialControl *, 2>{&MSComm1[0], &MSComm1[1]},
            [this] { return Port1; }, m_boxes);
        // What the history window sends shows in the traffic view.
        connect(m_transmit.get(), &sfrmTransmit::sent, this,
                [this](int panel, const QByteArray &bytes) { m_panels[panel == 0 ? 0 : 1].noteSent(bytes); });
    }
}

void frmMain::applyLayout(int i, bool running)
{
    Command2[i]->setEnabled(running);
    for (QGroupBox *frame : {Frame1[i], Frame2[i], Frame3[i], Frame4[i]})
        frame->setEnabled(!running);
    Combo1[i]->setEnabled(!running);
    Check2[i]->setEnabled(!running);
    Check3[i]->setEnabled(!running);
    m_menus[i]->choosePortAction()->setEnabled(!running);
    m_menus[i]->otherBaudRateAction()->setEnabled(!running);
}

void frmMain::Check1_Click(int Index)
{
    const int i = Index == 0 ? 0 : 1;
    // While the panel waits for its adapter the box shows the wait; a click
    // on it ends the wait first (see connectReconnect).
    if (waitingForAdapter(i))
        return;
    bool &started = startedOf(i);
    started = Check1[i]->isChecked();
    if (!started || MSComm1[i].portOpen()) {
        applyLayout(i, false);
        return;
    }

    if (portsConflict()) {
        message(QStringLiteral("COM Port Conflict Error."), desktop::BoxIcon::Critical);
        started = false;
        Check1[i]->setChecked(false);
        return;
    }
    QString failure;
    if (!m_panels[i].start(portRequest(i), &failure)) {
        m_boxes.showWithDetails(QStringLiteral("COM Port Error."), failure, kTitle, desktop::BoxIcon::None);
        started = false;
        Check1[i]->setChecked(false);
        return;
    }
    applyLayout(i, true);
}

PortRequest frmMain::portRequest(int i) const
{
    return {Combo1[i]->currentText(), settingsOf(i), Check3[i]->isChecked(), Check2[i]->isChecked()};
}

bool frmMain::portsConflict() const
{
    // Texts, compared exactly: "1" and "01" do not conflict.
    return Combo1[0]->currentText() == Combo1[1]->currentText();
}

void frmMain::Combo1_Click(int)
{
    if (portsConflict())
        message(QStringLiteral("COM Port Conflicts."), desktop::BoxIcon::Information);
}

void frmMain::stopForNewRate(int panel)
{
    if (Check1[panel]->checkState() == Qt::Checked) {
        message(QStringLiteral("COM Port ") + Combo1[panel]->currentText() + QStringLiteral("has been stopped."),
                desktop::BoxIcon::None);
        Check1[panel]->setChecked(false);
    }
}

void frmMain::Option1_Click(int Index)
{
    const int panel = Index < 8 ? 0 : 1;
    stopForNewRate(panel);
    if (const OptionSpec *entry = optionSpec(OptionGroup::Baud, Index))
        (panel == 0 ? Baud0 : Baud1) = entry->piece;
}

void frmMain::Option2_Click(int Index)
{
    if (const OptionSpec *entry = optionSpec(OptionGroup::DataBits, Index))
        (entry->panel == 0 ? DataBits0 : DataBits1) = entry->piece;
}

void frmMain::Option3_Click(int Index)
{
    if (const OptionSpec *entry = optionSpec(OptionGroup::Parity, Index))
        (entry->panel == 0 ? Parity0 : Parity1) = entry->piece;
}

void frmMain::Option4_Click(int Index)
{
    if (const OptionSpec *entry = optionSpec(OptionGroup::StopBits, Index))
        (entry->panel == 0 ? StopBits0 : StopBits1) = entry->piece;
}

void frmMain::Command1_Click(int Index)
{
    if (Index == 0)
        ResetGrids0();
    else
        ResetGrids1();
}

void frmMain::Command2_Click(int Index)
{
    Port1 = Index == 0;
    loadTransmitWindow();
    m_transmit->exec();
    // Closing the window unloads it; the next Transmit loads it again and
    // so reads the rows afresh.
    m_transmit.reset();
}

void frmMain::Form_Unload()
{
    // Ends the program; the serial controls release their ports as they go.
    QCoreApplication::quit();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmMain::Timer1_Timer()
{
    pollPanel(0);
    pollPanel(1);
}

void frmMain::pollPanel(int i)
{
    if (waitingForAdapter(i)) {
        tryReconnect(i);
        return;
    }
    switch (m_panels[i].poll()) {
    case Panel::PollStep::Show:
        showReceived(i, MSComm1[i].input());
        break;
    case Panel::PollStep::Fault:
        stopAfterFault(i);
        break;
    case Panel::PollStep::Nothing:
        break;
    }
}

void frmMain::showReceived(int i, const QByteArray &bytes)
{
    ByteGridView *text = MSHFlexGrid1[i];
    ByteGridView *hex = MSHFlexGrid2[i];
    const qint64 rowsBefore = receiveOf(i).rowCount();
    const int textTop = text->firstVisibleRow();
    const int hexTop = hex->firstVisibleRow();
    if (!m_panels[i].show(bytes)) {
        // Logging stops; the grids go on receiving.
        showLogging(i);
        const ReceiveLog &log = m_panels[i].log();
        message(QStringLiteral("Logging to %1 stopped: %2").arg(log.fileName(), log.errorString()),
                desktop::BoxIcon::Critical);
    }
    const qint64 appended = receiveOf(i).rowCount() - rowsBefore;
    if (appended == 0)
        return;
    const qint64 moved = grid::autoScrolledTop(textTop, rowsBefore, appended) - textTop;
    text->setFirstVisibleRow(int(textTop + moved));
    hex->setFirstVisibleRow(int(hexTop + moved));
}

void frmMain::stopAfterFault(int i)
{
    // Show what arrived before the line went, then stop the panel once.
    const QString reason = MSComm1[i].device() + QStringLiteral(": ") + MSComm1[i].lastError();
    showReceived(i, MSComm1[i].input());
    m_panels[i].stopAfterFault();
    Check1[i]->setChecked(false);
    // The wait begins before the box: ticks go on behind it, and the
    // adapter may return while it is open; the box's details follow.
    m_faultBoxes[i] = {reason, std::make_shared<desktop::BoxDetails>(reason)};
    if (reconnectAutomatically(i))
        beginAdapterWait(i);
    m_boxes.showWithChangingDetails(QStringLiteral("COM Port Error."), m_faultBoxes[i].details, kTitle,
                                    desktop::BoxIcon::None);
}

void frmMain::resetGrids(int i)
{
    m_panels[i].clear();
    MSHFlexGrid1[i]->setColumnWidthsTwips(grid::kLabelColumnTwips, grid::kByteColumnTwips);
    MSHFlexGrid2[i]->setColumnWidthsTwips(grid::kLabelColumnTwips, grid::kByteColumnTwips);
    MSHFlexGrid1[i]->setFirstVisibleRow(1);
    MSHFlexGrid2[i]->setFirstVisibleRow(1);
}

void frmMain::ResetGrids0()
{
    resetGrids(0);
}

void frmMain::ResetGrids1()
{
    resetGrids(1);
}

void frmMain::MSHFlexGrid1_Scroll(int Index)
{
    const int i = Index == 0 ? 0 : 1;
    MSHFlexGrid2[i]->setFirstVisibleRow(MSHFlexGrid1[i]->firstVisibleRow());
}

void frmMain::MSHFlexGrid2_Scroll(int Index)
{
    const int i = Index == 0 ? 0 : 1;
    MSHFlexGrid1[i]->setFirstVisibleRow(MSHFlexGrid2[i]->firstVisibleRow());
}

} // namespace console
