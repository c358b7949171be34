#pragma once

#include "console/bytes/byte_store.h"

#include <QFile>

namespace console {

// A panel's log file: every byte the panel shows is appended to it, exactly,
// and handed to the system at every receive tick. A file that exists is
// appended to.
class ReceiveLog {
public:
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }
    // Why the last open or append failed.
    QString errorString() const { return m_error; }

    bool open(const QString &path);
    // Appends bytes [first, first + count) of the store, handed to the
    // system before it returns. On a failure the log is closed and
    // errorString() gives the system's reason.
    bool append(const ByteStore &store, qint64 first, qint64 count);
    void close();

private:
    QFile m_file;
    QString m_error;
};

} // namespace console
