#include "frmmain.h"

#include "console/device/device_window.h"
#include "console/receive/byte_grid_view.h"
#include "console/traffic/traffic_settings.h"
#include "console/traffic/traffic_window.h"
#include "console/transmit/sfrmtransmit.h"
#include "desktop/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace console {

frmMain::frmMain(desktop::MessageBoxes &boxes, QWidget *parent)
    : frmMain(boxes, PortEnvironment{}, parent)
{
}

frmMain::frmMain(desktop::MessageBoxes &boxes, const PortEnvironment &ports, QWidget *parent)
    : QWidget(parent)
    , m_panels{Panel(ports), Panel(ports)}
    , m_boxes(boxes)
    , m_settings(ports.settingsFile)
{
    setWindowTitle(QStringLiteral("Tavrin"));
    desktop::sizeClientTwips(this, 11610, 7845);
    // The layout was drawn for an 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    buildPanels(ports);
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
    // The traffic and device windows read the panels: they go first.
    delete m_traffic;
    for (const QPointer<DeviceWindow> &device : m_devices)
        delete device.data();
}

void frmMain::buildPanels(const PortEnvironment &ports)
{
    const std::array<PanelView::Pieces, 2> pieces{{{&Baud0, &Parity0, &DataBits0, &StopBits0},
                                                   {&Baud1, &Parity1, &DataBits1, &StopBits1}}};
    for (int i = 0; i < 2; ++i) {
        PanelView *view = new PanelView(i, m_panels[i], pieces[i], {m_boxes, m_settings, ports}, this);
        m_views[i] = view;
        Label1[i] = view->Label1;
        Combo1[i] = view->Combo1;
        Check1[i] = view->Check1;
        Frame1[i] = view->Frame1;
        Frame2[i] = view->Frame2;
        Frame3[i] = view->Frame3;
        Frame4[i] = view->Frame4;
        Check2[i] = view->Check2;
        Check3[i] = view->Check3;
        MSHFlexGrid1[i] = view->MSHFlexGrid1;
        MSHFlexGrid2[i] = view->MSHFlexGrid2;
        Command1[i] = view->Command1;
        Command2[i] = view->Command2;
        connectHandlers(*view);
    }
    m_views[0]->setNeighbour(m_views[1]);
    m_views[1]->setNeighbour(m_views[0]);
}

void frmMain::connectHandlers(const PanelView &view)
{
    const int i = view.index();
    connect(view.Combo1, &QComboBox::activated, this, [this, i] { Combo1_Click(i); });
    // Raised for code changes too, as the start/stop handling expects.
    connect(view.Check1, &QCheckBox::toggled, this, [this, i] { Check1_Click(i); });
    connect(view.MSHFlexGrid1, &ByteGridView::userScrolled, this, [this, i] { MSHFlexGrid1_Scroll(i); });
    connect(view.MSHFlexGrid2, &ByteGridView::userScrolled, this, [this, i] { MSHFlexGrid2_Scroll(i); });
    connect(view.Command1, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    connect(view.Command2, &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
    connect(&view, &PanelView::trafficViewRequested, this, &frmMain::showTrafficView);
    connect(&view, &PanelView::deviceRequested, this, [this, i] { showDeviceWindow(i); });
    for (const PanelView::Option &option : view.options()) {
        const int index = option.index;
        void (frmMain::*handler)(int) = nullptr;
        switch (option.group) {
        case OptionGroup::Baud: Option1[index] = option.button; handler = &frmMain::Option1_Click; break;
        case OptionGroup::DataBits: Option2[index] = option.button; handler = &frmMain::Option2_Click; break;
        case OptionGroup::Parity: Option3[index] = option.button; handler = &frmMain::Option3_Click; break;
        case OptionGroup::StopBits: Option4[index] = option.button; handler = &frmMain::Option4_Click; break;
        }
        connect(option.button, &QRadioButton::toggled, this, [this, handler, index](bool on) {
            if (on)
                (this->*handler)(index);
        });
    }
}

void frmMain::setFileChooser(FileChooser *files)
{
    m_files = files;
    for (PanelView *view : m_views)
        view->setFileChooser(files);
    if (m_traffic)
        m_traffic->setFileChooser(files);
}

void frmMain::showTrafficView()
{
    if (!m_traffic) {
        // A window of its own, not one of this window's: the history
        // window, modal to this one, leaves it usable.
        m_traffic = new TrafficWindow({&m_panels[0], &m_panels[1]}, m_settings, m_boxes, nullptr);
        if (m_files)
            m_traffic->setFileChooser(m_files);
    }
    m_traffic->show();
    m_traffic->raise();
    m_traffic->activateWindow();
}

void frmMain::showDeviceWindow(int index)
{
    QPointer<DeviceWindow> &device = m_devices[size_t(index)];
    if (!device) {
        PanelView *view = m_views[size_t(index)];
        device = new DeviceWindow(m_panels[size_t(index)], m_boxes, m_files ? *m_files : m_dialogs,
                                  [view] { view->poll(); });
    }
    device->show();
    device->raise();
    device->activateWindow();
}

DeviceWindow *frmMain::deviceWindow(int index) const
{
    return m_devices[size_t(index)].data();
}

void frmMain::keepReceivedWithin(qint64 memoryBudget)
{
    for (Panel &panel : m_panels) {
        ReceiveBuffer &received = panel.receive();
        received.setMemoryBudget(memoryBudget);
        const int number = &panel == &m_panels[0] ? 1 : 2;
        // Queued: the failure shows while bytes are being handed over.
        connect(&received, &ReceiveBuffer::spillFailed, this, [this, number](const QString &reason) {
            m_boxes.show(QStringLiteral("The received bytes of port panel %1 stay in memory from now on: %2")
                             .arg(number)
                             .arg(reason),
                         windowTitle(), desktop::BoxIcon::Exclamation);
        }, Qt::QueuedConnection);
        connect(&received, &ReceiveBuffer::readBackFailed, this, [this, number](const QString &reason) {
            m_boxes.show(QStringLiteral("Received bytes of port panel %1 could not be read back: %2. They show as "
                                        "?? and cannot be saved; new bytes stay in memory from now on.")
                             .arg(number)
                             .arg(reason),
                         windowTitle(), desktop::BoxIcon::Exclamation);
        }, Qt::QueuedConnection);
    }
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
        p.setSplitRule(readTrafficSettings(m_settings).split);
    loadTransmitWindow();
}

void frmMain::loadTransmitWindow()
{
    if (!m_transmit) {
        m_transmit = std::make_unique<sfrmTransmit>(std::array<Panel *, 2>{&m_panels[0], &m_panels[1]},
                                                    [this] { return Port1; }, m_boxes, QStringLiteral("TstHis.db"),
                                                    this);
        // Modal to this window only: the traffic view stays usable.
        m_transmit->setWindowModality(Qt::WindowModal);
        if (m_files)
            m_transmit->setFileChooser(m_files);
    }
}

void frmMain::Check1_Click(int Index)
{
    m_views[Index == 0 ? 0 : 1]->startClicked();
}

void frmMain::Combo1_Click(int Index)
{
    m_views[Index == 0 ? 0 : 1]->portPicked();
}

void frmMain::Option1_Click(int Index)
{
    const int panel = Index < 8 ? 0 : 1;
    m_views[panel]->stopForNewRate();
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
    for (PanelView *view : m_views)
        view->poll();
}

void frmMain::ResetGrids0()
{
    m_views[0]->resetGrids();
}

void frmMain::ResetGrids1()
{
    m_views[1]->resetGrids();
}

void frmMain::MSHFlexGrid1_Scroll(int Index)
{
    PanelView *view = m_views[Index == 0 ? 0 : 1];
    view->followScroll(view->MSHFlexGrid1);
}

void frmMain::MSHFlexGrid2_Scroll(int Index)
{
    PanelView *view = m_views[Index == 0 ? 0 : 1];
    view->followScroll(view->MSHFlexGrid2);
}

} // namespace console
