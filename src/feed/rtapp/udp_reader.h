#pragma once
// The common receive loop of the two RT App UDP readers (traffic on 49005,
// weather on 49004). The base owns the socket, drops oversize and repeated
// datagrams, counts every datagram and watches its stop flag; a derived
// reader decides what a datagram means.
//
// The stop flag is only ever set by the close-down and cleared by a reset
// (before the reader's thread starts, or after it was joined): the loop itself
// never clears it, so a stop set before the loop starts is still seen.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net/socket.h"

// The largest datagram a reader handles; one byte more may have been cut.
inline constexpr std::size_t kMaxUdpDatagram = 16384;

// The ports the RT App sends to. Tests choose their own; port 0 binds any
// free port (see UdpReader::boundPort).
struct RTAppUdpPorts {
    std::uint16_t traffic = 49005;
    std::uint16_t weather = 49004;
};
RTAppUdpPorts gf_rtAppUdpPorts();
void gf_setRTAppUdpPorts(RTAppUdpPorts ports);

// How long a receive waits before the stop flag is looked at again, and how
// the QNH reader waits before binding anew after an error.
struct RTAppUdpTiming {
    std::chrono::milliseconds receiveTimeout{1000};
    std::chrono::milliseconds reconnectWait{2000};
    std::chrono::milliseconds reconnectStep{100};
};
RTAppUdpTiming gf_rtAppUdpTiming();
void gf_setRTAppUdpTiming(RTAppUdpTiming timing);

class UdpReader {
public:
    explicit UdpReader(std::string_view name);
    // Closes the socket when one is open.
    virtual ~UdpReader();
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // "Traffic Reader" or "QNH Reader", used in every message of the thread.
    const std::string& name() const { return name_; }

    // Opens a new UDP socket (an old one is closed). Throws std::runtime_error
    // "failed to create the socket, error: {}".
    void createSocket();
    // Binds to any local address and the port. Throws "bindToPort: socket_ is
    // INVALID_SOCKET" or "bind failed, error: {}".
    void bindToPort(std::uint16_t port);
    void closeSocket();

    // The receive loop: returns once the stop flag is seen (within the
    // receive time-out); any exception calls onDisconnect once and passes on.
    void receive();

    // The close-down's request to end the loop; any thread.
    void requestStop() noexcept { stop_.store(true); }
    bool stopRequested() const noexcept { return stop_.load(); }

    // Every datagram received, discarded ones included; any thread.
    std::uint32_t datagramCount() const noexcept { return datagramCount_.load(); }
    // The main loop's count at its previous look (it shows the reader idle
    // when the count has not moved since).
    std::atomic<std::uint32_t> lookedAtCount{0};

    // The port the socket is bound to; 0 while none is. Any thread.
    std::uint16_t boundPort() const noexcept { return boundPort_.load(); }

    // What the loop does with the bytes of one receive (at most
    // kMaxUdpDatagram + 1): an empty datagram is passed over; any other is
    // counted, and handed to onDatagram unless it may have been cut or
    // repeats the datagram handed on last. True when it was handed on.
    // Reader thread, or while the loop does not run.
    bool takeReceived(std::string_view received);

protected:
    // Handles the current datagram (datagram_).
    virtual void onDatagram() = 0;
    // Called on each turn of the loop that handed no datagram on (a receive
    // time-out among them, so at least once per time-out while the sender is
    // silent): room for work that must not wait for the next datagram.
    virtual void onIdle() {}
    // Called once when the receive loop ends, normally or by an exception.
    virtual void onDisconnect() = 0;

    // Forgets the current and previous datagram and zeroes both counts, so
    // the next datagram is never taken for a repeat. The stop flag is cleared
    // too when asked. Only while the reader's thread does not run.
    void clearDatagramState(bool clearStop);

    // The datagram being handled: a view into previous_.
    std::string_view datagram_;

private:
    std::string name_;
    std::array<char, kMaxUdpDatagram + 1> buffer_{};
    std::string previous_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> datagramCount_{0};
    std::atomic<std::uint16_t> boundPort_{0};
    Socket socket_;
};
