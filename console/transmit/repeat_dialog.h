#pragma once

#include "console/transmit/send_jobs.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace console {

// Send Repeatedly: a small window beside the history window that takes the
// interval and the count, then shows what is sent, how often, how many so
// far, and why the repeat ended. Stop ends it at once; closing this window
// ends it too.
class RepeatDialog : public QDialog {
    Q_OBJECT
public:
    // `frame` is sent as it stands on every repeat; `what` says in words
    // which row and options it came from.
    RepeatDialog(PanelSender &sender, int panel, const QByteArray &frame, const QString &what,
                 QWidget *parent = nullptr);
    ~RepeatDialog() override;

    // Shows the dialog beside its parent window, not over its grid.
    void showBesideParent();

    // Reads the fields and starts; a refusal shows its reason in the status.
    void startRepeat();
    // Ends a running repeat with that reason.
    void stopRepeat(const QString &reason);
    bool running() const { return m_job && m_job->running(); }
    // The running or last repeat; null before the first Start.
    RepeatSender *job() const { return m_job; }

    QLineEdit *interval = nullptr;
    QRadioButton *times = nullptr;
    QLineEdit *count = nullptr;
    QRadioButton *untilStopped = nullptr;
    QLabel *sentSoFar = nullptr;
    QLabel *status = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *stopButton = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showRunning(bool running);
    void showSent();
    void ended(const QString &reason);

    PanelSender &m_sender;
    const int m_panel;
    const QByteArray m_frame;
    QPointer<RepeatSender> m_job;
};

// Where a window of `size` goes beside `window` (frame rectangles, desktop
// pixels) within `screen`: to its right, else to its left (tops level),
// else below it, else above it (left edges level), else on the side with
// more room; always pushed into the screen.
QPoint besideWindow(const QRect &window, const QSize &size, const QRect &screen);

// A frame as hex digits for the dialogs: at most `shown` bytes, then "...".
QString hexPreview(const QByteArray &bytes, int shown = 32);

} // namespace console
