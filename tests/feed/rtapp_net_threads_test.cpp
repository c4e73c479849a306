// The sockets layer across threads, and the application peer's own behaviour:
// a close from one thread wakes a call blocked on the socket in another;
// lines are split however the bytes arrive.

#include <future>
#include <string>

#include <gtest/gtest.h>
#include <netinet/in.h>

#include "feed/hang_guard.h"
#include "platform/net/socket.h"
#include "support/rtapp_peer.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::kHangGuard;

TEST(NetThreads, ClosingWakesABlockedAccept) {
    const Socket listening = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(gf_bindIPv4(listening, 0, true));
    ASSERT_TRUE(gf_listenSocket(listening, 4));
    auto accepted = std::async(std::launch::async, [listening] {
        const Socket client = gf_acceptSocket(listening);
        return std::make_pair(client.valid(), gf_socketError());
    });
    EXPECT_EQ(accepted.wait_for(50ms), std::future_status::timeout);  // it blocks
    gf_closeSocket(listening);
    // Only the close can end the accept: nothing ever connects. The limit
    // keeps a lost wake-up from hanging the run.
    ASSERT_EQ(accepted.wait_for(kHangGuard), std::future_status::ready);
    const auto [valid, error] = accepted.get();
    EXPECT_FALSE(valid);
    EXPECT_EQ(error, WSAEINTR);
}

TEST(NetThreads, ClosingWakesABlockedReceiveAndReleasesTheDescriptorAfterIt) {
    const std::size_t before = gf_openSocketCount();
    const Socket socket = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_TRUE(gf_bindIPv4(socket, 0, true));
    auto received = std::async(std::launch::async, [socket] {
        char buffer[64];
        return gf_receiveDatagram(socket, buffer, sizeof buffer);
    });
    EXPECT_EQ(received.wait_for(50ms), std::future_status::timeout);
    gf_closeSocket(socket);
    ASSERT_EQ(received.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_LE(received.get(), 0);
    EXPECT_EQ(gf_openSocketCount(), before);
}

// A minimal server for the peer tests: accepts one connection.
struct OneClientServer {
    Socket listening;
    Socket client;
    std::uint16_t port = 0;

    OneClientServer() {
        listening = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_TRUE(gf_bindIPv4(listening, 0, true));
        EXPECT_TRUE(gf_listenSocket(listening, 4));
        port = gf_localPort(listening);
    }
    void accept() { client = gf_acceptSocket(listening); }
    ~OneClientServer() {
        gf_closeSocket(client);
        gf_closeSocket(listening);
    }
};

TEST(RTAppPeerThreads, LinesAreSplitAtLineFeedsHoweverTheBytesArrive) {
    OneClientServer server;
    tavo::test::RTAppPeer peer;
    ASSERT_TRUE(peer.connect(server.port));
    server.accept();
    ASSERT_TRUE(server.client.valid());

    // Two lines in one segment, then one line in two pieces.
    ASSERT_EQ(gf_sendBytes(server.client, "Qs123=2000\r\nQs999=sendbuffer=5,6\n"), 33);
    ASSERT_TRUE(peer.waitForLineCount(2, kHangGuard));
    ASSERT_EQ(gf_sendBytes(server.client, "Qs999=send"), 10);
    ASSERT_TRUE(peer.waitForLineCount(2, kHangGuard));
    EXPECT_TRUE(tavo::test::eventually([&] { return peer.pendingText() == "Qs999=send"; })) << peer.pendingText();
    ASSERT_EQ(gf_sendBytes(server.client, "parked,1,2,3,4\r\n"), 16);
    ASSERT_TRUE(peer.waitForLineCount(3, kHangGuard));

    const std::vector<std::string> expected{"Qs123=2000\r\n", "Qs999=sendbuffer=5,6\n",
                                            "Qs999=sendparked,1,2,3,4\r\n"};
    EXPECT_EQ(peer.lines(), expected);
    EXPECT_EQ(peer.pendingText(), "");
    EXPECT_EQ(peer.versionRequests(), 0);
}

}  // namespace
