#include "receive_menu.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QFileInfo>
#include <QWidget>

namespace console {

ReceiveMenu::ReceiveMenu(QWidget *parent)
    : QMenu(parent)
{
    m_copy = addAction(tr("&Copy"));
    m_copy->setShortcut(QKeySequence::Copy);
    m_selectAll = addAction(tr("Select &All"));
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    addSeparator();
    m_save = addAction(tr("&Save Received Bytes..."));
    m_log = addAction(QString());
    m_log->setCheckable(true);
    showLogFile({});
    addSeparator();
    m_traffic = addAction(tr("&Traffic View..."));
    m_reconnect = addAction(tr("&Reconnect Automatically"));
    m_reconnect->setCheckable(true);
    m_listenOnly = addAction(tr("&Listen Only"));
    m_listenOnly->setCheckable(true);
    addSeparator();
    m_choosePort = addAction(tr("Choose &Port..."));
    m_otherBaudRate = addAction(tr("Other &Baud Rate..."));
    addSeparator();
    m_device = addAction(tr("Answer as &Device..."));
    m_device->setEnabled(false);
    for (QAction *a : {m_copy, m_selectAll})
        a->setShortcutContext(Qt::WidgetShortcut);
}

void ReceiveMenu::showLogFile(const QString &path)
{
    m_log->setChecked(!path.isEmpty());
    if (path.isEmpty()) {
        m_log->setText(tr("&Log to File..."));
        return;
    }
    // An '&' in the name is shown, not taken for a mnemonic.
    QString name = QFileInfo(path).fileName();
    m_log->setText(tr("&Log to File... (%1)").arg(name.replace(QLatin1Char('&'), QStringLiteral("&&"))));
}

void ReceiveMenu::attachTo(QWidget *grid)
{
    grid->addAction(m_copy);
    grid->addAction(m_selectAll);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area reports the position in its viewport's coordinates.
    auto *area = qobject_cast<QAbstractScrollArea *>(grid);
    QWidget *origin = area ? area->viewport() : grid;
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, grid, origin](const QPoint &pos) {
                m_target = grid;
                popup(origin->mapToGlobal(pos));
            });
    grid->installEventFilter(this);
    if (!m_target)
        m_target = grid;
}

bool ReceiveMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn)
        m_target = static_cast<QWidget *>(watched);
    return QMenu::eventFilter(watched, event);
}

} // namespace console
