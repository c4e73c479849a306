#pragma once
// The "data" values of the web API's traffic, parked-traffic and nearest-METAR
// replies, turned into traffic batches, parked records and METAR texts.
//
// Each aircraft of a traffic reply is one JSON array read by element position
// into the same TrafficFields the RT App lines fill, so validation and record
// building are shared by both sources. Malformed entries are skipped one by
// one; a reply as a whole never fails, except a METAR reply without a usable
// METAR.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "feed/fields.h"
#include "feed/handover.h"
#include "feed/records.h"
#include "feed/rtdirect/session.h"

// Aircraft arrays of a reply that were not read, by reason.
struct TrafficSkips {
    std::uint32_t tooShort = 0;   // fewer elements than an aircraft has
    std::uint32_t badTime = 0;    // element 10 is no valid report time
    std::uint32_t badHexid = 0;   // element 0 is no hexadecimal hexid

    std::uint32_t total() const { return tooShort + badTime + badHexid; }
    TrafficSkips& operator+=(const TrafficSkips& other);
};

// The unit the traffic reader fills from one reply and hands on.
struct TrafficBatch {
    std::vector<TrafficRecord> records;
    HandOverMaps handOver;         // callsigns (map 1) and hexids (map 2) of the batch
    std::int64_t trafficTime = 0;  // seconds since 1970 of the last aircraft read; 0 = none
    TrafficSkips skipped;          // arrays of the reply that were not read

    // Empties the records and both maps, sets the traffic time to 0 and
    // forgets the skipped arrays.
    void clear();
};

// An aircraft of a traffic reply is an array of at least this many elements:
// the web API's v5 sends 48, v6 adds the airline as element 48, and later
// versions add more, which are not read.
inline constexpr std::size_t rtApiAircraftElements = 48;
inline constexpr std::size_t rtApiAirlineElement = 48;
// A parked aircraft is an array of at least this many elements.
inline constexpr std::size_t rtApiParkedElements = 7;
// The records of a batch are reserved up to this many.
inline constexpr std::size_t rtApiBatchReserve = 384;
// Buffered replies carry segments "buffer_0" (youngest) .. "buffer_4" (oldest),
// six seconds apart.
inline constexpr int rtApiBufferSegments = 5;
inline constexpr std::uint32_t rtApiBufferSegmentSeconds = 6;

// A number element: a JSON number, or a text that is wholly a decimal number
// (the service writes some numbers as text); nothing for anything else
// (null, "null", other texts, other types).
std::optional<double> gf_rtApiNumber(const nlohmann::json& value);

// A report time element: a number (as above) that is a valid report time.
std::optional<double> gf_rtApiTimestamp(const nlohmann::json& value);

// Fills the batch (cleared first) from a traffic reply's data object. Nothing
// is added when the data is not an object or `own` holds no settings.
void gf_parseTrafficResponse(const nlohmann::json& data, const OwnPositionSnapshot& own, TrafficBatch& batch);
// Reads one aircraft array and adds what it yields to the batch.
void gf_parseTrafficRecord(const nlohmann::json& aircraft, const OwnPositionSnapshot& own, TrafficBatch& batch);

// The buffered segments of a buffer reply's data, oldest first: for each
// segment i from 4 down to 0 the batch is filled from "buffer_i" (or emptied
// when that member is absent or not a non-empty object) and handed to
// `deliver` with delay 6 x (4 - i) seconds, so the oldest positions play
// first and the youngest just before the live traffic. Arrays of the reply
// that were not read are counted and logged in one line for the whole reply.
// Returns false, and delivers nothing, when the data is not an object with
// at least one member.
bool gf_deliverBufferSegments(const nlohmann::json& data, const OwnPositionSnapshot& own, TrafficBatch& batch,
                              const std::function<void(TrafficBatch&, std::uint32_t delaySeconds)>& deliver);

// The parked aircraft of a parked-traffic reply's data object, in the order
// of the member names.
std::vector<ParkedRecord> gf_parseParkedResponse(const nlohmann::json& data);
// Reads one member (hexid name, array value) and appends its record.
void gf_parseParkedRecord(std::string_view name, const nlohmann::json& value, std::vector<ParkedRecord>& list);

// The non-empty "METAR" texts of a nearest-METAR reply's data (an array of
// stations or one station), in reply order; an error "nearest metar" when the
// data is neither or holds no usable METAR.
std::variant<std::vector<std::string>, RTAPIEnvelopeError> gf_parseNearestMetarResponse(
    const nlohmann::json& data);
