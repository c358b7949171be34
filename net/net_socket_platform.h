#pragma once

// What the socket calls shared by both systems (net_socket.cpp) take from
// each system's own file (net_socket_unix.cpp, net_socket_win.cpp).

#include "net_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace net::platform {

#ifdef _WIN32
inline SOCKET native(Handle socket)
{
    return SOCKET(socket);
}
#else
inline int native(Handle socket)
{
    return int(socket);
}
#endif

// Before the first call into the system's sockets (Winsock's start).
void startSockets();
// The error the last socket call failed with.
int lastError();
// A non-blocking TCP socket of that family; invalidHandle on failure.
Handle nonBlockingSocket(int family);
// The error of a connect that goes on in the background.
bool isConnectPending(int error);
// An error that only means "not now": the call would block or was cut
// short by a signal.
bool isTransient(int error);
// Of a getaddrinfo() status: whether the name does not exist, and the text.
bool isNameNotFound(int status);
std::string resolveFailureText(int status);

// What send() or recv() returned, as sendSome() and receiveSome() report it.
std::int64_t transferred(std::int64_t result, int *error);

} // namespace net::platform
