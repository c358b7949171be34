#pragma once

// The telnet protocol (RFC 854, with the option rules of RFC 1143) as a
// client of a serial device server, with the COM-PORT-OPTION of RFC 2217.
// Pure logic on bytes: no sockets, no Qt. The session reads whatever the
// server sent, in pieces of any size (a command may be cut anywhere), and
// leaves the line's data bytes, the answers it owes the server and the
// COM-PORT messages it met; the caller sends the answers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telnet {

// Wire values (RFC 854, RFC 856, RFC 858, RFC 2217).
enum : std::uint8_t {
    SE = 240, NOP = 241, DM = 242, BRK = 243, IP = 244, AO = 245, AYT = 246, EC = 247, EL = 248,
    GA = 249, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255,
};
enum : std::uint8_t { OptBinary = 0, OptSuppressGoAhead = 3, OptComPort = 44 };

// COM-PORT-OPTION commands, client to server; the server answers with the
// same command plus 100.
enum class ComPort : std::uint8_t {
    Signature = 0, SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
    NotifyLineState = 6, NotifyModemState = 7, FlowControlSuspend = 8, FlowControlResume = 9,
    SetLineStateMask = 10, SetModemStateMask = 11, PurgeData = 12,
};
constexpr std::uint8_t ServerAnswer = 100;

// SET-PARITY values; SET-STOPSIZE 1, 2, 3 = 1, 2, 1.5 stop bits.
enum class Parity : std::uint8_t { None = 1, Odd = 2, Even = 3, Mark = 4, Space = 5 };
enum class StopSize : std::uint8_t { One = 1, Two = 2, OneAndHalf = 3 };
// SET-CONTROL values used here.
enum class Control : std::uint8_t {
    NoFlowControl = 1, DtrOn = 8, DtrOff = 9, RtsOn = 11, RtsOff = 12,
};
// PURGE-DATA: the server's receive buffer (bytes from the line not yet
// sent to us), its transmit buffer, or both.
enum class Purge : std::uint8_t { Receive = 1, Transmit = 2, Both = 3 };

// A COM-PORT message from the server: the command it answers (the wire
// value less 100; a server sending a client command is taken the same way)
// and its value bytes.
struct ComPortMessage {
    ComPort command = ComPort::Signature;
    std::string value;
    bool operator==(const ComPortMessage &) const = default;

    // The value as a number in network order (SET-BAUDRATE's four bytes,
    // the one byte of the others); 0 when empty or longer than 4 bytes.
    std::uint32_t number() const;
};

// The client's side of a session. Asks for binary transmission both ways
// and the COM-PORT-OPTION (when comPort is set); agrees to those and to
// SUPPRESS-GO-AHEAD, refuses every other option, and never answers a
// request for a state already in force (so two ends cannot loop).
class Session {
public:
    explicit Session(bool comPort = true);

    // What to send when the connection is made: the requests above.
    std::string start();

    // Reads bytes from the server. Data bytes are appended to `data` (IAC
    // IAC as one 0xFF); answers owed are appended to `replies`; COM-PORT
    // messages are kept until takeMessages(). A subnegotiation longer than
    // subnegotiationLimit bytes is read to its end but dropped, so a server
    // that never ends one cannot make this grow.
    void read(const char *bytes, std::size_t count, std::string &data, std::string &replies);

    std::vector<ComPortMessage> takeMessages();

    // Whether the server agreed to COM-PORT-OPTION (answered DO), to send
    // binary to us (WILL BINARY) and to take binary from us (DO BINARY).
    bool comPortAgreed() const { return m_us[OptComPort] == State::Yes; }
    bool comPortRefused() const { return m_comPortRefused; }
    bool serverSendsBinary() const { return m_him[OptBinary] == State::Yes; }
    bool serverTakesBinary() const { return m_us[OptBinary] == State::Yes; }

    static constexpr std::size_t subnegotiationLimit = 512;

private:
    enum class State : std::uint8_t { No, Yes, WantYes, WantNo };
    enum class Parse : std::uint8_t { Data, Iac, Verb, Sub, SubIac };

    bool weSupport(std::uint8_t option) const;
    bool heMay(std::uint8_t option) const;
    void negotiate(std::uint8_t verb, std::uint8_t option, std::string &replies);
    void endSubnegotiation(std::string &replies);

    bool m_comPort;
    bool m_comPortRefused = false;
    State m_us[256] = {};  // options we perform (WILL/WONT from us)
    State m_him[256] = {}; // options the server performs
    Parse m_parse = Parse::Data;
    std::uint8_t m_verb = 0;
    std::string m_sub;
    bool m_subOverflow = false;
    std::vector<ComPortMessage> m_messages;
};

// Data for the server: every 0xFF doubled (RFC 854).
std::string escape(const char *bytes, std::size_t count);
void appendEscaped(std::string &out, const char *bytes, std::size_t count);

// IAC SB COM-PORT-OPTION command value IAC SE, with 0xFF in the value
// doubled.
std::string comPortCommand(ComPort command, const std::string &value);
std::string setBaudRate(std::uint32_t baud);
std::string setDataSize(std::uint8_t bits);
std::string setParity(Parity parity);
std::string setStopSize(StopSize size);
std::string setControl(Control control);
std::string purgeData(Purge what);

} // namespace telnet
