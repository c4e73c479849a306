#include "feed/rtapp/rtapp_server.h"

#include <stdexcept>
#include <vector>

#include <fmt/format.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/winsock.h"
#include "services/stop.h"

RTAppServer g_rtAppServer;

namespace {

// What requestStop(USER CLOSED SIM) calls so that a main thread blocked in
// waitForClient returns when the window is closed.
void lf_closeGlobalServer() { g_rtAppServer.closeAll(); }

std::string lf_lastErrorText() { return gf_winsockErrorText(gf_socketError()); }

// A drain reads at most this many buffers at a time, so a peer that sends
// without pause cannot keep the caller (the engine) in it; the next drain
// reads on.
constexpr int kMaxDrainReads = 64;

}  // namespace

RTAppServer::~RTAppServer() { closeAll(); }

void RTAppServer::listen(const std::string& port) {
    std::lock_guard lock(socketMutex_);
    // A listening socket left from an earlier listen would hold the port.
    gf_closeSocket(listen_);
    listen_ = Socket{};
    ResolvedAddress address;
    const int resolved = gf_resolvePassiveAddress(port, AF_INET, SOCK_STREAM, IPPROTO_TCP, address);
    if (resolved != 0) throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", resolved));

    const Socket socket = gf_openSocket(address.family, address.type, address.protocol);
    if (!socket.valid()) throw std::runtime_error("socket failed with error " + lf_lastErrorText());

    auto fail = [&](const std::string& text) {
        gf_closeSocket(socket);
        throw std::runtime_error(text);
    };
    if (!gf_setBlocking(socket, true)) fail("ioctlsocket failed with error " + lf_lastErrorText());
    if (!gf_setReuseAddress(socket)) fail("setsockopt(SO_REUSEADDR) failed");
    if (!gf_bindSocket(socket, address))
        fail("Bind failed at port " + port + " with error " + lf_lastErrorText());
    if (!gf_listenSocket(socket, SOMAXCONN)) fail("listen failed with error " + lf_lastErrorText());

    listen_ = socket;
    gf_setRTAppServerCloser(&lf_closeGlobalServer);
}

bool RTAppServer::waitForClient() {
    try {
        Socket listening;
        {
            std::lock_guard lock(socketMutex_);
            if (connected_) return false;
            listening = listen_;
        }
        if (!listening.valid()) return false;

        const Socket client = gf_acceptSocket(listening);
        if (!client.valid()) return false;

        if (!gf_setNoDelay(client)) {
            const std::string error = lf_lastErrorText();
            gf_closeSocket(client);
            throw std::runtime_error(fmt::format("{} setsockopt failed with error {}", gf_utcTimeText(), error));
        }

        {
            std::lock_guard lock(socketMutex_);
            // The listening socket was closed or replaced while accept waited:
            // this connection belongs to no server any more. The generation
            // tells a replacement apart even when it got the same number.
            if (listen_ == listening && !connected_) {
                client_ = client;
                connected_ = true;
                return true;
            }
        }
        gf_closeSocket(client);
        return false;
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("waitForClient interrupted: {}", e.what()));
        return false;
    }
}

bool RTAppServer::sendDataPacket(std::string_view text) {
    std::lock_guard lock(sendMutex_);
    const Socket client = clientSocket();
    if (!client.valid()) return false;
    const long sent = gf_sendBytes(client, text);
    if (sent < 0) {
        gf_logNoThrow(fmt::format("sendDataPacket to RealTraffic failed: {}", lf_lastErrorText()));
        closeClient(client);
        gf_logNoThrow("RealTraffic client socket closed");
        return false;
    }
    return static_cast<std::size_t>(sent) == text.size();
}

std::string RTAppServer::receive(std::chrono::milliseconds timeout) {
    std::lock_guard lock(receiveMutex_);
    const Socket client = clientSocket();
    if (!client.valid()) return {};

    // Bounded: an application that never answers must not hold the caller.
    const int ready = gf_waitReadable(client, timeout);
    if (ready == 0) return {};
    if (ready < 0) {
        gf_logNoThrow(fmt::format("receive: {}", lf_lastErrorText()));
        return {};
    }

    std::vector<char> buffer(kRTAppReceiveBufferSize, '\0');
    const long received = gf_receiveBytes(client, buffer.data(), buffer.size());
    if (received < 0) {
        gf_logNoThrow(fmt::format("receive: {}", lf_lastErrorText()));
        return {};
    }
    return gf_rtAppReplyText(std::string_view(buffer.data(), static_cast<std::size_t>(received)));
}

std::string gf_rtAppReplyText(std::string_view received) {
    if (received.size() >= kRTAppReceiveBufferSize) {
        gf_logNoThrow(fmt::format("receive: buffer overrun: {}", received.size()));
        return {};
    }
    return std::string(received);
}

void RTAppServer::drainReceiveBuffer() {
    std::lock_guard lock(receiveMutex_);
    const Socket client = clientSocket();
    if (!client.valid()) return;

    std::vector<char> buffer(kRTAppReceiveBufferSize);
    for (int reads = 0; reads < kMaxDrainReads; ++reads) {
        const int ready = gf_waitReadable(client, std::chrono::milliseconds(0));
        if (ready < 0) {
            if (gf_socketError() == WSAEWOULDBLOCK) return;
            gf_logNoThrow(fmt::format("drainReceiveBuffer select error: {}", lf_lastErrorText()));
            return;
        }
        if (ready == 0) return;

        const long received = gf_receiveBytes(client, buffer.data(), buffer.size());
        if (received > 0) continue;
        if (received == 0) {
            closeClient(client);
            return;
        }
        const int error = gf_socketError();
        if (error == WSAEWOULDBLOCK) return;
        if (error != WSAECONNABORTED && error != WSAECONNRESET) {
            gf_logNoThrow(fmt::format("drainReceiveBuffer recv error: {}", lf_lastErrorText()));
        }
        closeClient(client);
        return;
    }
}

Socket RTAppServer::clientSocket() const {
    std::lock_guard lock(socketMutex_);
    return client_;
}

Socket RTAppServer::listenSocket() const {
    std::lock_guard lock(socketMutex_);
    return listen_;
}

bool RTAppServer::connected() const {
    std::lock_guard lock(socketMutex_);
    return connected_;
}

std::uint16_t RTAppServer::listenPort() const { return gf_localPort(listenSocket()); }

void RTAppServer::closeClient(Socket socket) {
    {
        std::lock_guard lock(socketMutex_);
        if (!socket.valid() || !(client_ == socket)) return;
        client_ = Socket{};
        connected_ = false;
    }
    gf_closeSocket(socket);
}

void RTAppServer::closeAll() {
    Socket client;
    Socket listening;
    {
        std::lock_guard lock(socketMutex_);
        client = client_;
        listening = listen_;
        client_ = Socket{};
        listen_ = Socket{};
        connected_ = false;
    }
    gf_closeSocket(client);
    gf_closeSocket(listening);
}
