#include "net_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

Resolution resolve(const std::string &host, std::uint16_t port)
{
    Resolution r;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *list = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (status != 0) {
        r.notFound = status == EAI_NONAME
#ifdef EAI_NODATA
            || status == EAI_NODATA
#endif
            || status == EAI_FAIL;
        r.failure = gai_strerror(status);
        return r;
    }
    for (addrinfo *a = list; a; a = a->ai_next) {
        Endpoint e;
        e.family = a->ai_family;
        e.address.assign(reinterpret_cast<const char *>(a->ai_addr), a->ai_addrlen);
        char text[INET6_ADDRSTRLEN] = {};
        const void *ip = a->ai_family == AF_INET6
            ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(a->ai_addr)->sin6_addr)
            : static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr);
        inet_ntop(a->ai_family, ip, text, sizeof text);
        e.text = text;
        r.endpoints.push_back(std::move(e));
    }
    freeaddrinfo(list);
    return r;
}

Handle startConnect(const Endpoint &to, bool *connected, int *error)
{
    *connected = false;
    const int s = ::socket(to.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        *error = errno;
        return invalidHandle;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(s, reinterpret_cast<const sockaddr *>(to.address.data()), socklen_t(to.address.size())) == 0) {
        *connected = true;
        return s;
    }
    if (errno == EINPROGRESS)
        return s;
    *error = errno;
    ::close(s);
    return invalidHandle;
}

bool connectFinished(Handle socket)
{
    pollfd p{int(socket), POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0;
}

int connectResult(Handle socket)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(int(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

void closeSocket(Handle socket)
{
    if (socket != invalidHandle)
        ::close(int(socket));
}

std::int64_t sendSome(Handle socket, const char *bytes, std::int64_t count, int *error)
{
    // No SIGPIPE from a connection the server dropped: the error says it.
    const ssize_t n = ::send(int(socket), bytes, size_t(count), MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return -1;
    *error = errno;
    return -2;
}

std::int64_t receiveSome(Handle socket, char *bytes, std::int64_t count, int *error)
{
    const ssize_t n = ::recv(int(socket), bytes, size_t(count), 0);
    if (n >= 0)
        return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return -1;
    *error = errno;
    return -2;
}

bool isRefused(int error)
{
    return error == ECONNREFUSED;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace net
