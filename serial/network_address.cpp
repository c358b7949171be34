#include "network_address.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace serial {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("serial::NetworkAddress", text);
}

const QLatin1String rfc2217Scheme("rfc2217://");
const QLatin1String tcpScheme("tcp://");

bool isNameCharacter(QChar c)
{
    return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.')
                                 || c == QLatin1Char('_'));
}

bool isIpv6Character(QChar c)
{
    return c.unicode() < 128
        && (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
            || c == QLatin1Char(':') || c == QLatin1Char('.'));
}

} // namespace

bool isNetworkPortText(const QString &text)
{
    return text.startsWith(rfc2217Scheme, Qt::CaseInsensitive) || text.startsWith(tcpScheme, Qt::CaseInsensitive);
}

NetworkAddressCheck checkNetworkPortText(const QString &text)
{
    NetworkAddress address;
    QString rest;
    if (text.startsWith(rfc2217Scheme, Qt::CaseInsensitive)) {
        address.kind = NetworkKind::Rfc2217;
        rest = text.mid(rfc2217Scheme.size());
    } else if (text.startsWith(tcpScheme, Qt::CaseInsensitive)) {
        address.kind = NetworkKind::Tcp;
        rest = text.mid(tcpScheme.size());
    } else {
        return {std::nullopt, tr("\"%1\" is not a network port: it starts with rfc2217:// or tcp://.").arg(text)};
    }
    const QString usage = tr("write rfc2217://HOST:PORT or tcp://HOST:PORT.");
    if (rest.contains(QLatin1Char('@')))
        return {std::nullopt, tr("\"%1\" holds a user name, which a device server does not take: %2").arg(text, usage)};
    const qsizetype cut = rest.indexOf(QRegularExpression(QStringLiteral("[/?#]")));
    if (cut >= 0) {
        const QChar c = rest.at(cut);
        const QString what = c == QLatin1Char('/') ? tr("a path") : c == QLatin1Char('?') ? tr("a query") : tr("a fragment");
        return {std::nullopt, tr("\"%1\" holds %2 after the port, which a device server does not take: %3")
                                  .arg(text, what, usage)};
    }
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return {std::nullopt, tr("\"%1\": the IPv6 address lacks its closing \"]\".").arg(text)};
        address.host = rest.mid(1, close - 1);
        const bool good = address.host.contains(QLatin1Char(':'))
            && std::all_of(address.host.begin(), address.host.end(), isIpv6Character);
        if (!good)
            return {std::nullopt, tr("\"%1\": \"%2\" is not an IPv6 address.").arg(text, address.host)};
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return {std::nullopt, tr("\"%1\" gives no port: %2").arg(text, usage)};
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return {std::nullopt, tr("\"%1\" gives no port: %2").arg(text, usage)};
        address.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (address.host.isEmpty())
            return {std::nullopt, tr("\"%1\" gives no host: %2").arg(text, usage)};
        if (address.host.contains(QLatin1Char(':')))
            return {std::nullopt, tr("\"%1\": an IPv6 address goes in brackets, as [::1].").arg(text)};
        if (!std::all_of(address.host.begin(), address.host.end(), isNameCharacter))
            return {std::nullopt, tr("\"%1\": \"%2\" is not a host name or address.").arg(text, address.host)};
    }
    const bool digits = !portText.isEmpty() && portText.size() <= 5
        && std::all_of(portText.begin(), portText.end(), [](QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; });
    const int port = digits ? portText.toInt() : 0;
    if (portText.isEmpty())
        return {std::nullopt, tr("\"%1\" gives no port: %2").arg(text, usage)};
    if (port < 1 || port > 65535)
        return {std::nullopt, tr("\"%1\": the port \"%2\" is not a number from 1 to 65535.").arg(text, portText)};
    address.port = quint16(port);
    return {address, {}};
}

QString serverText(const NetworkAddress &address)
{
    const QString host = address.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + address.host + QLatin1Char(']')
                                                                   : address.host;
    return tr("%1, port %2").arg(host).arg(address.port);
}

QString fixedSettingsNote()
{
    return tr("tcp: settings fixed by the server");
}

} // namespace serial
