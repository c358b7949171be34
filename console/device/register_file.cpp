#include "register_file.h"

#include "console/files/file_writer.h"

#include <QFile>
#include <QFileInfo>

namespace console {

RegisterFileLoad loadRegisterFile(const QString &path)
{
    RegisterFileLoad load;
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        load.error = QStringLiteral("%1 is a folder").arg(path);
        return load;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        load.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return load;
    }
    // Read one byte past the limit, so that a device node or a pipe that
    // never ends is refused too.
    const QByteArray bytes = file.read(kLargestRegisterFile + 1);
    if (bytes.size() > kLargestRegisterFile) {
        load.error = QStringLiteral("%1 is larger than %2 MB: no register table").arg(path).arg(kLargestRegisterFile >> 20);
        return load;
    }
    const protocol::RegisterLoad parsed = protocol::parseRegisterCsv(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!parsed.table) {
        load.error = QStringLiteral("%1, %2").arg(path, QString::fromStdString(parsed.error));
        return load;
    }
    load.table = parsed.table;
    for (const std::string &remark : parsed.remarks)
        load.remarks << QStringLiteral("%1, %2").arg(path, QString::fromStdString(remark));
    return load;
}

bool saveRegisterFile(const QString &path, const protocol::RegisterTable &table, QString *failure)
{
    const std::string text = protocol::registerCsv(table);
    FileWriter writer(path);
    if (!writer.open() || !writer.write(QByteArrayView(text.data(), qsizetype(text.size()))) || !writer.commit()) {
        *failure = QStringLiteral("Cannot save %1: %2").arg(path, writer.errorString());
        return false;
    }
    return true;
}

} // namespace console
