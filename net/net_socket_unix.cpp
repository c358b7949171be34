#include "net_socket.h"

#include "net_socket_platform.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace net {

void platform::startSockets()
{
}

int platform::lastError()
{
    return errno;
}

Handle platform::nonBlockingSocket(int family)
{
    const int s = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    return s < 0 ? invalidHandle : Handle(s);
}

bool platform::isConnectPending(int error)
{
    return error == EINPROGRESS;
}

bool platform::isTransient(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool platform::isNameNotFound(int status)
{
    return status == EAI_NONAME
#ifdef EAI_NODATA
        || status == EAI_NODATA
#endif
        || status == EAI_FAIL;
}

std::string platform::resolveFailureText(int status)
{
    return gai_strerror(status);
}

bool connectFinished(Handle socket)
{
    pollfd p{int(socket), POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0;
}

void closeSocket(Handle socket)
{
    if (socket != invalidHandle)
        ::close(int(socket));
}

std::int64_t sendSome(Handle socket, const char *bytes, std::int64_t count, int *error)
{
    // No SIGPIPE from a connection the server dropped: the error says it.
    return platform::transferred(::send(int(socket), bytes, size_t(count), MSG_NOSIGNAL), error);
}

std::int64_t receiveSome(Handle socket, char *bytes, std::int64_t count, int *error)
{
    return platform::transferred(::recv(int(socket), bytes, size_t(count), 0), error);
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
