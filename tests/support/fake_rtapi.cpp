#include "support/fake_rtapi.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include <fmt/format.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace tavo::test {

namespace {

bool lf_equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int lf_hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string lf_decodeFormText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && lf_hexValue(text[i + 1]) >= 0 && lf_hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(lf_hexValue(text[i + 1]) * 16 + lf_hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

FakeReply lf_notFound() {
    FakeReply reply;
    reply.httpStatus = 404;
    reply.contentType = "text/html";
    reply.body =
        "<!DOCTYPE html><html><head><title>404 Not Found</title></head>"
        "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body></html>";
    return reply;
}

}  // namespace

std::string ReceivedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (lf_equalNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

std::string ReceivedRequest::field(std::string_view name) const {
    const auto it = form.find(std::string(name));
    return it == form.end() ? std::string() : it->second;
}

std::multimap<std::string, std::string> FakeRtApi::parseForm(std::string_view body) {
    std::multimap<std::string, std::string> fields;
    std::size_t start = 0;
    while (start <= body.size() && !body.empty()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        const std::string_view pair = body.substr(start, end - start);
        if (!pair.empty()) {
            const std::size_t eq = pair.find('=');
            if (eq == std::string_view::npos) {
                fields.emplace(lf_decodeFormText(pair), std::string());
            } else {
                fields.emplace(lf_decodeFormText(pair.substr(0, eq)),
                               lf_decodeFormText(pair.substr(eq + 1)));
            }
        }
        if (end == body.size()) {
            break;
        }
        start = end + 1;
    }
    return fields;
}

std::string FakeRtApi::envelope(int status, std::string_view message, const nlohmann::json& data,
                                const nlohmann::json& extra) {
    nlohmann::json reply = nlohmann::json::object();
    reply["status"] = status;
    reply["message"] = std::string(message);
    reply["data"] = data;
    if (extra.is_object()) {
        for (const auto& [key, value] : extra.items()) {
            reply[key] = value;
        }
    }
    return reply.dump();
}

std::string FakeRtApi::authReply(std::string_view guid, int rrl, int wrrl, int type,
                                 std::int64_t expiry, std::string_view server) {
    nlohmann::json reply = nlohmann::json::object();
    reply["status"] = 200;
    reply["message"] = "Authenticated";
    reply["GUID"] = std::string(guid);
    reply["server"] = std::string(server);
    reply["rrl"] = rrl;
    reply["wrrl"] = wrrl;
    reply["type"] = type;
    reply["expiry"] = expiry;
    return reply.dump();
}

FakeReply FakeRtApi::json(std::string body, int httpStatus) {
    FakeReply reply;
    reply.httpStatus = httpStatus;
    reply.body = std::move(body);
    return reply;
}

FakeRtApi::FakeRtApi() : server_(std::make_unique<httplib::Server>()) {
    // Answers a plain session, empty traffic and one METAR unless a test
    // scripts something else.
    defaults_["/v6/auth"] = json(authReply("f4ce0000-0000-4000-8000-000000000001"));
    defaults_["/v6/deauth"] =
        json(envelope(200, "Deauthenticated", nullptr, {{"server", "fake-rtapi"}}));
    defaults_["/v6/traffic"] = json(envelope(200, "OK", nlohmann::json::object(), {{"rrl", 2000}}));
    defaults_["/v6/nearestmetar"] = json(envelope(
        200, "OK",
        nlohmann::json::array({{{"ICAO", "EDDF"},
                                {"METAR", "EDDF 121020Z 24008KT 9999 FEW030 12/06 Q1013 NOSIG"}}})));

    server_->set_keep_alive_max_count(1000);
    // A worker waits this long for the next request on an idle kept-alive
    // connection, and the fake's destructor waits for its workers: keep it
    // short so a fake goes away promptly while a client still holds a
    // connection open.
    server_->set_keep_alive_timeout(1);
    // Replies go out as a header write and a body write; without TCP_NODELAY
    // the second waits for the client's delayed ACK (about 40 ms) on every
    // reused connection. Accepted sockets inherit it from the listening one.
    server_->set_socket_options([](socket_t sock) {
        httplib::default_socket_options(sock);
        int on = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    });
    server_->Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        ReceivedRequest request;
        request.method = req.method;
        request.path = req.path;
        request.body = req.body;
        request.form = parseForm(req.body);
        for (const auto& [key, value] : req.headers) {
            request.headers.emplace(key, value);
        }
        request.remotePort = req.remote_port;
        {
            std::lock_guard lock(mutex_);
            received_.push_back(request);
        }
        changed_.notify_all();
        FakeReply reply = choose(request);
        answer(request, std::move(reply), &res);
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("FakeRtApi: cannot bind a loopback port");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() does nothing until the accept loop runs, so a fake destroyed at
    // once would wait for ever: return only once the loop is up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            server_->stop();
            thread_.detach();
            throw std::runtime_error("FakeRtApi: the server did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeRtApi::~FakeRtApi() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string FakeRtApi::baseUrl() const { return fmt::format("http://127.0.0.1:{}", port_); }

std::string FakeRtApi::url(std::string_view path) const {
    return baseUrl().append(path);
}

void FakeRtApi::queueReply(std::string_view path, FakeReply reply) {
    std::lock_guard lock(mutex_);
    queued_[std::string(path)].push_back(std::move(reply));
}

void FakeRtApi::setHandler(std::string_view path,
                           std::function<FakeReply(const ReceivedRequest&)> handler) {
    std::lock_guard lock(mutex_);
    handlers_[std::string(path)] = std::move(handler);
}

void FakeRtApi::setDefaultReply(std::string_view path, FakeReply reply) {
    std::lock_guard lock(mutex_);
    defaults_[std::string(path)] = std::move(reply);
}

FakeReply FakeRtApi::choose(const ReceivedRequest& request) {
    std::function<FakeReply(const ReceivedRequest&)> handler;
    {
        std::lock_guard lock(mutex_);
        if (auto it = queued_.find(request.path); it != queued_.end() && !it->second.empty()) {
            FakeReply reply = std::move(it->second.front());
            it->second.pop_front();
            return reply;
        }
        if (auto it = handlers_.find(request.path); it != handlers_.end() && it->second) {
            handler = it->second;
        } else if (auto def = defaults_.find(request.path); def != defaults_.end()) {
            return def->second;
        } else {
            return lf_notFound();
        }
    }
    // Outside the lock, so a handler may use the fake itself.
    return handler(request);
}

void FakeRtApi::answer(const ReceivedRequest&, FakeReply reply, void* response) {
    auto& res = *static_cast<httplib::Response*>(response);
    {
        std::unique_lock lock(mutex_);
        if (reply.delay.count() > 0) {
            changed_.wait_for(lock, reply.delay, [this] { return stopping_; });
        }
        if (reply.stall && !released_ && !stopping_) {
            ++stalled_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_ || stopping_; });
            --stalled_;
            changed_.notify_all();
        }
        if (stopping_) {
            res.status = 503;
            return;
        }
    }
    res.status = reply.httpStatus;
    if (reply.trickle.count() <= 0 || reply.body.empty()) {
        res.set_content(reply.body, reply.contentType.c_str());
        return;
    }
    const std::size_t piece = std::max<std::size_t>(1, reply.trickleBytes);
    auto body = std::make_shared<std::string>(std::move(reply.body));
    const auto pause = reply.trickle;
    res.set_content_provider(
        body->size(), reply.contentType.c_str(),
        [this, body, piece, pause](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            {
                std::unique_lock lock(mutex_);
                if (changed_.wait_for(lock, pause, [this] { return stopping_; })) {
                    return false;
                }
            }
            const std::size_t count = std::min(piece, body->size() - offset);
            return sink.write(body->data() + offset, count);
        });
}

void FakeRtApi::releaseStalled() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

int FakeRtApi::stalledCount() const {
    std::lock_guard lock(mutex_);
    return stalled_;
}

bool FakeRtApi::waitForStalled(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return stalled_ >= count; });
}

std::vector<ReceivedRequest> FakeRtApi::requests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<ReceivedRequest> FakeRtApi::requests(std::string_view path) const {
    std::lock_guard lock(mutex_);
    std::vector<ReceivedRequest> matching;
    for (const auto& request : received_) {
        if (request.path == path) {
            matching.push_back(request);
        }
    }
    return matching;
}

std::size_t FakeRtApi::requestCount(std::string_view path) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        received_.begin(), received_.end(), [&](const auto& r) { return r.path == path; }));
}

bool FakeRtApi::waitForRequests(std::string_view path, std::size_t count,
                                std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(),
                                                      [&](const auto& r) { return r.path == path; })) >=
               count;
    });
}

}  // namespace tavo::test
