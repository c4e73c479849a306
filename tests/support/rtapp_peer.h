#pragma once
// A stand-in for the RealTraffic application, for loopback tests of the link.
//
// TCP side: connects to the program's port, answers "Qs999=version" with a
// reply chosen by the test, records every line the program sends (lines may
// arrive coalesced in one segment or split over several; they are split at
// "\n" and kept with their line end), and can send raw bytes or close at any
// moment.
//
// UDP side: sendDatagram sends one datagram to a loopback port, the way the
// application sends traffic (49005) and weather (49004) lines; helpers for
// whole traffic, buffer and parked sets belong on top of it.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/net/socket.h"

namespace tavo::test {

// How the peer answers the version request.
enum class VersionReply {
    Professional,  // {"level":2,"version":<version>}
    Standard,      // {"version":<version>} (no level)
    NotJson,       // a text that is no JSON at all
    EmptyObject,   // {}
    Silent,        // no answer; the connection stays open
    Custom,        // the custom text, sent as it is in one piece
    Close,         // closes the connection instead of answering
};

struct RTAppPeerOptions {
    VersionReply reply = VersionReply::Professional;
    std::string version = "10.0.280";
    std::string customReply;
};

// A port on which nothing listens at the moment (bound once and released).
std::uint16_t freeTcpPort();

class RTAppPeer {
public:
    explicit RTAppPeer(RTAppPeerOptions options = {});
    explicit RTAppPeer(VersionReply reply, std::string version = "10.0.280", std::string customReply = {});
    ~RTAppPeer();
    RTAppPeer(const RTAppPeer&) = delete;
    RTAppPeer& operator=(const RTAppPeer&) = delete;

    // Connects to 127.0.0.1:port, retrying while nothing listens yet, and
    // starts reading. False when no connection came about within the time.
    bool connect(std::uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Closes the connection (the program sees the peer gone) and stops reading.
    void close();

    // Sends raw bytes over the TCP connection; false when that failed.
    bool sendRaw(std::string_view bytes);

    // Every line received so far, each with its line end ("\r\n" or "\n").
    std::vector<std::string> lines() const;
    // Bytes received after the last "\n" (a line not finished yet).
    std::string pendingText() const;
    // Waits until a line starting with the prefix has arrived; the first such line.
    std::optional<std::string> waitForLine(std::string_view prefix,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until at least n lines have arrived.
    bool waitForLineCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Lines starting with the prefix, in order of arrival.
    std::vector<std::string> linesStartingWith(std::string_view prefix) const;
    // Waits until the program closed the connection (end of stream or reset).
    bool waitForServerClose(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Version requests answered so far.
    int versionRequests() const;

    // One UDP datagram to 127.0.0.1:port; false when it could not be sent.
    bool sendDatagram(std::uint16_t port, std::string_view datagram);

private:
    void readLoop();
    void answerVersion();

    RTAppPeerOptions options_;
    Socket tcp_;
    Socket udp_;
    std::thread reader_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::string pending_;
    bool serverClosed_ = false;
    int versionRequests_ = 0;
};

}  // namespace tavo::test
