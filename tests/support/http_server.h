#pragma once
// A general loopback HTTP server (plain HTTP on 127.0.0.1, a port of the
// system's choosing) for tests of downloads and other HTTP clients. Replies
// are scripted per method and path: whole bodies with any status, redirects,
// bodies that trickle in slowly, and bodies that stall part-way until the
// server stops. Every request is recorded. It stops when it goes out of scope.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace tavo::test {

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    std::vector<std::pair<std::string, std::string>> headers;
    // Send the body in pieces of chunkBytes with chunkDelay before each piece
    // (0: the whole body at once).
    std::size_t chunkBytes = 0;
    std::chrono::milliseconds chunkDelay{0};
    // Send only this many bytes of the body (its full length announced), then
    // nothing more until the client gives up or the server stops.
    std::size_t stallAfterBytes = static_cast<std::size_t>(-1);

    static HttpReply ok(std::string body);
    static HttpReply withStatus(int code, std::string body = {});
    static HttpReply notFound();
    static HttpReply redirect(const std::string& location, int code = 302);
    static HttpReply slow(std::string body, std::size_t chunkBytes, std::chrono::milliseconds delay);
    static HttpReply stalled(std::string body, std::size_t sendFirst);
};

struct HttpRequestRecord {
    std::string method;
    std::string path;
    std::string body;
    std::multimap<std::string, std::string> headers;
    // The first header of that name (case-insensitive), or "".
    std::string header(const std::string& name) const;
};

class LoopbackHttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequestRecord&)>;

    // Binds and starts listening at once; throws std::runtime_error when it
    // cannot.
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;
    // baseUrl() + path (path starts with '/').
    std::string url(const std::string& path) const;

    // The reply for every request of that method and path ("GET", "POST", ...).
    void setReply(const std::string& method, const std::string& path, HttpReply reply);
    void setHandler(const std::string& method, const std::string& path, Handler handler);
    // Unscripted requests get 404.

    std::vector<HttpRequestRecord> requests() const;
    std::size_t requestCount(const std::string& path) const;

    // Ends stalled and slow replies and stops the server (idempotent).
    void stop();

private:
    HttpReply replyFor(const HttpRequestRecord& request);
    bool waitUnlessStopping(std::chrono::milliseconds span) const;

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Handler> routes_;
    std::vector<HttpRequestRecord> requests_;
};

}  // namespace tavo::test
