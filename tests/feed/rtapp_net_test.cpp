// The sockets layer on its own: error numbers, descriptor bookkeeping, TCP and
// UDP on loopback from a single thread.

#include <cerrno>
#include <csignal>
#include <string>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include "foundation/winsock.h"
#include "platform/net/socket.h"
#include "support/rtapp_peer.h"

namespace {

using namespace std::chrono_literals;

TEST(NetErrors, ErrnoValuesMapToTheWinsockNumbersTheLinkTests) {
    const std::pair<int, int> cases[] = {{EINTR, 10004},        {EAGAIN, 10035},     {EWOULDBLOCK, 10035},
                                         {EMSGSIZE, 10040},     {EADDRINUSE, 10048}, {ECONNABORTED, 10053},
                                         {ECONNRESET, 10054},   {EPIPE, 10054},      {ENOTCONN, 10057},
                                         {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061}, {EBADF, 10038},
                                         {EROFS, EROFS}};  // no Winsock twin: passed on
    for (const auto& [error, code] : cases) EXPECT_EQ(gf_winsockCodeFromErrno(error), code) << error;
    EXPECT_EQ(gf_winsockErrorText(gf_winsockCodeFromErrno(ECONNREFUSED)), "10061 Connection refused");
}

TEST(NetSockets, AClosedSocketStaysClosedWhenItsNumberIsReused) {
    const std::size_t before = gf_openSocketCount();
    const Socket first = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_TRUE(first.valid());
    gf_closeSocket(first);
    const Socket second = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_TRUE(second.valid());
    EXPECT_NE(second.generation, first.generation);
    EXPECT_FALSE(first == second);

    // Closing the old handle again must not touch the new socket, even when
    // Linux gave it the same number.
    gf_closeSocket(first);
    ASSERT_TRUE(gf_bindIPv4(second, 0, true));
    EXPECT_NE(gf_localPort(second), 0);
    // Calls through the old handle are refused, not run on the new socket.
    EXPECT_EQ(gf_localPort(first), 0);
    EXPECT_EQ(gf_socketError(), WSAENOTSOCK);

    EXPECT_EQ(gf_openSocketCount(), before + 1);
    gf_closeSocket(second);
    EXPECT_EQ(gf_openSocketCount(), before);
}

// A connected pair over loopback, made without a second thread: connect
// completes against the listen backlog, accept then takes it.
struct TcpPair {
    Socket listening;
    Socket client;
    Socket server;

    TcpPair() {
        listening = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_TRUE(gf_bindIPv4(listening, 0, true));
        EXPECT_TRUE(gf_listenSocket(listening, 4));
        client = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_TRUE(gf_connectLoopback(client, gf_localPort(listening)));
        server = gf_acceptSocket(listening);
        EXPECT_TRUE(server.valid());
    }
    ~TcpPair() {
        gf_closeSocket(client);
        gf_closeSocket(server);
        gf_closeSocket(listening);
    }
};

// A loopback connect to a port nobody listens on, from that same port, connects
// the socket to itself; the system does so by chance when it picks the port
// as the socket's own. Such a socket talks to nobody: the connect is refused.
TEST(NetSockets, ASocketConnectedToItselfIsRefused) {
    const Socket socket = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(socket.valid());
    ASSERT_TRUE(gf_bindIPv4(socket, 0, true));
    const std::uint16_t own = gf_localPort(socket);
    ASSERT_NE(own, 0);
    EXPECT_FALSE(gf_connectLoopback(socket, own));
    EXPECT_EQ(gf_socketError(), WSAECONNREFUSED);
    gf_closeSocket(socket);
}

TEST(NetSockets, AcceptedSocketTakesNoDelayAndBytesFlowBothWays) {
    TcpPair pair;
    ASSERT_TRUE(gf_setNoDelay(pair.server));
    int value = 0;
    socklen_t length = sizeof value;
    ASSERT_EQ(::getsockopt(pair.server.fd, IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
    EXPECT_NE(value, 0);

    EXPECT_EQ(gf_waitReadable(pair.client, 0ms), 0);
    EXPECT_EQ(gf_sendBytes(pair.server, "Qs123=2000\r\n"), 12);
    EXPECT_EQ(gf_waitReadable(pair.client, 1000ms), 1);
    char buffer[64] = {};
    EXPECT_EQ(gf_receiveBytes(pair.client, buffer, sizeof buffer), 12);
    EXPECT_EQ(std::string(buffer), "Qs123=2000\r\n");
}

TEST(NetSockets, SendingToAPeerThatLeftFailsWithoutSigpipe) {
    // With the default action a SIGPIPE would end this test program.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    TcpPair pair;
    gf_closeSocket(pair.client);
    long result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i) result = gf_sendBytes(pair.server, "Qs121=0;0;0;0;0;0;0\r\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(gf_socketError(), WSAECONNRESET);
    std::signal(SIGPIPE, previous);
}

TEST(NetSockets, ReceiveTimeOutGivesTimedOutOnBlockingAndWouldBlockOnNonBlocking) {
    const Socket socket = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_TRUE(gf_bindIPv4(socket, 0, true));
    ASSERT_TRUE(gf_setReceiveTimeout(socket, 50ms));
    char buffer[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gf_receiveDatagram(socket, buffer, sizeof buffer), -1);
    EXPECT_EQ(gf_socketError(), WSAETIMEDOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);

    ASSERT_TRUE(gf_setBlocking(socket, false));
    EXPECT_EQ(gf_receiveBytes(socket, buffer, sizeof buffer), -1);
    EXPECT_EQ(gf_socketError(), WSAEWOULDBLOCK);
    gf_closeSocket(socket);
}

TEST(NetSockets, DatagramsUpToTheBufferAreTakenLongerOnesReportMessageSize) {
    const Socket receiver = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_TRUE(gf_bindIPv4(receiver, 0, true));
    ASSERT_TRUE(gf_setReceiveTimeout(receiver, 1000ms));
    const std::uint16_t port = gf_localPort(receiver);
    tavo::test::RTAppPeer peer;

    std::string buffer(16385, '\0');
    ASSERT_TRUE(peer.sendDatagram(port, std::string(16384, 'a')));
    EXPECT_EQ(gf_receiveDatagram(receiver, buffer.data(), buffer.size()), 16384);
    ASSERT_TRUE(peer.sendDatagram(port, std::string(16386, 'c')));
    EXPECT_EQ(gf_receiveDatagram(receiver, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(gf_socketError(), WSAEMSGSIZE);
    // The long one was consumed: the next datagram is the next one sent.
    ASSERT_TRUE(peer.sendDatagram(port, "RTTFC_EOT"));
    ASSERT_EQ(gf_receiveDatagram(receiver, buffer.data(), buffer.size()), 9);
    EXPECT_EQ(buffer.substr(0, 9), "RTTFC_EOT");
    gf_closeSocket(receiver);
}

}  // namespace
