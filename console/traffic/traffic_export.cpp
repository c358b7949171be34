#include "traffic_export.h"

#include "console/files/file_writer.h"
#include "console/frames/hex_text.h"

#include <QDateTime>

namespace console {

namespace {
// Rows written between two progress reports.
constexpr int kProgressRows = 20000;

QString checkText(CheckVerdict verdict)
{
    switch (verdict) {
    case CheckVerdict::Ok: return QStringLiteral("ok");
    case CheckVerdict::Bad: return QStringLiteral("bad");
    case CheckVerdict::NotApplicable: break;
    }
    return {};
}

QString gapText(const TrafficModel &model, int row)
{
    const auto gap = model.gapUs(row);
    return gap ? QString::number(double(*gap) / 1000.0, 'f', 1) : QString();
}
} // namespace

// The protocol's columns of a row: empty without a protocol and for events.
QStringList protocolFields(const TrafficModel &model, int row, const ExportRows &rows)
{
    QStringList fields;
    if (model.protocol() == protocol::Protocol::None || !model.frameMark(row)) {
        for (int i = 0; i < 10; ++i)
            fields << QString();
        return fields;
    }
    const protocol::Description d = model.description(row);
    const protocol::Pairing p = model.pairing(row);
    const bool answer = p.role == protocol::Role::Answer;
    const int requestAt = answer && p.partner >= 0 ? rows.indexOf(p.partner) : -1;
    const auto text = [](const std::string &s) { return QString::fromStdString(s); };
    return {QString::fromUtf8(protocol::settingName(model.protocol())),
            text(d.unit),
            text(d.function),
            text(d.address),
            text(d.count),
            text(d.values),
            model.statusText(row),
            replyText(model, row),
            requestAt >= 0 ? QString::number(requestAt + 1) : QString(),
            text(d.summary)};
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString exportLine(const TrafficModel &model, int row, ExportFormat format, const ExportRows &rows)
{
    const bool showsBytes = model.hasBytes(row);
    const QByteArray bytes = model.frameBytes(row);
    const QString length = showsBytes ? QString::number(bytes.size()) : QString();
    const QString hex = hexPairs(bytes);
    const QString text = printableText(bytes);
    const QString check = checkText(model.verdict(row));
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(model.wallMs(row));
    if (format == ExportFormat::Text) {
        QStringList columns{time.toString(QStringLiteral("HH:mm:ss.zzz")), gapText(model, row), model.port(row),
                            length, showsBytes ? hex : model.eventText(row), text, check};
        if (model.protocol() != protocol::Protocol::None) {
            const bool frame = model.frameMark(row).has_value();
            columns << (frame ? QString::fromStdString(model.description(row).summary) : QString())
                    << replyText(model, row);
        }
        return columns.join(QLatin1Char('\t'));
    }
    QStringList fields{time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")),
                       model.panelOf(row) == 0 ? QStringLiteral("left") : QStringLiteral("right"),
                       model.port(row),
                       gapText(model, row),
                       length,
                       hex,
                       text,
                       check,
                       model.eventText(row)};
    fields += protocolFields(model, row, rows);
    for (QString &f : fields)
        f = csvField(f);
    return fields.join(QLatin1Char(','));
}

SaveResult exportTraffic(const TrafficModel &model, ExportFormat format, const QString &path,
                         const SaveProgress &progress, const ExportRows &written)
{
    SaveResult result;
    FileWriter file(path);
    auto failed = [&] {
        result.error = file.errorString();
        return result;
    };
    if (!file.open())
        return failed();
    const bool decoded = model.protocol() != protocol::Protocol::None;
    const QByteArray header = format == ExportFormat::Csv
        ? QByteArrayLiteral("time,panel,port,gap_ms,length,hex,text,check,event,"
                            "protocol,unit,function,address,count,values,status,reply_ms,request_row,summary\n")
        : decoded ? QByteArrayLiteral("Time\tGap (ms)\tPanel\tLength\tHex\tText\tCheck\tDecoded\tReply (ms)\n")
                  : QByteArrayLiteral("Time\tGap (ms)\tPanel\tLength\tHex\tText\tCheck\n");
    if (!file.write(header))
        return failed();
    const quint64 generation = model.generation();
    const quint64 readFailures = model.readFailures();
    const int rows = written.count(model);
    for (int first = 0; first < rows; first += kProgressRows) {
        QByteArray out;
        for (int index = first; index < std::min(rows, first + kProgressRows); ++index) {
            out += exportLine(model, written.row(index), format, written).toUtf8();
            out += '\n';
        }
        // Bytes that could not be read back would be written as zeros.
        if (model.readFailures() != readFailures) {
            file.cancel();
            result.error = QObject::tr("the received bytes could not be read back: %1").arg(model.readError());
            return result;
        }
        if (!file.write(out))
            return failed();
        const int done = std::min(rows, first + kProgressRows);
        if (progress && !progress(done, rows)) {
            file.cancel();
            result.cancelled = true;
            return result;
        }
        if (model.generation() != generation) {
            file.cancel();
            result.error = QObject::tr("the rows were cleared or cut again while exporting");
            return result;
        }
    }
    result.ok = file.commit();
    if (!result.ok)
        return failed();
    return result;
}

} // namespace console
