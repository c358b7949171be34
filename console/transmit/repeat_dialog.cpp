#include "repeat_dialog.h"

#include "console/frames/hex_text.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace console {

QString hexPreview(const QByteArray &bytes, int shown)
{
    const QString digits = hexPairs(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), shown)));
    return bytes.size() > shown ? digits + QStringLiteral(" ...") : digits;
}

RepeatDialog::RepeatDialog(PanelSender &sender, int panel, const QByteArray &frame, const QString &what,
                           QWidget *parent)
    : QDialog(parent)
    , m_sender(sender)
    , m_panel(panel)
    , m_frame(frame)
{
    setWindowTitle(QStringLiteral("Send Repeatedly"));
    setModal(false);

    auto *grid = new QGridLayout(this);
    // One arg() call: the row's text may hold "%1" itself.
    auto *whatLabel = new QLabel(QStringLiteral("%1\n%2 (%3 bytes)\nthrough %4")
                                     .arg(what, hexPreview(frame), QString::number(frame.size()),
                                          sender.portName(panel)),
                                 this);
    whatLabel->setObjectName(QStringLiteral("what"));
    whatLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(whatLabel, 0, 0, 1, 3);

    grid->addWidget(new QLabel(QStringLiteral("&Every"), this), 1, 0);
    interval = new QLineEdit(QStringLiteral("1000"), this);
    interval->setToolTip(QStringLiteral("From 10 to 3,600,000 ms"));
    grid->addWidget(interval, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms"), this), 1, 2);
    static_cast<QLabel *>(grid->itemAtPosition(1, 0)->widget())->setBuddy(interval);

    times = new QRadioButton(QStringLiteral("&Times"), this);
    times->setChecked(true);
    count = new QLineEdit(QStringLiteral("10"), this);
    untilStopped = new QRadioButton(QStringLiteral("&Until stopped"), this);
    grid->addWidget(times, 2, 0);
    grid->addWidget(count, 2, 1);
    grid->addWidget(untilStopped, 3, 0, 1, 3);
    connect(untilStopped, &QRadioButton::toggled, count, &QLineEdit::setDisabled);

    sentSoFar = new QLabel(this);
    status = new QLabel(this);
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(sentSoFar, 4, 0, 1, 3);
    grid->addWidget(status, 5, 0, 1, 3);

    auto *buttons = new QHBoxLayout;
    startButton = new QPushButton(QStringLiteral("&Start"), this);
    stopButton = new QPushButton(QStringLiteral("S&top"), this);
    auto *closeButton = new QPushButton(QStringLiteral("&Close"), this);
    buttons->addStretch();
    for (QPushButton *b : {startButton, stopButton, closeButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 6, 0, 1, 3);
    connect(startButton, &QPushButton::clicked, this, &RepeatDialog::startRepeat);
    connect(stopButton, &QPushButton::clicked, this,
            [this] { stopRepeat(QStringLiteral("stopped by the user.")); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    showRunning(false);
    showSent();
}

QPoint besideWindow(const QRect &window, const QSize &size, const QRect &screen)
{
    constexpr int gap = 8;
    const auto clamped = [&](int x, int y) {
        return QPoint(std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())),
                      std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    };
    const int right = window.right() + 1 + gap;
    const int left = window.left() - gap - size.width();
    const int below = window.bottom() + 1 + gap;
    const int above = window.top() - gap - size.height();
    if (right + size.width() <= screen.right() + 1)
        return clamped(right, window.top());
    if (left >= screen.left())
        return clamped(left, window.top());
    if (below + size.height() <= screen.bottom() + 1)
        return clamped(window.left(), below);
    if (above >= screen.top())
        return clamped(window.left(), above);
    const bool moreRoomRight = screen.right() - window.right() >= window.left() - screen.left();
    return clamped(moreRoomRight ? right : left, window.top());
}

void RepeatDialog::showBesideParent()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->screen()) {
        // The frame is not known before the first show: the client size
        // stands for it, which errs by a title bar at most.
        adjustSize();
        move(besideWindow(owner->frameGeometry(), size(), owner->screen()->availableGeometry()));
    }
    show();
}

RepeatDialog::~RepeatDialog()
{
    // Nothing is sent for a window that is gone.
    if (m_job)
        m_job->disconnect(this);
    stopRepeat(QStringLiteral("the window was closed."));
}

void RepeatDialog::startRepeat()
{
    if (running())
        return;
    const RepeatPlanOrReason parsed = parseRepeatPlan(interval->text(), count->text(), untilStopped->isChecked());
    if (!parsed.plan) {
        status->setText(parsed.reason);
        return;
    }
    delete m_job;
    m_job = new RepeatSender(m_sender, m_panel, m_frame, *parsed.plan, this);
    connect(m_job, &RepeatSender::progressed, this, &RepeatDialog::showSent);
    connect(m_job, &SendJob::finished, this, &RepeatDialog::ended);
    const RepeatPlan &plan = *parsed.plan;
    status->setText(plan.count > 0 ? QStringLiteral("Sending every %1 ms, %2 times.").arg(plan.intervalMs).arg(plan.count)
                                   : QStringLiteral("Sending every %1 ms until stopped.").arg(plan.intervalMs));
    showSent();
    showRunning(true);
    QString reason;
    // A repeat of one send may end within start().
    if (!m_job->start(&reason)) {
        showRunning(false);
        status->setText(reason);
    }
}

void RepeatDialog::stopRepeat(const QString &reason)
{
    if (m_job)
        m_job->stop(reason);
}

void RepeatDialog::closeEvent(QCloseEvent *event)
{
    stopRepeat(QStringLiteral("the window was closed."));
    QDialog::closeEvent(event);
}

void RepeatDialog::showRunning(bool running)
{
    for (QWidget *w : {static_cast<QWidget *>(interval), static_cast<QWidget *>(times),
                       static_cast<QWidget *>(untilStopped), static_cast<QWidget *>(startButton)})
        w->setEnabled(!running);
    count->setEnabled(!running && times->isChecked());
    stopButton->setEnabled(running);
}

void RepeatDialog::showSent()
{
    const int sent = m_job ? m_job->sent() : 0;
    const int planned = m_job ? m_job->plan().count : 0;
    sentSoFar->setText(planned > 0 ? QStringLiteral("Sent: %1 of %2").arg(sent).arg(planned)
                                   : QStringLiteral("Sent: %1").arg(sent));
}

void RepeatDialog::ended(const QString &reason)
{
    showRunning(false);
    showSent();
    const int sent = m_job ? m_job->sent() : 0;
    status->setText(reason.isEmpty() ? QStringLiteral("Done: sent %1 times.").arg(sent)
                                     : QStringLiteral("Stopped after %1 sends: %2").arg(sent).arg(reason));
}

} // namespace console
