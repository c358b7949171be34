#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace console {

// Asking the user for the files of "Save Received Bytes...", "Log to
// File..." and the traffic view's export: file dialogs in the program, a
// stand-in in the tests.
class FileChooser {
public:
    struct SaveTarget {
        QString path;
        bool hexDump = false; // "Hex dump with arrival times (*.txt)" chosen
    };

    struct ExportTarget {
        QString path;
        bool csv = true; // false: "Text as shown (*.txt)" chosen
        bool capture = false; // "Wireshark capture (*.pcapng)" chosen
    };

    virtual ~FileChooser() = default;
    // Nothing when the user cancels.
    virtual std::optional<SaveTarget> saveTarget(QWidget *parent) = 0;
    virtual std::optional<QString> logFile(QWidget *parent) = 0;
    virtual std::optional<ExportTarget> exportTarget(QWidget *parent) = 0;
    // The file for an export of only the rows a row filter keeps: asked as
    // exportTarget() is, under a title that says so.
    virtual std::optional<ExportTarget> keptRowsExportTarget(QWidget *parent) { return exportTarget(parent); }
    // A capture file to open; nothing by default.
    virtual std::optional<QString> captureFile(QWidget *) { return std::nullopt; }
    // A recording to play back (a capture, or the traffic view's CSV
    // export); nothing by default.
    virtual std::optional<QString> recordingFile(QWidget *) { return std::nullopt; }
    // A register table (CSV) to load, or to save when `save`; nothing by
    // default.
    virtual std::optional<QString> registerTableFile(QWidget *, bool save)
    {
        (void)save;
        return std::nullopt;
    }
};

class DialogFileChooser final : public FileChooser {
public:
    std::optional<SaveTarget> saveTarget(QWidget *parent) override;
    std::optional<QString> logFile(QWidget *parent) override;
    std::optional<ExportTarget> exportTarget(QWidget *parent) override;
    std::optional<ExportTarget> keptRowsExportTarget(QWidget *parent) override;
    std::optional<QString> captureFile(QWidget *parent) override;
    std::optional<QString> recordingFile(QWidget *parent) override;
    std::optional<QString> registerTableFile(QWidget *parent, bool save) override;
};

// A file to write, asked with the platform's save dialog. The chosen
// filter's extension goes to a name without one before any overwrite
// question, and the question (unless the file is appended to) names the
// file that will be written; "No" goes back to the dialog. A name that
// ends in another filter's extension is written as that filter's type.
struct ChosenFile {
    QString path;
    QString filter; // the type written, one of `filters`
};
std::optional<ChosenFile> chooseFileToWrite(QWidget *parent, const QString &title, const QStringList &filters,
                                            bool appends);

// The file types offered by the save dialog; the first is the default.
inline const QString kRawFilter = QStringLiteral("Raw bytes (*.bin)");
inline const QString kHexDumpFilter = QStringLiteral("Hex dump with arrival times (*.txt)");
// The file types offered by the traffic view's export; the first is the
// default.
inline const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
inline const QString kShownTextFilter = QStringLiteral("Text as shown (*.txt)");
inline const QString kCaptureFilter = QStringLiteral("Wireshark capture (*.pcapng)");

} // namespace console
