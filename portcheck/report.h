#pragma once

// The port checker's results without a window: the report as text, and the
// bridges as JSON.

#include <QByteArray>
#include <QString>

#include <string>

namespace discovery {
class Discovery;
}

namespace portcheck {

// Report bytes are in the code page: the ANSI code page on Windows, Latin-1
// elsewhere.
QString fromCodePage(const std::string &bytes);

// One scan as a JSON array, one object per bridge in scan order:
// {"serial", "product", "vid", "pid", "port", "device"}. vid and pid are
// numbers; port is the number, or null when unknown (not found, or no
// lookup ran); device is what the port opens (/dev/ttyUSB2, COM3), or null.
// A bridge whose identity could not be read has null serial, product, vid
// and pid. May throw discovery::LibraryLoadError.
QByteArray bridgesAsJson(discovery::Discovery &discovery);

} // namespace portcheck
