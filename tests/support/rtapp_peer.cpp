#include "support/rtapp_peer.h"

#include <array>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <netinet/in.h>

namespace tavo::test {

namespace {

bool lf_startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::uint16_t freeTcpPort() {
    const Socket probe = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (!probe.valid()) return 0;
    std::uint16_t port = 0;
    if (gf_bindIPv4(probe, 0)) port = gf_localPort(probe);
    gf_closeSocket(probe);
    return port;
}

std::vector<std::string> rtTrafficFields(std::uint32_t hexid, double lat, double lon, double timestamp) {
    std::vector<std::string> f(44);
    f[0] = "RTTFC";
    f[1] = std::to_string(hexid);
    f[2] = fmt::format("{:.6f}", lat);
    f[3] = fmt::format("{:.6f}", lon);
    f[4] = "5000";     // altitude
    f[5] = "500";      // vertical speed
    f[7] = "90";       // track
    f[8] = "250";      // ground speed
    f[9] = "KLM1234";  // callsign
    f[10] = "B738";
    f[11] = "PH-BXA";
    f[12] = "AMS";
    f[13] = "LHR";
    f[14] = fmt::format("{:.2f}", timestamp);
    f[17] = "adsb";
    f[20] = "260";  // true airspeed
    f[23] = "0";    // roll
    f[25] = "95";   // true heading, read only with "adsb_icao"
    f[28] = "A3";
    f[43] = "KLM";
    return f;
}

std::vector<std::string> rtParkedFields(std::string_view hexid, std::string_view stand, std::string_view callsign,
                                        double timestamp) {
    return {"RTPARK",          std::string(hexid), "52.310000", "4.760000", std::string(callsign), "B738",
            "PH-BXB",          std::string(stand), fmt::format("{:.1f}", timestamp)};
}

std::string rtJoin(const std::vector<std::string>& fields) { return fmt::format("{}", fmt::join(fields, ",")); }

std::string rtTrafficLine(std::uint32_t hexid, std::string_view tag, double timestamp) {
    auto fields = rtTrafficFields(hexid, 52.0 + 10.0 / 60.0, 4.0, timestamp);
    fields[0] = std::string(tag);
    return rtJoin(fields);
}

std::string rtWeatherDatagram(std::string_view metar) {
    return nlohmann::json{{"METAR", std::string(metar)}}.dump();
}

RTAppPeer::RTAppPeer(RTAppPeerOptions options) : options_(std::move(options)) {}

RTAppPeer::RTAppPeer(VersionReply reply, std::string version, std::string customReply)
    : RTAppPeer(RTAppPeerOptions{reply, std::move(version), std::move(customReply)}) {}

RTAppPeer::~RTAppPeer() {
    close();
    gf_closeSocket(udp_);
}

bool RTAppPeer::connect(std::uint16_t port, std::chrono::milliseconds timeout) {
    close();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const Socket socket = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (!socket.valid()) return false;
        if (gf_connectLoopback(socket, port)) {
            {
                std::lock_guard lock(mutex_);
                tcp_ = socket;
                serverClosed_ = false;
            }
            reader_ = std::thread([this] { readLoop(); });
            return true;
        }
        gf_closeSocket(socket);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RTAppPeer::close() {
    Socket socket;
    {
        std::lock_guard lock(mutex_);
        socket = tcp_;
        tcp_ = Socket{};
    }
    // Shutting the socket down wakes the reader blocked in recv.
    gf_closeSocket(socket);
    if (reader_.joinable()) reader_.join();
}

bool RTAppPeer::sendRaw(std::string_view bytes) {
    Socket socket;
    {
        std::lock_guard lock(mutex_);
        socket = tcp_;
    }
    return gf_sendBytes(socket, bytes) == static_cast<long>(bytes.size());
}

void RTAppPeer::answerVersion() {
    std::string reply;
    switch (options_.reply) {
    case VersionReply::Professional:
        reply = "{\"level\":2,\"version\":\"" + options_.version + "\"}";
        break;
    case VersionReply::Standard:
        reply = "{\"version\":\"" + options_.version + "\"}";
        break;
    case VersionReply::NotJson:
        reply = "RealTraffic here, no JSON today";
        break;
    case VersionReply::EmptyObject:
        reply = "{}";
        break;
    case VersionReply::Silent:
        return;
    case VersionReply::Custom:
        reply = options_.customReply;
        break;
    case VersionReply::Close: {
        Socket socket;
        {
            std::lock_guard lock(mutex_);
            socket = tcp_;
        }
        gf_closeSocket(socket);
        return;
    }
    }
    sendRaw(reply);
}

void RTAppPeer::readLoop() {
    Socket socket;
    {
        std::lock_guard lock(mutex_);
        socket = tcp_;
    }
    std::array<char, 4096> buffer{};
    while (true) {
        // Set only once the bytes read before are handled: while it stays
        // set and the socket holds nothing unread, lines() is complete.
        waitingForBytes_.store(true);
        const int readable = gf_waitReadable(socket, std::chrono::hours(1));
        waitingForBytes_.store(false);
        if (readable == 0) continue;
        const long received = readable < 0 ? -1 : gf_receiveBytes(socket, buffer.data(), buffer.size());
        if (received <= 0) {
            std::lock_guard lock(mutex_);
            serverClosed_ = true;
            // Nothing more is read: what was read is all there is.
            waitingForBytes_.store(true);
            changed_.notify_all();
            return;
        }
        bool versionAsked = false;
        {
            std::lock_guard lock(mutex_);
            pending_.append(buffer.data(), static_cast<std::size_t>(received));
            std::size_t end;
            while ((end = pending_.find('\n')) != std::string::npos) {
                std::string line = pending_.substr(0, end + 1);
                pending_.erase(0, end + 1);
                if (line == "Qs999=version\r\n") {
                    ++versionRequests_;
                    versionAsked = true;
                }
                lines_.push_back(std::move(line));
            }
            changed_.notify_all();
        }
        if (versionAsked) answerVersion();
    }
}

std::vector<std::string> RTAppPeer::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::size_t RTAppPeer::lineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<std::string> RTAppPeer::linesFrom(std::size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= lines_.size()) return {};
    return {lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.end()};
}

std::string RTAppPeer::pendingText() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

std::optional<std::string> RTAppPeer::waitForLine(std::string_view prefix, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, timeout, [&] {
        for (const std::string& line : lines_) {
            if (lf_startsWith(line, prefix)) {
                found = line;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool RTAppPeer::waitForLineCount(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= n; });
}

bool RTAppPeer::waitForServerClose(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return serverClosed_; });
}

bool RTAppPeer::waitCaughtUp(std::chrono::milliseconds timeout) const {
    Socket socket;
    {
        std::lock_guard lock(mutex_);
        socket = tcp_;
    }
    if (!socket.valid()) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        // Unread bytes first, then the reader's wait: bytes read before the
        // look were handled before the reader began to wait again, and while
        // it waits it reads nothing.
        const long unread = gf_unreadBytes(socket);
        if (unread < 0) return true;  // closed: nothing more comes
        if (unread == 0 && waitingForBytes_.load()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

int RTAppPeer::versionRequests() const {
    std::lock_guard lock(mutex_);
    return versionRequests_;
}

bool RTAppPeer::sendDatagram(std::uint16_t port, std::string_view datagram) {
    if (!udp_.valid()) udp_ = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (!udp_.valid()) return false;
    return gf_sendDatagramLoopback(udp_, datagram, port) == static_cast<long>(datagram.size());
}

bool RTAppPeer::sendLines(std::uint16_t port, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!sendDatagram(port, line)) return false;
    }
    return true;
}

}  // namespace tavo::test
