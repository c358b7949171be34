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

// One checkable item per value, ticked one at a time; the value is the
// item's data.
template <typename Value, typename Text>
QActionGroup *addChoices(QMenu *menu, std::initializer_list<Value> values, Text text)
{
    auto *group = new QActionGroup(menu);
    for (Value value : values) {
        QAction *a = menu->addAction(text(value));
        a->setCheckable(true);
        a->setData(int(value));
        group->addAction(a);
    }
    return group;
}

} // namespace

TransmitMenu::TransmitMenu(QWidget *parent)
    : QMenu(parent)
{
    m_lineEndMenu = addMenu(tr("Line &Ending"));
    m_lineEnds = addChoices(m_lineEndMenu, {LineEnd::None, LineEnd::Cr, LineEnd::Lf, LineEnd::CrLf}, lineEndText);
    m_checkMenu = addMenu(tr("&Check"));
    m_checks = addChoices(m_checkMenu, {FrameCheck::None, FrameCheck::ModbusRtu, FrameCheck::Sum8, FrameCheck::Lrc,
                                         FrameCheck::FxSum, FrameCheck::MewtocolBcc},
                          frameCheckText);
    addSeparator();
    m_repeat = addAction(tr("Send &Repeatedly..."));
    m_file = addAction(tr("Send &File..."));
    m_replay = addAction(tr("Replay &Requests..."));

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
