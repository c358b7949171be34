#include "recording_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QStringList>

#include <algorithm>

namespace capture {

namespace {

// The export's first columns, as its header names them.
constexpr QLatin1StringView kCsvStart("time,panel,port,gap_ms,length,hex,text,check,event");
enum Column { Time, Panel, Port, Gap, Length, Hex, Text, Check, Event, ProtocolName };
constexpr int kFrameColumns = Event + 1;

// One record of RFC 4180 text from `at` on (a quoted field may hold line
// breaks); `at` moves past its line break, `lines` counts the breaks.
QStringList csvRecord(const QString &text, qsizetype &at, int &lines, bool *unclosed)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    *unclosed = false;
    while (at < text.size()) {
        const QChar c = text[at++];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (at < text.size() && text[at] == QLatin1Char('"')) {
                    field += c;
                    ++at;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++lines;
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            ++lines;
            break;
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    *unclosed = quoted;
    fields << field;
    return fields;
}

std::optional<protocol::ByteVector> hexBytes(const QString &text)
{
    protocol::ByteVector bytes;
    const QStringList pairs = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        bool ok = false;
        const uint value = pair.toUInt(&ok, 16);
        if (!ok || pair.size() != 2)
            return std::nullopt;
        bytes.push_back(std::uint8_t(value));
    }
    return bytes;
}

RecordingRead readCsv(QByteArrayView file)
{
    RecordingRead read;
    const QString text = QString::fromUtf8(file);
    qsizetype at = 0;
    int lines = 0;
    bool unclosed = false;
    csvRecord(text, at, lines, &unclosed); // the header
    // Every row takes part in the times (a row's gap runs from the end of
    // the row before, whatever it was); only frame rows are kept.
    struct Row {
        qint64 startUs;
        std::optional<protocol::RecordedBurst> burst;
    };
    std::vector<Row> rows;
    while (at < text.size()) {
        const int line = lines + 1;
        const QStringList f = csvRecord(text, at, lines, &unclosed);
        const auto refuse = [&](const QString &why) {
            read.error = QObject::tr("line %1: %2").arg(line).arg(why);
            read.bursts.clear();
            return read;
        };
        if (unclosed)
            return refuse(QObject::tr("a quoted field is not closed"));
        if (f.size() == 1 && f[0].isEmpty())
            continue;
        if (f.size() < kFrameColumns)
            return refuse(QObject::tr("%1 fields, where the export writes at least %2").arg(f.size()).arg(kFrameColumns));
        QDateTime time = QDateTime::fromString(f[Time], QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"));
        if (!time.isValid())
            return refuse(QObject::tr("time \"%1\" is not as the export writes it (2026-12-07T14:03:11.482)").arg(f[Time]));
        if (f[Panel] != QLatin1String("left") && f[Panel] != QLatin1String("right"))
            return refuse(QObject::tr("panel \"%1\" is neither left nor right").arg(f[Panel]));
        const qint64 startUs = time.toMSecsSinceEpoch() * 1000;
        bool ok = true;
        const double gapMs = f[Gap].isEmpty() ? 0 : f[Gap].toDouble(&ok);
        if (!ok || gapMs < 0)
            return refuse(QObject::tr("gap \"%1\" is not a number of milliseconds").arg(f[Gap]));
        // The row before ended where this one's gap began.
        if (!rows.empty() && rows.back().burst) {
            protocol::RecordedBurst &before = *rows.back().burst;
            before.endUs = std::max<std::int64_t>(before.startUs, startUs - qint64(gapMs * 1000 + 0.5));
        }
        Row row{startUs, std::nullopt};
        if (f[Event].isEmpty()) {
            const auto bytes = hexBytes(f[Hex]);
            if (!bytes)
                return refuse(QObject::tr("hex \"%1\" is not pairs of hex digits").arg(f[Hex]));
            row.burst = protocol::RecordedBurst{f[Panel] == QLatin1String("left") ? 0 : 1, *bytes, startUs, startUs};
        }
        if (f.size() > ProtocolName && !f[ProtocolName].isEmpty() && !read.protocol)
            read.protocol = protocol::protocolFromSettingName(f[ProtocolName].toStdString());
        rows.push_back(std::move(row));
    }
    for (Row &row : rows)
        if (row.burst)
            read.bursts.push_back(std::move(*row.burst));
    return read;
}

RecordingRead readCaptureFile(QByteArrayView file)
{
    RecordingRead read;
    const Capture c = readCapture(file);
    if (c.damage) {
        read.error = damageText(*c.damage);
        return read;
    }
    for (const Packet &p : c.packets) {
        if (p.sent)
            continue;
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(file.data() + p.offset);
        read.bursts.push_back({panelOf(c, p.interface, p.eventType), protocol::ByteVector(bytes, bytes + p.length),
                               p.timeUs, p.endUs});
    }
    return read;
}

} // namespace

RecordingRead readRecording(QByteArrayView file)
{
    if (file.startsWith(QByteArrayView(kCsvStart.data(), kCsvStart.size())))
        return readCsv(file);
    return readCaptureFile(file);
}

RecordingLoad loadRecording(const QString &path, std::optional<protocol::Protocol> chosen,
                            protocol::Protocol fallback, qint64 replyTimeoutUs)
{
    RecordingLoad load;
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir()) {
        load.error = QObject::tr("%1 is a folder").arg(path);
        return load;
    }
    // A FIFO or a device would hold the open or the read up for as long as
    // its other end likes, or without end.
    if (info.exists() && !info.isFile()) {
        load.error = QObject::tr("%1 is not a regular file").arg(path);
        return load;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        load.error = QObject::tr("Cannot read %1: %2").arg(path, file.errorString());
        return load;
    }
    // Read, not mapped: a file cut short by another program while it is
    // read gives a short read here, where a mapping would fault.
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        load.error = QObject::tr("Cannot read %1: %2").arg(path, file.errorString());
        return load;
    }
    const RecordingRead read = readRecording(bytes);
    if (!read.error.isEmpty()) {
        load.error = QObject::tr("%1 cannot be played: %2").arg(path, read.error);
        return load;
    }
    load.protocol = chosen.value_or(read.protocol.value_or(fallback));
    protocol::ExchangeList list = protocol::exchangesOf(load.protocol, read.bursts, replyTimeoutUs);
    if (list.exchanges.empty()) {
        load.error = QObject::tr("%1 cannot be played: %2").arg(path, QString::fromStdString(list.refusal));
        return load;
    }
    load.exchanges = std::move(list.exchanges);
    return load;
}

} // namespace capture
