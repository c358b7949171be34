#pragma once

#include "protocol/register_table.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace console {

// A register table file read: the table, or the reason it was refused
// (the file, or the line and what is wrong with it); remarks about a file
// that loaded ("line 7: holding 3 was given on line 2 too; ...").
struct RegisterFileLoad {
    std::optional<protocol::RegisterTable> table;
    QString error;
    QStringList remarks;
};

// Table files larger than this are refused unread (four full tables are
// about 4 MB).
inline constexpr qint64 kLargestRegisterFile = 16 << 20;

RegisterFileLoad loadRegisterFile(const QString &path);

// Saves through the console's one file writer; false with the reason.
bool saveRegisterFile(const QString &path, const protocol::RegisterTable &table, QString *failure);

} // namespace console
