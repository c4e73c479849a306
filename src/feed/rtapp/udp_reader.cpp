#include "feed/rtapp/udp_reader.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>
#include <netinet/in.h>

#include "foundation/log.h"
#include "foundation/winsock.h"

namespace {

std::mutex l_configMutex;
RTAppUdpPorts l_ports;
RTAppUdpTiming l_udpTiming;

std::string lf_socketErrorText() { return gf_winsockErrorText(gf_socketError()); }

void lf_logOversize() noexcept {
    try {
        gf_logNoThrow(fmt::format("UDP datagram exceeds {} bytes; discarded", kMaxUdpDatagram));
    } catch (...) {
        // Formatting failed for lack of memory; the datagram is dropped anyway.
    }
}

}  // namespace

RTAppUdpPorts gf_rtAppUdpPorts() {
    std::lock_guard lock(l_configMutex);
    return l_ports;
}

void gf_setRTAppUdpPorts(RTAppUdpPorts ports) {
    std::lock_guard lock(l_configMutex);
    l_ports = ports;
}

RTAppUdpTiming gf_rtAppUdpTiming() {
    std::lock_guard lock(l_configMutex);
    return l_udpTiming;
}

void gf_setRTAppUdpTiming(RTAppUdpTiming timing) {
    std::lock_guard lock(l_configMutex);
    l_udpTiming = timing;
}

UdpReader::UdpReader(std::string_view name) : name_(name) {}

UdpReader::~UdpReader() { closeSocket(); }

void UdpReader::createSocket() {
    const Socket created = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (!created.valid())
        throw std::runtime_error(fmt::format("failed to create the socket, error: {}", lf_socketErrorText()));
    closeSocket();
    socket_ = created;
}

void UdpReader::bindToPort(std::uint16_t port) {
    if (!socket_.valid()) throw std::runtime_error("bindToPort: socket_ is INVALID_SOCKET");
    if (!gf_bindIPv4(socket_, port))
        throw std::runtime_error(fmt::format("bind failed, error: {}", lf_socketErrorText()));
    boundPort_.store(gf_localPort(socket_));
}

void UdpReader::closeSocket() {
    boundPort_.store(0);
    gf_closeSocket(socket_);
    socket_ = Socket{};
}

void UdpReader::clearDatagramState(bool clearStop) {
    datagram_ = {};
    previous_.clear();
    datagramCount_.store(0);
    lookedAtCount.store(0);
    if (clearStop) stop_.store(false);
}

bool UdpReader::takeReceived(std::string_view received) {
    if (received.empty()) return false;  // an empty datagram carries nothing and is not counted
    datagramCount_.fetch_add(1);
    // A datagram that filled the whole buffer may have been cut.
    if (received.size() > kMaxUdpDatagram) {
        lf_logOversize();
        return false;
    }
    // A repeat of the datagram handed on last costs one comparison.
    if (received.size() == previous_.size() && std::memcmp(received.data(), previous_.data(), received.size()) == 0)
        return false;
    previous_.assign(received.data(), received.size());
    datagram_ = previous_;
    onDatagram();
    return true;
}

void UdpReader::receive() {
    if (!socket_.valid()) throw std::runtime_error("receive: socket_ is INVALID_SOCKET");
    try {
        // The stop flag is deliberately left as it is: a stop set before the
        // loop starts must end it at once.
        if (!gf_setReceiveTimeout(socket_, gf_rtAppUdpTiming().receiveTimeout)) {
            throw std::runtime_error(fmt::format("setsockopt SO_RCVTIMEO failed, socket_={}, error={}", socket_.fd,
                                                 lf_socketErrorText()));
        }
        while (!stop_.load()) {
            const long received = gf_receiveDatagram(socket_, buffer_.data(), buffer_.size());
            if (received < 0) {
                const int error = gf_socketError();
                if (error == WSAEMSGSIZE) {
                    datagramCount_.fetch_add(1);
                    lf_logOversize();
                } else if (error != WSAEINTR && error != WSAEWOULDBLOCK && error != WSAETIMEDOUT) {
                    if (stop_.load()) break;  // the socket was taken away by a stop
                    throw std::runtime_error(fmt::format("receive error: {}", gf_winsockErrorText(error)));
                }
                onIdle();
                continue;
            }
            const auto length = std::min(static_cast<std::size_t>(received), buffer_.size());
            if (length < buffer_.size()) buffer_[length] = '\0';
            if (!takeReceived(std::string_view(buffer_.data(), length))) onIdle();
        }
    } catch (...) {
        onDisconnect();
        throw;
    }
    onDisconnect();
}
