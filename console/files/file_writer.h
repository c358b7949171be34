#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <optional>

class QFileDevice;

namespace console {

// Hands what was written to `file` to the disk; false with the system's
// reason when the disk could not keep it.
using SyncToDisk = bool (*)(QFileDevice &file, QString *reason);
bool syncToDisk(QFileDevice &file, QString *reason);

// The one way the console writes a whole file (a save, a hex dump, an
// export): into a temporary file beside the target, renamed over it only
// when every byte was written and handed to the disk. A failed or
// cancelled write leaves no file, and an older file of that name as it was;
// errorString() then gives the system's reason ("File too large", "No space
// left on device", "Permission denied").
//
// A target that exists and is no regular file (a device node, a FIFO) is
// written in place instead and never replaced: what was written before a
// failure or a cancel has gone to it.
class FileWriter {
public:
    explicit FileWriter(const QString &path, SyncToDisk sync = syncToDisk);

    bool open();
    // False on a failure, which also abandons the file.
    bool write(QByteArrayView bytes);
    // Abandons the file.
    void cancel();
    // Puts the complete file in place; false when that failed, which also
    // abandons the file.
    bool commit();

    // Why the last open, write or commit failed.
    QString errorString() const { return m_error; }

private:
    bool fail();
    bool openInPlace();
    QFileDevice *file();

    QString m_path;
    SyncToDisk m_sync;
    // Open from open() until the file is put in place or abandoned; letting
    // it go removes the temporary file. Unbuffered: every write reaches the
    // system at once, so no failure can hide in a last buffer written only
    // while the file is put in place.
    std::optional<QSaveFile> m_file;
    // The target itself, when it is written in place.
    std::optional<QFile> m_inPlace;
    QString m_error;
};

// Writes all of `bytes` to a file opened with QIODevice::Unbuffered. A write
// the system took only in part is carried on, so that a failure reports the
// system's reason in the file's errorString(). False on a failure.
bool writeWhole(QFileDevice &file, QByteArrayView bytes);

} // namespace console
