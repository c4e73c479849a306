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

class RTAPITransport {
public:
    // Throws std::runtime_error "RTAPITransport curl_easy_init() failed" when
    // libcurl gives no handle.
    explicit RTAPITransport(std::size_t reserveBytes);
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
    std::size_t bufferCapacity() const { return response_.capacity(); }

private:
    struct CurlCleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    std::unique_ptr<CURL, CurlCleanup> handle_;
    std::string response_;
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
