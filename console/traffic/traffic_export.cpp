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

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString exportLine(const TrafficModel &model, int row, ExportFormat format)
{
    const bool showsBytes = model.hasBytes(row);
    const QByteArray bytes = model.frameBytes(row);
    const QString length = showsBytes ? QString::number(bytes.size()) : QString();
    const QString hex = hexPairs(bytes);
    const QString text = printableText(bytes);
    const QString check = checkText(model.verdict(row));
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(model.wallMs(row));
    if (format == ExportFormat::Text) {
        return QStringList{time.toString(QStringLiteral("HH:mm:ss.zzz")), gapText(model, row), model.port(row),
                           length, showsBytes ? hex : model.eventText(row), text, check}
            .join(QLatin1Char('\t'));
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
    for (QString &f : fields)
        f = csvField(f);
    return fields.join(QLatin1Char(','));
}

SaveResult exportTraffic(const TrafficModel &model, ExportFormat format, const QString &path,
                         const SaveProgress &progress)
{
    SaveResult result;
    FileWriter file(path);
    auto failed = [&] {
        result.error = file.errorString();
        return result;
    };
    if (!file.open())
        return failed();
    const QByteArray header = format == ExportFormat::Csv
        ? QByteArrayLiteral("time,panel,port,gap_ms,length,hex,text,check,event\n")
        : QByteArrayLiteral("Time\tGap (ms)\tPanel\tLength\tHex\tText\tCheck\n");
    if (!file.write(header))
        return failed();
    const quint64 generation = model.generation();
    const quint64 readFailures = model.readFailures();
    const int rows = model.rowCount();
    for (int first = 0; first < rows; first += kProgressRows) {
        QByteArray out;
        for (int row = first; row < std::min(rows, first + kProgressRows); ++row) {
            out += exportLine(model, row, format).toUtf8();
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
