#include "decoded_tools.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>

namespace console {

RowFacts factsOf(const TrafficModel &model, int row)
{
    RowFacts facts;
    if (!model.frameMark(row))
        return facts;
    const protocol::Facts d = model.facts(row);
    const protocol::Pairing p = model.pairing(row);
    facts.frame = true;
    facts.unit = d.unit;
    facts.function = d.function;
    facts.status = d.status;
    facts.role = p.role;
    facts.replyUs = p.replyUs;
    return facts;
}

namespace {

std::optional<std::string> criterion(const QLineEdit *edit)
{
    const QString text = edit->text().trimmed();
    return text.isEmpty() ? std::nullopt : std::optional<std::string>(text.toStdString());
}

} // namespace

DecodedTools::DecodedTools(TrafficModel *model, QTableView *table, QWidget *window)
    : QObject(window)
    , m_model(model)
    , m_table(table)
    , m_window(window)
{
    m_split = new QSplitter(Qt::Vertical, window);
    m_split->setChildrenCollapsible(false);
    m_split->addWidget(table);
    m_fields = new FieldView(m_split);
    m_fields->splitter()->setOrientation(Qt::Horizontal);
    m_split->setStretchFactor(0, 3);
    m_split->setStretchFactor(1, 2);

    m_bar = new QWidget(window);
    auto *row = new QHBoxLayout(m_bar);
    row->setContentsMargins(0, 0, 0, 0);
    m_station = new QLineEdit(m_bar);
    m_station->setMaximumWidth(60);
    m_station->setPlaceholderText(tr("any"));
    m_station->setToolTip(tr("The station as the protocol writes it: Modbus 1, MEWTOCOL 01"));
    m_function = new QLineEdit(m_bar);
    m_function->setMaximumWidth(60);
    m_function->setPlaceholderText(tr("any"));
    m_function->setToolTip(tr("The function or command as the CSV export writes it: Modbus 3, MEWTOCOL RD"));
    m_errors = new QCheckBox(tr("Errors only"), m_bar);
    m_errors->setToolTip(tr("Exceptions, NAKs, bad checks, requests with no answer and unrecognised bytes"));
    m_message = new QLabel(m_bar);
    auto *statistics = new QPushButton(tr("Statistics..."), m_bar);
    m_stationChoices = choices(m_station, tr("Choose from the stations the rows name"), &SeenValues::stations);
    m_functionChoices = choices(m_function, tr("Choose from the functions the rows name"), &SeenValues::functions);
    row->addWidget(new QLabel(tr("Keep rows of station:"), m_bar));
    row->addWidget(m_station);
    row->addWidget(m_stationChoices);
    row->addWidget(new QLabel(tr("Function:"), m_bar));
    row->addWidget(m_function);
    row->addWidget(m_functionChoices);
    row->addWidget(m_errors);
    row->addSpacing(12);
    row->addWidget(m_message, 1);
    row->addWidget(statistics);
    connect(m_station, &QLineEdit::editingFinished, this, &DecodedTools::applyFilter);
    connect(m_function, &QLineEdit::editingFinished, this, &DecodedTools::applyFilter);
    connect(m_errors, &QCheckBox::toggled, this, &DecodedTools::applyFilter);
    connect(statistics, &QPushButton::clicked, this, &DecodedTools::showStatistics);

    m_jump = new QAction(tr("Go to Request/Answer"), window);
    m_jump->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    m_jump->setShortcutContext(Qt::WindowShortcut);
    connect(m_jump, &QAction::triggered, this, &DecodedTools::jump);
    m_statisticsAction = new QAction(tr("&Statistics..."), window);
    m_statisticsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_statisticsAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_statisticsAction, &QAction::triggered, this, &DecodedTools::showStatistics);
    window->addAction(m_jump);
    window->addAction(m_statisticsAction);

    // The values the rows name, for the choices: a set, so a row taken
    // twice (rows came in before it) changes nothing.
    m_seenWalker = new RowWalker(
        {[model] { return model->rowCount(); }, [model](int row) { return factsOf(*model, row); }},
        [this](int, const RowFacts &facts) { m_seen.add(facts); }, [](const RowFacts &) { return true; }, this);
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first) {
        if (!m_decoding)
            return;
        if (first < m_seenWalker->next())
            m_seenWalker->restartAt(first);
        else
            m_seenWalker->more();
    });
    connect(model, &QAbstractItemModel::modelReset, this, &DecodedTools::protocolChanged);
    // An answer's request and a request's answer change as rows come.
    connect(model, &QAbstractItemModel::rowsInserted, this, &DecodedTools::updateJump);
    showInList(model);
    protocolChanged();
}

QToolButton *DecodedTools::choices(QLineEdit *edit, const QString &tip,
                                   std::vector<std::string> (SeenValues::*values)() const)
{
    auto *button = new QToolButton(m_bar);
    button->setArrowType(Qt::DownArrow);
    button->setToolTip(tip);
    button->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(button);
    button->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, [this, menu, edit, values] {
        menu->clear();
        const auto choose = [this, edit](const QString &text) {
            edit->setText(text);
            applyFilter();
        };
        menu->addAction(tr("Any"), this, [choose] { choose(QString()); });
        menu->addSeparator();
        for (const std::string &value : (m_seen.*values)()) {
            const QString text = QString::fromStdString(value);
            menu->addAction(text, this, [choose, text] { choose(text); });
        }
    });
    return button;
}

void DecodedTools::addActions()
{
    m_table->addAction(m_jump);
    m_table->addAction(m_statisticsAction);
}

QString DecodedTools::filterMessage() const
{
    return m_message->text();
}

bool DecodedTools::filtering() const
{
    return m_kept && m_table->model() == m_kept;
}

int DecodedTools::rowOf(const QModelIndex &listIndex) const
{
    if (!listIndex.isValid())
        return -1;
    return filtering() ? m_kept->sourceRow(listIndex.row()) : listIndex.row();
}

QModelIndex DecodedTools::indexOfRow(int row, int column) const
{
    if (!filtering())
        return m_model->index(row, column);
    const int kept = m_kept->rowOf(row);
    return kept < 0 ? QModelIndex() : m_kept->index(kept, column);
}

void DecodedTools::protocolChanged()
{
    const bool decoding = m_model->protocol() != protocol::Protocol::None;
    m_decoding = decoding;
    m_bar->setVisible(decoding);
    m_fields->setVisible(decoding);
    m_jump->setVisible(decoding);
    m_statisticsAction->setVisible(decoding);
    m_fields->clear();
    m_seen.clear();
    if (decoding)
        m_seenWalker->restartAt(0);
    if (!decoding && filtering()) {
        // Without a protocol nothing is filtered; the criteria stay for the next.
        showInList(m_model);
        delete m_kept;
        m_kept = nullptr;
    } else if (decoding && !filtering()) {
        applyFilter();
    }
    if (m_statistics) {
        m_statistics->restart();
        if (!decoding)
            m_statistics->hide();
    }
    updateJump();
}

void DecodedTools::applyFilter()
{
    RowFilter filter{criterion(m_station), criterion(m_function), m_errors->isChecked()};
    m_message->clear();
    if (!m_decoding || !filter.active()) {
        if (filtering())
            showInList(m_model);
        delete m_kept;
        m_kept = nullptr;
        return;
    }
    if (!m_kept) {
        m_kept = new KeptRowsModel(m_model, [model = m_model](int row) { return factsOf(*model, row); }, this);
        connect(m_kept, &QAbstractItemModel::rowsInserted, this, &DecodedTools::listGrew);
        connect(m_kept, &KeptRowsModel::progressed, this, [this] {
            // The row chosen before the filter changed, once it is judged.
            if (m_wanted < 0 || !filtering())
                return;
            if (m_kept->rowOf(m_wanted) >= 0)
                select(m_wanted);
            if (m_kept->rowOf(m_wanted) >= 0 || m_kept->walker()->next() > m_wanted)
                m_wanted = -1;
        });
    }
    const int current = rowOf(m_table->currentIndex());
    if (current >= 0)
        m_wanted = current;
    m_kept->setFilter(filter);
    if (!filtering())
        showInList(m_kept);
}

void DecodedTools::showInList(QAbstractItemModel *rows)
{
    // A new model gives the list new columns: the widths stay as they were.
    QList<int> widths;
    for (int c = 0; c < m_table->horizontalHeader()->count(); ++c)
        widths << m_table->columnWidth(c);
    const int current = rowOf(m_table->currentIndex());
    QItemSelectionModel *old = m_table->selectionModel();
    m_table->setModel(rows);
    for (int c = 0; c < widths.size() && c < rows->columnCount(); ++c)
        m_table->setColumnWidth(c, widths[c]);
    if (old != m_table->selectionModel() || !m_selectionFollowed) {
        if (old != m_table->selectionModel())
            delete old;
        m_selectionFollowed = true;
        connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
            showCurrent();
            updateJump();
        });
    }
    if (current >= 0)
        select(current);
    else
        m_fields->clear();
}

void DecodedTools::showCurrent()
{
    const int row = rowOf(m_table->currentIndex());
    if (!m_decoding || row < 0 || !m_model->frameMark(row)) {
        m_fields->clear();
        return;
    }
    m_fields->showFrame(m_model->description(row), m_model->frameBytes(row));
}

void DecodedTools::updateJump()
{
    const int row = rowOf(m_table->currentIndex());
    const protocol::Pairing p = m_decoding && row >= 0 ? m_model->pairing(row) : protocol::Pairing{};
    const bool answer = p.role == protocol::Role::Answer;
    m_jump->setEnabled(p.partner >= 0);
    m_jump->setText(p.partner < 0 ? tr("Go to Request/Answer") : answer ? tr("Go to &Request") : tr("Go to &Answer"));
}

void DecodedTools::jump()
{
    const int row = rowOf(m_table->currentIndex());
    const protocol::Pairing p = m_decoding && row >= 0 ? m_model->pairing(row) : protocol::Pairing{};
    if (p.partner < 0)
        return;
    if (!indexOfRow(int(p.partner)).isValid()) {
        m_message->setText(p.role == protocol::Role::Answer ? tr("Its request is not among the rows kept.")
                                                            : tr("Its answer is not among the rows kept."));
        return;
    }
    m_message->clear();
    select(int(p.partner));
}

void DecodedTools::select(int row)
{
    const QModelIndex at = indexOfRow(row, m_table->currentIndex().isValid() ? m_table->currentIndex().column() : 0);
    if (!at.isValid()) {
        m_fields->clear();
        return;
    }
    m_table->setCurrentIndex(at);
    m_table->selectRow(at.row());
    m_table->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

void DecodedTools::showStatistics()
{
    if (!m_decoding)
        return;
    if (!m_statistics) {
        TrafficModel *model = m_model;
        m_statistics = new StatisticsWindow(
            {[model] { return model->rowCount(); }, [model](int row) { return factsOf(*model, row); }}, m_window);
        connect(model, &QAbstractItemModel::rowsInserted, m_statistics,
                [s = m_statistics.data()](const QModelIndex &, int first) { s->more(first); });
    }
    m_statistics->show();
    m_statistics->raise();
    m_statistics->activateWindow();
}

} // namespace console
