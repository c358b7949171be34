#include "hex_items.h"

#include "console/frames/hex_text.h"

namespace console {

namespace {

constexpr int maxBytes = 256;

bool isDropped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

} // namespace

int convertHexItem(QStringView item)
{
    int value = 0;
    for (QChar c : item) {
        if (isDropped(c))
            continue;
        const int digit = hexDigitValue(c.unicode());
        if (digit < 0)
            break;
        // Stop at the first digit that passes FF, so that any number of
        // digits cannot wrap round to a value that looks valid.
        value = value * 16 + digit;
        if (value > 0xFF)
            return -1;
    }
    return value;
}

HexItems convertHexItems(const QString &data)
{
    QByteArray staged(maxBytes, '\0');
    QStringView rest(data);
    int last = 0;
    for (int i = 0;; ++i) {
        if (i == maxBytes)
            return {{}, HexItemsError::TooManyItems};
        const qsizetype comma = rest.indexOf(u',');
        const QStringView item = comma < 0 ? rest : rest.first(comma);
        if (!item.isEmpty()) {
            const int value = convertHexItem(item);
            if (value < 0)
                return {{}, HexItemsError::ValueTooLarge};
            staged[i] = char(value);
        }
        if (comma < 0) {
            last = i;
            break;
        }
        rest = rest.sliced(comma + 1);
    }
    staged.truncate(last + 1);
    return {staged, HexItemsError::None};
}

QString hexItemsMessage(HexItemsError error)
{
    switch (error) {
    case HexItemsError::None:
        return {};
    case HexItemsError::TooManyItems:
        return QStringLiteral("Cannot send data.");
    case HexItemsError::ValueTooLarge:
        return QStringLiteral("Invalid output value");
    }
    return {};
}

} // namespace console
