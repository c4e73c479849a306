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
// application sends traffic (49005) and weather (49004) lines; sendLines sends
// a whole set (a live batch, buffer segments, a parked set), one line per
// datagram. The free functions below build the lines.

#include <atomic>
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

// The 44 fields of an RTTFC line (tag first) of an airborne B738 "KLM1234",
// at the position given and the time given (seconds since 1970). Tests change
// single fields by index before joining them.
std::vector<std::string> rtTrafficFields(std::uint32_t hexid = 4735190, double lat = 52.0 + 10.0 / 60.0,
                                         double lon = 4.0, double timestamp = 1704067200.0);
// The 9 fields of an RTPARK line: hexadecimal hexid, position, callsign, type,
// registration, stand, time.
std::vector<std::string> rtParkedFields(std::string_view hexid = "4840D6", std::string_view stand = "D4",
                                        std::string_view callsign = "KLM1234", double timestamp = 1704067200.0);
// The fields joined with ",".
std::string rtJoin(const std::vector<std::string>& fields);
// One RTTFC (or, with tag, RTBUF) line from rtTrafficFields.
std::string rtTrafficLine(std::uint32_t hexid, std::string_view tag = "RTTFC", double timestamp = 1704067200.0);
// A weather datagram {"METAR":"<metar>"}.
std::string rtWeatherDatagram(std::string_view metar);

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
    // How many lines were received so far (without copying them).
    std::size_t lineCount() const;
    // The lines received after the first `first` ones.
    std::vector<std::string> linesFrom(std::size_t first) const;
    // Bytes received after the last "\n" (a line not finished yet).
    std::string pendingText() const;
    // Waits until a line starting with the prefix has arrived; the first such line.
    std::optional<std::string> waitForLine(std::string_view prefix,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until at least n lines have arrived.
    bool waitForLineCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until the program closed the connection (end of stream or reset).
    bool waitForServerClose(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Version requests answered so far.
    int versionRequests() const;
    // Waits until every byte the program had sent before the call is in
    // lines() (or pendingText()): a test on a fake clock looks at the lines
    // only once the reader has caught up. True at once without a connection;
    // false when the reader did not catch up in time.
    bool waitCaughtUp(std::chrono::milliseconds timeout) const;

    // One UDP datagram to 127.0.0.1:port; false when it could not be sent.
    bool sendDatagram(std::uint16_t port, std::string_view datagram);
    // Each line as a datagram of its own, in order; false when one failed.
    bool sendLines(std::uint16_t port, const std::vector<std::string>& lines);

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
    // The reader waits for bytes to arrive (it has handled all it read).
    std::atomic<bool> waitingForBytes_{false};
};

}  // namespace tavo::test
