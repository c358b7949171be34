#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace console {

// The one place where the console reads a whole number a user typed or a
// file holds: blanks around it, an optional sign, then ASCII digits and
// nothing else. Nothing for any other text: a fraction, a digit of another
// script, a NUL and what follows it, a number beyond qint64.
std::optional<qint64> parseWholeNumber(QStringView text);

} // namespace console
