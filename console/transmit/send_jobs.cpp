#include "send_jobs.h"

#include "console/frames/whole_number.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace console {

namespace {

// A write is this large at most (bytes); a new one is made once the port
// holds less than that, so the line never runs dry and at most two wait.
constexpr qint64 kPiece = 4096;
// Pieces written in one turn before window events run again.
constexpr int kPiecesPerTurn = 16;
// Looks again this soon (ms) when a port that still holds output gives no
// signal of its progress.
constexpr int kRecheckMs = 20;

std::optional<qint64> wholeNumber(const QString &text)
{
    return parseWholeNumber(text);
}

} // namespace

QString groupedNumber(qint64 value)
{
    return QLocale(QLocale::English).toString(value);
}

RepeatPlanOrReason parseRepeatPlan(const QString &interval, const QString &count, bool untilStopped)
{
    const auto ms = wholeNumber(interval);
    if (!ms)
        return {std::nullopt, QStringLiteral("The interval \"%1\" is not a whole number of milliseconds.")
                                  .arg(interval)};
    if (*ms < kMinRepeatIntervalMs || *ms > kMaxRepeatIntervalMs)
        return {std::nullopt, QStringLiteral("The interval must be from %1 to %2 ms; %3 ms is out of range.")
                                  .arg(groupedNumber(kMinRepeatIntervalMs), groupedNumber(kMaxRepeatIntervalMs),
                                       groupedNumber(*ms))};
    if (untilStopped)
        return {RepeatPlan{int(*ms), 0}, {}};
    const auto times = wholeNumber(count);
    if (!times)
        return {std::nullopt, QStringLiteral("The count \"%1\" is not a whole number.").arg(count)};
    if (*times < 1 || *times > kMaxRepeatCount)
        return {std::nullopt, QStringLiteral("The count must be from 1 to %1; %2 is out of range.")
                                  .arg(groupedNumber(kMaxRepeatCount), groupedNumber(*times))};
    return {RepeatPlan{int(*ms), int(*times)}, {}};
}

SendJob::SendJob(PanelSender &sender, int panel, QObject *parent)
    : QObject(parent)
    , m_sender(sender)
    , m_panel(panel)
{
    m_again.setSingleShot(true);
    connect(&m_again, &QTimer::timeout, this, [this] {
        if (m_running)
            pump();
    });
}

bool SendJob::begin(QString *reason)
{
    const serial::SerialControl *control = m_sender.port(m_panel);
    if (control == nullptr || !control->portOpen() || control->hasFault()) {
        *reason = QStringLiteral("%1: the port is not open.").arg(m_sender.portName(m_panel));
        return false;
    }
    m_running = true;
    connect(control, &serial::SerialControl::faulted, this, [this](const QString &cause) {
        finish(QStringLiteral("%1: %2").arg(m_sender.portName(m_panel), cause));
    });
    connect(control, &serial::SerialControl::closed, this, [this] {
        finish(QStringLiteral("%1: the port was closed.").arg(m_sender.portName(m_panel)));
    });
    // The port may report progress from inside a write: pump() runs
    // afterwards, never within itself.
    connect(&control->port(), &serial::SerialPort::bytesWritten, this, [this] {
        if (m_running)
            pumpAfter(0);
    });
    pump();
    return true;
}

void SendJob::pumpAfter(int ms)
{
    m_again.start(ms);
}

void SendJob::stop(const QString &reason)
{
    finish(reason);
}

void SendJob::finish(const QString &reason)
{
    if (!m_running)
        return;
    m_running = false;
    m_again.stop();
    if (const serial::SerialControl *control = m_sender.port(m_panel)) {
        disconnect(control, nullptr, this, nullptr);
        disconnect(&control->port(), nullptr, this, nullptr);
    }
    emit finished(reason);
}

RepeatSender::RepeatSender(PanelSender &sender, int panel, const QByteArray &frame, RepeatPlan plan,
                           QObject *parent)
    : SendJob(sender, panel, parent)
    , m_frame(frame)
    , m_plan(plan)
{
    m_every.setTimerType(Qt::PreciseTimer);
    connect(&m_every, &QTimer::timeout, this, [this] {
        m_due = true;
        pump();
    });
    connect(this, &SendJob::finished, &m_every, &QTimer::stop);
}

bool RepeatSender::start(QString *reason)
{
    m_due = true;
    m_every.start(m_plan.intervalMs);
    if (!begin(reason)) {
        m_every.stop();
        return false;
    }
    return true;
}

void RepeatSender::pump()
{
    if (!m_due || !running())
        return;
    if (port().outBufferCount() > 0) {
        pumpAfter(kRecheckMs);
        return;
    }
    m_due = false;
    if (!m_sender.send(panel(), m_frame)) {
        finish(m_sender.lastError());
        return;
    }
    ++m_sent;
    emit progressed(m_sent);
    if (m_plan.count > 0 && m_sent >= m_plan.count)
        finish({});
}

FileSender::FileSender(PanelSender &sender, int panel, const QString &path, QObject *parent)
    : SendJob(sender, panel, parent)
    , m_file(path)
{
}

bool FileSender::start(QString *reason)
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(m_file.fileName()).absoluteFilePath());
    if (QFileInfo(m_file.fileName()).isDir()) {
        *reason = QStringLiteral("%1 is a folder, not a file.").arg(shown);
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("The file %1 cannot be read: %2").arg(shown, m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    if (m_size > kMaxBytes) {
        *reason = QStringLiteral("The file %1 holds %2 bytes; Send File sends at most 64 MiB (%3 bytes).")
                      .arg(shown, groupedNumber(m_size), groupedNumber(kMaxBytes));
        return false;
    }
    if (m_size == 0) {
        *reason = QStringLiteral("The file %1 is empty; there is nothing to send.").arg(shown);
        return false;
    }
    return begin(reason);
}

qint64 FileSender::gone() const
{
    return m_written - port().outBufferCount();
}

void FileSender::pump()
{
    for (int pieces = 0; pieces < kPiecesPerTurn && m_written < m_size && port().outBufferCount() < kPiece;
         ++pieces) {
        const QByteArray piece = m_file.read(qMin(kPiece, m_size - m_written));
        if (piece.isEmpty()) {
            finish(QStringLiteral("The file could not be read after %1 bytes: %2")
                       .arg(groupedNumber(m_written),
                            m_file.atEnd() ? QStringLiteral("it became shorter.") : m_file.errorString()));
            return;
        }
        if (!m_sender.send(panel(), piece)) {
            finish(m_sender.lastError());
            return;
        }
        m_written += piece.size();
    }
    emit progressed(gone());
    const qint64 waiting = port().outBufferCount();
    if (m_written == m_size && waiting == 0) {
        finish({});
        return;
    }
    // The turn ended with room for more, or the port still writes.
    pumpAfter(m_written < m_size && waiting < kPiece ? 0 : kRecheckMs);
}

} // namespace console
