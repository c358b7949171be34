#include "sfrmtransmit.h"

#include "console/hex_items.h"
#include "console/type_button_delegate.h"
#include "desktop/twips.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace console {

namespace {

const QString title = QStringLiteral("Tavrin");

// Lets window events run until everything written to the port before has
// gone out. Sleeps between events; no time limit. Returns early when the
// port closes or fails meanwhile.
void waitForEmptyOutput(serial::SerialControl &port)
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

} // namespace

sfrmTransmit::sfrmTransmit(std::array<serial::SerialControl *, 2> ports,
                           std::function<bool()> port1, desktop::MessageBoxes &boxes,
                           const QString &databasePath, QWidget *parent)
    : sfrmTransmit(ports, std::move(port1), boxes,
                   std::make_unique<HistoryStore>(databasePath), parent)
{
}

sfrmTransmit::sfrmTransmit(std::array<serial::SerialControl *, 2> ports,
                           std::function<bool()> port1, desktop::MessageBoxes &boxes,
                           std::unique_ptr<HistoryStore> store, QWidget *parent)
    : QDialog(parent)
    , m_ports(ports)
    , m_port1(std::move(port1))
    , m_boxes(boxes)
    , m_store(std::move(store))
{
    m_model = new HistoryModel(*m_store, this);
    buildControls();

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
}

sfrmTransmit::~sfrmTransmit()
{
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
}

void sfrmTransmit::deleteCurrent()
{
    const QModelIndex current = DataGrid1->currentIndex();
    if (!current.isValid())
        return;
    const int row = current.row();
    const int column = current.column();
    const bool deleted = m_model->deleteRow(row);
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
    serial::SerialControl *port = m_ports[m_port1() ? 0 : 1];
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
    const HexItems bytes = bytesForRow(row.type, row.data);
    if (bytes.error != HexItemsError::None) {
        tell(hexItemsMessage(bytes.error));
        return;
    }
    if (!port->output(bytes.bytes))
        tell(QStringLiteral("COM Port Error."));
}

} // namespace console
