#pragma once

#include "console/transmit/send_options.h"

#include <QMenu>

class QActionGroup;

namespace console {

// The context menu of the history grid: the send options of the row under
// the mouse ("Line &Ending", "&Check") and the sends that run for a while.
// Every item is made here; sfrmTransmit connects them to the row.
class TransmitMenu : public QMenu {
    Q_OBJECT
public:
    explicit TransmitMenu(QWidget *parent = nullptr);

    // Ticks the row's options; `editable` false greys them (no row, or a
    // history file that is not written to).
    void showOptions(SendOptions options, bool editable);

    QMenu *lineEndMenu() const { return m_lineEndMenu; }
    QMenu *checkMenu() const { return m_checkMenu; }
    QAction *lineEndAction(LineEnd end) const;
    QAction *checkAction(FrameCheck check) const;
    QAction *repeatAction() const { return m_repeat; }
    QAction *fileAction() const { return m_file; }
    QAction *replayAction() const { return m_replay; }

signals:
    void lineEndChosen(console::LineEnd end);
    void checkChosen(console::FrameCheck check);

private:
    QMenu *m_lineEndMenu = nullptr;
    QMenu *m_checkMenu = nullptr;
    QActionGroup *m_lineEnds = nullptr;
    QActionGroup *m_checks = nullptr;
    QAction *m_repeat = nullptr;
    QAction *m_file = nullptr;
    QAction *m_replay = nullptr;
};

} // namespace console
