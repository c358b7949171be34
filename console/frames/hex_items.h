#pragma once

#include <QByteArray>
#include <QString>

namespace console {

// A Hex row's Data turned into the bytes that go on the line.
//
// Items are separated by ",". In each item blanks, tabs and line feeds are
// dropped, then hexadecimal digits are read from its start up to the first
// character that is not one; an item without a leading digit is 0. Every
// item, the last one included, gives one byte, so "12,34," gives 12 34 00
// and an empty text gives the single byte 00. At most 256 items are read.
enum class HexItemsError {
    None,
    TooManyItems,   // 256 or more commas
    ValueTooLarge,  // an item above FF
};

struct HexItems {
    QByteArray bytes;   // empty whenever error is not None
    HexItemsError error = HexItemsError::None;
};

HexItems convertHexItems(const QString &data);

// The value of one item, or -1 when it is above FF.
int convertHexItem(QStringView item);

// What the user is told when a Hex row cannot be sent; empty for None.
QString hexItemsMessage(HexItemsError error);

// The reason below that message, for the box's details: when the item that
// is too large is hex numbers split by blanks ("01 03 00"), that items are
// separated by commas; else empty.
QString hexItemsDetails(const QString &data, HexItemsError error);

} // namespace console
