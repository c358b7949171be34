#include "hex_items.h"

#include "console/frames/hex_text.h"

#include <QList>

namespace console {

namespace {

constexpr int maxBytes = 256;

bool isDropped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Digits, then a blank, then a digit again, all before the first character
// that ends the item's number.
bool holdsSplitNumber(QStringView item)
{
    bool digitSeen = false;
    bool blankAfterDigit = false;
    for (QChar c : item) {
        if (isDropped(c)) {
            blankAfterDigit = digitSeen;
            continue;
        }
        if (hexDigitValue(c.unicode()) < 0)
            return false;
        if (blankAfterDigit)
            return true;
        digitSeen = true;
    }
    return false;
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

QString hexItemsDetails(const QString &data, HexItemsError error)
{
    if (error != HexItemsError::ValueTooLarge)
        return {};
    for (QStringView item : QStringView(data).split(u',')) {
        if (convertHexItem(item) >= 0)
            continue;
        if (holdsSplitNumber(item))
            return QStringLiteral("hex items are separated by commas: 01,03,00");
        return {};
    }
    return {};
}

} // namespace console
