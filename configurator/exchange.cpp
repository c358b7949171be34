#include "configurator/exchange.h"

#include "serial/serial_control.h"

namespace configurator {

namespace {
constexpr char kRefusal = 0x15;
} // namespace

ExchangeRequest presetRequest(int presetIndex)
{
    const PlcPreset preset = plcPreset(presetIndex);
    return {configurationFrame(preset.body), preset.settings};
}

ExchangeRequest userDefinedRequest(qint32 baudRate, const QString &parityLetter,
                                   std::uint8_t dataBits, std::uint8_t stopBits)
{
    const UserDefinedFrame user = userDefinedFrame(baudRate, parityLetter, dataBits, stopBits);
    return {configurationFrame(user.body), user.settings};
}

Exchange::Exchange(serial::SerialControl &port, const desktop::TickCounter &ticks, EventWait &wait)
    : m_port(port), m_ticks(ticks), m_wait(wait)
{
}

ExchangeResult Exchange::run(const ExchangeRequest &request)
{
    ExchangeResult result;
    result.opening = openPort();
    if (!result.opened())
        return result;
    result.frame = request.frame;
    result.outcome = sendAndJudge(request.frame, &result.reply);
    closePort();
    if (result.outcome == Outcome::Acknowledged)
        switchSettings(request.settings);
    return result;
}

Opening Exchange::openPort()
{
    Opening opening = Opening::Opened;
    if (m_port.portOpen()) {
        m_port.setPortOpen(false);
        Delay(kReopenDelayMs, m_ticks, m_wait);
        if (m_wait.cancelled())
            return Opening::Cancelled;
        opening = Opening::Reopened;
    }
    return m_port.setPortOpen(true) ? opening : Opening::Failed;
}

Outcome Exchange::sendAndJudge(const QByteArray &frame, QByteArray *reply)
{
    if (!m_port.output(frame))
        return Outcome::WriteFailed;
    waitForReply(m_port, m_ticks, m_ticks.now(), kReplyLimitMs, m_wait);
    if (m_wait.cancelled())
        return Outcome::Cancelled;
    if (m_port.inBufferCount() < 1)
        return Outcome::Silence;
    const QByteArray bytes = m_port.input();
    if (reply)
        *reply = bytes;
    if (bytes.isEmpty())
        return Outcome::EmptyReply;
    if (bytes.at(0) == kAcknowledge)
        return Outcome::Acknowledged;
    return bytes.at(0) == kRefusal ? Outcome::Refused : Outcome::OtherReply;
}

void Exchange::closePort()
{
    m_port.setPortOpen(false);
}

bool Exchange::switchSettings(const QString &settings)
{
    return m_port.setSettings(settings);
}

} // namespace configurator
