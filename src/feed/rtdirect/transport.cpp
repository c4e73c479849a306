#include "feed/rtdirect/transport.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>

namespace {

constexpr const char* noHandleText = "RTAPITransport curl_easy_init() failed";

// libcurl's write function: appends the (already decoded) body bytes. Returning
// anything but the byte count makes libcurl end the transfer with a write error,
// which is what we want when the buffer cannot or must not grow. No exception
// may cross back into libcurl.
extern "C" size_t lf_onRTAPIWrite(char* data, size_t size, size_t count, void* user) noexcept {
    if (user == nullptr) {
        return 0;
    }
    auto* sink = static_cast<RTAPITransport::Sink*>(user);
    size_t bytes = 0;
    if (__builtin_mul_overflow(size, count, &bytes)) {
        return 0;
    }
    if (bytes > sink->maxBytes - sink->buffer->size()) {
        sink->overLimit = true;
        return 0;
    }
    try {
        sink->buffer->append(data, bytes);
    } catch (...) {  // std::bad_alloc or std::length_error
        return 0;
    }
    return bytes;
}

// libcurl's transfer-info function, called at least once a second while a
// transfer runs (also while it stalls). A non-zero result aborts the transfer;
// a reader that is told to stop thus leaves a hanging request promptly instead
// of waiting for its time-out.
extern "C" int lf_onRTAPIProgress(void* user, curl_off_t, curl_off_t, curl_off_t,
                                  curl_off_t) noexcept {
    if (user == nullptr) {
        return 0;
    }
    return static_cast<const std::atomic<bool>*>(user)->load(std::memory_order_relaxed) ? 1 : 0;
}

CURL* lf_newHandle() {
    CURL* handle = curl_easy_init();
    if (handle == nullptr) {
        throw std::runtime_error(noHandleText);
    }
    return handle;
}

// Sets one option; on refusal gives the error that ends the request.
template <typename Value>
std::optional<RTAPITransportError> lf_setOption(CURL* handle, CURLoption option, const char* name,
                                                Value value) {
    const CURLcode code = curl_easy_setopt(handle, option, value);
    if (code == CURLE_OK) {
        return std::nullopt;
    }
    return RTAPITransportError{static_cast<std::uint32_t>(code),
                               fmt::format("failed to set {}: {}", name, curl_easy_strerror(code))};
}

}  // namespace

std::string gf_rtApiReplyTooLargeText(std::size_t maxReplyBytes) {
    return fmt::format("reply larger than {} bytes, not read", maxReplyBytes);
}

RTAPITransport::RTAPITransport(std::size_t reserveBytes, std::size_t maxReplyBytes)
    : handle_(lf_newHandle()), reserveBytes_(reserveBytes), maxReplyBytes_(maxReplyBytes) {
    response_.reserve(reserveBytes);
    sink_.buffer = &response_;
    sink_.maxBytes = maxReplyBytes_;
}

void RTAPITransport::resetHandle() {
    // The new handle first, so a failure leaves no half-swapped state: the
    // transport then has no handle at all and says so on every request.
    CURL* fresh = curl_easy_init();
    handle_.reset(fresh);
    if (fresh == nullptr) {
        throw std::runtime_error(noHandleText);
    }
    response_.clear();
}

RTAPITransportResult RTAPITransport::perform(std::string_view url, const std::string& postFields,
                                             const RTAPIOptions& options,
                                             const std::atomic<bool>* abortFlag) {
    if (!handle_) {
        throw std::runtime_error(noHandleText);
    }
    CURL* handle = handle_.get();
    if (response_.capacity() > reserveBytes_) {
        // A large reply's buffer is not kept for the rest of the run.
        std::string().swap(response_);
        response_.reserve(reserveBytes_);
    }
    response_.clear();
    sink_.overLimit = false;
    // Nothing of an earlier request carries over; the connection cache stays.
    curl_easy_reset(handle);

    const std::string urlText(url);
    std::optional<RTAPITransportError> refused;
    auto set = [&](CURLoption option, const char* name, auto value) {
        if (!refused) {
            refused = lf_setOption(handle, option, name, value);
        }
    };
    set(CURLOPT_URL, "CURLOPT_URL", urlText.c_str());
    set(CURLOPT_ACCEPT_ENCODING, "CURLOPT_ACCEPT_ENCODING", "deflate,gzip");
    // The fields make every request a POST, even an empty one (length 0).
    set(CURLOPT_POSTFIELDS, "CURLOPT_POSTFIELDS", postFields.c_str());
    set(CURLOPT_POSTFIELDSIZE_LARGE, "CURLOPT_POSTFIELDSIZE_LARGE",
        static_cast<curl_off_t>(postFields.size()));
    set(CURLOPT_WRITEFUNCTION, "CURLOPT_WRITEFUNCTION", &lf_onRTAPIWrite);
    set(CURLOPT_WRITEDATA, "CURLOPT_WRITEDATA", static_cast<void*>(&sink_));
    if (options.connectTimeoutSeconds > 0) {
        set(CURLOPT_CONNECTTIMEOUT, "CURLOPT_CONNECTTIMEOUT",
            static_cast<long>(options.connectTimeoutSeconds));
    }
    if (options.totalTimeoutSeconds > 0) {
        set(CURLOPT_TIMEOUT, "CURLOPT_TIMEOUT", static_cast<long>(options.totalTimeoutSeconds));
    }
    if (abortFlag != nullptr) {
        set(CURLOPT_XFERINFOFUNCTION, "CURLOPT_XFERINFOFUNCTION", &lf_onRTAPIProgress);
        // libcurl hands the pointer back unchanged; the callback only reads it.
        set(CURLOPT_XFERINFODATA, "CURLOPT_XFERINFODATA",
            static_cast<void*>(const_cast<std::atomic<bool>*>(abortFlag)));
        set(CURLOPT_NOPROGRESS, "CURLOPT_NOPROGRESS", 0L);
    }
    if (options.freshConnection) {
        set(CURLOPT_FORBID_REUSE, "CURLOPT_FORBID_REUSE", 1L);
        set(CURLOPT_FRESH_CONNECT, "CURLOPT_FRESH_CONNECT", 1L);
    }
    if (refused) {
        return std::move(*refused);
    }

    const CURLcode performed = curl_easy_perform(handle);
    if (sink_.overLimit) {
        response_.clear();
        return RTAPITransportError{static_cast<std::uint32_t>(CURLE_WRITE_ERROR),
                                   gf_rtApiReplyTooLargeText(maxReplyBytes_)};
    }
    if (performed != CURLE_OK) {
        return RTAPITransportError{
            static_cast<std::uint32_t>(performed),
            fmt::format("{}: {}", "curl_easy_perform", curl_easy_strerror(performed))};
    }
    long status = 0;
    const CURLcode info = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (info != CURLE_OK) {
        return RTAPITransportError{static_cast<std::uint32_t>(info),
                                   fmt::format("{}: {}", "curl_easy_getinfo(CURLINFO_RESPONSE_CODE)",
                                               curl_easy_strerror(info))};
    }
    // HTTP statuses are three digits; anything libcurl could not read stays 0.
    const std::uint32_t httpStatus =
        (status > 0 && status <= 999) ? static_cast<std::uint32_t>(status) : 0U;
    return RTAPIRawReply{httpStatus, std::string_view(response_)};
}

void gf_initCurlGlobal() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK) {
        throw std::runtime_error(
            fmt::format("curl_global_init failed: {}", curl_easy_strerror(result)));
    }
}

std::string gf_rtApiBaseUrl() {
    const char* override = std::getenv("TAVO_RT_API_URL");
    std::string url = (override != nullptr && *override != '\0') ? std::string(override)
                                                                  : std::string(rtApiDefaultBaseUrl);
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

std::string gf_rtApiUrl(std::string_view path) { return gf_rtApiBaseUrl().append(path); }
