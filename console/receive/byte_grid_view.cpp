#include "byte_grid_view.h"

#include "console/bytes/byte_selection.h"
#include "console/receive/grid_arithmetic.h"
#include "desktop/twips.h"

#include <QAbstractItemModel>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

namespace console {

namespace {
// The usual grid row: 240 twips.
constexpr int kRowTwips = 240;
}

ByteGridView::ByteGridView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    m_rowHeight = desktop::twipsToPixels(kRowTwips, logicalDpiY());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (m_settingTop)
            return;
        m_top = value;
        viewport()->update();
        emit userScrolled();
    });
    updateScrollRange();
}

void ByteGridView::setModel(QAbstractItemModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        connect(m_model, &QAbstractItemModel::rowsInserted, this, &ByteGridView::modelChanged);
        connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ByteGridView::modelChanged);
        connect(m_model, &QAbstractItemModel::modelReset, this, &ByteGridView::modelChanged);
        connect(m_model, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
    }
    modelChanged();
}

void ByteGridView::setSelection(ByteSelection *selection)
{
    if (m_selection)
        disconnect(m_selection, nullptr, this, nullptr);
    m_selection = selection;
    if (m_selection)
        connect(m_selection, &ByteSelection::changed, viewport(), qOverload<>(&QWidget::update));
    viewport()->update();
}

QPoint ByteGridView::cellAt(QPoint pos) const
{
    if (!m_model || pos.x() < 0 || pos.y() < 0)
        return {-1, -1};
    int column = -1;
    for (int c = 0; c < grid::kColumns; ++c) {
        if (pos.x() >= columnLeft(c) && pos.x() < columnLeft(c) + columnWidth(c)) {
            column = c;
            break;
        }
    }
    int row = pos.y() < m_rowHeight ? 0 : m_top + (pos.y() - m_rowHeight) / m_rowHeight;
    if (row >= m_model->rowCount())
        row = -1;
    if (row < 0 || column < 0)
        return {-1, -1};
    return {column, row};
}

QRect ByteGridView::cellRect(int row, int column) const
{
    const int y = row == 0 ? 0 : m_rowHeight * (1 + row - m_top);
    return {columnLeft(column), y, columnWidth(column), m_rowHeight};
}

qint64 ByteGridView::byteAt(QPoint cell) const
{
    const qint64 row = std::max(1, cell.y());
    const qint64 column = std::clamp(cell.x(), 1, grid::kBytesPerRow);
    return (row - 1) * grid::kBytesPerRow + (column - 1);
}

void ByteGridView::followCurrent()
{
    const int row = int(m_selection->current() / grid::kBytesPerRow) + 1;
    int top = m_top;
    if (row < top)
        top = row;
    else if (row >= top + visibleDataRows())
        top = row - visibleDataRows() + 1;
    if (top != m_top) {
        setFirstVisibleRow(top);
        emit userScrolled();
    }
}

void ByteGridView::mousePressEvent(QMouseEvent *event)
{
    const QPoint cell = cellAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !m_selection || cell.y() < 1 || cell.x() < 1) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selection->setCurrent(byteAt(cell), event->modifiers() & Qt::ShiftModifier);
}

void ByteGridView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_selection || !m_model) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    // Dragging above or below the rows carries the range on, row by row.
    const QPoint pos = event->position().toPoint();
    const int row = pos.y() < m_rowHeight ? m_top - 1 : m_top + (pos.y() - m_rowHeight) / m_rowHeight;
    int column = pos.x() < columnLeft(1) ? 1 : grid::kBytesPerRow;
    for (int c = 1; c < grid::kColumns; ++c) {
        if (pos.x() >= columnLeft(c) && pos.x() < columnLeft(c) + columnWidth(c))
            column = c;
    }
    const QPoint cell(column, std::clamp(row, 1, std::max(1, m_model->rowCount() - 1)));
    m_selection->setCurrent(byteAt(cell), true);
    followCurrent();
}

void ByteGridView::keyPressEvent(QKeyEvent *event)
{
    if (!m_selection) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    qint64 step = 0;
    switch (event->key()) {
    case Qt::Key_Left: step = -1; break;
    case Qt::Key_Right: step = 1; break;
    case Qt::Key_Up: step = -grid::kBytesPerRow; break;
    case Qt::Key_Down: step = grid::kBytesPerRow; break;
    case Qt::Key_PageUp: step = -qint64(grid::kBytesPerRow) * visibleDataRows(); break;
    case Qt::Key_PageDown: step = qint64(grid::kBytesPerRow) * visibleDataRows(); break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const qint64 target = m_selection->current() + step;
    // A move that would leave the grid stays where it is (as a grid does at
    // its edges), except that a page move stops at the first or last cell.
    if (std::abs(step) <= grid::kBytesPerRow && (target < 0 || target > m_selection->limit()))
        return;
    m_selection->setCurrent(target, event->modifiers() & Qt::ShiftModifier);
    followCurrent();
}

bool ByteGridView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_model) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint cell = cellAt(help->pos());
        const QString tip = cell.x() < 0 ? QString()
                                         : m_model->data(m_model->index(cell.y(), cell.x()), Qt::ToolTipRole).toString();
        if (!tip.isEmpty())
            QToolTip::showText(help->globalPos(), tip, viewport(), cellRect(cell.y(), cell.x()));
        else if (!toolTip().isEmpty()) // the grid's own, where a cell has none
            QToolTip::showText(help->globalPos(), toolTip(), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void ByteGridView::setColumnWidthsTwips(int labelColumn, int byteColumn)
{
    m_labelWidth = desktop::twipsToPixels(labelColumn, logicalDpiX());
    m_byteWidth = desktop::twipsToPixels(byteColumn, logicalDpiX());
    viewport()->update();
}

int ByteGridView::visibleDataRows() const
{
    return std::max(1, (viewport()->height() - m_rowHeight) / std::max(1, m_rowHeight));
}

void ByteGridView::setFirstVisibleRow(int row)
{
    const int rows = m_model ? m_model->rowCount() : 2;
    const int maxTop = std::max(1, rows - visibleDataRows());
    m_top = std::clamp(row, 1, maxTop);
    m_settingTop = true;
    updateScrollRange();
    verticalScrollBar()->setValue(m_top);
    m_settingTop = false;
    viewport()->update();
}

void ByteGridView::modelChanged()
{
    // Rows only grow at the end, so the view stays where it is; a reset
    // starts again at the top. The owner moves the view as rows come.
    const int rows = m_model ? m_model->rowCount() : 2;
    setFirstVisibleRow(std::min(m_top, std::max(1, rows - 1)));
}

void ByteGridView::updateScrollRange()
{
    const int rows = m_model ? m_model->rowCount() : 2;
    const bool wasSetting = m_settingTop;
    m_settingTop = true;
    verticalScrollBar()->setRange(1, std::max(1, rows - visibleDataRows()));
    verticalScrollBar()->setPageStep(visibleDataRows());
    m_settingTop = wasSetting;
}

void ByteGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    setFirstVisibleRow(m_top);
}

int ByteGridView::columnLeft(int column) const
{
    return column == 0 ? 0 : m_labelWidth + (column - 1) * m_byteWidth;
}

int ByteGridView::columnWidth(int column) const
{
    return column == 0 ? m_labelWidth : m_byteWidth;
}

void ByteGridView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QPalette pal = palette();
    p.fillRect(viewport()->rect(), pal.base());
    if (!m_model)
        return;

    const int rows = m_model->rowCount();
    const int columns = m_model->columnCount();
    const int shownRows = viewport()->height() / m_rowHeight + 1;
    const QColor fixedFill = pal.color(QPalette::Button);
    const QColor lines = pal.color(QPalette::Mid);
    const ByteSelection::Range selected = m_selection ? m_selection->selected() : ByteSelection::Range{};
    const qint64 current = m_selection ? m_selection->current() : -1;

    auto paintRow = [&](int modelRow, int y) {
        for (int c = 0; c < columns; ++c) {
            const QRect cell(columnLeft(c), y, columnWidth(c), m_rowHeight);
            const bool fixed = modelRow == 0 || c == 0;
            const qint64 byte = fixed ? -1 : qint64(modelRow - 1) * grid::kBytesPerRow + (c - 1);
            const bool highlighted = !fixed && selected.contains(byte);
            if (fixed)
                p.fillRect(cell, fixedFill);
            else if (highlighted)
                p.fillRect(cell, pal.highlight());
            p.setPen(lines);
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            if (byte == current && hasFocus()) {
                p.setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
                p.drawRect(cell.adjusted(1, 1, -2, -2));
            }
            const QModelIndex idx = m_model->index(modelRow, c);
            const QString text = m_model->data(idx).toString();
            if (text.isEmpty())
                continue;
            const QVariant align = m_model->data(idx, Qt::TextAlignmentRole);
            const int flags = align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
            p.setPen(pal.color(fixed ? QPalette::ButtonText : highlighted ? QPalette::HighlightedText : QPalette::Text));
            p.drawText(cell.adjusted(2, 0, -2, 0), flags, text);
        }
    };

    paintRow(0, 0);
    int y = m_rowHeight;
    for (int r = m_top; r < rows && r < m_top + shownRows; ++r, y += m_rowHeight)
        paintRow(r, y);
}

} // namespace console
