#pragma once

// The five setting lists of the User Define mode and what their chosen
// positions mean. No window here: the window fills its combo boxes from
// these lists and hands the chosen positions back.

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace configurator {

// The window's fields that the lists and the exchange share. They start at
// zero or empty, and keep their values from one exchange to the next.
struct ConfigFields {
    std::uint8_t CommPortNumber = 0;
    std::int16_t DetectedPort = 0;
    std::uint8_t BaudIndex = 0;
    qint32 BaudRate = 0;
    QString ParityLetter;
    std::uint8_t DataBits = 0;
    std::uint8_t StopBits = 0;
    QString CurrentSettings;
};

struct PortEntry {
    QString text;   // "COM3"
    int number = 0; // 3
};

// COM1 to COM8, and the bridge's own port when discovery found it above 8
// (port numbers up to 255 fit CommPortNumber), so that it can be chosen.
QList<PortEntry> comPortEntries(std::int16_t detectedPort);
// Position preselected in the port list: the detected port, else COM1.
int comPortPreselection(std::int16_t detectedPort);

QStringList baudRateEntries();
QStringList dataBitEntries();
QStringList parityEntries();
QStringList stopBitEntries();

// Start-up positions: 9600, 7, Even, 1.
inline constexpr int kBaudRatePreselection = 0;
inline constexpr int kDataBitPreselection = 0;
inline constexpr int kParityPreselection = 1;
inline constexpr int kStopBitPreselection = 0;

// Positions as the combo boxes report them (-1 when none is chosen). A
// position outside a list leaves that field as it was.
struct ChosenPositions {
    int portNumber = 0; // the number of the chosen port entry, 0 when none
    int baud = -1;
    int dataBits = -1;
    int parity = -1;
    int stopBits = -1;
};
void takeChosenPositions(ConfigFields &fields, const ChosenPositions &chosen);

// "COM3  9600,E, 7, 1": port, two blanks, then baud rate, upper-case parity
// letter, and a blank before the data bits and before the stop bits.
QString portSummary(const ConfigFields &fields);

} // namespace configurator
