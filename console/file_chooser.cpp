#include "file_chooser.h"

#include <QFileDialog>
#include <QFileInfo>

namespace console {

std::optional<FileChooser::SaveTarget> DialogFileChooser::saveTarget(QWidget *parent)
{
    QString filter = kRawFilter;
    QString path = QFileDialog::getSaveFileName(parent, QObject::tr("Save Received Bytes"), QString(),
                                                kRawFilter + QStringLiteral(";;") + kHexDumpFilter, &filter);
    if (path.isEmpty())
        return std::nullopt;
    const bool hex = filter == kHexDumpFilter;
    if (QFileInfo(path).suffix().isEmpty())
        path += hex ? QStringLiteral(".txt") : QStringLiteral(".bin");
    return SaveTarget{path, hex};
}

std::optional<QString> DialogFileChooser::logFile(QWidget *parent)
{
    // An existing file is appended to, so there is nothing to confirm.
    const QString path = QFileDialog::getSaveFileName(parent, QObject::tr("Log to File"), QString(),
                                                      QObject::tr("Log files (*.log);;All files (*)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<FileChooser::ExportTarget> DialogFileChooser::exportTarget(QWidget *parent)
{
    QString filter = kCsvFilter;
    QString path = QFileDialog::getSaveFileName(parent, QObject::tr("Export Traffic"), QString(),
                                                kCsvFilter + QStringLiteral(";;") + kShownTextFilter, &filter);
    if (path.isEmpty())
        return std::nullopt;
    const bool csv = filter != kShownTextFilter;
    if (QFileInfo(path).suffix().isEmpty())
        path += csv ? QStringLiteral(".csv") : QStringLiteral(".txt");
    return ExportTarget{path, csv};
}

} // namespace console
