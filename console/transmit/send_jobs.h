#pragma once

#include "console/transmit/panel_sender.h"

#include <QFile>
#include <QObject>
#include <QTimer>

#include <optional>

namespace console {

// How often and how many times Send Repeatedly sends.
struct RepeatPlan {
    int intervalMs = 1000;
    int count = 0; // 0: until stopped
};

inline constexpr int kMinRepeatIntervalMs = 10;
inline constexpr int kMaxRepeatIntervalMs = 3'600'000;
inline constexpr int kMaxRepeatCount = 999'999'999;

// A count as messages show it: 3,600,000.
QString groupedNumber(qint64 value);

struct RepeatPlanOrReason {
    std::optional<RepeatPlan> plan;
    QString reason; // why the texts were refused
};

// The interval (ms) and count as typed: whole numbers, blanks around them
// allowed; the interval from 10 to 3,600,000, the count from 1 to
// 999,999,999 unless the repeat runs until stopped.
RepeatPlanOrReason parseRepeatPlan(const QString &interval, const QString &count, bool untilStopped);

// A send that runs while the window stays responsive. It writes through the
// panel sender as the panel's port takes the bytes, and ends exactly once,
// with finished(): when everything planned was written, on stop(), or when
// the port fails, is closed or refuses a write (the reason names the port
// and the cause). Nothing is written after the end; what the port already
// holds still goes out.
class SendJob : public QObject {
    Q_OBJECT
public:
    bool running() const { return m_running; }
    void stop(const QString &reason);
    int panel() const { return m_panel; }

signals:
    void finished(const QString &reason);

protected:
    SendJob(PanelSender &sender, int panel, QObject *parent);
    // Watches the port and runs the first pump(). False, with the reason,
    // when the port is not open.
    bool begin(QString *reason);
    // Writes what is due now; runs again when the port has written
    // something, or after pumpAfter().
    virtual void pump() = 0;
    void pumpAfter(int ms);
    void finish(const QString &reason);
    const serial::SerialControl &port() const { return *m_sender.port(m_panel); }

    PanelSender &m_sender;

private:
    const int m_panel;
    QTimer m_again;
    bool m_running = false;
};

// Send Repeatedly: the same bytes every interval, the first at once. A send
// waits until the previous one has left the port; intervals that pass
// meanwhile are not made up, so nothing is sent twice.
class RepeatSender : public SendJob {
    Q_OBJECT
public:
    RepeatSender(PanelSender &sender, int panel, const QByteArray &frame, RepeatPlan plan,
                 QObject *parent = nullptr);
    bool start(QString *reason);
    int sent() const { return m_sent; }
    const RepeatPlan &plan() const { return m_plan; }

signals:
    void progressed(int sent);

private:
    void pump() override;

    QByteArray m_frame;
    RepeatPlan m_plan;
    QTimer m_every;
    bool m_due = false;
    int m_sent = 0;
};

// Send File: a file's bytes as they are, in pieces, while the window keeps
// answering. Files above 64 MiB are refused.
class FileSender : public SendJob {
    Q_OBJECT
public:
    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

    FileSender(PanelSender &sender, int panel, const QString &path, QObject *parent = nullptr);
    // False, with the reason, for a file that cannot be read, is empty or
    // too large, or a port that is not open.
    bool start(QString *reason);
    qint64 size() const { return m_size; }
    // Bytes that have left the program for the port.
    qint64 gone() const;

signals:
    void progressed(qint64 gone);

private:
    void pump() override;

    QFile m_file;
    qint64 m_size = 0;
    qint64 m_written = 0;
};

} // namespace console
