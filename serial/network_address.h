#pragma once

#include <QString>

#include <optional>

namespace serial {

// A port on a serial device server: rfc2217://HOST:PORT (telnet with the
// COM-PORT-OPTION, the line set from here) or tcp://HOST:PORT (the bytes as
// they are, the line set at the server). HOST is a name, an IPv4 address or
// an IPv6 address in brackets; PORT 1-65535.
enum class NetworkKind { Rfc2217, Tcp };
struct NetworkAddress {
    NetworkKind kind = NetworkKind::Rfc2217;
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;
};

// Whether the text is meant as a network port (it starts with one of the
// two schemes, in any case); checkNetworkPortText() then tells whether it is
// a good one.
bool isNetworkPortText(const QString &text);

struct NetworkAddressCheck {
    std::optional<NetworkAddress> address;
    QString refusal; // empty when the text names a server's port
};
// A user name, a path, a query or a fragment is refused with the reason.
NetworkAddressCheck checkNetworkPortText(const QString &text);

// "HOST, port PORT" with an IPv6 address in brackets.
QString serverText(const NetworkAddress &address);

// What a raw TCP port says in place of line settings, which it cannot set.
QString fixedSettingsNote();

} // namespace serial
