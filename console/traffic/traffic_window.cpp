#include "traffic_window.h"

#include "console/traffic/capture_source.h"
#include "console/traffic/decoded_tools.h"
#include "console/traffic/traffic_capture.h"
#include "console/traffic/traffic_export.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QCheckBox>
#include <QFileDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace console {

namespace {

const QString kTitle = QStringLiteral("Tavrin Traffic");

QString checkCaption(FrameCheck check)
{
    switch (check) {
    case FrameCheck::ModbusRtu: return QObject::tr("Modbus RTU CRC-16");
    case FrameCheck::Sum8: return QObject::tr("Sum of bytes mod 256");
    default: return QObject::tr("None");
    }
}

class MiddleElidingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

// Draws the bytes Find found (TrafficModel::FoundRole) in the selection's
// colours over the cell's text, as a text editor marks a match.
// Rows from the end in which a growing frame's overlap is looked for.
constexpr int kMergeLookBack = 64;

class FoundMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QVariant found = index.data(TrafficModel::FoundRole);
        if (!found.isValid())
            return;
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle *style = item.widget ? item.widget->style() : QApplication::style();
        // Where the style draws an item's text: its rectangle less a margin.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget)
                               .adjusted(margin, 0, -margin, 0);
        const QPoint range = found.toPoint();
        const QFontMetrics metrics(item.font);
        const QString marked = item.text.mid(range.x(), range.y());
        const QRect mark = QRect(text.left() + metrics.horizontalAdvance(item.text.left(range.x())), text.top(),
                                 metrics.horizontalAdvance(marked), text.height())
                               .intersected(text);
        painter->save();
        painter->fillRect(mark, item.palette.brush(QPalette::Active, QPalette::Highlight));
        painter->setFont(item.font);
        painter->setPen(item.palette.color(QPalette::Active, QPalette::HighlightedText));
        painter->setClipRect(mark);
        painter->drawText(mark.left(), text.top(), metrics.horizontalAdvance(marked), text.height(),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, marked);
        painter->restore();
    }
};

void setRefusal(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

TrafficWindow::TrafficWindow(std::array<Panel *, 2> panels, ConsoleSettings &settings, desktop::MessageBoxes &boxes,
                             QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_panels(panels)
    , m_settings(settings)
    , m_boxes(boxes)
{
    setWindowTitle(kTitle);
    const TrafficSettings kept = readTrafficSettings(settings);
    m_model = new TrafficModel({panels[0], panels[1]}, kept.protocol, qint64(kept.replyTimeoutMs) * 1000, this);
    build();
}

TrafficWindow::TrafficWindow(std::unique_ptr<TrafficSource> capture, const QString &file, ConsoleSettings &settings,
                             desktop::MessageBoxes &boxes, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_capture(std::move(capture))
    , m_settings(settings)
    , m_boxes(boxes)
{
    setWindowTitle(kTitle + QStringLiteral(" - ") + file);
    const TrafficSettings kept = readTrafficSettings(settings);
    m_model = new TrafficModel(m_capture.get(), kept.protocol, qint64(kept.replyTimeoutMs) * 1000, this);
    build();
    const QString why = tr("A capture's frames are its records: the split rule is not applied to them.");
    for (QWidget *w : {static_cast<QWidget *>(m_split), static_cast<QWidget *>(m_gap),
                       static_cast<QWidget *>(m_delimiter)}) {
        w->setEnabled(false);
        w->setToolTip(why);
    }
    enableSplitAndCheck();
}

void TrafficWindow::build()
{
    resize(1000, 560);
    m_model->setCheck(readTrafficSettings(m_settings).check);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    QHeaderView *rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    const int columnWidths[TrafficModel::ColumnCount] = {96, 70, 110, 56, 390, 150, 50};
    for (int c = 0; c < TrafficModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, columnWidths[c]);
    // The protocol's columns come and go with a protocol: their widths are
    // set each time they appear.
    const auto sizeProtocolColumns = [this] {
        if (m_model->columnCount() > TrafficModel::DecodedColumn) {
            m_table->setColumnWidth(TrafficModel::CheckColumn, 50);
            m_table->setColumnWidth(TrafficModel::DecodedColumn, 300);
            m_table->setColumnWidth(TrafficModel::ReplyColumn, 70);
        }
    };
    sizeProtocolColumns();
    connect(m_model, &QAbstractItemModel::modelReset, this, sizeProtocolColumns);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // A long port path keeps its end: a sent row's "sent".
    m_table->setItemDelegateForColumn(TrafficModel::PanelColumn, new MiddleElidingDelegate(m_table));
    auto *foundMark = new FoundMarkDelegate(m_table);
    m_table->setItemDelegateForColumn(TrafficModel::HexColumn, foundMark);
    m_table->setItemDelegateForColumn(TrafficModel::TextColumn, foundMark);

    m_message = new QLabel(this);
    m_message->setStyleSheet(QStringLiteral("color: #b00000"));
    m_message->hide();
    m_since = new QLabel(this);
    m_since->hide();
    m_mergeNote = new QLabel(this);
    m_mergeNote->setWordWrap(true);
    m_mergeNote->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildSettingsBar());
    enableSplitAndCheck();
    layout->addWidget(m_message);
    layout->addWidget(m_mergeNote);
    m_tools = new DecodedTools(m_model, m_table, this);
    layout->addWidget(m_tools->filterBar());
    layout->addWidget(m_tools->listAndFields(), 1);
    layout->addWidget(m_since);
    layout->addWidget(buildFindBar());

    // Following: the view stays at the end while its last row is visible.
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const bool atEnd = value >= m_table->verticalScrollBar()->maximum();
        if (atEnd != m_following)
            setFollowing(atEnd);
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                noteMergedFrames(first, last);
                rowsArrived(last - first + 1);
            });
    // Rows made again (a new split rule, a filter) are looked at afresh.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_mergeNote->clear();
        m_mergeNote->hide();
        noteMergedFrames(0, m_model->rowCount() - 1);
        rowsArrived(0);
    });
    // A last frame that grows past the start of the other panel's rows
    // since: looked for among the last rows only, so that a growing frame
    // costs the same however many rows there are.
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &, const QModelIndex &bottom) {
        noteMergedFrames(std::max(0, bottom.row() - kMergeLookBack), bottom.row());
    });
    noteMergedFrames(0, m_model->rowCount() - 1);
    auto *end = new QShortcut(QKeySequence(Qt::Key_End), m_table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(end, &QShortcut::activated, this, [this] { setFollowing(true); });

    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, &TrafficWindow::exportRows);
    auto *findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, &TrafficWindow::showFind);
    auto *next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(next, &QShortcut::activated, this, &TrafficWindow::findNext);
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(previous, &QShortcut::activated, this, &TrafficWindow::findPrevious);
    auto *open = new QAction(tr("Open &Capture..."), this);
    open->setShortcut(QKeySequence::Open);
    open->setShortcutContext(Qt::WindowShortcut);
    connect(open, &QAction::triggered, this, &TrafficWindow::openCapture);
    addAction(open);
    m_table->addAction(open);
    m_tools->addActions();
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_tools, &DecodedTools::listGrew, this, [this] {
        if (m_following)
            m_table->scrollToBottom();
    });
}

QWidget *TrafficWindow::buildSettingsBar()
{
    const TrafficSettings kept = readTrafficSettings(m_settings);
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    m_split = new QComboBox(bar);
    m_split->addItem(tr("Idle gap"), splitKindName(SplitKind::Gap));
    m_split->addItem(tr("Delimiter"), splitKindName(SplitKind::Delimiter));
    m_split->addItem(tr("Each arrival"), splitKindName(SplitKind::Arrival));
    m_split->setCurrentIndex(m_split->findData(splitKindName(kept.split.kind)));
    m_gap = new QLineEdit(QString::number(kept.split.gapMs), bar);
    m_gap->setMaximumWidth(70);
    m_gap->setToolTip(tr("Idle time that ends a frame, %1 to %2 ms").arg(kMinGapMs).arg(kMaxGapMs));
    m_delimiter = new QLineEdit(delimiterText(kept.split.delimiter), bar);
    m_delimiter->setMaximumWidth(40);
    m_delimiter->setToolTip(tr("Byte that ends a frame, two hex digits (0A, 03)"));
    m_check = new QComboBox(bar);
    for (FrameCheck check : kTrafficChecks)
        m_check->addItem(checkCaption(check), frameCheckName(check));
    m_check->setCurrentIndex(m_check->findData(frameCheckName(kept.check)));
    m_protocol = new QComboBox(bar);
    for (protocol::Protocol p : kTrafficProtocols) {
        m_protocol->addItem(QString::fromUtf8(protocol::displayName(p)),
                            QString::fromUtf8(protocol::settingName(p)));
        // A protocol this build has no decoder for is shown, not offered.
        if (p != protocol::Protocol::None && !protocol::makeFramer(p)) {
            auto *items = qobject_cast<QStandardItemModel *>(m_protocol->model());
            if (QStandardItem *item = items ? items->item(m_protocol->count() - 1) : nullptr) {
                item->setEnabled(false);
                item->setToolTip(tr("Not decoded in this version"));
            }
        }
    }
    m_protocol->setCurrentIndex(
        m_protocol->findData(QString::fromUtf8(protocol::settingName(kept.protocol))));
    m_protocol->setToolTip(tr("Frames found by a protocol's grammar and check; Split and Check apply to None"));
    m_filter = new QComboBox(bar);
    m_filter->addItems({tr("Both"), tr("Left"), tr("Right")});
    m_follow = new QCheckBox(tr("Follow"), bar);
    m_follow->setChecked(true);

    row->addWidget(new QLabel(tr("Split:"), bar));
    row->addWidget(m_split);
    row->addWidget(new QLabel(tr("Gap (ms):"), bar));
    row->addWidget(m_gap);
    row->addWidget(new QLabel(tr("Delimiter (hex):"), bar));
    row->addWidget(m_delimiter);
    row->addSpacing(12);
    row->addWidget(new QLabel(tr("Check:"), bar));
    row->addWidget(m_check);
    row->addSpacing(12);
    row->addWidget(new QLabel(tr("Protocol:"), bar));
    row->addWidget(m_protocol);
    row->addSpacing(12);
    row->addWidget(new QLabel(tr("Panels:"), bar));
    row->addWidget(m_filter);
    row->addSpacing(12);
    row->addWidget(m_follow);
    row->addStretch(1);
    applySplitKind();

    connect(m_split, &QComboBox::activated, this, [this] {
        applySplitKind();
        SplitRule rule = readTrafficSettings(m_settings).split;
        rule.kind = *splitKindFromName(m_split->currentData().toString());
        storeAndSplit(rule);
    });
    connect(m_gap, &QLineEdit::editingFinished, this, &TrafficWindow::applyGap);
    connect(m_delimiter, &QLineEdit::editingFinished, this, &TrafficWindow::applyDelimiter);
    connect(m_check, &QComboBox::activated, this, &TrafficWindow::applyCheck);
    connect(m_protocol, &QComboBox::activated, this, &TrafficWindow::applyProtocol);
    connect(m_filter, &QComboBox::activated, this,
            [this](int index) { m_model->setFilter(PanelFilter(index)); });
    connect(m_follow, &QCheckBox::clicked, this, &TrafficWindow::setFollowing);
    return bar;
}

QWidget *TrafficWindow::buildFindBar()
{
    m_findBar = new QWidget(this);
    auto *row = new QHBoxLayout(m_findBar);
    row->setContentsMargins(0, 0, 0, 0);
    m_findText = new QLineEdit(m_findBar);
    m_findText->setPlaceholderText(tr("text, or hex such as 01 03"));
    m_findHex = new QCheckBox(tr("Hex"), m_findBar);
    auto *previous = new QPushButton(tr("Previous"), m_findBar);
    auto *next = new QPushButton(tr("Next"), m_findBar);
    m_findMessage = new QLabel(m_findBar);
    auto *close = new QToolButton(m_findBar);
    close->setText(QStringLiteral("\u2715"));
    close->setToolTip(tr("Close the find bar (Esc)"));
    row->addWidget(new QLabel(tr("Find:"), m_findBar));
    row->addWidget(m_findText, 1);
    row->addWidget(m_findHex);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(m_findMessage, 1);
    row->addWidget(close);
    connect(m_findText, &QLineEdit::returnPressed, this, &TrafficWindow::findNext);
    connect(next, &QPushButton::clicked, this, &TrafficWindow::findNext);
    connect(previous, &QPushButton::clicked, this, &TrafficWindow::findPrevious);
    connect(close, &QToolButton::clicked, m_findBar, &QWidget::hide);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_findBar, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, m_findBar, &QWidget::hide);
    m_findBar->hide();
    return m_findBar;
}

void TrafficWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_following)
        m_table->scrollToBottom();
}

QString TrafficWindow::message() const
{
    return m_message->text();
}

QString TrafficWindow::findMessage() const
{
    return m_findMessage->text();
}

QString TrafficWindow::mergeNote() const
{
    return m_mergeNote->text();
}

void TrafficWindow::noteMergedFrames(int first, int last)
{
    if (!m_mergeNote->text().isEmpty())
        return;
    const int row = m_model->firstOverlapping(first, last);
    if (row < 0)
        return;
    m_mergeNote->setText(mergedFramesNote(m_model->longestPauseUs(row - 1)));
    m_mergeNote->show();
}

void TrafficWindow::applySplitKind()
{
    const auto kind = splitKindFromName(m_split->currentData().toString());
    m_gap->setEnabled(kind == SplitKind::Gap);
    m_delimiter->setEnabled(kind == SplitKind::Delimiter);
}

void TrafficWindow::refuse(QLineEdit *edit, const QString &oldText, const QString &reason)
{
    setRefusal(m_message, reason);
    edit->setText(oldText);
    edit->selectAll();
}

void TrafficWindow::applyGap()
{
    SplitRule rule = readTrafficSettings(m_settings).split;
    QString reason;
    const auto gap = parseGapMs(m_gap->text(), &reason);
    if (!gap)
        return refuse(m_gap, QString::number(rule.gapMs), reason);
    rule.gapMs = *gap;
    m_gap->setText(QString::number(*gap));
    storeAndSplit(rule);
}

void TrafficWindow::applyDelimiter()
{
    SplitRule rule = readTrafficSettings(m_settings).split;
    QString reason;
    const auto delimiter = parseDelimiter(m_delimiter->text(), &reason);
    if (!delimiter)
        return refuse(m_delimiter, delimiterText(rule.delimiter), reason);
    rule.delimiter = *delimiter;
    m_delimiter->setText(delimiterText(*delimiter));
    storeAndSplit(rule);
}

void TrafficWindow::storeAndSplit(const SplitRule &rule)
{
    setRefusal(m_message, {});
    TrafficSettings kept = readTrafficSettings(m_settings);
    kept.split = rule;
    writeTrafficSettings(m_settings, kept);
    for (Panel *p : m_panels)
        if (p)
            p->setSplitRule(rule);
}

void TrafficWindow::applyCheck()
{
    TrafficSettings kept = readTrafficSettings(m_settings);
    kept.check = frameCheckFromName(m_check->currentData().toString()).value_or(FrameCheck::None);
    writeTrafficSettings(m_settings, kept);
    m_model->setCheck(kept.check);
}

void TrafficWindow::applyProtocol()
{
    TrafficSettings kept = readTrafficSettings(m_settings);
    kept.protocol = protocol::protocolFromSettingName(m_protocol->currentData().toString().toStdString())
                        .value_or(protocol::Protocol::None);
    writeTrafficSettings(m_settings, kept);
    m_model->setProtocol(kept.protocol, qint64(kept.replyTimeoutMs) * 1000);
    enableSplitAndCheck();
}

void TrafficWindow::enableSplitAndCheck()
{
    const bool none = m_model->protocol() == protocol::Protocol::None;
    const QString why = none ? QString() : tr("A protocol finds its own frames and checks them");
    // An opened capture's frames are its records whatever the protocol.
    if (!m_capture) {
        m_split->setEnabled(none);
        m_split->setToolTip(why);
        applySplitKind();
        m_gap->setEnabled(m_gap->isEnabled() && none);
        m_delimiter->setEnabled(m_delimiter->isEnabled() && none);
    }
    m_check->setEnabled(none);
    m_check->setToolTip(why);
}

void TrafficWindow::setFollowing(bool on)
{
    m_following = on;
    m_follow->setChecked(on);
    if (on) {
        m_rowsSince = 0;
        m_table->scrollToBottom();
    }
    showRowsSince();
}

void TrafficWindow::rowsArrived(int count)
{
    if (m_following) {
        m_table->scrollToBottom();
        return;
    }
    m_rowsSince += count;
    showRowsSince();
}

void TrafficWindow::showRowsSince()
{
    m_since->setText(tr("%n new row(s) below; End or Follow shows them.", nullptr, m_rowsSince));
    m_since->setVisible(!m_following && m_rowsSince > 0);
}

void TrafficWindow::showFind()
{
    m_findBar->show();
    m_findText->setFocus();
    m_findText->selectAll();
}

void TrafficWindow::find(bool forward)
{
    QString reason;
    const auto pattern = findPattern(m_findText->text(), m_findHex->isChecked(), &reason);
    if (!pattern) {
        // The typed text stays, to be mended.
        m_findMessage->setText(reason);
        return;
    }
    // A new search may find the current row itself; a repeated one moves on.
    const bool fresh = m_findText->text() != m_lastFind;
    m_lastFind = m_findText->text();
    const int current = m_tools->rowOf(m_table->currentIndex());
    const int from = current < 0 ? (forward ? -1 : m_model->rowCount())
                                 : current - (fresh ? (forward ? 1 : -1) : 0);
    FoundBytes hit = findBytes(*m_model, *pattern, from, forward);
    // Rows the row filter drops are passed over.
    for (const int first = hit.row; hit.row >= 0 && !m_tools->indexOfRow(hit.row).isValid();) {
        hit = findBytes(*m_model, *pattern, hit.row, forward);
        if (hit.row == first)
            hit.row = -1;
    }
    if (hit.row < 0) {
        m_findMessage->setText(tr("Not found."));
        return;
    }
    m_findMessage->clear();
    const QModelIndex found = m_tools->indexOfRow(hit.row, TrafficModel::HexColumn);
    // The bytes found are marked in their cells; no row is selected.
    m_model->setFound(hit.row, hit.first, pattern->size());
    m_table->selectionModel()->setCurrentIndex(found, QItemSelectionModel::Clear);
    // Up or down only: the Time column stays where it was.
    const int across = m_table->horizontalScrollBar()->value();
    m_table->scrollTo(found, QAbstractItemView::PositionAtCenter);
    m_table->horizontalScrollBar()->setValue(across);
}

void TrafficWindow::exportRows()
{
    // With the row filter on, the rows it keeps, and the dialog says so.
    const bool keptOnly = m_tools->filtering();
    const std::optional<FileChooser::ExportTarget> target =
        keptOnly ? m_files->keptRowsExportTarget(this) : m_files->exportTarget(this);
    if (!target)
        return;
    QProgressDialog progress(tr("Exporting %1 ...").arg(target->path), tr("Cancel"), 0, 1000, this);
    progress.setWindowTitle(kTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const SaveProgress report = [&](qint64 done, qint64 total) {
        progress.setValue(int(done * 1000 / std::max<qint64>(1, total)));
        return !progress.wasCanceled();
    };
    // Every stored byte framed, so that the file holds every row.
    if (ProtocolSource *decoded = m_model->decodedSource())
        decoded->frameAll();
    ExportRows rows;
    if (keptOnly && m_tools->filtering()) {
        m_tools->kept()->judgeAll();
        rows = ExportRows(m_tools->kept());
    }
    const SaveResult result = target->capture
        ? exportCapture(*m_model, target->path, report, decodedEventType(*m_model), rows)
        : exportTraffic(*m_model, target->csv ? ExportFormat::Csv : ExportFormat::Text, target->path, report, rows);
    if (!result.ok && !result.cancelled)
        m_boxes.show(tr("Could not export %1: %2").arg(target->path, result.error), kTitle,
                     desktop::BoxIcon::Critical);
}

void TrafficWindow::openCapture()
{
    const std::optional<QString> path = m_files->captureFile(this);
    if (!path)
        return;
    QString failure;
    TrafficWindow *window = openCaptureWindow(*path, m_settings, m_boxes, &failure);
    if (!window) {
        m_boxes.show(tr("Could not open %1: %2").arg(*path, failure), kTitle, desktop::BoxIcon::Critical);
        return;
    }
    if (m_files != &m_dialogs)
        window->setFileChooser(m_files);
    window->show();
}

TrafficWindow *openCaptureWindow(const QString &path, ConsoleSettings &settings, desktop::MessageBoxes &boxes,
                                 QString *failure)
{
    std::unique_ptr<CaptureSource> source = CaptureSource::open(path, failure);
    if (!source)
        return nullptr;
    const QString damage = source->damage();
    auto *window = new TrafficWindow(std::move(source), path, settings, boxes);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!damage.isEmpty())
        setRefusal(window->m_message, QObject::tr("The file is damaged from %1; the frames before it are shown.").arg(damage));
    return window;
}

} // namespace console
