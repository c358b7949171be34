#pragma once

#include <QMenu>

class QWidget;

namespace console {

// The context menu of a panel's receive grids: one menu per panel, opened by
// a right-click on either of its two grids, whose items act on that panel.
// Every item of the menu is made here, in the order shown; a new item is one
// more action made in the constructor and given an accessor, and frmMain
// connects it to the panel it belongs to.
//
// Copy and Select All carry their shortcuts (Ctrl+C, Ctrl+A) also while the
// menu is closed: attachTo() puts them on a grid, where they work while that
// grid has the focus.
class ReceiveMenu : public QMenu {
    Q_OBJECT
public:
    explicit ReceiveMenu(QWidget *parent = nullptr);

    QAction *copyAction() const { return m_copy; }
    QAction *selectAllAction() const { return m_selectAll; }
    QAction *saveAction() const { return m_save; }
    // Checkable: checked while the panel's bytes are being logged, and then
    // named after the file ("&Log to File... (capture.log)").
    QAction *logAction() const { return m_log; }
    // The log item as the panel logs to `path`, or does not (empty).
    void showLogFile(const QString &path);
    // Opens the traffic view, shared by both panels.
    QAction *trafficAction() const { return m_traffic; }
    // Checkable: after a fault the panel waits for its adapter and starts
    // again when it returns.
    QAction *reconnectAction() const { return m_reconnect; }
    // Checkable: the panel's port only reads, and nothing is sent through it.
    QAction *listenOnlyAction() const { return m_listenOnly; }
    // Put a port that exists into the panel's port box, or give the panel a
    // rate its buttons do not offer; for a stopped panel only.
    QAction *choosePortAction() const { return m_choosePort; }
    QAction *otherBaudRateAction() const { return m_otherBaudRate; }
    // Opens the window in which the panel answers as a Modbus device; for a
    // started panel only.
    QAction *deviceAction() const { return m_device; }

    // Opens the menu on a right-click in `grid`, and gives the grid the
    // keyboard shortcuts of the menu's items.
    void attachTo(QWidget *grid);
    // The grid the menu's items act from: the one last right-clicked or
    // given the focus (a copy from the hex grid copies hex digits).
    QWidget *target() const { return m_target; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_target = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_save = nullptr;
    QAction *m_log = nullptr;
    QAction *m_traffic = nullptr;
    QAction *m_reconnect = nullptr;
    QAction *m_listenOnly = nullptr;
    QAction *m_choosePort = nullptr;
    QAction *m_otherBaudRate = nullptr;
    QAction *m_device = nullptr;
};

} // namespace console
