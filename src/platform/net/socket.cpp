#include "platform/net/socket.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

thread_local int t_socketError = 0;

// What the layer knows of one open descriptor. `users` counts the calls
// running on it; a descriptor asked to close stays open (shut down) until the
// last of them has returned, so its number cannot be handed to a new socket
// under a thread that still uses it.
struct Entry {
    std::uint64_t generation = 0;
    int users = 0;
    bool closing = false;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<int, Entry> entries;
    std::uint64_t lastGeneration = 0;
};

// Never destroyed: global objects that close sockets in their destructors
// (the link's server) may run after this file's statics are gone.
Registry& lf_registry() {
    static Registry* registry = new Registry;
    return *registry;
}

void lf_failWithErrno() noexcept { t_socketError = gf_winsockCodeFromErrno(errno); }

Socket lf_register(int fd) {
    Registry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    Entry entry;
    entry.generation = ++registry.lastGeneration;
    registry.entries[fd] = entry;
    return Socket{fd, entry.generation};
}

// Marks a call on the socket as running; false (WSAENOTSOCK) when the socket
// is not open any more (closed, closing, or its number now belongs to another
// socket).
bool lf_acquire(Socket socket) noexcept {
    if (!socket.valid()) {
        t_socketError = WSAENOTSOCK;
        return false;
    }
    Registry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.entries.find(socket.fd);
    if (it == registry.entries.end() || it->second.generation != socket.generation || it->second.closing) {
        t_socketError = WSAENOTSOCK;
        return false;
    }
    ++it->second.users;
    return true;
}

void lf_release(Socket socket) noexcept {
    Registry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.entries.find(socket.fd);
    if (it == registry.entries.end() || it->second.generation != socket.generation) return;
    if (--it->second.users == 0 && it->second.closing) {
        registry.entries.erase(it);
        ::close(socket.fd);
    }
}

// Runs one call with the socket marked as in use.
class InUse {
public:
    explicit InUse(Socket socket) : socket_(socket), held_(lf_acquire(socket)) {}
    ~InUse() {
        if (held_) lf_release(socket_);
    }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    explicit operator bool() const noexcept { return held_; }

private:
    Socket socket_;
    bool held_;
};

bool lf_setIntOption(Socket socket, int level, int name, int value) {
    InUse use(socket);
    if (!use) return false;
    if (::setsockopt(socket.fd, level, name, &value, sizeof value) != 0) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

bool lf_isNonBlocking(int fd) noexcept {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && (flags & O_NONBLOCK) != 0;
}

// A receive that found nothing: a blocking socket ran into its SO_RCVTIMEO,
// which Winsock reports as a time-out; a non-blocking one would have blocked.
void lf_failReceive(int fd) noexcept {
    const int saved = errno;
    if ((saved == EAGAIN || saved == EWOULDBLOCK) && !lf_isNonBlocking(fd)) {
        t_socketError = WSAETIMEDOUT;
    } else {
        t_socketError = gf_winsockCodeFromErrno(saved);
    }
}

sockaddr_in lf_ipv4Address(std::uint32_t hostAddress, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostAddress);
    return address;
}

}  // namespace

int gf_socketError() noexcept { return t_socketError; }

void gf_setSocketError(int code) noexcept { t_socketError = code; }

int gf_winsockCodeFromErrno(int errnoValue) noexcept {
    switch (errnoValue) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;  // a closed descriptor is "not a socket" to Winsock
    case EACCES: return WSAEACCES;
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: return WSAEMFILE;
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return WSAEWOULDBLOCK;
#endif
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    // Writing to a connection the peer has closed: Winsock reports a reset.
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS: return WSAENOBUFS;
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return errnoValue;
    }
}

int gf_winsockCodeFromAddrInfo(int eaiValue, int errnoValue) noexcept {
    switch (eaiValue) {
    case 0: return 0;
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS: return WSAEINVAL;
    case EAI_MEMORY: return WSA_NOT_ENOUGH_MEMORY;
    case EAI_SYSTEM: return gf_winsockCodeFromErrno(errnoValue);
    default: return eaiValue;
    }
}

int gf_resolvePassiveAddress(const std::string& port, int family, int type, int protocol,
                             ResolvedAddress& out) {
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = family;
    hints.ai_socktype = type;
    hints.ai_protocol = protocol;
    addrinfo* list = nullptr;
    const int result = ::getaddrinfo(nullptr, port.c_str(), &hints, &list);
    if (result != 0) return gf_winsockCodeFromAddrInfo(result, errno);
    if (list == nullptr) return WSANO_DATA;
    out.family = list->ai_family;
    out.type = list->ai_socktype;
    out.protocol = list->ai_protocol;
    out.length = list->ai_addrlen;
    std::memcpy(&out.address, list->ai_addr, list->ai_addrlen);
    ::freeaddrinfo(list);
    return 0;
}

Socket gf_openSocket(int family, int type, int protocol) {
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        lf_failWithErrno();
        return Socket{};
    }
    return lf_register(fd);
}

bool gf_setBlocking(Socket socket, bool blocking) {
    InUse use(socket);
    if (!use) return false;
    const int flags = ::fcntl(socket.fd, F_GETFL);
    if (flags == -1) {
        lf_failWithErrno();
        return false;
    }
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (wanted != flags && ::fcntl(socket.fd, F_SETFL, wanted) == -1) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

bool gf_setReuseAddress(Socket socket) { return lf_setIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1); }

bool gf_setNoDelay(Socket socket) { return lf_setIntOption(socket, IPPROTO_TCP, TCP_NODELAY, 1); }

bool gf_setReceiveTimeout(Socket socket, std::chrono::milliseconds timeout) {
    InUse use(socket);
    if (!use) return false;
    const long long ms = timeout.count() < 0 ? 0 : timeout.count();
    timeval value{};
    value.tv_sec = static_cast<time_t>(ms / 1000);
    value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    if (::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) != 0) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

bool gf_bindSocket(Socket socket, const ResolvedAddress& address) {
    InUse use(socket);
    if (!use) return false;
    if (::bind(socket.fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

bool gf_bindIPv4(Socket socket, std::uint16_t port, bool loopbackOnly) {
    InUse use(socket);
    if (!use) return false;
    const sockaddr_in address = lf_ipv4Address(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY, port);
    if (::bind(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

bool gf_listenSocket(Socket socket, int backlog) {
    InUse use(socket);
    if (!use) return false;
    if (::listen(socket.fd, backlog) != 0) {
        lf_failWithErrno();
        return false;
    }
    return true;
}

Socket gf_acceptSocket(Socket listening) {
    int fd = -1;
    {
        InUse use(listening);
        if (!use) return Socket{};
        do {
            fd = ::accept4(listening.fd, nullptr, nullptr, SOCK_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            // A listening socket shut down under a blocked accept gives EINVAL;
            // to the caller it is a socket that is gone.
            if (errno == EINVAL) {
                t_socketError = WSAEINTR;
            } else {
                lf_failWithErrno();
            }
            return Socket{};
        }
    }
    return lf_register(fd);
}

bool gf_connectLoopback(Socket socket, std::uint16_t port) {
    InUse use(socket);
    if (!use) return false;
    const sockaddr_in address = lf_ipv4Address(INADDR_LOOPBACK, port);
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        lf_failWithErrno();
        return false;
    }
    // With nobody listening on the port, the system may pick that very port
    // as the socket's own and connect it to itself: it then holds the port
    // the server was about to listen on, and talks to nobody. Refused, as
    // the connect would have been a moment earlier or later.
    if (gf_localPort(socket) == port) {
        t_socketError = WSAECONNREFUSED;
        return false;
    }
    return true;
}

long gf_sendBytes(Socket socket, std::string_view data) {
    InUse use(socket);
    if (!use) return -1;
    const ssize_t sent = ::send(socket.fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0) {
        lf_failWithErrno();
        return -1;
    }
    return static_cast<long>(sent);
}

long gf_receiveBytes(Socket socket, char* buffer, std::size_t capacity) {
    InUse use(socket);
    if (!use) return -1;
    const ssize_t received = ::recv(socket.fd, buffer, capacity, 0);
    if (received < 0) {
        lf_failReceive(socket.fd);
        return -1;
    }
    return static_cast<long>(received);
}

long gf_receiveDatagram(Socket socket, char* buffer, std::size_t capacity) {
    InUse use(socket);
    if (!use) return -1;
    // MSG_TRUNC makes recv give the datagram's real length, so one that did
    // not fit is told apart from one that filled the buffer exactly.
    const ssize_t received = ::recv(socket.fd, buffer, capacity, MSG_TRUNC);
    if (received < 0) {
        lf_failReceive(socket.fd);
        return -1;
    }
    if (static_cast<std::size_t>(received) > capacity) {
        t_socketError = WSAEMSGSIZE;
        return -1;
    }
    return static_cast<long>(received);
}

long gf_sendDatagramLoopback(Socket socket, std::string_view data, std::uint16_t port) {
    InUse use(socket);
    if (!use) return -1;
    const sockaddr_in address = lf_ipv4Address(INADDR_LOOPBACK, port);
    const ssize_t sent = ::sendto(socket.fd, data.data(), data.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (sent < 0) {
        lf_failWithErrno();
        return -1;
    }
    return static_cast<long>(sent);
}

long gf_unreadBytes(Socket socket) {
    InUse use(socket);
    if (!use) return -1;
    int count = 0;
    if (::ioctl(socket.fd, FIONREAD, &count) != 0) {
        lf_failWithErrno();
        return -1;
    }
    return count;
}

int gf_waitReadable(Socket socket, std::chrono::milliseconds timeout) {
    InUse use(socket);
    if (!use) return -1;
    pollfd entry{};
    entry.fd = socket.fd;
    entry.events = POLLIN;
    const long long ms = timeout.count();
    const int wait = ms <= 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
    const int result = ::poll(&entry, 1, wait);
    if (result < 0) {
        lf_failWithErrno();
        return -1;
    }
    if (result == 0) return 0;
    if ((entry.revents & POLLNVAL) != 0) {
        t_socketError = WSAENOTSOCK;
        return -1;
    }
    return 1;
}

std::uint16_t gf_localPort(Socket socket) {
    InUse use(socket);
    if (!use) return 0;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        lf_failWithErrno();
        return 0;
    }
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

void gf_closeSocket(Socket socket) noexcept {
    if (!socket.valid()) return;
    Registry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.entries.find(socket.fd);
    if (it == registry.entries.end() || it->second.generation != socket.generation || it->second.closing) return;
    it->second.closing = true;
    // Shutting down wakes a thread blocked in accept or recv on this socket;
    // closing alone would leave it blocked on Linux.
    ::shutdown(socket.fd, SHUT_RDWR);
    if (it->second.users == 0) {
        registry.entries.erase(it);
        ::close(socket.fd);
    }
}

std::size_t gf_openSocketCount() noexcept {
    Registry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    return registry.entries.size();
}
