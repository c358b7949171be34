#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace console {

// Asking the user for the files of "Save Received Bytes..." and "Log to
// File...": file dialogs in the program, a stand-in in the tests.
class FileChooser {
public:
    struct SaveTarget {
        QString path;
        bool hexDump = false; // "Hex dump with arrival times (*.txt)" chosen
    };

    virtual ~FileChooser() = default;
    // Nothing when the user cancels.
    virtual std::optional<SaveTarget> saveTarget(QWidget *parent) = 0;
    virtual std::optional<QString> logFile(QWidget *parent) = 0;
};

class DialogFileChooser final : public FileChooser {
public:
    std::optional<SaveTarget> saveTarget(QWidget *parent) override;
    std::optional<QString> logFile(QWidget *parent) override;
};

// The file types offered by the save dialog; the first is the default.
inline const QString kRawFilter = QStringLiteral("Raw bytes (*.bin)");
inline const QString kHexDumpFilter = QStringLiteral("Hex dump with arrival times (*.txt)");

} // namespace console
