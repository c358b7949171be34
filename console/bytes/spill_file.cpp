#include "spill_file.h"

#include <QDir>

namespace console {

bool SpillFile::open(const QString &folder, Making making)
{
    close();
    m_folder = folder;
    if (folder.isEmpty()) {
        m_error = QStringLiteral("there is no cache folder");
        return false;
    }
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("could not make the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return create(making);
}

} // namespace console
