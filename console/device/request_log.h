#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <deque>

namespace console {

// The device's lines about the requests it handled, one a row, the newest
// last: at most `capacity` are kept, the oldest let go and counted (with
// those the device itself let go under a flood), so that a device that
// runs for days holds a fixed number of lines.
class RequestLog : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kDefaultCapacity = 1000;

    explicit RequestLog(int capacity = kDefaultCapacity, QObject *parent = nullptr);

    // The lines in one insert; `unlisted` requests before them had no line.
    void append(const QStringList &lines, qint64 unlisted = 0);
    // Requests handled and not among the rows: let go here or before.
    qint64 dropped() const { return m_dropped; }
    int capacity() const { return m_capacity; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    int m_capacity;
    std::deque<QString> m_lines;
    qint64 m_dropped = 0;
};

} // namespace console
