// frmMain: waiting for a panel's adapter after a fault, and starting the
// panel again when it returns.
#include "frmmain.h"

#include "serial/port_names.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QSignalBlocker>

namespace console {

bool frmMain::reconnectAutomatically(int panel) const
{
    return m_settings.reconnectAutomatically(panel);
}

void frmMain::setReconnectAutomatically(int panel, bool on)
{
    m_settings.setReconnectAutomatically(panel, on);
    QAction *item = m_menus[panel]->reconnectAction();
    if (item->isChecked() != on)
        item->setChecked(on);
    if (!on && waitingForAdapter(panel))
        endAdapterWait(panel);
}

void frmMain::connectReconnect(int i)
{
    QAction *item = m_menus[i]->reconnectAction();
    item->setChecked(reconnectAutomatically(i));
    connect(item, &QAction::toggled, this, [this, i](bool on) { setReconnectAutomatically(i, on); });
    // A click on a waiting panel's box ends the wait; the box then goes
    // unticked as after any stop.
    connect(Check1[i], &QCheckBox::clicked, this, [this, i] {
        if (waitingForAdapter(i))
            endAdapterWait(i);
    });
}

void frmMain::beginAdapterWait(int i)
{
    m_panels[i].beginWait();
    if (!waitingForAdapter(i))
        return;
    // Partly checked is no tick: the start/stop handling must not run.
    const QSignalBlocker quiet(Check1[i]);
    Check1[i]->setTristate(true);
    Check1[i]->setCheckState(Qt::PartiallyChecked);
    Check1[i]->setToolTip(tr("Waiting for the adapter to return; click to stop waiting."));
    if (m_faultBoxes[i].details)
        m_faultBoxes[i].details->setText(waitingNotice(m_faultBoxes[i].cause));
}

void frmMain::endAdapterWait(int i)
{
    m_panels[i].endWait();
    Check1[i]->setToolTip({});
    // A fault box still open no longer speaks of a wait.
    if (m_faultBoxes[i].details)
        m_faultBoxes[i].details->setText(m_faultBoxes[i].cause);
    // Unticking runs the start/stop handling as a user's untick does.
    Check1[i]->setCheckState(Qt::Unchecked);
    Check1[i]->setTristate(false);
}

bool frmMain::otherPanelRunsOn(int i, const QString &device) const
{
    const Panel &other = m_panels[size_t(1 - i)];
    if (!other.started() || !other.control().portOpen())
        return false;
    const QString theirs = other.control().device();
    // Two names of one device (a by-id link, a number and its path) are
    // one device.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return theirs == device || (!canonical.isEmpty() && QFileInfo(theirs).canonicalFilePath() == canonical);
}

void frmMain::tryReconnect(int i)
{
    for (const QString &device : m_panels[i].returnCandidates()) {
        // The port box shows where the adapter is now. Only a panel running
        // on that device conflicts with it: the text a stopped panel shows
        // is no conflict until that panel starts.
        Combo1[i]->setCurrentText(serial::portTextForDevice(device, m_ports.places.deviceDir));
        if (otherPanelRunsOn(i, device)) {
            endAdapterWait(i);
            message(QStringLiteral("COM Port Conflict Error."), desktop::BoxIcon::Critical);
            return;
        }
        // A refused open (busy, permission) keeps the wait, quietly: the
        // reason is in the box's tooltip instead of a box at every tick.
        QString failure;
        if (!m_panels[i].reconnect(portRequest(i), &failure)) {
            Check1[i]->setToolTip(tr("Waiting for the adapter to return; click to stop waiting.")
                                  + QStringLiteral("\n") + failure);
            continue;
        }
        Check1[i]->setToolTip({});
        {
            const QSignalBlocker quiet(Check1[i]);
            Check1[i]->setCheckState(Qt::Checked);
            Check1[i]->setTristate(false);
        }
        applyLayout(i, true);
        if (m_faultBoxes[i].details)
            m_faultBoxes[i].details->setText(returnNotice(m_faultBoxes[i].cause, Combo1[i]->currentText(), device,
                                                          m_panels[i].events().back().wallMs));
        return;
    }
}

} // namespace console
