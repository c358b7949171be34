#pragma once

// One configuration exchange with the adapter, without a window: open the
// port, write a fresh frame, wait for the one-byte reply while events run,
// judge it, close, and after an acknowledgement switch the port to the
// settings the adapter took. The window and the command line both drive it.

#include "configurator/configuration_frame.h"
#include "configurator/module1.h"
#include "desktop/tick_counter.h"

#include <QByteArray>
#include <QString>

namespace serial {
class SerialControl;
}

namespace configurator {

// What to send and the settings string the PC side takes on success.
struct ExchangeRequest {
    QByteArray frame;   // the 8 bytes, built fresh for each exchange
    QString settings;
};
ExchangeRequest presetRequest(int presetIndex);
ExchangeRequest userDefinedRequest(qint32 baudRate, const QString &parityLetter,
                                   std::uint8_t dataBits, std::uint8_t stopBits);

enum class Opening {
    Opened,    // the port was closed and is open now
    Reopened,  // it was open: closed, 50 ms later opened again
    Failed,    // missing or taken; the reason is in the port's lastError()
    Cancelled  // the program ended during the reopen delay
};

enum class Outcome {
    Acknowledged, // exactly 0x06 first
    Refused,      // 0x15 first
    OtherReply,   // any other first byte
    EmptyReply,   // bytes were counted but none could be read
    Silence,      // nothing within the reply limit
    WriteFailed,  // the frame could not be written
    Cancelled     // the program ended during the wait
};

struct ExchangeResult {
    Opening opening = Opening::Failed;
    Outcome outcome = Outcome::Cancelled;
    QByteArray frame;  // what was written
    QByteArray reply;  // every byte read, the first one decides
    bool opened() const { return opening == Opening::Opened || opening == Opening::Reopened; }
};

class Exchange {
public:
    static constexpr qint32 kReplyLimitMs = 3000;
    static constexpr qint32 kReopenDelayMs = 50;

    // `wait` must be woken by the port's bytesArrived and cancelled when the
    // program ends.
    Exchange(serial::SerialControl &port, const desktop::TickCounter &ticks, EventWait &wait);

    // The whole exchange: open, send and judge, close, and on an
    // acknowledgement switch the port's settings. The port is closed
    // whichever way it ends.
    ExchangeResult run(const ExchangeRequest &request);

    // The steps, for a caller that reports between them. The port stays open
    // after sendAndJudge() until closePort().
    Opening openPort();
    Outcome sendAndJudge(const QByteArray &frame, QByteArray *reply = nullptr);
    void closePort();
    // Only after an acknowledgement: the port runs at `settings` from now on.
    bool switchSettings(const QString &settings);

private:
    serial::SerialControl &m_port;
    const desktop::TickCounter &m_ticks;
    EventWait &m_wait;
};

} // namespace configurator
