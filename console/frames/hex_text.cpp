#include "hex_text.h"

namespace console {

QString hexByte(std::uint8_t byte)
{
    const char pair[2] = {hexDigit(byte >> 4), hexDigit(byte)};
    return QString::fromLatin1(pair, 2);
}

QString hexNumber(std::uint64_t value)
{
    char digits[16];
    int count = 0;
    do {
        digits[count++] = hexDigit(unsigned(value & 0x0F));
        value >>= 4;
    } while (value != 0);
    QString text(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        text[i] = QLatin1Char(digits[count - 1 - i]);
    return text;
}

QString hexPairs(QByteArrayView bytes, char separator)
{
    if (bytes.isEmpty())
        return {};
    QByteArray out;
    out.reserve(bytes.size() * (separator ? 3 : 2));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0 && separator)
            out.append(separator);
        appendHexPair(out, std::uint8_t(bytes[i]));
    }
    return QString::fromLatin1(out);
}

std::optional<std::uint8_t> parseHexByte(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t.size() != 2)
        return std::nullopt;
    const int high = hexDigitValue(t[0].unicode());
    const int low = hexDigitValue(t[1].unicode());
    if (high < 0 || low < 0)
        return std::nullopt;
    return std::uint8_t(high * 16 + low);
}

std::optional<QByteArray> parseHexSequence(QStringView text)
{
    QByteArray bytes;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !text[end].isSpace())
            ++end;
        const QStringView group = text.sliced(i, end - i);
        if (group.size() > 1 && group.size() % 2 != 0)
            return std::nullopt;
        // A lone digit is one byte; otherwise digits go in pairs.
        for (qsizetype d = 0; d < group.size(); d += 2) {
            const int high = group.size() == 1 ? 0 : hexDigitValue(group[d].unicode());
            const int low = hexDigitValue(group[group.size() == 1 ? d : d + 1].unicode());
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.append(char(high * 16 + low));
        }
        i = end;
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

} // namespace console
