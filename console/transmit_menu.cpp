#include "transmit_menu.h"

#include <QActionGroup>

namespace console {

namespace {

QAction *withValue(QActionGroup *group, int value)
{
    for (QAction *a : group->actions())
        if (a->data().toInt() == value)
            return a;
    return nullptr;
}

} // namespace

TransmitMenu::TransmitMenu(QWidget *parent)
    : QMenu(parent)
{
    m_lineEndMenu = addMenu(tr("Line &Ending"));
    m_lineEnds = new QActionGroup(this);
    for (LineEnd end : {LineEnd::None, LineEnd::Cr, LineEnd::Lf, LineEnd::CrLf}) {
        QAction *a = m_lineEndMenu->addAction(lineEndText(end));
        a->setCheckable(true);
        a->setData(int(end));
        m_lineEnds->addAction(a);
    }
    m_checkMenu = addMenu(tr("&Check"));
    m_checks = new QActionGroup(this);
    for (FrameCheck check : {FrameCheck::None, FrameCheck::ModbusRtu, FrameCheck::Sum8, FrameCheck::Lrc}) {
        QAction *a = m_checkMenu->addAction(frameCheckText(check));
        a->setCheckable(true);
        a->setData(int(check));
        m_checks->addAction(a);
    }
    addSeparator();
    m_repeat = addAction(tr("Send &Repeatedly..."));
    m_file = addAction(tr("Send &File..."));

    connect(m_lineEnds, &QActionGroup::triggered, this,
            [this](QAction *a) { emit lineEndChosen(LineEnd(a->data().toInt())); });
    connect(m_checks, &QActionGroup::triggered, this,
            [this](QAction *a) { emit checkChosen(FrameCheck(a->data().toInt())); });
}

void TransmitMenu::showOptions(SendOptions options, bool editable)
{
    lineEndAction(options.lineEnd)->setChecked(true);
    checkAction(options.check)->setChecked(true);
    m_lineEndMenu->setEnabled(editable);
    m_checkMenu->setEnabled(editable);
}

QAction *TransmitMenu::lineEndAction(LineEnd end) const
{
    return withValue(m_lineEnds, int(end));
}

QAction *TransmitMenu::checkAction(FrameCheck check) const
{
    return withValue(m_checks, int(check));
}

} // namespace console
