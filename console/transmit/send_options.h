#pragma once

#include "console/frames/frame_checks.h"
#include "console/frames/hex_items.h"

#include <QString>

#include <optional>

namespace console {

// What a history row may carry besides its Data when it is sent: a check
// over its bytes and a line ending after the check.
//
// The stored names are read and written by other programs and test rigs
// too: "none", "cr", "lf", "crlf".
enum class LineEnd { None, Cr, Lf, CrLf };

QString lineEndName(LineEnd end);
// Exactly one of the names above; nothing for any other text.
std::optional<LineEnd> lineEndFromName(QStringView name);

struct SendOptions {
    LineEnd lineEnd = LineEnd::None;
    FrameCheck check = FrameCheck::None;

    // A row without options sends exactly its Data.
    bool isPlain() const { return lineEnd == LineEnd::None && check == FrameCheck::None; }
    bool operator==(const SendOptions &) const = default;
};

// The bytes a stored row sends: a "Txt" row (exactly that, case-sensitive)
// its Data as text through the code page, nothing appended; any other row
// its Data as hex items.
HexItems bytesForRow(const QString &type, const QString &data);

// The bytes of a row as they go on the line: its Data as text (a "Txt" row)
// or hex items (any other), then the check computed over those bytes, then
// the line ending. A Hex row that cannot be converted gives its error and no
// bytes.
HexItems bytesToSend(const QString &type, const QString &data, SendOptions options);

// The menu's words for an option ("CR LF", "Modbus RTU CRC-16").
QString lineEndText(LineEnd end);
QString frameCheckText(FrameCheck check);
// One line per option that is set, for the Type cell's tooltip; empty for a
// plain row.
QString sendOptionsText(SendOptions options);

} // namespace console
