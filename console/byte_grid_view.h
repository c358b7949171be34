#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

class QAbstractItemModel;

namespace console {

// A grid that paints only its visible rows, as hex editors do: the fixed
// header row and label column come from the model's row 0 and column 0.
// It keeps nothing per row, so it handles any number of rows.
//
// The first visible scrollable row (1 = the first data row) can be read and
// set; userScrolled() is raised only when the user moves the view, never
// when the program does.
class ByteGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ByteGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *model() const { return m_model; }

    int firstVisibleRow() const { return m_top; }
    void setFirstVisibleRow(int row);
    // Whole data rows that fit below the header.
    int visibleDataRows() const;
    int rowHeight() const { return m_rowHeight; }
    // Column widths in twips; the header row's height follows the rows.
    void setColumnWidthsTwips(int labelColumn, int byteColumn);

signals:
    void userScrolled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void modelChanged();
    void updateScrollRange();
    int columnLeft(int column) const;
    int columnWidth(int column) const;

    QPointer<QAbstractItemModel> m_model;
    int m_top = 1;
    int m_rowHeight = 16;
    int m_labelWidth = 30;
    int m_byteWidth = 20;
    bool m_settingTop = false;
};

} // namespace console
