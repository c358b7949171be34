#pragma once

#include <QList>
#include <QString>

namespace console {

// The four option groups of the port panels. Each group's indexes are split
// between the panels: an index belongs to one panel, stores one piece of that
// panel's settings string, and sits at one place (twips) in its frame.
enum class OptionGroup { Baud, DataBits, Parity, StopBits };

struct OptionSpec {
    int index;        // index within the group (the handler's Index)
    int panel;        // 0 left, 1 right
    QString caption;
    QString piece;    // what a click stores: "9600", ",8", ",n", ",1"
    int left, top, width, height; // twips within the frame
    bool available;   // the "1.5" stop bits are never offered
    bool selectedAtStart;
};

const QList<OptionSpec> &optionSpecs(OptionGroup group);
// The option of `group` with handler index `index`; nullptr when none.
const OptionSpec *optionSpec(OptionGroup group, int index);

// Baud piece, then parity, data-bits and stop-bits pieces, as they stand:
// "9600" ",n" ",8" ",1" gives 9600,n,8,1. No combination is filtered out.
inline QString settingsString(const QString &baud, const QString &parity, const QString &dataBits,
                              const QString &stopBits)
{
    return baud + parity + dataBits + stopBits;
}

} // namespace console
