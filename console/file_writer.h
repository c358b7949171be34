#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

namespace console {

// The one way the console writes a whole file (a save, a hex dump, an
// export): into a temporary file beside the target, renamed over it only
// when complete. A failed or cancelled write leaves no file, and an older
// file of that name as it was.
class FileWriter {
public:
    explicit FileWriter(const QString &path);

    bool open();
    // False on a failure, which also abandons the file.
    bool write(QByteArrayView bytes);
    // Abandons the file.
    void cancel();
    // Puts the complete file in place; false when that failed.
    bool commit();

    // Why the last open, write or commit failed.
    QString errorString() const { return m_error; }

private:
    QSaveFile m_file;
    QString m_error;
};

} // namespace console
