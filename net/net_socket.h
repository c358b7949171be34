#pragma once

// The few socket calls the network transports make, over POSIX sockets or
// Winsock: net_socket.cpp on both, the rest in net_socket_unix.cpp or
// net_socket_win.cpp. Every socket here is a non-blocking TCP stream. No
// Qt: texts are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

namespace net {

using Handle = std::intptr_t;
constexpr Handle invalidHandle = -1;

// One address a name resolved to: its family and the socket address bytes.
struct Endpoint {
    int family = 0;
    std::string address;
    std::string text; // numeric, for messages
};
struct Resolution {
    std::vector<Endpoint> endpoints;
    bool notFound = false; // the name does not exist (as opposed to a failure)
    std::string failure;   // empty when endpoints were found
};
// Blocks: call it away from the window thread.
Resolution resolve(const std::string &host, std::uint16_t port);

// A new non-blocking socket whose connect to `to` has started; connected
// is set when it is done at once. invalidHandle with *error set on failure.
Handle startConnect(const Endpoint &to, bool *connected, int *error);
// Whether a started connect is over, connected or failed; does not wait.
bool connectFinished(Handle socket);
// After the socket turned writable: 0 when connected, else the error.
int connectResult(Handle socket);
void closeSocket(Handle socket);

// Bytes sent or received (> 0); 0 from receive: the peer closed; -1: it
// would block; -2: failed with *error.
std::int64_t sendSome(Handle socket, const char *bytes, std::int64_t count, int *error);
std::int64_t receiveSome(Handle socket, char *bytes, std::int64_t count, int *error);

bool isRefused(int error);
std::string errorText(int error);

} // namespace net
