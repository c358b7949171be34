#include "telnet.h"

#include <cstring>

namespace telnet {

namespace {

// Messages kept between takeMessages() calls at most; more are dropped, so a
// server flooding notifications at a caller that never looks cannot make
// the session grow.
constexpr std::size_t messageLimit = 1024;

// Sent when the server asks who we are (an empty signature).
constexpr const char signatureText[] = "serial console";

std::string command3(std::uint8_t verb, std::uint8_t option)
{
    return std::string{char(IAC), char(verb), char(option)};
}

} // namespace

std::uint32_t ComPortMessage::number() const
{
    if (value.empty() || value.size() > 4)
        return 0;
    std::uint32_t n = 0;
    for (char c : value)
        n = (n << 8) | std::uint8_t(c);
    return n;
}

Session::Session(bool comPort)
    : m_comPort(comPort)
{
}

std::string Session::start()
{
    std::string out;
    m_us[OptBinary] = State::WantYes;
    out += command3(WILL, OptBinary);
    m_him[OptBinary] = State::WantYes;
    out += command3(DO, OptBinary);
    if (m_comPort) {
        m_us[OptComPort] = State::WantYes;
        out += command3(WILL, OptComPort);
    }
    return out;
}

bool Session::weSupport(std::uint8_t option) const
{
    return option == OptBinary || option == OptSuppressGoAhead || (m_comPort && option == OptComPort);
}

bool Session::heMay(std::uint8_t option) const
{
    return option == OptBinary || option == OptSuppressGoAhead;
}

// RFC 1143's rules without its queue: a request is answered only when it
// changes the state, and an answer to our own request is not answered.
void Session::negotiate(std::uint8_t verb, std::uint8_t option, std::string &replies)
{
    switch (verb) {
    case WILL:
        switch (m_him[option]) {
        case State::No:
            m_him[option] = heMay(option) ? State::Yes : State::No;
            replies += command3(heMay(option) ? DO : DONT, option);
            break;
        case State::WantYes: m_him[option] = State::Yes; break;
        case State::WantNo: m_him[option] = State::No; break;
        case State::Yes: break;
        }
        break;
    case WONT:
        if (m_him[option] == State::Yes)
            replies += command3(DONT, option);
        m_him[option] = State::No;
        break;
    case DO:
        switch (m_us[option]) {
        case State::No:
            m_us[option] = weSupport(option) ? State::Yes : State::No;
            replies += command3(weSupport(option) ? WILL : WONT, option);
            break;
        case State::WantYes: m_us[option] = State::Yes; break;
        case State::WantNo: m_us[option] = State::No; break;
        case State::Yes: break;
        }
        break;
    case DONT:
        if (m_us[option] == State::Yes)
            replies += command3(WONT, option);
        if (option == OptComPort && m_us[option] != State::No)
            m_comPortRefused = true;
        m_us[option] = State::No;
        break;
    }
}

void Session::endSubnegotiation(std::string &replies)
{
    if (m_subOverflow || m_sub.size() < 2 || std::uint8_t(m_sub[0]) != OptComPort || !m_comPort)
        return;
    std::uint8_t code = std::uint8_t(m_sub[1]);
    if (code >= ServerAnswer)
        code -= ServerAnswer;
    if (code > std::uint8_t(ComPort::PurgeData))
        return;
    ComPortMessage message{ComPort(code), m_sub.substr(2)};
    // An empty signature asks for ours.
    if (message.command == ComPort::Signature && message.value.empty())
        replies += comPortCommand(ComPort::Signature, signatureText);
    if (m_messages.size() < messageLimit)
        m_messages.push_back(std::move(message));
}

void Session::read(const char *bytes, std::size_t count, std::string &data, std::string &replies)
{
    const char *p = bytes;
    const char *end = bytes + count;
    while (p < end) {
        if (m_parse == Parse::Data) {
            // The common case: a run of data up to the next IAC in one go.
            const void *iac = std::memchr(p, IAC, std::size_t(end - p));
            const char *stop = iac ? static_cast<const char *>(iac) : end;
            data.append(p, std::size_t(stop - p));
            p = stop;
            if (p < end) {
                m_parse = Parse::Iac;
                ++p;
            }
            continue;
        }
        const std::uint8_t b = std::uint8_t(*p++);
        switch (m_parse) {
        case Parse::Data: break;
        case Parse::Iac:
            if (b == IAC) {
                data.push_back(char(IAC));
                m_parse = Parse::Data;
            } else if (b >= WILL) {
                m_verb = b;
                m_parse = Parse::Verb;
            } else if (b == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_parse = Parse::Sub;
            } else {
                // NOP, GA, DM, AYT and the rest carry nothing for a client
                // of a serial line; a stray SE likewise.
                m_parse = Parse::Data;
            }
            break;
        case Parse::Verb:
            negotiate(m_verb, b, replies);
            m_parse = Parse::Data;
            break;
        case Parse::Sub:
            if (b == IAC)
                m_parse = Parse::SubIac;
            else if (m_sub.size() < subnegotiationLimit)
                m_sub.push_back(char(b));
            else
                m_subOverflow = true;
            break;
        case Parse::SubIac:
            if (b == IAC) {
                if (m_sub.size() < subnegotiationLimit)
                    m_sub.push_back(char(IAC));
                else
                    m_subOverflow = true;
                m_parse = Parse::Sub;
            } else if (b == SE) {
                endSubnegotiation(replies);
                m_parse = Parse::Data;
            } else {
                // IAC and anything else inside a subnegotiation breaks it
                // off: drop it, and take the byte as the command it starts.
                m_parse = Parse::Iac;
                --p;
            }
            break;
        }
    }
}

std::vector<ComPortMessage> Session::takeMessages()
{
    std::vector<ComPortMessage> out;
    out.swap(m_messages);
    return out;
}

void appendEscaped(std::string &out, const char *bytes, std::size_t count)
{
    const char *p = bytes;
    const char *end = bytes + count;
    while (p < end) {
        const void *iac = std::memchr(p, IAC, std::size_t(end - p));
        const char *stop = iac ? static_cast<const char *>(iac) + 1 : end;
        out.append(p, std::size_t(stop - p));
        if (iac)
            out.push_back(char(IAC));
        p = stop;
    }
}

std::string escape(const char *bytes, std::size_t count)
{
    std::string out;
    out.reserve(count + 8);
    appendEscaped(out, bytes, count);
    return out;
}

std::string comPortCommand(ComPort command, const std::string &value)
{
    std::string out{char(IAC), char(SB), char(OptComPort), char(command)};
    appendEscaped(out, value.data(), value.size());
    out += char(IAC);
    out += char(SE);
    return out;
}

std::string setBaudRate(std::uint32_t baud)
{
    const std::string value{char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return comPortCommand(ComPort::SetBaudRate, value);
}

std::string setDataSize(std::uint8_t bits)
{
    return comPortCommand(ComPort::SetDataSize, std::string(1, char(bits)));
}

std::string setParity(Parity parity)
{
    return comPortCommand(ComPort::SetParity, std::string(1, char(parity)));
}

std::string setStopSize(StopSize size)
{
    return comPortCommand(ComPort::SetStopSize, std::string(1, char(size)));
}

std::string setControl(Control control)
{
    return comPortCommand(ComPort::SetControl, std::string(1, char(control)));
}

std::string purgeData(Purge what)
{
    return comPortCommand(ComPort::PurgeData, std::string(1, char(what)));
}

} // namespace telnet
