#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

namespace console {

// Cell arithmetic of a receive grid: 17 columns (a label column, then 16
// bytes), a fixed header row, data row r holding bytes 16(r-1)..16(r-1)+15.
namespace grid {
constexpr int kColumns = 17;
constexpr int kBytesPerRow = 16;
constexpr int kLabelColumnTwips = 450;
constexpr int kByteColumnTwips = 300;

// Rows including the header: a grid always ends with the row that waits for
// the next byte, so 16 bytes give 3 rows (header, full row, empty row).
inline qint64 rowCountFor(qint64 bytes) { return bytes / kBytesPerRow + 2; }
// Header character of byte column j (1..16): "0".."9", "A".."F".
QChar headerCharacter(int column);
QString hexText(std::uint8_t byte);
// The byte as a character of the system's code page (U+FFFD for a lead
// byte or a byte with no character).
QChar textCharacter(std::uint8_t byte);

// First visible row after `appendedRows` rows were added one by one to a
// grid that had `rowsBefore` rows: each new row moves the view down by one
// while the view is within 7 rows of the end, never jumping to the end.
qint64 autoScrolledTop(qint64 top, qint64 rowsBefore, qint64 appendedRows);
} // namespace grid

} // namespace console
