#pragma once
// The RealTraffic web-API client above the transport.
//
// The session half: RTAPIConnection logs in with the user's credential and
// holds the session (GUID, server, granted intervals, account type and expiry)
// that every later request carries; at shut-down it logs out again. The main
// thread logs in before the readers start and out after they have stopped;
// the readers only copy the session pointer.
//
// The request half: gf_requestRTAPI performs one data request on the caller's
// own transport, checks the common reply envelope {"status", "message",
// "data", interval} and returns a reply or a failure, never throwing for
// anything the server or the network does.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "feed/rtdirect/transport.h"

// ---------------------------------------------------------------------------
// Paths of the web API.

inline constexpr std::string_view rtApiAuthPath = "/v6/auth";
inline constexpr std::string_view rtApiDeauthPath = "/v6/deauth";
inline constexpr std::string_view rtApiTrafficPath = "/v6/traffic";
inline constexpr std::string_view rtApiNearestMetarPath = "/v6/nearestmetar";

// ---------------------------------------------------------------------------
// Request intervals granted by the server. Whatever the server sends is kept
// within these limits wherever it is stored, so a bad value can neither make
// a reader spin nor wait for weeks.

inline constexpr std::uint32_t rtApiIntervalDefaultMs = 2000;
inline constexpr std::uint32_t rtApiIntervalMinMs = 250;
inline constexpr std::uint32_t rtApiIntervalMaxMs = 60000;

// `ms` clamped to rtApiIntervalMinMs..rtApiIntervalMaxMs.
std::uint32_t gf_clampRTAPIInterval(std::int64_t ms);

// ---------------------------------------------------------------------------
// Form bodies.

// Percent-encodes one form value: A-Z, a-z, 0-9 and "._~-" stay, every other
// byte becomes %XX (upper-case hex). A credential holding '&', '=', '+', '%'
// or a blank thus stays one field.
std::string gf_formEncode(std::string_view value);

// ---------------------------------------------------------------------------
// JSON accessors shared by the session, the envelope check and the replies.

// Parses the whole text; a text that does not parse gives a discarded value
// (which is not an object). Never throws for bad input.
nlohmann::json gf_parseJsonNoThrow(std::string_view text);
// The value when it is an integer (signed or unsigned) that fits a signed
// 32-bit number, else `fallback` (floating-point numbers and strings included).
std::int32_t gf_jsonInt32Or(const nlohmann::json& value, std::int32_t fallback);
// The text when the value is a string, else "". The view lives as long as the
// value.
std::string_view gf_jsonStringOrEmpty(const nlohmann::json& value);

// ---------------------------------------------------------------------------
// Session.

// One login's session; immutable once published.
struct RTAPISession {
    std::string guid;
    std::string server;
    std::uint32_t rrl = rtApiIntervalDefaultMs;   // ms between traffic requests
    std::uint32_t wrrl = rtApiIntervalDefaultMs;  // ms between weather requests
    std::uint32_t type = 1;                       // 2 = professional account
    std::int64_t expiry = 0;                      // seconds since 1970
    std::uint64_t sequence = 0;                   // 1 for the first session of the run
};
using RTAPISessionPtr = std::shared_ptr<const RTAPISession>;

// A failed login or logout: the reply's API status (100 when there is none)
// and a text.
struct RTAPIStatusError {
    std::uint32_t status = 100;
    std::string message;
};

// A successful logout: the reply's "message" and "server" texts.
struct RTAPIDeauthReply {
    std::string message;
    std::string server;
};

using RTAPIAuthResult = std::variant<RTAPISessionPtr, RTAPIStatusError>;
using RTAPIDeauthResult = std::variant<RTAPIDeauthReply, RTAPIStatusError>;

// The one authenticated connection of the program. Its transport is used only
// by the thread that logs in and out (the main thread, while no reader runs);
// the mutex guards the session pointer and the sequence counter and is never
// held during a transfer.
class RTAPIConnection {
public:
    explicit RTAPIConnection(std::size_t reserveBytes = 4096);
    RTAPIConnection(const RTAPIConnection&) = delete;
    RTAPIConnection& operator=(const RTAPIConnection&) = delete;

    // Drops the current session, logs in and publishes the new session.
    // "token" carries a credential beginning with "rt_", "license" any other.
    RTAPIAuthResult authenticate(std::string_view credential, std::string_view software);
    // Logs the current session out; the session is dropped whatever the
    // outcome. Without a session nothing is sent and the texts are empty.
    RTAPIDeauthResult deauthenticate();

    bool isAuthenticated() const;
    // Drops the held session; readers holding a copy keep theirs alive.
    void clearSession();
    // A copy of the current session pointer (empty when none).
    RTAPISessionPtr session() const;

    // The connection's own transport (for a handle reset before a restart).
    RTAPITransport& transport() { return transport_; }

private:
    RTAPITransport transport_;
    mutable std::mutex mutex_;
    RTAPISessionPtr session_;
    std::uint64_t sequence_ = 1;
};

// The program's connection, built on first use (after gf_initCurlGlobal).
RTAPIConnection& gf_rtApiConnection();

// What a log-in's transfer says: the session it grants (sequence 0: the
// connection numbers it when it publishes it), or why there is none.
std::variant<RTAPISession, RTAPIStatusError> gf_readRTAPIAuthReply(const RTAPITransportResult& result);
// What a log-out's transfer says.
RTAPIDeauthResult gf_readRTAPIDeauthReply(const RTAPITransportResult& result);

// ---------------------------------------------------------------------------
// Data requests.

// The member of a reply that carries the interval the server asks for; an
// empty name means the reply carries none for this request.
struct RTAPIIntervalKey {
    std::string_view name;
    std::int32_t defaultMs = static_cast<std::int32_t>(rtApiIntervalDefaultMs);
    std::int32_t minimumMs = static_cast<std::int32_t>(rtApiIntervalMinMs);
    std::int32_t maximumMs = static_cast<std::int32_t>(rtApiIntervalMaxMs);
};
// Live, buffered and parked traffic.
inline constexpr RTAPIIntervalKey rtApiRrlKey{"rrl"};
// Nearest METAR: no interval in the reply.
inline constexpr RTAPIIntervalKey rtApiNoIntervalKey{""};

enum class RTAPIFailureKind : std::uint8_t { transport = 0, http = 1, parse = 2 };
// "transport", "http", "parse".
std::string_view gf_rtApiFailureKindText(RTAPIFailureKind kind);

// A data request that came back with a valid envelope, whatever its API
// status (the reader judges that).
struct RTAPIReply {
    std::uint32_t apiStatus = 100;
    std::uint32_t httpStatus = 0;
    std::uint32_t intervalMs = rtApiIntervalDefaultMs;
    std::string message;
    nlohmann::json data;  // JSON null when the reply has none
};

// A data request that failed on the way or came back unreadable.
struct RTAPIFailure {
    RTAPIFailureKind kind = RTAPIFailureKind::transport;
    std::uint32_t httpStatus = 0;
    std::string where;  // the request's context name
    std::string message;
};

using RTAPIResult = std::variant<RTAPIReply, RTAPIFailure>;

// The envelope of a reply that could not be read, or of a reply the parsers
// refuse.
struct RTAPIEnvelopeError {
    std::string where;
    std::string message;
};

// What the envelope check takes out of a reply body.
struct RTAPIEnvelope {
    std::uint32_t apiStatus = 100;
    std::uint32_t intervalMs = rtApiIntervalDefaultMs;
    std::string message;
    nlohmann::json data;
};

// Reads the envelope of a reply body: "status" (100 when absent, not an
// integer or outside 0..2^31-1), the interval key (only with status 200;
// missing or out-of-limit values are logged as error lines and replaced),
// "message" and "data" (moved out of the parsed reply).
std::variant<RTAPIEnvelope, RTAPIEnvelopeError> gf_checkRTAPIStatus(std::string_view body,
                                                                     std::string_view context,
                                                                     const RTAPIIntervalKey& key);

// Turns a completed transfer into a result: a valid envelope is a reply
// whatever the HTTP status; otherwise an "http" failure for statuses 1..199
// and 300 and above, a "parse" failure for 0 and 200..299.
RTAPIResult gf_toRTAPIResult(const RTAPIRawReply& raw, std::string_view context, const RTAPIIntervalKey& key);

// One data request on the caller's transport. Throws only when the transport
// has no handle (or memory runs out).
RTAPIResult gf_requestRTAPI(RTAPITransport& transport, std::string_view url, const std::string& postFields,
                            const RTAPIOptions& options, const RTAPIIntervalKey& key, std::string_view context,
                            const std::atomic<bool>* abortFlag);
