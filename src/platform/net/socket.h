#pragma once
// The few socket calls the RealTraffic link makes, over POSIX sockets.
//
// Errors are reported as Winsock numbers (10035, 10053, 10054, ...) through
// gf_socketError(), because that is what the link's callers branch on and
// what its log lines show. Every call that fails sets the calling thread's
// error; a call that succeeds leaves it alone.
//
// A Socket is a descriptor together with a generation number. Linux hands a
// closed descriptor's number to the next socket at once, so comparing numbers
// alone cannot tell "still the socket I took" from "a new one in its place";
// the generation can. Closing goes through gf_closeSocket only: it shuts the
// socket down first (so a thread blocked in accept or recv on it wakes) and
// releases the descriptor once no call on it is still running, so a number
// is never reused under a thread that still works with it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>

// Winsock error numbers that the callers test or that the mapping produces.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;

// A socket: its descriptor and the generation it was opened with. The default
// value is "no socket".
struct Socket {
    int fd = -1;
    std::uint64_t generation = 0;

    bool valid() const noexcept { return fd >= 0; }
    friend bool operator==(const Socket&, const Socket&) = default;
};

// The Winsock number of the calling thread's last failed socket call.
int gf_socketError() noexcept;
// Sets the calling thread's socket error (the layer itself and tests).
void gf_setSocketError(int code) noexcept;

// errno value -> Winsock number; a value without a Winsock twin is returned
// unchanged (its text then reads "Unknown errror code").
int gf_winsockCodeFromErrno(int errnoValue) noexcept;
// getaddrinfo result -> Winsock number (EAI_SYSTEM takes errno).
int gf_winsockCodeFromAddrInfo(int eaiValue, int errnoValue) noexcept;

// The first address getaddrinfo gives, copied out (the list itself is freed).
struct ResolvedAddress {
    int family = 0;
    int type = 0;
    int protocol = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
};

// getaddrinfo with no host, the port text and hints AI_PASSIVE and the given
// family, type and protocol. 0 on success, else the Winsock number.
int gf_resolvePassiveAddress(const std::string& port, int family, int type, int protocol,
                             ResolvedAddress& out);

// A new socket, or an invalid one (error set).
Socket gf_openSocket(int family, int type, int protocol);
// Blocking (true) or non-blocking (false) mode.
bool gf_setBlocking(Socket socket, bool blocking);
// SO_REUSEADDR with the 4-byte value 1.
bool gf_setReuseAddress(Socket socket);
// TCP_NODELAY on. Linux insists on an int-sized value (a one-byte value is
// refused with EINVAL), so the value is always an int.
bool gf_setNoDelay(Socket socket);
// SO_RCVTIMEO: a blocking receive gives up after the time with WSAETIMEDOUT.
// A time of 0 waits for ever.
bool gf_setReceiveTimeout(Socket socket, std::chrono::milliseconds timeout);

bool gf_bindSocket(Socket socket, const ResolvedAddress& address);
// Binds to INADDR_ANY (or 127.0.0.1 when loopbackOnly) and the port; port 0
// takes any free port (see gf_localPort).
bool gf_bindIPv4(Socket socket, std::uint16_t port, bool loopbackOnly = false);
bool gf_listenSocket(Socket socket, int backlog);
// Blocks until a client connects; an invalid socket (error set) when the
// listening socket is closed meanwhile or the accept fails.
Socket gf_acceptSocket(Socket listening);
// Connects to 127.0.0.1 and the port (blocking). A socket the system
// connected to itself (its own port is the one asked for, nobody listening)
// is refused (WSAECONNREFUSED): close it and try again.
bool gf_connectLoopback(Socket socket, std::uint16_t port);

// One send call (MSG_NOSIGNAL: a peer that went away gives an error, never
// SIGPIPE). The count sent, or -1 (error set).
long gf_sendBytes(Socket socket, std::string_view data);
// One recv call: the count received (0 = the peer closed), or -1 (error set).
// A receive time-out gives -1 with WSAETIMEDOUT on a blocking socket and
// WSAEWOULDBLOCK on a non-blocking one.
long gf_receiveBytes(Socket socket, char* buffer, std::size_t capacity);
// One datagram: its length, or -1 (error set). A datagram longer than the
// buffer is consumed and reported as WSAEMSGSIZE, as Winsock does.
long gf_receiveDatagram(Socket socket, char* buffer, std::size_t capacity);
// One datagram to 127.0.0.1 and the port: the count sent, or -1.
long gf_sendDatagramLoopback(Socket socket, std::string_view data, std::uint16_t port);

// Waits until the socket is readable (data, end of stream or an error to
// collect): 1 readable, 0 time-out, -1 error (error set). A time-out of 0
// only looks.
int gf_waitReadable(Socket socket, std::chrono::milliseconds timeout);
// Bytes received and not read yet; -1 (error set) when the socket is not
// open or the count cannot be had.
long gf_unreadBytes(Socket socket);
// The local port the socket is bound to; 0 when it has none.
std::uint16_t gf_localPort(Socket socket);

// Shuts the socket down and closes it: a call blocked on it returns at once;
// the descriptor is released when the last such call has returned. A socket
// that was closed already (or never opened) is left alone, so closing twice
// is harmless even when the number has been reused meanwhile.
void gf_closeSocket(Socket socket) noexcept;
// Sockets opened and not yet closed (tests look for leaks).
std::size_t gf_openSocketCount() noexcept;
