#include "feed/rtdirect/session.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "feed/credential.h"
#include "foundation/log.h"

namespace {

using nlohmann::json;

// A message about an unreadable reply quotes at most this much of it.
constexpr std::size_t kQuotedBodyBytes = 256;

std::string_view lf_quote(std::string_view body) { return body.substr(0, std::min(body.size(), kQuotedBodyBytes)); }

// The member `key` of an object, or nullptr.
const json* lf_member(const json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// The API status of a reply: 100 unless "status" is an integer in 0..2^31-1.
// A status is never negative; a negative one counts as none rather than as a
// huge unsigned number.
std::uint32_t lf_apiStatus(const json& reply) {
    const json* status = lf_member(reply, "status");
    if (status == nullptr) return 100;
    const std::int32_t value = gf_jsonInt32Or(*status, -1);
    return value < 0 ? 100U : static_cast<std::uint32_t>(value);
}

// An integer member as a signed 64-bit number; unsigned values beyond the
// signed range saturate. Nothing for other types.
std::optional<std::int64_t> lf_jsonInt64(const json& value) {
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(u);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    return std::nullopt;
}

// The JSON object that answers a log-in or log-out named `what`, or the error
// for a failed transfer, an empty answer or one that is no JSON object.
std::variant<json, RTAPIStatusError> lf_replyObject(const RTAPITransportResult& result, std::string_view what) {
    if (const auto* error = std::get_if<RTAPITransportError>(&result))
        return RTAPIStatusError{100, fmt::format("{} failed: {}", what, error->message)};
    const std::string_view text = std::get<RTAPIRawReply>(result).body;
    if (text.empty()) return RTAPIStatusError{100, fmt::format("{}: empty response", what)};
    json reply = gf_parseJsonNoThrow(text);
    if (!reply.is_object()) return RTAPIStatusError{100, fmt::format("{}: invalid JSON: {}", what, lf_quote(text))};
    return reply;
}

// Clears the connection's session when it goes out of scope.
class SessionDropGuard {
public:
    explicit SessionDropGuard(RTAPIConnection& connection) : connection_(connection) {}
    ~SessionDropGuard() { connection_.clearSession(); }
    SessionDropGuard(const SessionDropGuard&) = delete;
    SessionDropGuard& operator=(const SessionDropGuard&) = delete;

private:
    RTAPIConnection& connection_;
};

}  // namespace

std::uint32_t gf_clampRTAPIInterval(std::int64_t ms) {
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(ms, rtApiIntervalMinMs, rtApiIntervalMaxMs));
}

std::string gf_formEncode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '.' || byte == '_' || byte == '~' ||
                           byte == '-';
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

json gf_parseJsonNoThrow(std::string_view text) { return json::parse(text, nullptr, false); }

std::int32_t gf_jsonInt32Or(const json& value, std::int32_t fallback) {
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        return u < 2147483648ULL ? static_cast<std::int32_t>(u) : fallback;
    }
    if (value.is_number_integer()) {
        const auto i = value.get<std::int64_t>();
        return i >= std::numeric_limits<std::int32_t>::min() && i <= std::numeric_limits<std::int32_t>::max()
                   ? static_cast<std::int32_t>(i)
                   : fallback;
    }
    return fallback;
}

std::string_view gf_jsonStringOrEmpty(const json& value) {
    if (!value.is_string()) return {};
    return value.get_ref<const std::string&>();
}

// ---------------------------------------------------------------------------

RTAPIConnection::RTAPIConnection(std::size_t reserveBytes) : transport_(reserveBytes) {}

std::variant<RTAPISession, RTAPIStatusError> gf_readRTAPIAuthReply(const RTAPITransportResult& result) {
    auto answer = lf_replyObject(result, "Authentication");
    if (auto* error = std::get_if<RTAPIStatusError>(&answer)) return std::move(*error);
    const json& reply = std::get<json>(answer);

    // The HTTP status plays no part: a valid envelope speaks for itself.
    const std::uint32_t status = lf_apiStatus(reply);
    if (status != 200) {
        const json* message = lf_member(reply, "message");
        return RTAPIStatusError{status, message ? std::string(gf_jsonStringOrEmpty(*message)) : std::string()};
    }
    const json* guid = lf_member(reply, "GUID");
    const std::string_view guidText = guid ? gf_jsonStringOrEmpty(*guid) : std::string_view();
    if (guidText.empty()) return RTAPIStatusError{100, "Authentication succeeded without a GUID"};

    RTAPISession session;
    session.guid = guidText;
    if (const json* server = lf_member(reply, "server")) session.server = gf_jsonStringOrEmpty(*server);
    if (const json* rrl = lf_member(reply, "rrl"))
        session.rrl = gf_clampRTAPIInterval(gf_jsonInt32Or(*rrl, static_cast<std::int32_t>(session.rrl)));
    if (const json* wrrl = lf_member(reply, "wrrl"))
        session.wrrl = gf_clampRTAPIInterval(gf_jsonInt32Or(*wrrl, static_cast<std::int32_t>(session.wrrl)));
    if (const json* type = lf_member(reply, "type"))
        session.type = static_cast<std::uint32_t>(gf_jsonInt32Or(*type, static_cast<std::int32_t>(session.type)));
    if (const json* expiry = lf_member(reply, "expiry"))
        if (auto value = lf_jsonInt64(*expiry)) session.expiry = *value;
    return session;
}

RTAPIDeauthResult gf_readRTAPIDeauthReply(const RTAPITransportResult& result) {
    auto answer = lf_replyObject(result, "Deauthentication");
    if (auto* error = std::get_if<RTAPIStatusError>(&answer)) return std::move(*error);
    const json& reply = std::get<json>(answer);
    const std::uint32_t status = lf_apiStatus(reply);
    if (status != 200) return RTAPIStatusError{status, "Deauthentication failed"};

    RTAPIDeauthReply done;
    if (const json* message = lf_member(reply, "message")) done.message = gf_jsonStringOrEmpty(*message);
    if (const json* server = lf_member(reply, "server")) done.server = gf_jsonStringOrEmpty(*server);
    return done;
}

RTAPIAuthResult RTAPIConnection::authenticate(std::string_view credential, std::string_view software) {
    clearSession();
    const std::string_view field = gf_isRTApiToken(credential) ? "token" : "license";
    const std::string body =
        fmt::format("{}={}&software={}", field, gf_formEncode(credential), gf_formEncode(software));
    auto read = gf_readRTAPIAuthReply(
        transport_.perform(gf_rtApiUrl(rtApiAuthPath), body, RTAPIOptions{0, 0, true}, nullptr));
    if (auto* error = std::get_if<RTAPIStatusError>(&read)) return std::move(*error);
    auto session = std::make_shared<RTAPISession>(std::move(std::get<RTAPISession>(read)));
    {
        std::lock_guard lock(mutex_);
        session->sequence = sequence_++;
        session_ = session;
    }
    return RTAPISessionPtr(std::move(session));
}

RTAPIDeauthResult RTAPIConnection::deauthenticate() {
    const RTAPISessionPtr current = session();
    if (!current) return RTAPIDeauthReply{};
    // Whatever happens from here on, the session is gone afterwards.
    SessionDropGuard drop(*this);

    const std::string body = fmt::format("GUID={}", gf_formEncode(current->guid));
    return gf_readRTAPIDeauthReply(
        transport_.perform(gf_rtApiUrl(rtApiDeauthPath), body, RTAPIOptions{5, 10, true}, nullptr));
}

bool RTAPIConnection::isAuthenticated() const {
    std::lock_guard lock(mutex_);
    return session_ != nullptr;
}

void RTAPIConnection::clearSession() {
    RTAPISessionPtr dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(session_);
    }
    // The last reference (if it is ours) goes outside the lock.
}

RTAPISessionPtr RTAPIConnection::session() const {
    std::lock_guard lock(mutex_);
    return session_;
}

RTAPIConnection& gf_rtApiConnection() {
    static RTAPIConnection connection(4096);
    return connection;
}

// ---------------------------------------------------------------------------

std::string_view gf_rtApiFailureKindText(RTAPIFailureKind kind) {
    switch (kind) {
        case RTAPIFailureKind::transport:
            return "transport";
        case RTAPIFailureKind::http:
            return "http";
        case RTAPIFailureKind::parse:
            return "parse";
    }
    return "unknown";
}

std::variant<RTAPIEnvelope, RTAPIEnvelopeError> gf_checkRTAPIStatus(std::string_view body,
                                                                     std::string_view context,
                                                                     const RTAPIIntervalKey& key) {
    if (body.empty()) return RTAPIEnvelopeError{std::string(context), "empty response"};
    json reply = gf_parseJsonNoThrow(body);
    if (!reply.is_object())
        return RTAPIEnvelopeError{std::string(context), fmt::format("invalid JSON: {}", lf_quote(body))};

    RTAPIEnvelope envelope;
    envelope.apiStatus = lf_apiStatus(reply);

    if (envelope.apiStatus == 200 && !key.name.empty()) {
        std::int64_t value = key.defaultMs;
        const json* member = lf_member(reply, key.name);
        const auto given = member ? lf_jsonInt64(*member) : std::nullopt;
        if (given)
            value = *given;
        else
            gf_logError(fmt::format("{}: invalid or missing {}, using default", context, key.name));
        std::int64_t clamped = value;
        if (clamped > key.maximumMs)
            clamped = key.maximumMs;
        else if (clamped < key.minimumMs)
            clamped = key.minimumMs;
        if (clamped != value)
            gf_logError(fmt::format("{}: {} {} ms outside limits, using {} ms", context, key.name, value, clamped));
        // Whatever limits a caller gives, the stored interval stays within the
        // program's own.
        envelope.intervalMs = gf_clampRTAPIInterval(clamped);
    }

    if (const json* message = lf_member(reply, "message")) envelope.message = gf_jsonStringOrEmpty(*message);
    const auto data = reply.find("data");
    if (data != reply.end()) envelope.data = std::move(*data);
    return envelope;
}

RTAPIResult gf_toRTAPIResult(const RTAPIRawReply& raw, std::string_view context, const RTAPIIntervalKey& key) {
    auto checked = gf_checkRTAPIStatus(raw.body, context, key);
    if (auto* envelope = std::get_if<RTAPIEnvelope>(&checked)) {
        return RTAPIReply{envelope->apiStatus, raw.httpStatus, envelope->intervalMs, std::move(envelope->message),
                          std::move(envelope->data)};
    }
    auto& error = std::get<RTAPIEnvelopeError>(checked);
    const std::uint32_t http = raw.httpStatus;
    if ((http >= 1 && http <= 199) || http >= 300) {
        return RTAPIFailure{RTAPIFailureKind::http, http, std::move(error.where),
                            fmt::format("HTTP {} response: {}", http, error.message)};
    }
    return RTAPIFailure{RTAPIFailureKind::parse, http, std::move(error.where), std::move(error.message)};
}

RTAPIResult gf_requestRTAPI(RTAPITransport& transport, std::string_view url, const std::string& postFields,
                            const RTAPIOptions& options, const RTAPIIntervalKey& key, std::string_view context,
                            const std::atomic<bool>* abortFlag) {
    const auto result = transport.perform(url, postFields, options, abortFlag);
    if (const auto* error = std::get_if<RTAPITransportError>(&result))
        return RTAPIFailure{RTAPIFailureKind::transport, 0, std::string(context), error->message};
    return gf_toRTAPIResult(std::get<RTAPIRawReply>(result), context, key);
}
