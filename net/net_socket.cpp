#include "net_socket.h"

#include "net_socket_platform.h"

namespace net {

Resolution resolve(const std::string &host, std::uint16_t port)
{
    platform::startSockets();
    Resolution r;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *list = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (status != 0) {
        r.notFound = platform::isNameNotFound(status);
        r.failure = platform::resolveFailureText(status);
        return r;
    }
    for (addrinfo *a = list; a; a = a->ai_next) {
        Endpoint e;
        e.family = a->ai_family;
        e.address.assign(reinterpret_cast<const char *>(a->ai_addr), a->ai_addrlen);
        char text[NI_MAXHOST] = {};
        getnameinfo(a->ai_addr, socklen_t(a->ai_addrlen), text, sizeof text, nullptr, 0, NI_NUMERICHOST);
        e.text = text;
        r.endpoints.push_back(std::move(e));
    }
    freeaddrinfo(list);
    return r;
}

Handle startConnect(const Endpoint &to, bool *connected, int *error)
{
    platform::startSockets();
    *connected = false;
    const Handle s = platform::nonBlockingSocket(to.family);
    if (s == invalidHandle) {
        *error = platform::lastError();
        return invalidHandle;
    }
    const int one = 1;
    setsockopt(platform::native(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    if (::connect(platform::native(s), reinterpret_cast<const sockaddr *>(to.address.data()),
                  socklen_t(to.address.size()))
        == 0) {
        *connected = true;
        return s;
    }
    const int e = platform::lastError();
    if (platform::isConnectPending(e))
        return s;
    *error = e;
    closeSocket(s);
    return invalidHandle;
}

int connectResult(Handle socket)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(platform::native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
        return platform::lastError();
    return error;
}

std::int64_t platform::transferred(std::int64_t result, int *error)
{
    if (result >= 0)
        return result;
    const int e = lastError();
    if (isTransient(e))
        return -1;
    *error = e;
    return -2;
}

} // namespace net
