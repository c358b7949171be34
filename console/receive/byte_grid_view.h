#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

class QAbstractItemModel;

namespace console {

class ByteSelection;

// A grid that paints only its visible rows, as hex editors do: the fixed
// header row and label column come from the model's row 0 and column 0.
// It keeps nothing per row, so it handles any number of rows.
//
// The first visible scrollable row (1 = the first data row) can be read and
// set; userScrolled() is raised only when the user moves the view, never
// when the program does.
//
// With a selection set, a click makes a byte cell current, Shift+click and
// dragging extend the range, and the arrow keys move the current cell
// (Shift extends); the view follows the current cell. Selected cells are
// painted highlighted. A row label's tooltip is the model's tooltip text;
// elsewhere the grid's own tooltip shows.
class ByteGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ByteGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    void setSelection(ByteSelection *selection);
    QAbstractItemModel *model() const { return m_model; }

    int firstVisibleRow() const { return m_top; }
    void setFirstVisibleRow(int row);
    // Whole data rows that fit below the header.
    int visibleDataRows() const;
    int rowHeight() const { return m_rowHeight; }
    // Column widths in twips; the header row's height follows the rows.
    void setColumnWidthsTwips(int labelColumn, int byteColumn);

    // The cell under a point of the viewport as (x = column, y = row); row 0
    // is the header, column 0 the labels; (-1, -1) where there is no cell.
    QPoint cellAt(QPoint viewportPos) const;
    // The viewport rectangle of a data cell, for tests and tooltips.
    QRect cellRect(int row, int column) const;

signals:
    void userScrolled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void modelChanged();
    void updateScrollRange();
    int columnLeft(int column) const;
    int columnWidth(int column) const;
    // Byte index of a data cell, clamped to the selection's limit.
    qint64 byteAt(QPoint cell) const;
    void followCurrent();

    QPointer<QAbstractItemModel> m_model;
    QPointer<ByteSelection> m_selection;
    int m_top = 1;
    int m_rowHeight = 16;
    int m_labelWidth = 30;
    int m_byteWidth = 20;
    bool m_settingTop = false;
};

} // namespace console
