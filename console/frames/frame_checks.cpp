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
    case FrameCheck::Lrc: {
        QByteArray pair;
        appendHexPair(pair, lrc(bytes));
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
    case FrameCheck::Lrc: {
        if (n < 3)
            return CheckVerdict::NotApplicable;
        const int high = hexDigitValue(std::uint8_t(frame[n - 2]));
        const int low = hexDigitValue(std::uint8_t(frame[n - 1]));
        if (high < 0 || low < 0)
            return CheckVerdict::Bad;
        return lrc(frame.first(n - 2)) == high * 16 + low ? CheckVerdict::Ok : CheckVerdict::Bad;
    }
    }
    return CheckVerdict::NotApplicable;
}

} // namespace console
