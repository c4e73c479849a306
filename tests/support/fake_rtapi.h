#pragma once
// A stand-in for the RealTraffic web API on loopback (plain HTTP on
// 127.0.0.1, a port of the system's choosing). It answers POSTs to any path
// from a script, records every request it received, and can answer slowly or
// not at all. Start one per test; it stops when it goes out of scope.
//
// How a reply is chosen for a request to PATH, first match wins:
//   1. the oldest reply queued for PATH with queueReply (used once);
//   2. the handler set for PATH with setHandler (called for every request);
//   3. the default reply of PATH (setDefaultReply, or the built-in ones for
//      "/v6/auth", "/v6/deauth", "/v6/traffic" and "/v6/nearestmetar");
//   4. HTTP 404 with a small HTML page.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace httplib {
class Server;
}

namespace tavo::test {

// One scripted answer.
struct FakeReply {
    int httpStatus = 200;
    std::string body;
    std::string contentType = "application/json";
    // Wait this long before answering (cut short when the server stops).
    std::chrono::milliseconds delay{0};
    // Hold the request without answering until releaseStalled() or the server
    // stops; then answer as scripted (a stopping server just closes).
    bool stall = false;
    // Send the body in pieces of `trickleBytes` with this pause before each
    // piece (a slow reply). 0 sends it at once.
    std::chrono::milliseconds trickle{0};
    std::size_t trickleBytes = 16;
};

// One request as the server saw it.
struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string body;                            // raw, as sent
    std::multimap<std::string, std::string> form;  // body decoded as a form
    std::multimap<std::string, std::string> headers;  // names as sent
    int remotePort = -1;  // the client's port: equal ports = reused connection

    // The first header of that name (case-insensitive), or "".
    std::string header(std::string_view name) const;
    // The first form field of that name, or "".
    std::string field(std::string_view name) const;
};

class FakeRtApi {
public:
    FakeRtApi();
    ~FakeRtApi();
    FakeRtApi(const FakeRtApi&) = delete;
    FakeRtApi& operator=(const FakeRtApi&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>", the value for TAVO_RT_API_URL.
    std::string baseUrl() const;
    // baseUrl() followed by the path.
    std::string url(std::string_view path) const;

    void queueReply(std::string_view path, FakeReply reply);
    void setHandler(std::string_view path, std::function<FakeReply(const ReceivedRequest&)> handler);
    void setDefaultReply(std::string_view path, FakeReply reply);

    // Lets every held request answer, and those that arrive later too.
    void releaseStalled();
    // Requests being held right now.
    int stalledCount() const;
    // Waits until `count` requests are held; false after `timeout`.
    bool waitForStalled(int count, std::chrono::milliseconds timeout) const;

    // Every request so far, in order of arrival (recorded when it arrives,
    // before any delay or stall).
    std::vector<ReceivedRequest> requests() const;
    std::vector<ReceivedRequest> requests(std::string_view path) const;
    std::size_t requestCount(std::string_view path) const;
    // Waits until `count` requests to `path` have arrived; false after `timeout`.
    bool waitForRequests(std::string_view path, std::size_t count,
                         std::chrono::milliseconds timeout) const;

    // The envelope every answer of the web API has: {"status","message","data"}
    // and any further members given in `extra` (an object).
    static std::string envelope(int status, std::string_view message,
                                const nlohmann::json& data = nullptr,
                                const nlohmann::json& extra = nlohmann::json::object());
    // A successful login reply with the session members.
    static std::string authReply(std::string_view guid, int rrl = 2000, int wrrl = 2000,
                                 int type = 1, std::int64_t expiry = 0,
                                 std::string_view server = "fake-rtapi");
    // A FakeReply of HTTP 200 carrying `body`.
    static FakeReply json(std::string body, int httpStatus = 200);

    // Decodes an application/x-www-form-urlencoded body ('+' is a blank,
    // %XX a byte; a malformed escape is kept as it stands).
    static std::multimap<std::string, std::string> parseForm(std::string_view body);

private:
    FakeReply choose(const ReceivedRequest& request);
    void answer(const ReceivedRequest& request, FakeReply reply, void* response);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::deque<FakeReply>, std::less<>> queued_;
    std::map<std::string, std::function<FakeReply(const ReceivedRequest&)>, std::less<>> handlers_;
    std::map<std::string, FakeReply, std::less<>> defaults_;
    std::vector<ReceivedRequest> received_;
    int stalled_ = 0;
    bool released_ = false;
    bool stopping_ = false;
};

}  // namespace tavo::test
