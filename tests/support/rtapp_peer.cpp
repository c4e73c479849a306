#include "support/rtapp_peer.h"

#include <array>

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
        const long received = gf_receiveBytes(socket, buffer.data(), buffer.size());
        if (received <= 0) {
            std::lock_guard lock(mutex_);
            serverClosed_ = true;
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

std::vector<std::string> RTAppPeer::linesStartingWith(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const std::string& line : lines_) {
        if (lf_startsWith(line, prefix)) result.push_back(line);
    }
    return result;
}

bool RTAppPeer::waitForServerClose(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return serverClosed_; });
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

}  // namespace tavo::test
