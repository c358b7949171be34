#include "net_socket.h"

#include "net_socket_platform.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace net {

void platform::startSockets()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

int platform::lastError()
{
    return WSAGetLastError();
}

Handle platform::nonBlockingSocket(int family)
{
    const SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return invalidHandle;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return Handle(s);
}

bool platform::isConnectPending(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

bool platform::isTransient(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

bool platform::isNameNotFound(int status)
{
    return status == WSAHOST_NOT_FOUND || status == WSANO_DATA || status == EAI_NONAME;
}

std::string platform::resolveFailureText(int status)
{
    return errorText(status);
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

void closeSocket(Handle socket)
{
    if (socket != invalidHandle)
        closesocket(SOCKET(socket));
}

// Winsock counts in int: a larger count goes a gigabyte at a call.
std::int64_t sendSome(Handle socket, const char *bytes, std::int64_t count, int *error)
{
    return platform::transferred(::send(SOCKET(socket), bytes, int(std::min<std::int64_t>(count, 1 << 30)), 0), error);
}

std::int64_t receiveSome(Handle socket, char *bytes, std::int64_t count, int *error)
{
    return platform::transferred(::recv(SOCKET(socket), bytes, int(std::min<std::int64_t>(count, 1 << 30)), 0), error);
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
