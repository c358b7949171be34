#include "panel_view.h"

#include "console/files/receive_files.h"
#include "console/panel/port_box_tip.h"
#include "console/receive/byte_grid_view.h"
#include "console/receive/grid_arithmetic.h"
#include "console/receive/receive_menu.h"
#include "desktop/twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>

namespace console {

namespace {
const QString kTitle = QStringLiteral("Tavrin");
// Panel 1 is panel 0 moved this far to the right.
constexpr int kPanelShift = 5790;
} // namespace

PanelView::PanelView(int index, Panel &panel, Pieces pieces, PanelServices services, QWidget *window)
    : QObject(window)
    , m_index(index)
    , m_panel(panel)
    , m_pieces(pieces)
    , m_services(std::move(services))
    , m_window(window)
{
    build();
}

PanelView::~PanelView() = default;

void PanelView::build()
{
    // Positions are panel 0's; panel 1 differs by the shift and, in a few
    // places, by the small offsets of its own design.
    const int i = m_index;
    const int dx = i * kPanelShift;
    QWidget *w = m_window;

    Label1 = new QLabel(QStringLiteral("COM Port :"), w);
    desktop::placeTwips(Label1, 150 + dx, 90, 945, 240);

    Combo1 = new QComboBox(w);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= 16; ++n)
        Combo1->addItem(QString::number(n));
    Combo1->setCurrentIndex(i == 0 ? 0 : 1);
    desktop::placeTwips(Combo1, 1200 + dx, 60, 705, 315);
    m_panel.setPortText(Combo1->currentText());
    connect(Combo1, &QComboBox::currentTextChanged, &m_panel, &Panel::setPortText);
    new PortBoxTip(Combo1, m_services.ports.places, [this] {
        const serial::SerialControl &port = m_panel.control();
        return port.portOpen() ? settingsTipLine(port.settings(), true) : settingsTipLine(settings(), false);
    });

    Check1 = new QCheckBox(QStringLiteral("Start"), w);
    QFont bold = Check1->font();
    bold.setBold(true);
    Check1->setFont(bold);
    desktop::placeTwips(Check1, 2370 + dx, 90, 1545, 315);

    Frame1 = new QGroupBox(QStringLiteral("Baud Rate"), w);
    desktop::placeTwips(Frame1, 150 + dx, 480, 1635, 2475);
    Frame2 = new QGroupBox(QStringLiteral("Data Bit"), w);
    desktop::placeTwips(Frame2, 2010 + dx, 540, 1905, 645);
    Frame3 = new QGroupBox(QStringLiteral("Parity Check"), w);
    desktop::placeTwips(Frame3, 2010 + dx, 1230, 1905, 1155);
    Frame4 = new QGroupBox(QStringLiteral("Stop Bit"), w);
    desktop::placeTwips(Frame4, 1980 + dx, 2430, 1935, 525);
    buildOptions(OptionGroup::Baud, Frame1);
    buildOptions(OptionGroup::DataBits, Frame2);
    buildOptions(OptionGroup::Parity, Frame3);
    buildOptions(OptionGroup::StopBits, Frame4);

    Check2 = new QCheckBox(QStringLiteral("DSR/DTR"), w);
    desktop::placeTwips(Check2, 4170 + dx, i == 0 ? 1230 : 1200, 1095, 315);
    Check3 = new QCheckBox(QStringLiteral("CTS/RTS"), w);
    desktop::placeTwips(Check3, 4170 + dx, i == 0 ? 1890 : 1860, 1095, 315);

    ReceiveBuffer &receive = m_panel.receive();
    MSHFlexGrid1 = new ByteGridView(w);
    MSHFlexGrid1->setModel(receive.textModel());
    MSHFlexGrid1->setSelection(&receive.selection());
    desktop::placeTwips(MSHFlexGrid1, 150 + dx, 3060, 5550, 2025);
    MSHFlexGrid2 = new ByteGridView(w);
    MSHFlexGrid2->setModel(receive.hexModel());
    MSHFlexGrid2->setSelection(&receive.selection());
    desktop::placeTwips(MSHFlexGrid2, 150 + dx, 5190, 5550, 2025);

    buildMenu();

    Command1 = new QPushButton(QStringLiteral("Clear"), w);
    desktop::placeTwips(Command1, 150 + dx, 7350, 1875, 405);
    Command2 = new QPushButton(QStringLiteral("Transmit"), w);
    desktop::placeTwips(Command2, 2070 + dx, 7350, 1875, 405);
    Command2->setEnabled(false);
}

void PanelView::buildOptions(OptionGroup group, QGroupBox *frame)
{
    for (const OptionSpec &entry : optionSpecs(group)) {
        if (entry.panel != m_index)
            continue;
        auto *option = new QRadioButton(entry.caption, frame);
        desktop::placeTwips(option, entry.left, entry.top, entry.width, entry.height);
        option->setChecked(entry.selectedAtStart);
        // The unavailable "1.5" would lie on top of "2" in the left panel;
        // it is not shown at all.
        option->setEnabled(entry.available);
        option->setVisible(entry.available);
        m_options.push_back({group, entry.index, option});
    }
}

void PanelView::buildMenu()
{
    m_menu = new ReceiveMenu(m_window);
    m_menu->attachTo(MSHFlexGrid1);
    m_menu->attachTo(MSHFlexGrid2);
    connect(m_menu->copyAction(), &QAction::triggered, this,
            [this] { copySelection(m_menu->target() == MSHFlexGrid2); });
    connect(m_menu->selectAllAction(), &QAction::triggered, this, &PanelView::selectAllReceived);
    connect(m_menu->saveAction(), &QAction::triggered, this, &PanelView::saveReceived);
    connect(m_menu->logAction(), &QAction::triggered, this, &PanelView::setLogging);
    connect(m_menu->trafficAction(), &QAction::triggered, this, &PanelView::trafficViewRequested);
    connect(m_menu->choosePortAction(), &QAction::triggered, this, &PanelView::choosePort);
    connect(m_menu->otherBaudRateAction(), &QAction::triggered, this, &PanelView::chooseOtherBaudRate);
    connect(m_menu->deviceAction(), &QAction::triggered, this, &PanelView::deviceRequested);
    connectReconnect();
    QAction *listenOnly = m_menu->listenOnlyAction();
    listenOnly->setChecked(m_services.settings.listenOnly(m_index));
    m_panel.setListenOnly(listenOnly->isChecked());
    connect(listenOnly, &QAction::toggled, this, &PanelView::setListenOnly);
}

void PanelView::setListenOnly(bool on)
{
    m_services.settings.setListenOnly(m_index, on);
    m_panel.setListenOnly(on);
    if (m_menu->listenOnlyAction()->isChecked() != on)
        m_menu->listenOnlyAction()->setChecked(on);
}

QString PanelView::settings() const
{
    return settingsString(*m_pieces.baud, *m_pieces.parity, *m_pieces.dataBits, *m_pieces.stopBits);
}

PortRequest PanelView::portRequest() const
{
    return {Combo1->currentText(), settings(), Check3->isChecked(), Check2->isChecked()};
}

void PanelView::message(const QString &text, desktop::BoxIcon icon)
{
    m_services.boxes.show(text, kTitle, icon);
}

void PanelView::applyLayout(bool running)
{
    Command2->setEnabled(running);
    for (QGroupBox *frame : {Frame1, Frame2, Frame3, Frame4})
        frame->setEnabled(!running);
    Combo1->setEnabled(!running);
    Check2->setEnabled(!running);
    Check3->setEnabled(!running);
    m_menu->choosePortAction()->setEnabled(!running);
    m_menu->otherBaudRateAction()->setEnabled(!running);
    m_menu->deviceAction()->setEnabled(running);
}

bool PanelView::portConflicts() const
{
    // Texts, compared exactly: "1" and "01" do not conflict.
    return m_other && m_other->Combo1->currentText() == Combo1->currentText();
}

void PanelView::startClicked()
{
    // While the panel waits for its adapter the box shows the wait; a click
    // on it ends the wait first (see connectReconnect).
    if (waitingForAdapter())
        return;
    m_panel.setStarted(Check1->isChecked());
    if (!m_panel.started() || m_panel.control().portOpen()) {
        applyLayout(false);
        return;
    }
    if (portConflicts()) {
        message(QStringLiteral("COM Port Conflict Error."), desktop::BoxIcon::Critical);
        m_panel.setStarted(false);
        Check1->setChecked(false);
        return;
    }
    QString failure;
    if (!m_panel.start(portRequest(), &failure)) {
        m_services.boxes.showWithDetails(QStringLiteral("COM Port Error."), failure, kTitle, desktop::BoxIcon::None);
        m_panel.setStarted(false);
        Check1->setChecked(false);
        return;
    }
    applyLayout(true);
}

void PanelView::portPicked()
{
    if (portConflicts())
        message(QStringLiteral("COM Port Conflicts."), desktop::BoxIcon::Information);
}

void PanelView::stopForNewRate()
{
    if (Check1->checkState() == Qt::Checked) {
        message(QStringLiteral("COM Port ") + Combo1->currentText() + QStringLiteral("has been stopped."),
                desktop::BoxIcon::None);
        Check1->setChecked(false);
    }
}

void PanelView::resetGrids()
{
    m_panel.clear();
    for (ByteGridView *grid : {MSHFlexGrid1, MSHFlexGrid2}) {
        grid->setColumnWidthsTwips(grid::kLabelColumnTwips, grid::kByteColumnTwips);
        grid->setFirstVisibleRow(1);
    }
}

void PanelView::followScroll(const ByteGridView *scrolled)
{
    ByteGridView *other = scrolled == MSHFlexGrid1 ? MSHFlexGrid2 : MSHFlexGrid1;
    other->setFirstVisibleRow(scrolled->firstVisibleRow());
}

void PanelView::poll()
{
    if (waitingForAdapter()) {
        tryReconnect();
        return;
    }
    const qint64 rowsBefore = m_panel.receive().rowCount();
    const int textTop = MSHFlexGrid1->firstVisibleRow();
    const int hexTop = MSHFlexGrid2->firstVisibleRow();
    const Panel::Poll result = m_panel.poll();
    showPoll(result, rowsBefore, textTop, hexTop);
    if (result.outcome == Panel::Poll::Outcome::Fault)
        stopAfterFault(result);
}

void PanelView::showReceived(const QByteArray &bytes)
{
    const qint64 rowsBefore = m_panel.receive().rowCount();
    const int textTop = MSHFlexGrid1->firstVisibleRow();
    const int hexTop = MSHFlexGrid2->firstVisibleRow();
    showPoll(m_panel.show(bytes), rowsBefore, textTop, hexTop);
}

void PanelView::showPoll(const Panel::Poll &poll, qint64 rowsBefore, int textTop, int hexTop)
{
    if (!poll.logFailure.isEmpty()) {
        showLogging();
        message(QStringLiteral("Logging to %1 stopped: %2").arg(m_panel.log().fileName(), poll.logFailure),
                desktop::BoxIcon::Critical);
    }
    const qint64 appended = m_panel.receive().rowCount() - rowsBefore;
    if (appended == 0)
        return;
    const qint64 moved = grid::autoScrolledTop(textTop, rowsBefore, appended) - textTop;
    MSHFlexGrid1->setFirstVisibleRow(int(textTop + moved));
    MSHFlexGrid2->setFirstVisibleRow(int(hexTop + moved));
}

void PanelView::stopAfterFault(const Panel::Poll &poll)
{
    Check1->setChecked(false);
    // The wait begins before the box: ticks go on behind it, and the
    // adapter may return while it is open; the box's details follow. A
    // fault met again while the panel's box is open (after a reconnect)
    // opens no second box: the open one counts it.
    const bool boxOpen = m_faultBoxOpen;
    m_faultCount = boxOpen ? m_faultCount + 1 : 1;
    m_faultCause = repeatedFault(poll.fault, m_faultCount, m_panel.events().back().wallMs);
    if (!boxOpen)
        m_faultDetails = std::make_shared<desktop::BoxDetails>(m_faultCause);
    m_faultDetails->setText(m_faultCause);
    if (reconnectAutomatically())
        beginAdapterWait();
    if (boxOpen)
        return;
    m_faultBoxOpen = true;
    m_services.boxes.showWithChangingDetails(QStringLiteral("COM Port Error."), m_faultDetails, kTitle,
                                             desktop::BoxIcon::None);
    m_faultBoxOpen = false;
}

void PanelView::copySelection(bool hex)
{
    const ReceiveBuffer &received = m_panel.receive();
    const ByteSelection::Range range = received.selection().selected();
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
    QApplication::clipboard()->setText(hex ? copiedHex(received.store(), range.first, range.count)
                                           : copiedText(received.store(), range.first, range.count));
}

void PanelView::selectAllReceived()
{
    m_panel.receive().selection().selectAll();
}

void PanelView::saveReceived()
{
    const std::optional<FileChooser::SaveTarget> target = m_files->saveTarget(m_window);
    if (!target)
        return;
    const ReceiveBuffer &buffer = m_panel.receive();
    const qint64 count = buffer.shownSize();
    SaveResult result;
    if (!target->hexDump) {
        result = saveRaw(buffer.store(), count, target->path);
    } else {
        // About 6 bytes of file a byte received: long enough to want a way out.
        QProgressDialog progress(QStringLiteral("Saving %1 ...").arg(target->path), QStringLiteral("Cancel"), 0,
                                 1000, m_window);
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

void PanelView::setLogging(bool on)
{
    QString failure;
    if (!on)
        m_panel.stopLog();
    else if (const std::optional<QString> path = m_files->logFile(m_window); path && !m_panel.startLog(*path, &failure))
        message(QStringLiteral("Could not log to %1: %2").arg(*path, failure), desktop::BoxIcon::Critical);
    showLogging();
}

void PanelView::showLogging()
{
    const ReceiveLog &log = m_panel.log();
    const QString file = log.isOpen() ? QFileInfo(log.fileName()).absoluteFilePath() : QString();
    m_menu->showLogFile(file);
    const QString tip = file.isEmpty() ? QString() : tr("Logging to %1").arg(file);
    MSHFlexGrid1->setToolTip(tip);
    MSHFlexGrid2->setToolTip(tip);
}

} // namespace console
