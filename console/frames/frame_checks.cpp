#include "frame_checks.h"

#include "console/frames/hex_text.h"
#include "protocol/checks.h"

namespace console {

namespace {

struct NamedCheck {
    FrameCheck check;
    const char *name;
};

constexpr NamedCheck kNames[] = {
    {FrameCheck::None, "none"},
    {FrameCheck::ModbusRtu, "modbus-rtu"},
    {FrameCheck::Sum8, "sum8"},
    {FrameCheck::Lrc, "lrc"},
    {FrameCheck::FxSum, "fx-sum"},
    {FrameCheck::MewtocolBcc, "mewtocol-bcc"},
};

} // namespace

QString frameCheckName(FrameCheck check)
{
    for (const NamedCheck &entry : kNames)
        if (entry.check == check)
            return QString::fromLatin1(entry.name);
    return QStringLiteral("none");
}

std::optional<FrameCheck> frameCheckFromName(QStringView name)
{
    for (const NamedCheck &entry : kNames)
        if (name == QLatin1StringView(entry.name))
            return entry.check;
    return std::nullopt;
}

namespace {

protocol::Bytes asBytes(QByteArrayView bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.data()), std::size_t(bytes.size())};
}

// The bytes after the first `start`; all of them when there is none.
QByteArrayView after(QByteArrayView bytes, char start)
{
    const qsizetype at = bytes.indexOf(start);
    return at < 0 ? bytes : bytes.sliced(at + 1);
}

// The bytes from the first `start` on; all of them when there is none.
QByteArrayView from(QByteArrayView bytes, char start)
{
    const qsizetype at = bytes.indexOf(start);
    return at < 0 ? bytes : bytes.sliced(at);
}

// The two-hex-character check of `bytes` for the checks written that way.
std::uint8_t hexCheckOf(FrameCheck check, QByteArrayView bytes)
{
    switch (check) {
    case FrameCheck::Lrc: return protocol::lrc(asBytes(bytes));
    case FrameCheck::FxSum: return protocol::fxSum(asBytes(after(bytes, '\x02')));
    case FrameCheck::MewtocolBcc: return protocol::mewtocolBcc(asBytes(from(bytes, '%')));
    default: return 0;
    }
}

} // namespace

std::uint16_t modbusCrc16(QByteArrayView bytes)
{
    return protocol::modbusCrc16(asBytes(bytes));
}

std::uint8_t sum8(QByteArrayView bytes)
{
    return protocol::sum8(asBytes(bytes));
}

std::uint8_t lrc(QByteArrayView bytes)
{
    return protocol::lrc(asBytes(bytes));
}

QByteArray checkBytes(FrameCheck check, QByteArrayView bytes)
{
    switch (check) {
    case FrameCheck::None:
        return {};
    case FrameCheck::ModbusRtu: {
        const std::uint16_t crc = modbusCrc16(bytes);
        const char pair[2] = {char(crc & 0xFF), char(crc >> 8)};
        return QByteArray(pair, 2);
    }
    case FrameCheck::Sum8:
        return QByteArray(1, char(sum8(bytes)));
    case FrameCheck::Lrc:
    case FrameCheck::FxSum:
    case FrameCheck::MewtocolBcc: {
        QByteArray pair;
        appendHexPair(pair, hexCheckOf(check, bytes));
        return pair;
    }
    }
    return {};
}

CheckVerdict verifyFrame(FrameCheck check, QByteArrayView frame)
{
    const qsizetype n = frame.size();
    switch (check) {
    case FrameCheck::None:
        return CheckVerdict::NotApplicable;
    case FrameCheck::ModbusRtu: {
        if (n < 3)
            return CheckVerdict::NotApplicable;
        const std::uint16_t crc = modbusCrc16(frame.first(n - 2));
        const bool ok = std::uint8_t(frame[n - 2]) == (crc & 0xFF) && std::uint8_t(frame[n - 1]) == (crc >> 8);
        return ok ? CheckVerdict::Ok : CheckVerdict::Bad;
    }
    case FrameCheck::Sum8:
        if (n < 2)
            return CheckVerdict::NotApplicable;
        return sum8(frame.first(n - 1)) == std::uint8_t(frame[n - 1]) ? CheckVerdict::Ok : CheckVerdict::Bad;
    case FrameCheck::Lrc:
    case FrameCheck::FxSum:
    case FrameCheck::MewtocolBcc: {
        if (n < 3)
            return CheckVerdict::NotApplicable;
        if (check == FrameCheck::MewtocolBcc && frame.last(2) == "**")
            return CheckVerdict::Ok;
        const int high = hexDigitValue(std::uint8_t(frame[n - 2]));
        const int low = hexDigitValue(std::uint8_t(frame[n - 1]));
        if (high < 0 || low < 0)
            return CheckVerdict::Bad;
        return hexCheckOf(check, frame.first(n - 2)) == high * 16 + low ? CheckVerdict::Ok : CheckVerdict::Bad;
    }
    }
    return CheckVerdict::NotApplicable;
}

} // namespace console
