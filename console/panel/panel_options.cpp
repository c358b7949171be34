#include "panel_options.h"

namespace console {

namespace {

QList<OptionSpec> baudOptions()
{
    static const char *const rates[] = {"57600", "38400", "28800", "19200", "14400", "9600", "7200", "4800"};
    static const int tops[] = {300, 555, 825, 1080, 1350, 1605, 1860, 2130};
    QList<OptionSpec> specs;
    for (int panel = 0; panel < 2; ++panel) {
        for (int k = 0; k < 8; ++k) {
            const QString rate = QString::fromLatin1(rates[k]);
            specs.append({panel * 8 + k, panel, rate, rate, 300, tops[k], 1005, 225, true, k == 5});
        }
    }
    return specs;
}

QList<OptionSpec> dataBitOptions()
{
    // Left to right "5" "6" "7" "8"; the right panel numbers them backwards.
    auto at = [](int index, int panel, int bits, bool selected) {
        static const int lefts[] = {180, 600, 1020, 1440};
        const QString caption = QString::number(bits);
        return OptionSpec{index, panel, caption, QLatin1Char(',') + caption, lefts[bits - 5], 300,
                          435, bits == 6 ? 195 : 225, true, selected};
    };
    return {at(0, 0, 5, false), at(1, 0, 6, false), at(2, 0, 7, false), at(3, 0, 8, true),
            at(4, 1, 8, true),  at(5, 1, 7, false), at(6, 1, 6, false), at(7, 1, 5, false)};
}

QList<OptionSpec> parityOptions()
{
    auto at = [](int index, int panel, const char *caption, const char *piece, int top, bool selected) {
        return OptionSpec{index, panel, QString::fromLatin1(caption), QString::fromLatin1(piece),
                          300, top, 735, 225, true, selected};
    };
    return {at(0, 0, "None", ",n", 330, true), at(1, 0, "Even", ",e", 555, false),
            at(2, 0, "Odd", ",o", 780, false), at(3, 1, "Odd", ",o", 780, false),
            at(4, 1, "Even", ",e", 555, false), at(5, 1, "None", ",n", 330, true)};
}

QList<OptionSpec> stopBitOptions()
{
    auto at = [](int index, int panel, const char *caption, int left, int width, bool selected) {
        const QString c = QString::fromLatin1(caption);
        return OptionSpec{index, panel, c, QLatin1Char(',') + c, left, 240, width, 195,
                          c != QLatin1String("1.5"), selected};
    };
    return {at(0, 0, "1", 180, 495, true), at(1, 0, "1.5", 720, 615, false),
            at(2, 0, "2", 810, 465, false), at(3, 1, "2", 780, 465, false),
            at(4, 1, "1.5", 1260, 615, false), at(5, 1, "1", 120, 495, true)};
}

} // namespace

const QList<OptionSpec> &optionSpecs(OptionGroup group)
{
    static const QList<OptionSpec> baud = baudOptions();
    static const QList<OptionSpec> dataBits = dataBitOptions();
    static const QList<OptionSpec> parity = parityOptions();
    static const QList<OptionSpec> stopBits = stopBitOptions();
    switch (group) {
    case OptionGroup::Baud: return baud;
    case OptionGroup::DataBits: return dataBits;
    case OptionGroup::Parity: return parity;
    case OptionGroup::StopBits: return stopBits;
    }
    return baud;
}

const OptionSpec *optionSpec(OptionGroup group, int index)
{
    for (const OptionSpec &s : optionSpecs(group)) {
        if (s.index == index)
            return &s;
    }
    return nullptr;
}

} // namespace console
