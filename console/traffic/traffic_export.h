#pragma once

#include "console/files/receive_files.h"
#include "console/traffic/traffic_model.h"

namespace console {

enum class ExportFormat {
    // One header line, then a line per row, RFC 4180 quoting, UTF-8, "\n":
    //   time,panel,port,gap_ms,length,hex,text,check,event
    //   2026-12-07T14:03:11.482,left,/dev/ttyUSB0,,8,01 03 00 00 00 0A C5 CD,........,ok,
    // time in local time with milliseconds; panel "left" or "right"; gap_ms
    // with one decimal (empty on the first row); hex upper-case pairs; event
    // empty for a frame, else its words ("started 9600,n,8,1", "fault: ...").
    // Ten columns follow, empty without a protocol and on event rows:
    //   protocol,unit,function,address,count,values,status,reply_ms,request_row,summary
    // the protocol's setting name, the description's texts, the status word
    // (TrafficModel::statusText()), an answer's reply time (one decimal) and
    // the 1-based line (after the header) of its request, and the summary.
    Csv,
    // The view's columns as shown, separated by tabs, under a header line;
    // a frame's bytes in full (with a protocol, its Decoded and Reply (ms)).
    Text,
};

// One CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text);
// The line of row `row`, without its "\n".
QString exportLine(const TrafficModel &model, int row, ExportFormat format);

// Writes the model's rows to `path` through a temporary file renamed into
// place when complete: a failed or cancelled export leaves no file. The
// progress report may let events run; rows made again meanwhile (a Clear)
// end the export with a reason.
SaveResult exportTraffic(const TrafficModel &model, ExportFormat format, const QString &path,
                         const SaveProgress &progress = {});

} // namespace console
