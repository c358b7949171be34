#pragma once

#include "console/files/receive_files.h"
#include "console/traffic/row_filter.h"
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

// Which of a model's rows an export writes, in order: all of them, or those
// a row filter keeps (a KeptRowsModel, not owned, that has judged them all).
class ExportRows {
public:
    ExportRows() = default;
    explicit ExportRows(const KeptRowsModel *kept)
        : m_kept(kept)
    {
    }
    bool all() const { return !m_kept; }
    int count(const TrafficModel &model) const { return m_kept ? m_kept->rowCount() : model.rowCount(); }
    // The model row written `index`th.
    int row(int index) const { return m_kept ? m_kept->sourceRow(index) : index; }
    // Where model row `row` is written, counted from 0; -1 when it is not.
    int indexOf(int row) const { return m_kept ? m_kept->rowOf(row) : row; }

private:
    const KeptRowsModel *m_kept = nullptr;
};

// One CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text);
// The line of row `row`, without its "\n"; an answer's request_row is the
// line its request is written on among `rows` (empty when it is not).
QString exportLine(const TrafficModel &model, int row, ExportFormat format, const ExportRows &rows = {});

// Writes the model's rows to `path` through a temporary file renamed into
// place when complete: a failed or cancelled export leaves no file. The
// progress report may let events run; rows made again meanwhile (a Clear)
// end the export with a reason.
SaveResult exportTraffic(const TrafficModel &model, ExportFormat format, const QString &path,
                         const SaveProgress &progress = {}, const ExportRows &rows = {});

} // namespace console
