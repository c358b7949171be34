#pragma once

#include "console/bytes/arrival_times.h"
#include "console/bytes/byte_store.h"

#include <QString>

#include <functional>

namespace console {

// Taking received bytes elsewhere: the clipboard texts of a selection, and
// the two file forms of "Save Received Bytes...".

// Copy from the text grid: each byte as the character the grid shows for it
// (control characters and 0 included).
QString copiedText(const ByteStore &store, qint64 first, qint64 count);
// Copy from the hex grid: two upper-case hex digits a byte, separated by
// blanks, a line for each grid row the bytes touch (so at most 16 a line,
// fewer on a first or last row begun or ended in the middle); lines end
// with "\n".
QString copiedHex(const ByteStore &store, qint64 first, qint64 count);
// Copying more than this many bytes is refused: the clipboard text of a hex
// copy is six bytes of memory a byte, made while the window waits.
constexpr qint64 kCopyLimit = 4 * 1024 * 1024;

// Why a save or export of bytes that could not be read back failed.
QString unreadableBytesError(const ByteStore &store);

struct SaveResult {
    bool ok = false;
    bool cancelled = false;
    QString error; // why the file could not be written
};

// Reports how far a long save has come (bytes done of total); returning
// false cancels it. It may let window events run.
using SaveProgress = std::function<bool(qint64 done, qint64 total)>;

// The first `count` bytes of the store, exactly, nothing added. Written to a
// temporary file in the same folder and renamed over `path` only when
// complete: a failed or cancelled save leaves no file, and an older file
// of that name as it was.
SaveResult saveRaw(const ByteStore &store, qint64 count, const QString &path, const SaveProgress &progress = {});

// Hex dump of the first `count` bytes, one line per grid row (16 bytes):
//
//   00000010  48 65 6C 6C 6F 0D 0A 00 FF 41 42 43 44 45 46 47  Hello....ABCDEFG  2026-12-07 14:03:11.482
//
// - offset of the line's first byte: upper-case hex, at least 8 digits;
// - two blanks, then the line's bytes as two upper-case hex digits each,
//   separated by one blank; a short last line is padded with blanks;
// - two blanks, then the text column: one character a byte, the byte
//   itself for 0x20..0x7E and "." for every other value, padded to 16;
// - two blanks, then the arrival time of the line's first byte, local time
//   with milliseconds (as the row label's tooltip shows it);
// - "\n". The file is ASCII. Written as saveRaw writes.
SaveResult saveHexDump(const ByteStore &store, const ArrivalTimes &times, qint64 count, const QString &path,
                       const SaveProgress &progress = {});

} // namespace console
