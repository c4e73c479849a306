#pragma once
// The one piece of the RealTraffic web-API client that talks to the network:
// synchronous form-encoded POSTs on one libcurl easy handle, the reply body
// collected in a buffer the transport owns. It knows nothing of the API's JSON.
//
// A transport is used by one thread at a time; only the abort flag is written
// by other threads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include <curl/curl.h>

// Per-request settings. A time-out of 0 or less is not set on the handle, so
// libcurl's own default applies.
struct RTAPIOptions {
    std::int32_t connectTimeoutSeconds = 0;
    std::int32_t totalTimeoutSeconds = 0;
    // Neither reuse a cached connection nor leave this one for reuse.
    bool freshConnection = false;
};

// A completed transfer. The status is not judged: a 404 with a body is a reply.
// `body` views the transport's own buffer and stays valid until the next
// request on the same transport (or its destruction).
struct RTAPIRawReply {
    std::uint32_t httpStatus = 0;  // 0 when libcurl reports none
    std::string_view body;
};

// A transfer that failed: libcurl's result code and a message naming the step.
struct RTAPITransportError {
    std::uint32_t code = 0;
    std::string message;
};

using RTAPITransportResult = std::variant<RTAPIRawReply, RTAPITransportError>;

// The largest reply body (after decompression) a transport takes: far above
// the largest real reply, so that a server that never stops sending, or a
// compressed reply that expands without end, fails the request instead of
// growing the buffer until memory runs out.
inline constexpr std::size_t rtApiMaxReplyBytes = 64 * 1024 * 1024;

// The error text of a reply over the limit.
std::string gf_rtApiReplyTooLargeText(std::size_t maxReplyBytes);

class RTAPITransport {
public:
    // Throws std::runtime_error "RTAPITransport curl_easy_init() failed" when
    // libcurl gives no handle. A reply body longer than maxReplyBytes fails the
    // request (CURLE_WRITE_ERROR, gf_rtApiReplyTooLargeText); a buffer that
    // grew past its reserve for a large reply is given back before the next
    // request.
    explicit RTAPITransport(std::size_t reserveBytes, std::size_t maxReplyBytes = rtApiMaxReplyBytes);
    RTAPITransport(const RTAPITransport&) = delete;
    RTAPITransport& operator=(const RTAPITransport&) = delete;
    ~RTAPITransport() = default;

    // Swaps in a new easy handle (new connections from now on): the new handle
    // is taken first, then the old one is released. Without a new handle the
    // transport is left with none and the same runtime error is thrown; every
    // later perform throws it too until a reset succeeds.
    void resetHandle();

    // One POST of `postFields` (sent in place, so it must outlive the call) to
    // `url`. With `abortFlag` given, the transfer is abandoned at libcurl's next
    // progress call (at least once a second) after the flag turns true.
    // Throws only when the transport holds no handle.
    RTAPITransportResult perform(std::string_view url, const std::string& postFields,
                                 const RTAPIOptions& options, const std::atomic<bool>* abortFlag);

    bool hasHandle() const { return handle_ != nullptr; }

    // What libcurl's write function is handed: the buffer, its limit, and
    // whether the reply went over it.
    struct Sink {
        std::string* buffer = nullptr;
        std::size_t maxBytes = 0;
        bool overLimit = false;
    };
    std::size_t bufferCapacity() const { return response_.capacity(); }

private:
    struct CurlCleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    std::unique_ptr<CURL, CurlCleanup> handle_;
    std::string response_;
    std::size_t reserveBytes_;
    std::size_t maxReplyBytes_;
    Sink sink_;
};

// libcurl's process-wide set-up. Must run once before any thread starts (main
// calls it first; tests call it in their set-up). Later calls do nothing.
// Throws std::runtime_error when libcurl cannot be initialised.
void gf_initCurlGlobal();

// The base URL of the RealTraffic web API: the environment variable
// TAVO_RT_API_URL when it is set and not empty, else the program's constant.
// Any trailing '/' is dropped, so paths such as "/v6/auth" can be appended.
std::string gf_rtApiBaseUrl();
// The base URL followed by `path`.
std::string gf_rtApiUrl(std::string_view path);

// The RealTraffic web API host used when no override is given. The service's
// address is configured per installation through TAVO_RT_API_URL; this
// placeholder never resolves, so a missing configuration fails visibly.
inline constexpr std::string_view rtApiDefaultBaseUrl = "https://rtapi.realtraffic.example";
