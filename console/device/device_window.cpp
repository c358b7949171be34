#include "device_window.h"

#include "capture/recording_file.h"
#include "console/device/register_file.h"
#include "console/traffic/traffic_settings.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace console {

namespace {

QString titleFor(const Panel &panel)
{
    return QStringLiteral("Tavrin Device - %1").arg(panel.portText());
}

QString tabName(protocol::RegisterKind kind)
{
    switch (kind) {
    case protocol::RegisterKind::Coil: return DeviceWindow::tr("Coils");
    case protocol::RegisterKind::Discrete: return DeviceWindow::tr("Discrete Inputs");
    case protocol::RegisterKind::Input: return DeviceWindow::tr("Input Registers");
    case protocol::RegisterKind::Holding: return DeviceWindow::tr("Holding Registers");
    }
    return {};
}

} // namespace

DeviceWindow::DeviceWindow(Panel &panel, desktop::MessageBoxes &boxes, FileChooser &files,
                           std::function<void()> pollPanel, QWidget *parent)
    : QWidget(parent, Qt::Window), m_panel(panel), m_boxes(boxes), m_files(files), m_answerer({}, {1})
{
    setWindowTitle(titleFor(panel));
    setAttribute(Qt::WA_DeleteOnClose);

    m_units = new QLineEdit(QStringLiteral("1"));
    m_units->setToolTip(tr("The unit numbers this device answers, 1-247, separated by commas"));
    m_delay = new QSpinBox;
    m_delay->setRange(0, 10000);
    m_delay->setSuffix(tr(" ms"));
    m_delay->setToolTip(tr("Time from a request to its answer, 0-10000 ms"));
    auto *settings = new QFormLayout;
    settings->addRow(tr("&Units:"), m_units);
    settings->addRow(tr("Reply &delay:"), m_delay);

    m_tabs = new QTabWidget;
    for (protocol::RegisterKind kind : protocol::kRegisterKinds) {
        auto model = std::make_unique<RegisterModel>(m_answerer.table(), kind);
        auto *view = new QTableView;
        view->setModel(model.get());
        view->verticalHeader()->hide();
        view->horizontalHeader()->setStretchLastSection(true);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        m_tabs->addTab(view, tabName(kind));
        m_views[size_t(kind)] = view;
        m_models[size_t(kind)] = std::move(model);
    }

    auto *add = new QPushButton(tr("&Add"));
    auto *remove = new QPushButton(tr("&Remove"));
    auto *load = new QPushButton(tr("&Load CSV..."));
    auto *save = new QPushButton(tr("&Save CSV..."));
    auto *fromCapture = new QPushButton(tr("From a &Capture..."));
    fromCapture->setToolTip(tr("Answer from a recording: a request equal to a recorded one gets its recorded answer"));
    connect(fromCapture, &QPushButton::clicked, this, &DeviceWindow::loadCapture);
    add->setToolTip(tr("A new entry after the last one of this table"));
    connect(add, &QPushButton::clicked, this, &DeviceWindow::addEntry);
    connect(remove, &QPushButton::clicked, this, &DeviceWindow::removeEntry);
    connect(load, &QPushButton::clicked, this, &DeviceWindow::loadTable);
    connect(save, &QPushButton::clicked, this, &DeviceWindow::saveTable);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(load);
    buttons->addWidget(save);
    buttons->addWidget(fromCapture);

    m_recordedTimes = new QCheckBox(tr("Recorded reply &times"));
    m_recordedTimes->setChecked(true);
    m_recordedTimes->setToolTip(tr("Each answer after the reply time it had in the capture; unticked, after the "
                                   "reply delay"));
    m_recordedTimes->hide();
    connect(m_recordedTimes, &QCheckBox::toggled, this, &DeviceWindow::replyDelayChosen);
    m_requestHeading = new QLabel;
    m_requestView = new QListView;
    m_requestView->setModel(&m_requests);
    m_requestView->setUniformItemSizes(true);
    m_requestView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_requestHeading->setBuddy(m_requestView);
    m_status = new QLabel;
    m_problem = new QLabel;
    m_problem->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addWidget(m_tabs, 2);
    layout->addLayout(buttons);
    layout->addWidget(m_requestHeading);
    layout->addWidget(m_requestView, 1);
    layout->addWidget(m_recordedTimes);
    layout->addWidget(m_status);
    layout->addWidget(m_problem);

    protocol::ModbusDevice::Options options;
    options.byteTimeUs = byteTimeUs(panel.control().settings());
    m_device = std::make_unique<PanelDevice>(panel, m_answerer, options);
    connect(m_device.get(), &PanelDevice::exchanged, this, &DeviceWindow::exchanged);
    attachDevice();
    connect(m_units, &QLineEdit::textChanged, this, &DeviceWindow::unitsEdited);
    connect(m_delay, &QSpinBox::valueChanged, this, &DeviceWindow::replyDelayChosen);
    if (pollPanel) {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, std::move(pollPanel));
        poll->start(kPollMs);
    }
    requestLines({}, 0);
    showCounts();
    resize(560, 600);
}

// What both devices, the table's and a recording's, report to the window.
void DeviceWindow::attachDevice()
{
    m_device->setLinesWanted(true);
    connect(m_device.get(), &PanelDevice::requestLines, this, &DeviceWindow::requestLines);
    connect(m_device.get(), &PanelDevice::answerSent, this, &DeviceWindow::showCounts);
    connect(m_device.get(), &PanelDevice::sendFailed, this,
            [this](const QString &reason) { m_problem->setText(tr("Cannot answer: %1").arg(reason)); });
}

void DeviceWindow::requestLines(const QStringList &lines, qint64 unlisted)
{
    m_requests.append(lines, unlisted);
    if (m_requests.dropped() > 0)
        m_requestHeading->setText(tr("Re&quests (the newest %1; %2 older ones dropped):")
                                      .arg(m_requests.capacity()).arg(m_requests.dropped()));
    else
        m_requestHeading->setText(tr("Re&quests:"));
    if (!lines.isEmpty())
        m_requestView->scrollToBottom();
}

DeviceWindow::~DeviceWindow() = default;

void DeviceWindow::unitsEdited()
{
    std::string reason;
    const auto units = protocol::parseUnits(m_units->text().toStdString(), &reason);
    if (!units) {
        m_problem->setText(tr("Answering as before: %1").arg(QString::fromStdString(reason)));
        return;
    }
    if (m_device->fromRecording()) {
        // The recording is played for the units now given, from the whole
        // of it as it was loaded.
        auto mine = protocol::exchangesForUnits(m_captureProtocol, m_captureExchanges, *units);
        if (mine.empty()) {
            m_problem->setText(tr("Answering as before: %1 holds no request for unit %2")
                                   .arg(QFileInfo(m_capture).fileName(), m_units->text()));
            return;
        }
        playRecording(std::move(mine));
    }
    m_answerer.setUnits(*units);
    m_problem->clear();
}

void DeviceWindow::exchanged(const protocol::Exchange &exchange)
{
    for (const protocol::Exchange::Write &write : exchange.writes)
        m_models[size_t(write.kind)]->written(write.address);
    showCounts();
}

void DeviceWindow::replyDelayChosen()
{
    if (!m_device->fromRecording())
        m_device->setReplyDelayMs(m_delay->value());
    else if (m_recordedTimes->isChecked())
        m_device->setRecordingReplyDelayMs(std::nullopt);
    else
        m_device->setRecordingReplyDelayMs(m_delay->value());
}

void DeviceWindow::loadCapture()
{
    const auto path = m_files.recordingFile(this);
    if (!path)
        return;
    std::string reason;
    const auto units = protocol::parseUnits(m_units->text().toStdString(), &reason);
    if (!units) {
        m_boxes.show(tr("Give the units first: %1").arg(QString::fromStdString(reason)), windowTitle(),
                     desktop::BoxIcon::Critical);
        return;
    }
    capture::RecordingLoad load = capture::loadRecording(*path, std::nullopt, protocol::Protocol::ModbusRtu,
                                                         qint64(kDefaultReplyTimeoutMs) * 1000);
    if (!load.error.isEmpty()) {
        m_boxes.show(load.error, windowTitle(), desktop::BoxIcon::Critical);
        return;
    }
    auto mine = protocol::exchangesForUnits(load.protocol, load.exchanges, *units);
    if (mine.empty()) {
        m_boxes.show(tr("%1 holds no request for unit %2").arg(*path, m_units->text()), windowTitle(),
                     desktop::BoxIcon::Critical);
        return;
    }
    m_capture = *path;
    m_captureExchanges = std::move(load.exchanges);
    m_captureProtocol = load.protocol;
    playRecording(std::move(mine));
    m_recordedTimes->show();
}

void DeviceWindow::playRecording(std::vector<protocol::RecordedExchange> exchanges)
{
    // The old device goes before the answerer it answers from.
    m_device.reset();
    m_recording.emplace(std::move(exchanges));
    protocol::RecordingDevice::Options options;
    options.protocol = m_captureProtocol;
    options.byteTimeUs = byteTimeUs(m_panel.control().settings());
    m_device = std::make_unique<PanelDevice>(m_panel, *m_recording, options);
    connect(m_device.get(), &PanelDevice::recordingCounted, this, &DeviceWindow::showCounts);
    attachDevice();
    replyDelayChosen();
    showCounts();
}

void DeviceWindow::showCounts()
{
    if (m_device->fromRecording()) {
        const auto &r = m_device->recordingCounts();
        m_status->setText(tr("From %1 (%2 exchanges): requests %3, matched %4, not recorded %5, answered %6")
                              .arg(QFileInfo(m_capture).fileName()).arg(m_recording->size())
                              .arg(r.matched + r.unmatched).arg(r.matched).arg(r.unmatched).arg(r.answered));
        return;
    }
    const auto &c = m_device->counts();
    m_status->setText(tr("Requests %1, answered %2, exceptions %3, no answer %4, dropped %5")
                          .arg(c.requests).arg(c.answered).arg(c.exceptions).arg(c.ignored).arg(c.dropped));
}

void DeviceWindow::loadTable()
{
    const auto path = m_files.registerTableFile(this, false);
    if (!path)
        return;
    const RegisterFileLoad load = loadRegisterFile(*path);
    if (!load.table) {
        m_boxes.show(load.error, windowTitle(), desktop::BoxIcon::Critical);
        return;
    }
    m_answerer.table() = *load.table;
    for (auto &model : m_models)
        model->reload();
    if (!load.remarks.isEmpty())
        m_boxes.show(load.remarks.join(QLatin1Char('\n')), windowTitle(), desktop::BoxIcon::Information);
}

void DeviceWindow::saveTable()
{
    const auto path = m_files.registerTableFile(this, true);
    if (!path)
        return;
    QString failure;
    if (!saveRegisterFile(*path, m_answerer.table(), &failure))
        m_boxes.show(failure, windowTitle(), desktop::BoxIcon::Critical);
}

QTableView *DeviceWindow::currentView() const
{
    return static_cast<QTableView *>(m_tabs->currentWidget());
}

void DeviceWindow::addEntry()
{
    RegisterModel &model = *m_models[size_t(m_tabs->currentIndex())];
    int row = 0;
    if (!model.addEntry(&row))
        return;
    QTableView *view = currentView();
    view->setCurrentIndex(model.index(row, RegisterModel::ValueColumn));
    view->scrollTo(view->currentIndex());
}

void DeviceWindow::removeEntry()
{
    const QModelIndex current = currentView()->currentIndex();
    if (current.isValid())
        m_models[size_t(m_tabs->currentIndex())]->removeEntry(current.row());
}

} // namespace console
