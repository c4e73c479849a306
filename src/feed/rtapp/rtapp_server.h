#pragma once
// The TCP server the RealTraffic application connects to. The program only
// sends short "Qs" lines over it and reads one reply (to the version request);
// whatever else the application sends is read and dropped.
//
// One global instance, g_rtAppServer. Its calls come from the main thread
// (handshake), the engine (user position), the traffic reader (buffer
// request) and the GUI thread (closeAll on window close). The socket mutex
// guards only the two socket values and the connected flag and is never held
// across a blocking call; sending and receiving each have their own mutex.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/net/socket.h"

class RTAppServer {
public:
    RTAppServer() = default;
    // Closes both sockets.
    ~RTAppServer();
    RTAppServer(const RTAppServer&) = delete;
    RTAppServer& operator=(const RTAppServer&) = delete;

    // Opens the listening socket on the port text (any local address). Throws
    // std::runtime_error with the failing step's text; the socket is closed
    // again after a failure.
    void listen(const std::string& port);

    // Blocks until the application connects; true when a new client was taken
    // as the client socket. False when already connected, not listening, the
    // listening socket was closed meanwhile (closeAll from another thread ends
    // the wait) or anything failed. Never throws.
    bool waitForClient();

    // Sends the text in one send call; true when all of it went. A send error
    // closes the client.
    bool sendDataPacket(std::string_view text);

    // One received text. Waits at most `timeout` for something to read; silence
    // gives an empty text, as do an error, the peer closing and a text that
    // fills the whole 16384-byte buffer (it may be cut).
    std::string receive(std::chrono::milliseconds timeout);

    // Reads and drops everything the application has sent. Finding the peer
    // gone (end of stream, reset, abort) closes the client.
    void drainReceiveBuffer();

    Socket clientSocket() const;
    Socket listenSocket() const;
    bool connected() const;
    // The port the listening socket is bound to; 0 when not listening.
    std::uint16_t listenPort() const;

    // Closes the given socket when it is still the client socket; a socket
    // that was replaced meanwhile is left alone.
    void closeClient(Socket socket);
    // Closes the client and the listening socket. Any thread, any number of
    // times; a thread blocked in waitForClient or receive returns.
    void closeAll();

private:
    mutable std::mutex socketMutex_;
    std::mutex sendMutex_;
    std::mutex receiveMutex_;
    Socket client_;   // guarded by socketMutex_
    Socket listen_;   // guarded by socketMutex_
    bool connected_ = false;  // guarded by socketMutex_
};

// The receive buffer's size: a reply must be shorter to be taken.
inline constexpr std::size_t kRTAppReceiveBufferSize = 16384;

// The reply text of the bytes one receive gave (at most the buffer's size):
// the bytes themselves, or an empty text when there were none or they filled
// the whole buffer, since then the reply may have been cut ("receive: buffer
// overrun: {}" is logged with the count).
std::string gf_rtAppReplyText(std::string_view received);

extern RTAppServer g_rtAppServer;
