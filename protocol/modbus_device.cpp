#include "protocol/modbus_device.h"

#include "protocol/checks.h"

#include <algorithm>

namespace protocol {

namespace {

// Quantity limits of the public description, per function.
constexpr unsigned kMostBitsRead = 2000;
constexpr unsigned kMostRegistersRead = 125;
constexpr unsigned kMostBitsWritten = 1968;
constexpr unsigned kMostRegistersWritten = 123;
constexpr unsigned kMostRegistersReadWritten = 121;

enum Code : std::uint8_t { IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3 };

std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint16_t(b[at] << 8 | b[at + 1]);
}

void putBe16(std::vector<std::uint8_t> &out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

void putCrc(std::vector<std::uint8_t> &out)
{
    const std::uint16_t crc = modbusCrc16(out);
    out.push_back(std::uint8_t(crc));
    out.push_back(std::uint8_t(crc >> 8));
}

std::string_view exceptionName(std::uint8_t code)
{
    switch (code) {
    case 1: return "Illegal function";
    case 2: return "Illegal data address";
    case 3: return "Illegal data value";
    case 4: return "Server device failure";
    default: return "Exception";
    }
}

// One request taken apart; `pdu` runs from after the function code to
// before the CRC.
class Request {
public:
    Request(std::span<const std::uint8_t> frame, RegisterTable &table, Exchange &exchange)
        : pdu_(frame.subspan(2, frame.size() - 4)), table_(table), x_(exchange)
    {
    }

    // Fills the exchange's answer (without its CRC) or its exception.
    void run()
    {
        switch (x_.function) {
        case 1: return readBits(RegisterKind::Coil);
        case 2: return readBits(RegisterKind::Discrete);
        case 3: return readRegisters(RegisterKind::Holding);
        case 4: return readRegisters(RegisterKind::Input);
        case 5: return writeCoil();
        case 6: return writeRegister();
        case 15: return writeCoils();
        case 16: return writeRegisters();
        case 23: return readWriteRegisters();
        default: return fail(IllegalFunction);
        }
    }

private:
    // Address and count of the request's first four bytes.
    bool range(std::size_t pduLength)
    {
        if (pdu_.size() < 4)
            return false;
        x_.address = be16(pdu_, 0);
        x_.count = be16(pdu_, 2);
        return pdu_.size() == pduLength;
    }

    void fail(std::uint8_t code)
    {
        x_.status = ExchangeStatus::Exception;
        x_.exception = code;
    }

    void begin()
    {
        x_.answer = {x_.unit, x_.function};
    }

    void readBits(RegisterKind kind)
    {
        if (!range(4) || x_.count < 1 || x_.count > kMostBitsRead)
            return fail(IllegalValue);
        if (!table_.holdsRange(kind, x_.address, x_.count))
            return fail(IllegalAddress);
        begin();
        x_.answer.push_back(std::uint8_t((x_.count + 7) / 8));
        const auto &entries = table_.entries(kind);
        auto it = entries.find(x_.address);
        for (unsigned i = 0; i < x_.count; ++i, ++it) {
            if (i % 8 == 0)
                x_.answer.push_back(0);
            if (it->second)
                x_.answer.back() |= std::uint8_t(1u << (i % 8));
        }
    }

    void readRegisters(RegisterKind kind)
    {
        if (!range(4) || x_.count < 1 || x_.count > kMostRegistersRead)
            return fail(IllegalValue);
        if (!table_.holdsRange(kind, x_.address, x_.count))
            return fail(IllegalAddress);
        begin();
        appendRegisters(kind, x_.address, x_.count);
    }

    void appendRegisters(RegisterKind kind, std::uint16_t address, std::uint16_t count)
    {
        x_.answer.push_back(std::uint8_t(2 * count));
        auto it = table_.entries(kind).find(address);
        for (unsigned i = 0; i < count; ++i, ++it)
            putBe16(x_.answer, it->second);
    }

    void echo(std::uint16_t second)
    {
        begin();
        putBe16(x_.answer, x_.address);
        putBe16(x_.answer, second);
    }

    void written(RegisterKind kind, std::uint16_t address)
    {
        x_.writes.push_back({kind, address});
    }

    void writeCoil()
    {
        const bool named = range(4);
        const std::uint16_t value = x_.count;
        x_.count = 1;
        if (!named || (value != 0xFF00 && value != 0x0000))
            return fail(IllegalValue);
        if (!table_.holdsRange(RegisterKind::Coil, x_.address, 1))
            return fail(IllegalAddress);
        table_.set(RegisterKind::Coil, x_.address, value ? 1 : 0);
        written(RegisterKind::Coil, x_.address);
        echo(value);
    }

    void writeRegister()
    {
        const bool named = range(4);
        const std::uint16_t value = x_.count;
        x_.count = 1;
        if (!named)
            return fail(IllegalValue);
        if (!table_.holdsRange(RegisterKind::Holding, x_.address, 1))
            return fail(IllegalAddress);
        table_.set(RegisterKind::Holding, x_.address, value);
        written(RegisterKind::Holding, x_.address);
        echo(value);
    }

    void writeCoils()
    {
        if (pdu_.size() < 5 || !range(5 + std::size_t(pdu_[4])) || x_.count < 1 || x_.count > kMostBitsWritten
            || pdu_[4] != (x_.count + 7) / 8)
            return fail(IllegalValue);
        if (!table_.holdsRange(RegisterKind::Coil, x_.address, x_.count))
            return fail(IllegalAddress);
        for (unsigned i = 0; i < x_.count; ++i) {
            const std::uint16_t address = std::uint16_t(x_.address + i);
            table_.set(RegisterKind::Coil, address, (pdu_[5 + i / 8] >> (i % 8)) & 1);
            written(RegisterKind::Coil, address);
        }
        echo(x_.count);
    }

    void writeRegisters()
    {
        if (pdu_.size() < 5 || !range(5 + std::size_t(pdu_[4])) || x_.count < 1
            || x_.count > kMostRegistersWritten || pdu_[4] != 2 * x_.count)
            return fail(IllegalValue);
        if (!table_.holdsRange(RegisterKind::Holding, x_.address, x_.count))
            return fail(IllegalAddress);
        for (unsigned i = 0; i < x_.count; ++i) {
            const std::uint16_t address = std::uint16_t(x_.address + i);
            table_.set(RegisterKind::Holding, address, be16(pdu_, 5 + 2 * i));
            written(RegisterKind::Holding, address);
        }
        echo(x_.count);
    }

    // Function 23: the write is done before the read.
    void readWriteRegisters()
    {
        if (pdu_.size() < 9 || !range(9 + std::size_t(pdu_[8])))
            return fail(IllegalValue);
        const std::uint16_t writeAddress = be16(pdu_, 4);
        const std::uint16_t writeCount = be16(pdu_, 6);
        if (x_.count < 1 || x_.count > kMostRegistersRead || writeCount < 1
            || writeCount > kMostRegistersReadWritten || pdu_[8] != 2 * writeCount)
            return fail(IllegalValue);
        if (!table_.holdsRange(RegisterKind::Holding, x_.address, x_.count)
            || !table_.holdsRange(RegisterKind::Holding, writeAddress, writeCount))
            return fail(IllegalAddress);
        for (unsigned i = 0; i < writeCount; ++i) {
            const std::uint16_t address = std::uint16_t(writeAddress + i);
            table_.set(RegisterKind::Holding, address, be16(pdu_, 9 + 2 * i));
            written(RegisterKind::Holding, address);
        }
        begin();
        appendRegisters(RegisterKind::Holding, x_.address, x_.count);
    }

    std::span<const std::uint8_t> pdu_;
    RegisterTable &table_;
    Exchange &x_;
};

bool isBroadcastWrite(std::uint8_t function)
{
    return function == 5 || function == 6 || function == 15 || function == 16;
}

} // namespace

std::string exchangeStatusText(const Exchange &exchange)
{
    switch (exchange.status) {
    case ExchangeStatus::Answered: return "ok";
    case ExchangeStatus::Exception:
        return "exception " + std::to_string(exchange.exception) + " (" + std::string(exceptionName(exchange.exception))
            + ")";
    case ExchangeStatus::Broadcast: return "broadcast, no answer";
    case ExchangeStatus::OtherUnit: return "other unit, no answer";
    case ExchangeStatus::BadCheck: return "bad CRC, no answer";
    case ExchangeStatus::Dropped: return "dropped: too many waiting";
    }
    return {};
}

std::string exchangeLine(std::string_view time, const Exchange &exchange)
{
    std::string line(time);
    line += " unit " + std::to_string(exchange.unit) + " function " + std::to_string(exchange.function)
        + " address " + std::to_string(exchange.address) + " count " + std::to_string(exchange.count) + " "
        + exchangeStatusText(exchange);
    return line;
}

ModbusAnswerer::ModbusAnswerer(RegisterTable table, std::vector<std::uint8_t> units)
    : m_table(std::move(table)), m_units(std::move(units))
{
}

bool ModbusAnswerer::isOurs(std::uint8_t unit) const
{
    return std::find(m_units.begin(), m_units.end(), unit) != m_units.end();
}

Exchange ModbusAnswerer::answer(std::span<const std::uint8_t> frame)
{
    Exchange exchange;
    if (frame.size() < 4) {
        exchange.status = ExchangeStatus::BadCheck;
        return exchange;
    }
    exchange.unit = frame[0];
    exchange.function = frame[1];
    // What the request names, for the line about one that gets no answer;
    // a request that is answered names them again as it is read.
    if (frame.size() >= 8 && ((exchange.function >= 1 && exchange.function <= 6) || exchange.function == 15
                              || exchange.function == 16 || exchange.function == 23)) {
        exchange.address = be16(frame, 2);
        exchange.count = exchange.function == 5 || exchange.function == 6 ? 1 : be16(frame, 4);
    }
    const std::uint16_t crc = modbusCrc16(frame.first(frame.size() - 2));
    if ((frame[frame.size() - 2] | frame[frame.size() - 1] << 8) != crc) {
        exchange.status = ExchangeStatus::BadCheck;
        return exchange;
    }
    const bool broadcast = exchange.unit == 0;
    if (!broadcast && !isOurs(exchange.unit)) {
        exchange.status = ExchangeStatus::OtherUnit;
        return exchange;
    }
    if (broadcast && !isBroadcastWrite(exchange.function)) {
        exchange.status = ExchangeStatus::Broadcast;
        return exchange;
    }
    Request(frame, m_table, exchange).run();
    if (broadcast) {
        exchange.status = ExchangeStatus::Broadcast;
        exchange.answer.clear();
        return exchange;
    }
    if (exchange.status == ExchangeStatus::Exception)
        exchange.answer = {exchange.unit, std::uint8_t(exchange.function | 0x80), exchange.exception};
    putCrc(exchange.answer);
    return exchange;
}

ModbusDevice::ModbusDevice(ModbusAnswerer &answerer, const Options &options)
    : m_answerer(answerer), m_options(options)
{
    protocol::Options framing;
    framing.replyTimeoutUs = options.silenceUs;
    m_framer = makeFramer(Protocol::ModbusRtu, framing);
}

ModbusDevice::~ModbusDevice() = default;

void ModbusDevice::feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs)
{
    if (bytes.empty())
        return;
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    std::vector<FrameMark> marks;
    m_framer->feed(bytes, nowUs, marks);
    handle(marks, nowUs);
}

void ModbusDevice::idle(std::int64_t nowUs)
{
    std::vector<FrameMark> marks;
    m_framer->idle(nowUs, marks);
    handle(marks, nowUs);
}

void ModbusDevice::handle(const std::vector<FrameMark> &marks, std::int64_t nowUs)
{
    for (const FrameMark &mark : marks) {
        const std::span<const std::uint8_t> frame(m_bytes.data() + (mark.begin - m_base), mark.length);
        if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut) {
            m_counts.noiseBytes += mark.length;
            continue;
        }
        Exchange exchange;
        if (mark.verdict == Verdict::Good && m_waiting.size() >= m_options.maxWaiting) {
            exchange.unit = frame[0];
            exchange.function = frame[1];
            exchange.status = ExchangeStatus::Dropped;
            ++m_counts.requests;
            ++m_counts.dropped;
        } else {
            exchange = m_answerer.answer(frame);
            if (exchange.status != ExchangeStatus::BadCheck)
                ++m_counts.requests;
        }
        exchange.timeUs = nowUs;
        if (!exchange.answer.empty()) {
            m_waiting.push_back({nowUs + m_options.replyDelayUs, exchange.answer});
            if (exchange.status == ExchangeStatus::Exception)
                ++m_counts.exceptions;
        } else if (exchange.status != ExchangeStatus::Dropped) {
            ++m_counts.ignored;
        }
        keep(std::move(exchange));
    }
    if (!marks.empty()) {
        const std::int64_t upTo = marks.back().end();
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + (upTo - m_base));
        m_base = upTo;
    }
}

void ModbusDevice::keep(Exchange exchange)
{
    m_exchanges.push_back(std::move(exchange));
    while (m_exchanges.size() > m_options.maxExchanges) {
        m_exchanges.pop_front();
        ++m_counts.unlisted;
    }
}

std::optional<std::int64_t> ModbusDevice::nextDueUs() const
{
    if (m_waiting.empty())
        return std::nullopt;
    return std::max(m_waiting.front().dueUs, m_lineFreeUs);
}

std::optional<std::vector<std::uint8_t>> ModbusDevice::takeDue(std::int64_t nowUs)
{
    const auto due = nextDueUs();
    if (!due || *due > nowUs)
        return std::nullopt;
    std::vector<std::uint8_t> bytes = std::move(m_waiting.front().bytes);
    m_waiting.pop_front();
    m_lineFreeUs = nowUs + std::int64_t(bytes.size()) * m_options.byteTimeUs;
    ++m_counts.answered;
    return bytes;
}

std::vector<Exchange> ModbusDevice::takeExchanges()
{
    std::vector<Exchange> out(std::make_move_iterator(m_exchanges.begin()),
                              std::make_move_iterator(m_exchanges.end()));
    m_exchanges.clear();
    return out;
}

std::optional<std::vector<std::uint8_t>> parseUnits(std::string_view text, std::string *reason)
{
    std::vector<std::uint8_t> units;
    const std::string given(text);
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        unsigned value = 0;
        bool ok = !part.empty() && part.size() <= 3;
        for (char c : part) {
            ok = ok && c >= '0' && c <= '9';
            value = value * 10 + unsigned(c - '0');
        }
        if (!ok || value < 1 || value > 247) {
            *reason = "unit \"" + std::string(part) + "\" in \"" + given + "\": give unit numbers 1-247, as 1 or 1,2,17";
            return std::nullopt;
        }
        if (std::find(units.begin(), units.end(), std::uint8_t(value)) == units.end())
            units.push_back(std::uint8_t(value));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return units;
}

} // namespace protocol
