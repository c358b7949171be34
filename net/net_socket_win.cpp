#include "net_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace net {

namespace {

void startWinsock()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

} // namespace

Resolution resolve(const std::string &host, std::uint16_t port)
{
    startWinsock();
    Resolution r;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *list = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (status != 0) {
        r.notFound = status == WSAHOST_NOT_FOUND || status == WSANO_DATA || status == EAI_NONAME;
        r.failure = errorText(status);
        return r;
    }
    for (addrinfo *a = list; a; a = a->ai_next) {
        Endpoint e;
        e.family = a->ai_family;
        e.address.assign(reinterpret_cast<const char *>(a->ai_addr), a->ai_addrlen);
        char text[INET6_ADDRSTRLEN] = {};
        getnameinfo(a->ai_addr, int(a->ai_addrlen), text, sizeof text, nullptr, 0, NI_NUMERICHOST);
        e.text = text;
        r.endpoints.push_back(std::move(e));
    }
    freeaddrinfo(list);
    return r;
}

Handle startConnect(const Endpoint &to, bool *connected, int *error)
{
    startWinsock();
    *connected = false;
    const SOCKET s = ::socket(to.family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *error = WSAGetLastError();
        return invalidHandle;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    if (::connect(s, reinterpret_cast<const sockaddr *>(to.address.data()), int(to.address.size())) == 0) {
        *connected = true;
        return Handle(s);
    }
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINPROGRESS)
        return Handle(s);
    *error = e;
    closesocket(s);
    return invalidHandle;
}

bool connectFinished(Handle socket)
{
    // A failed connect shows among the exceptions, not as writable.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(SOCKET(socket), &writable);
    FD_SET(SOCKET(socket), &failed);
    timeval now{0, 0};
    return select(0, nullptr, &writable, &failed, &now) > 0;
}

int connectResult(Handle socket)
{
    int error = 0;
    int size = sizeof error;
    if (getsockopt(SOCKET(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
        return WSAGetLastError();
    return error;
}

void closeSocket(Handle socket)
{
    if (socket != invalidHandle)
        closesocket(SOCKET(socket));
}

std::int64_t sendSome(Handle socket, const char *bytes, std::int64_t count, int *error)
{
    const int n = ::send(SOCKET(socket), bytes, int(std::min<std::int64_t>(count, 1 << 30)), 0);
    if (n >= 0)
        return n;
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINTR)
        return -1;
    *error = e;
    return -2;
}

std::int64_t receiveSome(Handle socket, char *bytes, std::int64_t count, int *error)
{
    const int n = ::recv(SOCKET(socket), bytes, int(std::min<std::int64_t>(count, 1 << 30)), 0);
    if (n >= 0)
        return n;
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINTR)
        return -1;
    *error = e;
    return -2;
}

bool isRefused(int error)
{
    return error == WSAECONNREFUSED;
}

std::string errorText(int error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string result;
    if (text) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (size > 1) {
            result.resize(std::size_t(size - 1));
            WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
        }
        LocalFree(text);
    }
    // The system's texts end in a line break.
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.back())))
        result.pop_back();
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.front())))
        result.erase(0, 1);
    return result.empty() ? "error " + std::to_string(error) : result;
}

} // namespace net
