#include "support/http_server.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include <httplib.h>

namespace tavo::test {

HttpReply HttpReply::ok(std::string body) {
    HttpReply r;
    r.body = std::move(body);
    return r;
}

HttpReply HttpReply::withStatus(int code, std::string body) {
    HttpReply r;
    r.status = code;
    r.body = std::move(body);
    r.contentType = "text/html";
    return r;
}

HttpReply HttpReply::notFound() { return withStatus(404, "<html><body>Not Found</body></html>"); }

HttpReply HttpReply::redirect(const std::string& location, int code) {
    HttpReply r = withStatus(code, "<html><body>Moved</body></html>");
    r.headers.emplace_back("Location", location);
    return r;
}

HttpReply HttpReply::slow(std::string body, std::size_t chunkBytes, std::chrono::milliseconds delay) {
    HttpReply r = ok(std::move(body));
    r.chunkBytes = std::max<std::size_t>(1, chunkBytes);
    r.chunkDelay = delay;
    return r;
}

HttpReply HttpReply::stalled(std::string body, std::size_t sendFirst) {
    HttpReply r = ok(std::move(body));
    r.stallAfterBytes = std::min(sendFirst, r.body.size());
    return r;
}

std::string HttpRequestRecord::header(const std::string& name) const {
    const auto same = [](const std::string& a, const std::string& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
               });
    };
    for (const auto& [key, value] : headers) {
        if (same(key, name)) return value;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer() : server_(std::make_unique<httplib::Server>()) {
    const auto handle = [this](const httplib::Request& req, httplib::Response& res) {
        HttpRequestRecord record;
        record.method = req.method;
        record.path = req.path;
        record.body = req.body;
        for (const auto& [key, value] : req.headers) {
            record.headers.emplace(key, value);
        }
        HttpReply reply = replyFor(record);
        res.status = reply.status;
        for (const auto& [key, value] : reply.headers) {
            res.set_header(key, value);
        }
        // An empty body has no pieces: a streamed reply of length 0 would
        // never end.
        const bool streamed =
            !reply.body.empty() && (reply.chunkBytes != 0 || reply.stallAfterBytes < reply.body.size());
        if (!streamed) {
            res.set_content(reply.body, reply.contentType.c_str());
            return;
        }
        auto shared = std::make_shared<HttpReply>(std::move(reply));
        res.set_content_provider(
            shared->body.size(), shared->contentType.c_str(),
            [this, shared](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset >= shared->stallAfterBytes) {
                    // Hold the connection open without a byte until the client
                    // gives up or the server stops.
                    while (!stopping_.load() && sink.is_writable()) {
                        waitUnlessStopping(std::chrono::milliseconds(10));
                    }
                    return false;
                }
                if (shared->chunkDelay.count() > 0 && !waitUnlessStopping(shared->chunkDelay)) {
                    return false;
                }
                std::size_t n = std::min(length, shared->stallAfterBytes - offset);
                if (shared->chunkBytes != 0) n = std::min(n, shared->chunkBytes);
                return sink.write(shared->body.data() + offset, n);
            });
    };
    for (const char* pattern : {".*"}) {
        server_->Get(pattern, handle);
        server_->Post(pattern, handle);
        server_->Put(pattern, handle);
        server_->Delete(pattern, handle);
    }
    server_->set_keep_alive_max_count(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("LoopbackHttpServer: cannot bind to 127.0.0.1");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // Ready once the listen loop runs; connections made before that would
    // still be accepted from the backlog, but stop() must not race the start.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            throw std::runtime_error("LoopbackHttpServer: the listen loop did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackHttpServer::~LoopbackHttpServer() { stop(); }

void LoopbackHttpServer::stop() {
    stopping_.store(true);
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string LoopbackHttpServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string LoopbackHttpServer::url(const std::string& path) const { return baseUrl() + path; }

void LoopbackHttpServer::setReply(const std::string& method, const std::string& path, HttpReply reply) {
    setHandler(method, path, [reply](const HttpRequestRecord&) { return reply; });
}

void LoopbackHttpServer::setHandler(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[{method, path}] = std::move(handler);
}

std::vector<HttpRequestRecord> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackHttpServer::requestCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                  [&](const HttpRequestRecord& r) { return r.path == path; }));
}

HttpReply LoopbackHttpServer::replyFor(const HttpRequestRecord& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        const auto it = routes_.find({request.method, request.path});
        if (it != routes_.end()) handler = it->second;
    }
    return handler ? handler(request) : HttpReply::notFound();
}

bool LoopbackHttpServer::waitUnlessStopping(std::chrono::milliseconds span) const {
    const auto until = std::chrono::steady_clock::now() + span;
    while (!stopping_.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(5)));
    }
    return false;
}

}  // namespace tavo::test
