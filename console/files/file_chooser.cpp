#include "file_chooser.h"

#include "console/files/save_name.h"

#include <QFileDialog>
#include <QMessageBox>

namespace console {

std::optional<ChosenFile> chooseFileToWrite(QWidget *parent, const QString &title, const QStringList &filters,
                                            bool appends)
{
    // The dialog's own question would come before the extension is added,
    // about another file than the one written: ours comes after.
    QString start;
    QString filter = filters.value(0);
    for (;;) {
        const QString typed = QFileDialog::getSaveFileName(parent, title, start, filters.join(QStringLiteral(";;")),
                                                           &filter, QFileDialog::DontConfirmOverwrite);
        if (typed.isEmpty())
            return std::nullopt;
        const SaveName name = resolveSaveName(typed, filter, appends);
        if (name.question.isEmpty()
            || QMessageBox::question(parent, title, name.question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes)
            return ChosenFile{name.path, filterForName(name.path, filters, filter)};
        start = name.path;
    }
}

std::optional<FileChooser::SaveTarget> DialogFileChooser::saveTarget(QWidget *parent)
{
    const auto chosen = chooseFileToWrite(parent, QObject::tr("Save Received Bytes"), {kRawFilter, kHexDumpFilter}, false);
    if (!chosen)
        return std::nullopt;
    return SaveTarget{chosen->path, chosen->filter == kHexDumpFilter};
}

std::optional<QString> DialogFileChooser::logFile(QWidget *parent)
{
    // An existing file is appended to, so there is nothing to confirm.
    const auto chosen = chooseFileToWrite(parent, QObject::tr("Log to File"),
                                          {QObject::tr("Log files (*.log)"), QObject::tr("All files (*)")}, true);
    if (!chosen)
        return std::nullopt;
    return chosen->path;
}

namespace {
std::optional<FileChooser::ExportTarget> askExportTarget(QWidget *parent, const QString &title)
{
    const auto chosen = chooseFileToWrite(parent, title, {kCsvFilter, kShownTextFilter, kCaptureFilter}, false);
    if (!chosen)
        return std::nullopt;
    return FileChooser::ExportTarget{chosen->path, chosen->filter == kCsvFilter, chosen->filter == kCaptureFilter};
}
} // namespace

std::optional<FileChooser::ExportTarget> DialogFileChooser::exportTarget(QWidget *parent)
{
    return askExportTarget(parent, QObject::tr("Export Traffic"));
}

std::optional<FileChooser::ExportTarget> DialogFileChooser::keptRowsExportTarget(QWidget *parent)
{
    return askExportTarget(parent, QObject::tr("Export Traffic: Only the Rows the Filter Keeps"));
}

std::optional<QString> DialogFileChooser::captureFile(QWidget *parent)
{
    const QString path = QFileDialog::getOpenFileName(
        parent, QObject::tr("Open Capture"), {},
        QObject::tr("Captures (*.pcapng *.pcap *.cap);;All files (*)"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> DialogFileChooser::recordingFile(QWidget *parent)
{
    const QString path = QFileDialog::getOpenFileName(
        parent, QObject::tr("Open Recording"), {},
        QObject::tr("Recordings (*.pcapng *.pcap *.cap *.csv);;All files (*)"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> DialogFileChooser::registerTableFile(QWidget *parent, bool save)
{
    if (save) {
        const auto chosen = chooseFileToWrite(parent, QObject::tr("Save Register Table"), {kCsvFilter}, false);
        if (!chosen)
            return std::nullopt;
        return chosen->path;
    }
    const QString path = QFileDialog::getOpenFileName(parent, QObject::tr("Load Register Table"), {},
                                                      QObject::tr("CSV (*.csv);;All files (*)"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace console
