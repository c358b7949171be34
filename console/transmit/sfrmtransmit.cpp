#include "sfrmtransmit.h"

#include "console/replay/replay_dialog.h"

#include "console/frames/hex_items.h"
#include "console/transmit/panel_sender.h"
#include "console/transmit/repeat_dialog.h"
#include "console/transmit/send_jobs.h"
#include "console/transmit/transmit_menu.h"
#include "console/transmit/type_button_delegate.h"
#include "desktop/twips.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace console {

namespace {

const QString title = QStringLiteral("Tavrin");

// Lets window events run until everything written to the port before has
// gone out. Sleeps between events; no time limit. Returns early when the
// port closes or fails meanwhile.
void waitForEmptyOutput(const serial::SerialControl &port)
{
    while (port.portOpen() && !port.hasFault() && port.outBufferCount() > 0) {
        QEventLoop loop;
        QObject::connect(&port.port(), &serial::SerialPort::bytesWritten, &loop, &QEventLoop::quit);
        QObject::connect(&port, &serial::SerialControl::faulted, &loop, &QEventLoop::quit);
        // A port closed from elsewhere gives no signal here; look again soon.
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

const QString cancelledByUser = QStringLiteral("cancelled by the user.");

// The row and its options in words, as the repeat window shows them:
// Hex row "01,03", check Modbus RTU CRC-16, line ending CR LF
QString describeRow(const HistoryRow &row, SendOptions options)
{
    QString text = QStringLiteral("%1 row \"%2\"").arg(row.type == QLatin1String("Txt") ? QStringLiteral("Txt")
                                                                                         : QStringLiteral("Hex"),
                                                      row.data);
    if (options.check != FrameCheck::None)
        text += QStringLiteral(", check ") + frameCheckText(options.check);
    if (options.lineEnd != LineEnd::None)
        text += QStringLiteral(", line ending ") + lineEndText(options.lineEnd);
    return text;
}

} // namespace

sfrmTransmit::sfrmTransmit(std::array<Panel *, 2> panels,
                           std::function<bool()> port1, desktop::MessageBoxes &boxes,
                           const QString &databasePath, QWidget *parent)
    : sfrmTransmit(panels, std::move(port1), boxes,
                   std::make_unique<HistoryStore>(databasePath), parent)
{
}

sfrmTransmit::sfrmTransmit(std::array<Panel *, 2> panels,
                           std::function<bool()> port1, desktop::MessageBoxes &boxes,
                           std::unique_ptr<HistoryStore> store, QWidget *parent)
    : QDialog(parent)
    , m_port1(std::move(port1))
    , m_boxes(boxes)
    , m_store(std::move(store))
{
    m_model = new HistoryModel(*m_store, this);
    m_options = std::make_unique<SendOptionsStore>(*m_store);
    m_panels = panels;
    m_sender = new PanelSender(panels, this);
    connect(m_sender, &PanelSender::sent, this, &sfrmTransmit::sent);
    buildControls();
    buildMenu();

    connect(m_model, &HistoryModel::writeFailed, this, [this](const QString &reason) {
        tell(QStringLiteral("The change was not saved in the history file %1: %2").arg(shownPath(), reason),
             desktop::BoxIcon::Exclamation);
    });
    connect(m_model, &HistoryModel::editRefused, this,
            [this](const QString &reason) { tell(reason, desktop::BoxIcon::Exclamation); });

    if (!m_store->isOpen()) {
        Command2[0]->setEnabled(false);
        tell(m_store->problem(), desktop::BoxIcon::Exclamation);
        return;
    }
    if (!m_model->load()) {
        // Rows that cannot all be read: nothing is written to such a file.
        Command2[0]->setEnabled(false);
        tell(QStringLiteral("The history file %1 cannot be read: %2").arg(shownPath(), m_store->lastError()),
             desktop::BoxIcon::Exclamation);
    }
    if (m_model->rowCount() > 0)
        DataGrid1->setCurrentIndex(m_model->index(0, HistoryModel::TypeColumn));
    if (m_model->canAdd() && !m_options->isReadable())
        tell(m_options->problem(), desktop::BoxIcon::Exclamation);
}

sfrmTransmit::~sfrmTransmit()
{
    // Sends still running end without a word: there is no window to tell.
    if (m_fileSend)
        m_fileSend->disconnect(this);
    delete m_fileSend;
    delete m_repeat;
    // The view and the model go before the store they read.
    delete DataGrid1;
    delete m_model;
}

void sfrmTransmit::buildControls()
{
    setWindowTitle(QStringLiteral("Transmit"));
    desktop::sizeClientTwips(this, 7350, 4140);
    // Drawn, like the main window, for an 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    DataGrid1Caption = new QLabel(QStringLiteral("History Transmit Data "), this);
    DataGrid1Caption->setObjectName(QStringLiteral("DataGrid1Caption"));
    DataGrid1Caption->setAlignment(Qt::AlignCenter);
    DataGrid1Caption->setFrameShape(QFrame::Panel);
    DataGrid1Caption->setFrameShadow(QFrame::Raised);
    DataGrid1Caption->setAutoFillBackground(true);
    DataGrid1Caption->setBackgroundRole(QPalette::Button);
    desktop::placeTwips(DataGrid1Caption, 22, 0, 7305, 300);

    DataGrid1 = new QTableView(this);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setModel(m_model);
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                               | QAbstractItemView::AnyKeyPressed
                               | QAbstractItemView::SelectedClicked);
    DataGrid1->verticalHeader()->hide();
    // One line of the grid's font and a small margin (px), as the grid was
    // drawn: about eleven rows show. The Type button is drawn inside the row.
    DataGrid1->verticalHeader()->setMinimumSectionSize(0);
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DataGrid1->verticalHeader()->setDefaultSectionSize(DataGrid1->fontMetrics().height() + 4);
    DataGrid1->setWordWrap(false);
    DataGrid1->horizontalHeader()->setStretchLastSection(true);
    desktop::placeTwips(DataGrid1, 22, 300, 7305, 3435);
    const qreal dpi = DataGrid1->logicalDpiX();
    // Type is wider than the 615 twips it was drawn with, so that its text
    // fits beside the button; Data gives up the difference.
    const int widths[] = {855, 3990, 1860, 540};
    for (int column = 0; column < HistoryModel::ColumnCount; ++column)
        DataGrid1->setColumnWidth(column, desktop::twipsToPixels(widths[column], dpi));

    m_typeDelegate = new TypeButtonDelegate(DataGrid1);
    DataGrid1->setItemDelegateForColumn(HistoryModel::TypeColumn, m_typeDelegate);
    connect(m_typeDelegate, &TypeButtonDelegate::buttonClicked, this,
            [this](const QModelIndex &index) {
                DataGrid1->setCurrentIndex(index);
                DataGrid1_ButtonClick(index.column());
            });

    const QString captions[] = {QStringLiteral("Add New"), QStringLiteral("Delete")};
    for (int i = 0; i < 2; ++i) {
        Command2[i] = new QPushButton(captions[i], this);
        Command2[i]->setObjectName(QStringLiteral("Command2_%1").arg(i));
        // Enter ends an edit in the grid; it must not press a button too.
        Command2[i]->setAutoDefault(false);
        desktop::placeTwips(Command2[i], 60 + i * 1275, 3795, 1215, 300);
        connect(Command2[i], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
    }
    Command1 = new QPushButton(QStringLiteral("Transmit Selected Data"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    desktop::placeTwips(Command1, 4875, 3795, 2415, 300);
    connect(Command1, &QPushButton::clicked, this, &sfrmTransmit::Command1_Click);
}

QString sfrmTransmit::shownPath() const
{
    return QDir::toNativeSeparators(QFileInfo(m_store->path()).absoluteFilePath());
}

void sfrmTransmit::tell(const QString &text, desktop::BoxIcon icon)
{
    m_boxes.show(text, title, icon);
}

void sfrmTransmit::tellRefused(const QString &data, HexItemsError error)
{
    const QString details = hexItemsDetails(data, error);
    if (details.isEmpty())
        tell(hexItemsMessage(error));
    else
        m_boxes.showWithDetails(hexItemsMessage(error), details, title, desktop::BoxIcon::None);
}

void sfrmTransmit::Command2_Click(int Index)
{
    if (Index == 0)
        addNew();
    else if (Index == 1)
        deleteCurrent();
}

// A refused add or delete is told, naming the file; the grid then shows
// what is stored.
void sfrmTransmit::addNew()
{
    // A file that is not written to was named when the window opened.
    if (!m_model->canAdd())
        return;
    const auto row = m_model->addRow(QDateTime::currentDateTime());
    if (!row) {
        tell(QStringLiteral("No row was added to the history file %1: %2").arg(shownPath(), m_model->lastError()),
             desktop::BoxIcon::Exclamation);
        return;
    }
    const QModelIndex cell = m_model->index(*row, HistoryModel::TypeColumn);
    DataGrid1->setCurrentIndex(cell);
    DataGrid1->scrollTo(cell);
    NewRow = *row;
    forgetOptions(m_model->rowAt(*row).key, QStringLiteral("The row was added, but the send options of an "
                                                           "earlier row with its key stay in the history file %1: %2"));
}

void sfrmTransmit::forgetOptions(qint64 key, const QString &failure)
{
    if (!m_options->forget(key))
        tell(failure.arg(shownPath(), m_options->lastError()), desktop::BoxIcon::Exclamation);
}

void sfrmTransmit::deleteCurrent()
{
    const QModelIndex current = DataGrid1->currentIndex();
    if (!current.isValid())
        return;
    const int row = current.row();
    const int column = current.column();
    const qint64 key = m_model->rowAt(row).key;
    const bool deleted = m_model->deleteRow(row);
    if (deleted)
        forgetOptions(key, QStringLiteral("The row was deleted, but its send options stay in the history file %1: %2"));
    const int left = m_model->rowCount();
    if (left == 0)
        DataGrid1->setCurrentIndex({});
    else if (deleted || !DataGrid1->currentIndex().isValid())
        // The row after the deleted one, or the new last row.
        DataGrid1->setCurrentIndex(m_model->index(row < left ? row : left - 1, column));
    if (!deleted)
        tell(QStringLiteral("The row was not deleted from the history file %1: %2")
                 .arg(shownPath(), m_model->lastError()),
             desktop::BoxIcon::Exclamation);
}

void sfrmTransmit::DataGrid1_ButtonClick(int)
{
    // Only the Type column carries the button; whatever cell is current,
    // the Type cell of its row is the one toggled.
    const QModelIndex cell = DataGrid1->currentIndex().siblingAtColumn(HistoryModel::TypeColumn);
    if (!cell.isValid())
        return;
    const bool txt = cell.data(Qt::EditRole).toString() == QLatin1String("Txt");
    m_model->setData(cell, txt ? QStringLiteral("Hex") : QStringLiteral("Txt"));
}

void sfrmTransmit::Command1_Click()
{
    const int panel = m_port1() ? 0 : 1;
    const serial::SerialControl *port = m_sender->port(panel);
    if (!DataGrid1->currentIndex().isValid())
        return;
    if (port == nullptr || !port->portOpen()) {
        tell(QStringLiteral("COM Port Error."));
        return;
    }

    // Events run during the wait: this window may be closed and deleted,
    // and its rows may change.
    QPointer<sfrmTransmit> alive(this);
    waitForEmptyOutput(*port);
    if (!alive)
        return;
    if (!port->portOpen() || port->hasFault()) {
        tell(QStringLiteral("COM Port Error."));
        return;
    }
    const QModelIndex current = DataGrid1->currentIndex();
    if (!current.isValid())
        return;
    const HistoryRow &row = m_model->rowAt(current.row());
    const HexItems bytes = bytesToSend(row.type, row.data, optionsOf(current.row()));
    if (bytes.error != HexItemsError::None) {
        tellRefused(row.data, bytes.error);
        return;
    }
    if (m_sender->send(panel, bytes.bytes))
        return;
    // A port that only listens says why in the box's details.
    if (port->listenOnly())
        m_boxes.showWithDetails(QStringLiteral("COM Port Error."), m_sender->lastError(), title,
                                desktop::BoxIcon::None);
    else
        tell(QStringLiteral("COM Port Error."));
}

void sfrmTransmit::buildMenu()
{
    m_menu = new TransmitMenu(this);
    DataGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DataGrid1, &QWidget::customContextMenuRequested, this, &sfrmTransmit::openMenu);
    const auto changeCurrent = [this](auto change) {
        const QModelIndex current = DataGrid1->currentIndex();
        if (!current.isValid())
            return;
        SendOptions options = optionsOf(current.row());
        change(options);
        setOptionsOf(current.row(), options);
    };
    connect(m_menu, &TransmitMenu::lineEndChosen, this,
            [changeCurrent](LineEnd end) { changeCurrent([end](SendOptions &o) { o.lineEnd = end; }); });
    connect(m_menu, &TransmitMenu::checkChosen, this,
            [changeCurrent](FrameCheck check) { changeCurrent([check](SendOptions &o) { o.check = check; }); });
    connect(m_menu->repeatAction(), &QAction::triggered, this, &sfrmTransmit::sendRepeatedly);
    connect(m_menu->fileAction(), &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Send File"));
        if (!path.isEmpty())
            sendFile(path);
    });
    connect(m_menu->replayAction(), &QAction::triggered, this, &sfrmTransmit::openReplay);
    m_typeDelegate->setToolTipSource(
        [this](const QModelIndex &index) { return sendOptionsText(optionsOf(index.row())); });
}

void sfrmTransmit::openMenu(const QPoint &pos)
{
    // The row under the mouse becomes current: the items act on it.
    const QModelIndex under = DataGrid1->indexAt(pos);
    if (under.isValid())
        DataGrid1->setCurrentIndex(under);
    const bool onRow = DataGrid1->currentIndex().isValid();
    m_menu->showOptions(onRow ? optionsOf(DataGrid1->currentIndex().row()) : SendOptions{},
                        onRow && optionsEditable());
    m_menu->repeatAction()->setEnabled(onRow && !backgroundSendRunning());
    m_menu->fileAction()->setEnabled(!backgroundSendRunning());
    m_menu->popup(DataGrid1->viewport()->mapToGlobal(pos));
}

bool sfrmTransmit::optionsEditable() const
{
    return m_model->canAdd() && m_options->isReadable();
}

SendOptions sfrmTransmit::optionsOf(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return {};
    return m_options->options(m_model->rowAt(row).key);
}

bool sfrmTransmit::setOptionsOf(int row, SendOptions options)
{
    if (row < 0 || row >= m_model->rowCount())
        return false;
    QString reason;
    if (!m_model->canAdd())
        // A damaged or unreadable file is never written; it was named at open.
        reason = m_store->isOpen() ? QStringLiteral("its rows could not be read.") : m_store->problem();
    else if (!m_options->set(m_model->rowAt(row).key, options))
        reason = m_options->lastError();
    if (reason.isEmpty())
        return true;
    tell(QStringLiteral("The send options were not saved in the history file %1: %2").arg(shownPath(), reason),
         desktop::BoxIcon::Exclamation);
    return false;
}

RepeatDialog *sfrmTransmit::repeatDialog() const
{
    return m_repeat;
}

FileSender *sfrmTransmit::fileSend() const
{
    return m_fileSend;
}

bool sfrmTransmit::backgroundSendRunning() const
{
    return (m_repeat && m_repeat->running()) || (m_fileSend && m_fileSend->running());
}

void sfrmTransmit::sendRepeatedly()
{
    const QModelIndex current = DataGrid1->currentIndex();
    if (!current.isValid() || backgroundSendRunning())
        return;
    const HistoryRow &row = m_model->rowAt(current.row());
    const SendOptions options = optionsOf(current.row());
    const HexItems bytes = bytesToSend(row.type, row.data, options);
    if (bytes.error != HexItemsError::None) {
        tellRefused(row.data, bytes.error);
        return;
    }
    delete m_repeat;
    m_repeat = new RepeatDialog(*m_sender, m_port1() ? 0 : 1, bytes.bytes, describeRow(row, options), this);
    m_repeat->setAttribute(Qt::WA_DeleteOnClose);
    m_repeat->showBesideParent();
}

void sfrmTransmit::sendFile(const QString &path)
{
    if (backgroundSendRunning())
        return;
    const int panel = m_port1() ? 0 : 1;
    auto *job = new FileSender(*m_sender, panel, path, this);
    const QString name = QFileInfo(path).fileName();
    auto *progress = new QProgressDialog(
        QStringLiteral("Sending %1 through %2").arg(name, m_sender->portName(panel)), QStringLiteral("Cancel"), 0,
        100, this);
    progress->setWindowTitle(QStringLiteral("Send File"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    connect(progress, &QProgressDialog::canceled, job, [job] { job->stop(cancelledByUser); });
    // Queued: the modal dialog lets events run inside setValue(), which must
    // not happen while the job writes.
    connect(job, &FileSender::progressed, progress,
            [progress, job](qint64 gone) { progress->setValue(int(gone * 100 / qMax<qint64>(job->size(), 1))); },
            Qt::QueuedConnection);
    connect(job, &SendJob::finished, this, [this, job, progress, name](const QString &reason) {
        progress->deleteLater();
        job->deleteLater();
        if (!reason.isEmpty() && reason != cancelledByUser)
            tell(QStringLiteral("Send File of %1 stopped after %2 of %3 bytes: %4")
                     .arg(name, groupedNumber(job->gone()), groupedNumber(job->size()), reason),
                 desktop::BoxIcon::Exclamation);
    });
    m_fileSend = job;
    QString refused;
    // A small file may be sent and finished within start().
    if (!job->start(&refused)) {
        delete progress;
        delete job;
        tell(refused, desktop::BoxIcon::Exclamation);
        return;
    }
    if (job->running())
        progress->show();
}

void sfrmTransmit::endBackgroundSends(const QString &reason)
{
    if (m_repeat && m_repeat->running()) {
        m_repeat->stopRepeat(reason);
        tell(QStringLiteral("Send Repeatedly stopped after %1 sends: %2").arg(m_repeat->job()->sent()).arg(reason));
    }
    if (m_repeat)
        m_repeat->close();
    if (m_fileSend && m_fileSend->running())
        m_fileSend->stop(reason);
}

void sfrmTransmit::done(int result)
{
    endBackgroundSends(QStringLiteral("the Transmit window was closed."));
    QDialog::done(result);
}

void sfrmTransmit::openReplay()
{
    if (m_replayDialog) {
        m_replayDialog->raise();
        m_replayDialog->activateWindow();
        return;
    }
    Panel *panel = m_panels[m_port1() ? 0 : 1];
    if (!panel)
        return;
    m_replayDialog = new ReplayDialog(*panel, *m_files, this);
    m_replayDialog->show();
}

ReplayDialog *sfrmTransmit::replayDialog() const
{
    return m_replayDialog;
}

} // namespace console
