// PanelView: waiting for the panel's adapter after a fault, and starting
// the panel again when it returns.
#include "panel_view.h"

#include "console/receive/receive_menu.h"
#include "serial/port_names.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QSignalBlocker>

namespace console {

bool PanelView::reconnectAutomatically() const
{
    return m_services.settings.reconnectAutomatically(m_index);
}

void PanelView::setReconnectAutomatically(bool on)
{
    m_services.settings.setReconnectAutomatically(m_index, on);
    QAction *item = m_menu->reconnectAction();
    if (item->isChecked() != on)
        item->setChecked(on);
    if (!on && waitingForAdapter())
        endAdapterWait();
}

void PanelView::connectReconnect()
{
    QAction *item = m_menu->reconnectAction();
    item->setChecked(reconnectAutomatically());
    connect(item, &QAction::toggled, this, &PanelView::setReconnectAutomatically);
    // A click on a waiting panel's box ends the wait; the box then goes
    // unticked as after any stop.
    connect(Check1, &QCheckBox::clicked, this, [this] {
        if (waitingForAdapter())
            endAdapterWait();
    });
}

void PanelView::beginAdapterWait()
{
    m_panel.beginWait();
    const AdapterReturn &wait = m_panel.adapterReturn();
    if (!waitingForAdapter()) {
        // A port that could not be told from a stranger stays stopped.
        if (m_faultDetails && !wait.device().isEmpty())
            m_faultDetails->setText(notReopenedNotice(m_faultCause));
        return;
    }
    // Partly checked is no tick: the start/stop handling must not run.
    const QSignalBlocker quiet(Check1);
    Check1->setTristate(true);
    Check1->setCheckState(Qt::PartiallyChecked);
    Check1->setToolTip(tr("Waiting for the adapter to return; click to stop waiting."));
    if (m_faultDetails)
        m_faultDetails->setText(waitingNotice(m_faultCause, wait.bySameNode() ? wait.device() : QString()));
}

void PanelView::endAdapterWait()
{
    m_panel.endWait();
    Check1->setToolTip({});
    // A fault box still open no longer speaks of a wait.
    if (m_faultDetails)
        m_faultDetails->setText(m_faultCause);
    // Unticking runs the start/stop handling as a user's untick does.
    Check1->setCheckState(Qt::Unchecked);
    Check1->setTristate(false);
}

bool PanelView::neighbourRunsOn(const QString &device) const
{
    if (!m_other)
        return false;
    const Panel &other = m_other->panel();
    if (!other.started() || !other.control().portOpen())
        return false;
    const QString theirs = other.control().device();
    // Two names of one device (a by-id link, a number and its path) are
    // one device.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return theirs == device || (!canonical.isEmpty() && QFileInfo(theirs).canonicalFilePath() == canonical);
}

void PanelView::tryReconnect()
{
    const QString tip = tr("Waiting for the adapter to return; click to stop waiting.");
    const QString stranger = m_panel.adapterReturn().strangerAtPath();
    Check1->setToolTip(stranger.isEmpty() ? tip : tip + QStringLiteral("\n") + stranger);
    for (const QString &device : m_panel.returnCandidates()) {
        // The port box shows where the adapter is now. Only a panel running
        // on that device conflicts with it: the text a stopped panel shows
        // is no conflict until that panel starts.
        Combo1->setCurrentText(serial::portTextForDevice(device, m_services.ports.places.deviceDir));
        if (neighbourRunsOn(device)) {
            endAdapterWait();
            message(QStringLiteral("COM Port Conflict Error."), desktop::BoxIcon::Critical);
            return;
        }
        // A refused open (busy, permission) keeps the wait, quietly: the
        // reason is in the box's tooltip instead of a box at every tick.
        QString failure;
        if (!m_panel.reconnect(portRequest(), &failure)) {
            Check1->setToolTip(tip + QStringLiteral("\n") + failure);
            continue;
        }
        Check1->setToolTip({});
        {
            const QSignalBlocker quiet(Check1);
            Check1->setCheckState(Qt::Checked);
            Check1->setTristate(false);
        }
        applyLayout(true);
        if (m_faultDetails)
            m_faultDetails->setText(returnNotice(m_faultCause, Combo1->currentText(), device,
                                                 m_panel.events().back().wallMs));
        return;
    }
}

} // namespace console
