#include "setting_lists.h"

namespace configurator {

namespace {
constexpr int kListedPorts = 8;
constexpr int kHighestPort = 255;
} // namespace

QList<PortEntry> comPortEntries(std::int16_t detectedPort)
{
    QList<PortEntry> entries;
    for (int n = 1; n <= kListedPorts; ++n)
        entries.append({QStringLiteral("COM%1").arg(n), n});
    if (detectedPort > kListedPorts && detectedPort <= kHighestPort)
        entries.append({QStringLiteral("COM%1").arg(detectedPort), detectedPort});
    return entries;
}

int comPortPreselection(std::int16_t detectedPort)
{
    if (detectedPort <= 0 || detectedPort > kHighestPort)
        return 0;
    return detectedPort <= kListedPorts ? detectedPort - 1 : kListedPorts;
}

QStringList baudRateEntries() { return {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")}; }
QStringList dataBitEntries() { return {QStringLiteral("7"), QStringLiteral("8")}; }
QStringList parityEntries() { return {QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")}; }
QStringList stopBitEntries() { return {QStringLiteral("1"), QStringLiteral("2")}; }

void takeChosenPositions(ConfigFields &fields, const ChosenPositions &chosen)
{
    fields.CommPortNumber = std::uint8_t(chosen.portNumber);
    fields.BaudIndex = std::uint8_t(chosen.baud);
    static constexpr qint32 rates[] = {9600, 19200, 38400};
    if (chosen.baud >= 0 && chosen.baud < 3)
        fields.BaudRate = rates[chosen.baud];
    static constexpr char16_t parities[] = {u'N', u'E', u'O'};
    if (chosen.parity >= 0 && chosen.parity < 3)
        fields.ParityLetter = QChar(parities[chosen.parity]);
    if (chosen.dataBits == 0 || chosen.dataBits == 1)
        fields.DataBits = std::uint8_t(7 + chosen.dataBits);
    if (chosen.stopBits == 0 || chosen.stopBits == 1)
        fields.StopBits = std::uint8_t(1 + chosen.stopBits);
}

QString portSummary(const ConfigFields &fields)
{
    return QStringLiteral("COM%1  %2,%3, %4, %5")
        .arg(int(fields.CommPortNumber))
        .arg(fields.BaudRate)
        .arg(fields.ParityLetter)
        .arg(int(fields.DataBits))
        .arg(int(fields.StopBits));
}

} // namespace configurator
