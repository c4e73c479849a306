#include "feed/rtapp/udp_reader.h"

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
RTAppUdpTiming l_timing;

std::string lf_lastErrorText() { return gf_winsockErrorText(gf_socketError()); }

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
    return l_timing;
}

void gf_setRTAppUdpTiming(RTAppUdpTiming timing) {
    std::lock_guard lock(l_configMutex);
    l_timing = timing;
}

UdpReader::UdpReader(std::string_view name) : name_(name) {}

UdpReader::~UdpReader() { closeSocket(); }

void UdpReader::createSocket() {
    const Socket created = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (!created.valid())
        throw std::runtime_error(fmt::format("failed to create the socket, error: {}", lf_lastErrorText()));
    closeSocket();
    socket_ = created;
}

void UdpReader::bindToPort(std::uint16_t port) {
    if (!socket_.valid()) throw std::runtime_error("bindToPort: socket_ is INVALID_SOCKET");
    if (!gf_bindIPv4(socket_, port))
        throw std::runtime_error(fmt::format("bind failed, error: {}", lf_lastErrorText()));
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

void UdpReader::receive() {
    if (!socket_.valid()) throw std::runtime_error("receive: socket_ is INVALID_SOCKET");
    try {
        // The stop flag is deliberately left as it is: a stop set before the
        // loop starts must end it at once.
        if (!gf_setReceiveTimeout(socket_, gf_rtAppUdpTiming().receiveTimeout)) {
            throw std::runtime_error(fmt::format("setsockopt SO_RCVTIMEO failed, socket_={}, error={}", socket_.fd,
                                                 lf_lastErrorText()));
        }
        while (!stop_.load()) {
            const long received = gf_receiveDatagram(socket_, buffer_.data(), buffer_.size());
            if (received == 0) continue;  // an empty datagram carries nothing and is not counted
            if (received < 0) {
                const int error = gf_socketError();
                if (error == WSAEINTR || error == WSAEWOULDBLOCK || error == WSAETIMEDOUT) continue;
                if (error == WSAEMSGSIZE) {
                    datagramCount_.fetch_add(1);
                    lf_logOversize();
                    continue;
                }
                if (stop_.load()) break;  // the socket was taken away by a stop
                throw std::runtime_error(fmt::format("receive error: {}", gf_winsockErrorText(error)));
            }
            datagramCount_.fetch_add(1);
            const auto length = static_cast<std::size_t>(received);
            // A datagram that filled the whole buffer may have been cut.
            if (length > kMaxUdpDatagram) {
                lf_logOversize();
                continue;
            }
            buffer_[length] = '\0';
            // A repeat of the datagram handed on last costs one comparison.
            if (length == previous_.size() && std::memcmp(buffer_.data(), previous_.data(), length) == 0) continue;
            previous_.assign(buffer_.data(), length);
            datagram_ = previous_;
            onDatagram();
        }
    } catch (...) {
        onDisconnect();
        throw;
    }
    onDisconnect();
}
