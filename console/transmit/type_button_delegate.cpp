#include "type_button_delegate.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace console {

QRect TypeButtonDelegate::buttonRect(const QRect &cell)
{
    const int width = qMin(cell.height(), cell.width() / 3);
    return QRect(cell.right() - width + 1, cell.top(), width, cell.height());
}

void TypeButtonDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    const QRect button = buttonRect(option.rect);
    QStyleOptionViewItem text(option);
    text.rect.setRight(button.left() - 1);
    QStyledItemDelegate::paint(painter, text, index);

    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    QStyleOptionButton face;
    face.rect = button;
    face.state = QStyle::State_Enabled
                 | (m_pressed == index ? QStyle::State_Sunken : QStyle::State_Raised);
    style->drawControl(QStyle::CE_PushButton, &face, painter, option.widget);
    QStyleOption arrow;
    arrow.rect = button.adjusted(button.width() / 4, button.height() / 4,
                                 -button.width() / 4, -button.height() / 4);
    arrow.state = QStyle::State_Enabled;
    arrow.palette = option.palette;
    style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, option.widget);
}

QWidget *TypeButtonDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                          const QModelIndex &) const
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    box->addItems({QStringLiteral("Txt"), QStringLiteral("Hex")});
    return box;
}

void TypeButtonDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QComboBox *>(editor)->setCurrentText(index.data(Qt::EditRole).toString());
}

void TypeButtonDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                      const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}

bool TypeButtonDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                     const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease
        && type != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const bool onButton = mouse->button() == Qt::LeftButton
                          && buttonRect(option.rect).contains(mouse->position().toPoint());
    if (type == QEvent::MouseButtonPress) {
        m_pressed = onButton ? QPersistentModelIndex(index) : QPersistentModelIndex();
        return false;
    }
    if (type == QEvent::MouseButtonDblClick)
        return onButton;
    const bool clicked = onButton && m_pressed == index;
    m_pressed = QPersistentModelIndex();
    if (clicked)
        emit buttonClicked(index);
    return onButton;
}

bool TypeButtonDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const QString more = m_toolTip && index.isValid() ? m_toolTip(index) : QString();
    if (event->type() != QEvent::ToolTip || more.isEmpty())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString own = index.data(Qt::ToolTipRole).toString();
    QToolTip::showText(event->globalPos(), own.isEmpty() ? more : own + QLatin1Char('\n') + more, view,
                       option.rect);
    return true;
}

} // namespace console
