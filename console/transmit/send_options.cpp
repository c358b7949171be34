#include "send_options.h"

#include "serial/serial_control.h"

#include <QStringList>

namespace console {

namespace {

struct NamedEnd {
    LineEnd end;
    const char *name;
    const char *text;
    const char *bytes;
};

constexpr NamedEnd kEnds[] = {
    {LineEnd::None, "none", "None", ""},
    {LineEnd::Cr, "cr", "CR", "\r"},
    {LineEnd::Lf, "lf", "LF", "\n"},
    {LineEnd::CrLf, "crlf", "CR LF", "\r\n"},
};

const NamedEnd &entryOf(LineEnd end)
{
    for (const NamedEnd &entry : kEnds)
        if (entry.end == end)
            return entry;
    return kEnds[0];
}

} // namespace

QString lineEndName(LineEnd end)
{
    return QString::fromLatin1(entryOf(end).name);
}

std::optional<LineEnd> lineEndFromName(QStringView name)
{
    for (const NamedEnd &entry : kEnds)
        if (name == QLatin1StringView(entry.name))
            return entry.end;
    return std::nullopt;
}

QString lineEndText(LineEnd end)
{
    return QString::fromLatin1(entryOf(end).text);
}

QString frameCheckText(FrameCheck check)
{
    switch (check) {
    case FrameCheck::None: return QStringLiteral("None");
    case FrameCheck::ModbusRtu: return QStringLiteral("Modbus RTU CRC-16");
    case FrameCheck::Sum8: return QStringLiteral("Sum of bytes mod 256");
    case FrameCheck::Lrc: return QStringLiteral("LRC");
    case FrameCheck::FxSum: return QStringLiteral("FX programming port sum");
    case FrameCheck::MewtocolBcc: return QStringLiteral("MEWTOCOL BCC");
    }
    return {};
}

QString sendOptionsText(SendOptions options)
{
    QStringList lines;
    if (options.check != FrameCheck::None)
        lines << QStringLiteral("Check: %1").arg(frameCheckText(options.check));
    if (options.lineEnd != LineEnd::None)
        lines << QStringLiteral("Line ending: %1").arg(lineEndText(options.lineEnd));
    return lines.join(QLatin1Char('\n'));
}

HexItems bytesForRow(const QString &type, const QString &data)
{
    if (type == QLatin1String("Txt"))
        return {serial::toCodePage(data), HexItemsError::None};
    return convertHexItems(data);
}

HexItems bytesToSend(const QString &type, const QString &data, SendOptions options)
{
    HexItems items = bytesForRow(type, data);
    if (items.error != HexItemsError::None)
        return items;
    items.bytes += checkBytes(options.check, items.bytes);
    items.bytes += entryOf(options.lineEnd).bytes;
    return items;
}

} // namespace console
