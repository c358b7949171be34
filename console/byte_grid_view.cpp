#include "byte_grid_view.h"

#include "desktop/twips.h"

#include <QAbstractItemModel>
#include <QPainter>
#include <QScrollBar>

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

    auto paintRow = [&](int modelRow, int y) {
        for (int c = 0; c < columns; ++c) {
            const QRect cell(columnLeft(c), y, columnWidth(c), m_rowHeight);
            const bool fixed = modelRow == 0 || c == 0;
            if (fixed)
                p.fillRect(cell, fixedFill);
            p.setPen(lines);
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            const QModelIndex idx = m_model->index(modelRow, c);
            const QString text = m_model->data(idx).toString();
            if (text.isEmpty())
                continue;
            const QVariant align = m_model->data(idx, Qt::TextAlignmentRole);
            const int flags = align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
            p.setPen(pal.color(fixed ? QPalette::ButtonText : QPalette::Text));
            p.drawText(cell.adjusted(2, 0, -2, 0), flags, text);
        }
    };

    paintRow(0, 0);
    int y = m_rowHeight;
    for (int r = m_top; r < rows && r < m_top + shownRows; ++r, y += m_rowHeight)
        paintRow(r, y);
}

} // namespace console
