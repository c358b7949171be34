// The Winsock sockets, and telnet over them as the RFC 2217 transport uses
// it, against socket_peer.py on the Linux side of Wine. KIT_PEER_PORTS holds
// the two ports the peer printed: its listener and one that refuses.

#include "net/net_socket.h"
#include "telnet/telnet.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

struct PeerPorts {
    std::uint16_t listening = 0;
    std::uint16_t refusing = 0;
};

PeerPorts peerPorts()
{
    PeerPorts ports;
    if (const char *text = std::getenv("KIT_PEER_PORTS")) {
        std::istringstream in(text);
        in >> ports.listening >> ports.refusing;
    }
    return ports;
}

// Until the socket is writable, or its connect failed (which Winsock
// tells apart); false when the time ran out.
bool waitUntilWritable(net::Handle socket, int milliseconds)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(SOCKET(socket), &ready);
    FD_SET(SOCKET(socket), &failed);
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, nullptr, &ready, &failed, &limit) > 0;
}

// A connected socket to the peer, or invalidHandle with the test failed.
net::Handle connectToPeer(std::uint16_t port)
{
    const net::Resolution found = net::resolve("127.0.0.1", port);
    EXPECT_EQ(found.endpoints.size(), 1u);
    if (found.endpoints.empty())
        return net::invalidHandle;
    EXPECT_EQ(found.endpoints[0].text, "127.0.0.1");
    bool connected = false;
    int error = 0;
    const net::Handle socket = net::startConnect(found.endpoints[0], &connected, &error);
    EXPECT_NE(socket, net::invalidHandle) << net::errorText(error);
    if (socket == net::invalidHandle)
        return socket;
    if (!connected) {
        EXPECT_TRUE(waitUntilWritable(socket, 10000));
        EXPECT_EQ(net::connectResult(socket), 0);
    }
    return socket;
}

// Everything sent, waiting whenever the socket would block; how often it did.
int sendAll(net::Handle socket, const std::string &bytes)
{
    int blocked = 0;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        int error = 0;
        const std::int64_t n = net::sendSome(socket, bytes.data() + sent, std::int64_t(bytes.size() - sent), &error);
        if (n == -1) {
            ++blocked;
            if (!waitUntilWritable(socket, 10000))
                break;
            continue;
        }
        if (n < 0) {
            ADD_FAILURE() << "send failed: " << net::errorText(error);
            break;
        }
        sent += std::size_t(n);
    }
    EXPECT_EQ(sent, bytes.size());
    return blocked;
}

// Reads until the peer closes (0) or receiving fails (-2, *error set).
// Polled: Wine's select() takes a pending reset for itself, after which the
// receive reads a plain close.
std::int64_t receiveToEnd(net::Handle socket, std::string &got, int *error)
{
    char piece[4096];
    for (int idle = 0; idle < 1000;) {
        const std::int64_t n = net::receiveSome(socket, piece, sizeof piece, error);
        if (n > 0) {
            got.append(piece, std::size_t(n));
            idle = 0;
        } else if (n == -1) {
            ++idle;
            Sleep(10);
        } else {
            return n;
        }
    }
    return -1;
}

std::string allByteValues(bool descending)
{
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[std::size_t(i)] = char(descending ? 255 - i : i);
    return bytes;
}

class WindowsSockets : public testing::Test {
protected:
    void SetUp() override
    {
        ports = peerPorts();
        ASSERT_NE(ports.listening, 0) << "KIT_PEER_PORTS names no peer";
    }
    PeerPorts ports;
};

// The 256 values go out in telnet form (0xFF doubled, which the peer
// checks) and come back descending with telnet commands among them; the
// session leaves exactly the values, answers the server's WILL BINARY and
// keeps the COM-PORT message. Then the peer's close reads as 0.
TEST_F(WindowsSockets, BytesBothWaysThroughTelnet)
{
    const net::Handle socket = connectToPeer(ports.listening);
    ASSERT_NE(socket, net::invalidHandle);
    std::string out = "echo\n";
    const std::string values = allByteValues(false);
    telnet::appendEscaped(out, values.data(), values.size());
    ASSERT_EQ(out.size(), 5u + 257u);
    sendAll(socket, out);

    std::string got;
    int error = 0;
    EXPECT_EQ(receiveToEnd(socket, got, &error), 0) << net::errorText(error);
    net::closeSocket(socket);
    ASSERT_NE(got, "WRONG") << "the peer did not get the values in telnet form";

    telnet::Session session;
    std::string data, replies;
    // In two pieces, cut inside the doubled 0xFF at the start of the data.
    session.read(got.data(), 4, data, replies);
    session.read(got.data() + 4, got.size() - 4, data, replies);
    EXPECT_EQ(data, allByteValues(true));
    EXPECT_EQ(replies, std::string("\xff\xfd\x00", 3)); // DO BINARY
    EXPECT_TRUE(session.serverSendsBinary());
    const auto messages = session.takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].command, telnet::ComPort::NotifyModemState);
    EXPECT_EQ(messages[0].number(), 0x30u);
}

// More than the socket buffers hold while the peer is not yet reading:
// a full buffer reads as "would block" (-1), never as a failure, and every
// byte arrives once.
TEST_F(WindowsSockets, FullBufferWouldBlock)
{
    const net::Handle socket = connectToPeer(ports.listening);
    ASSERT_NE(socket, net::invalidHandle);
    std::string bulk(8 << 20, '\0');
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bulk.size(); ++i) {
        bulk[i] = char((i * 7 + i / 4096) & 0xFF);
        sum += std::uint8_t(bulk[i]);
    }
    sendAll(socket, "bulk\n");
    EXPECT_GT(sendAll(socket, bulk), 0);
    shutdown(SOCKET(socket), SD_SEND);
    std::string got;
    int error = 0;
    EXPECT_EQ(receiveToEnd(socket, got, &error), 0) << net::errorText(error);
    net::closeSocket(socket);
    EXPECT_EQ(got, std::to_string(bulk.size()) + " " + std::to_string(sum) + "\n");
}

// A connection the peer resets ends the stream: Windows fails the receive
// (-2) with the reset, Wine (whose server takes the pending error for
// itself) reads it as a close. Either way the next send fails (-2) with
// the reason, never as "would block".
TEST_F(WindowsSockets, ResetConnectionEndsTheStream)
{
    const net::Handle socket = connectToPeer(ports.listening);
    ASSERT_NE(socket, net::invalidHandle);
    sendAll(socket, "reset\n");
    std::string got;
    int error = 0;
    const std::int64_t end = receiveToEnd(socket, got, &error);
    EXPECT_TRUE(end == 0 || (end == -2 && error == WSAECONNRESET)) << end << " " << error;
    EXPECT_EQ(got, "");
    error = 0;
    std::int64_t sent = 0;
    for (int i = 0; i < 100 && sent >= 0; ++i)
        sent = net::sendSome(socket, "x", 1, &error);
    net::closeSocket(socket);
    EXPECT_EQ(sent, -2);
    EXPECT_NE(error, 0);
    EXPECT_FALSE(net::isRefused(error));
    EXPECT_FALSE(net::errorText(error).empty());
}

// A port where nobody listens: refused, at once or once the connect ends.
TEST_F(WindowsSockets, RefusedConnection)
{
    const net::Resolution found = net::resolve("127.0.0.1", ports.refusing);
    ASSERT_EQ(found.endpoints.size(), 1u);
    bool connected = false;
    int error = 0;
    const net::Handle socket = net::startConnect(found.endpoints[0], &connected, &error);
    EXPECT_FALSE(connected);
    if (socket != net::invalidHandle) {
        // Asked without waiting, as the transport asks at each tick.
        bool finished = false;
        for (int i = 0; i < 1000 && !finished; ++i) {
            finished = net::connectFinished(socket);
            if (!finished)
                Sleep(10);
        }
        EXPECT_TRUE(finished);
        error = net::connectResult(socket);
        net::closeSocket(socket);
    }
    EXPECT_EQ(error, WSAECONNREFUSED);
    EXPECT_TRUE(net::isRefused(error));
    const std::string text = net::errorText(error);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
}

// Names: one that does not exist is told apart from a failing lookup; a
// numeric address resolves to itself, IPv6 included.
TEST(WindowsResolve, Names)
{
    const net::Resolution missing = net::resolve("no-such-host.invalid", 4001);
    EXPECT_TRUE(missing.endpoints.empty());
    EXPECT_TRUE(missing.notFound) << missing.failure;
    EXPECT_FALSE(missing.failure.empty());

    const net::Resolution v6 = net::resolve("::1", 4001);
    ASSERT_EQ(v6.endpoints.size(), 1u);
    EXPECT_EQ(v6.endpoints[0].family, AF_INET6);
    EXPECT_EQ(v6.endpoints[0].text, "::1");

    const net::Resolution v4 = net::resolve("127.0.0.1", 4001);
    ASSERT_EQ(v4.endpoints.size(), 1u);
    EXPECT_EQ(v4.endpoints[0].family, AF_INET);
    // sockaddr_in: the port in network order after the family.
    ASSERT_GE(v4.endpoints[0].address.size(), 4u);
    EXPECT_EQ(std::uint8_t(v4.endpoints[0].address[2]), 0x0F);
    EXPECT_EQ(std::uint8_t(v4.endpoints[0].address[3]), 0xA1);
}

} // namespace
