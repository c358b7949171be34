#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace console {

// The Type cell: its text with a button at the right edge. A click on the
// button emits buttonClicked() instead of starting an edit; editing the cell
// offers "Txt" and "Hex" and still takes any other text.
class TypeButtonDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the button lies within a cell of that rectangle.
    static QRect buttonRect(const QRect &cell);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model,
                     const QStyleOptionViewItem &option, const QModelIndex &index) override;

    // More lines for a cell's tooltip, below the model's own; none when the
    // source gives an empty text.
    void setToolTipSource(std::function<QString(const QModelIndex &)> source) { m_toolTip = std::move(source); }
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

signals:
    void buttonClicked(const QModelIndex &index);

private:
    QPersistentModelIndex m_pressed;
    std::function<QString(const QModelIndex &)> m_toolTip;
};

} // namespace console
