#include "feed/rtdirect/replies.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"

namespace {

using nlohmann::json;

double lf_numberOr(const json& value, double fallback) {
    return value.is_number() ? value.get<double>() : fallback;
}

std::string_view lf_text(const json& value) { return gf_jsonStringOrEmpty(value); }

}  // namespace

void TrafficBatch::clear() {
    records.clear();
    handOver.callsigns.clear();
    handOver.hexids.clear();
    trafficTime = 0;
}

std::optional<std::uint32_t> gf_parseRTHexid(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFULL) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool gf_isValidRTTimestamp(const json& value) {
    if (!value.is_number()) return false;
    const double t = value.get<double>();
    return std::isfinite(t) && t > 0.0 && t < 9223372036854775808.0;
}

void gf_parseTrafficRecord(const json& aircraft, const OwnPositionSnapshot& own, TrafficBatch& batch) {
    if (!aircraft.is_array() || aircraft.size() < rtApiAircraftElements) return;
    try {
        // The batch time moves before the hexid is judged: it is the time of
        // the last aircraft read, whatever became of it.
        const json& time = aircraft.at(10);
        if (!gf_isValidRTTimestamp(time)) return;
        const double seconds = time.get<double>();
        batch.trafficTime = static_cast<std::int64_t>(std::llround(seconds));

        const auto hexid = gf_parseRTHexid(lf_text(aircraft.at(0)));
        if (!hexid) return;

        TrafficFields fields;
        fields.time = seconds;
        fields.hexid = *hexid;
        fields.position = LaLo{lf_numberOr(aircraft[1], 0.0), lf_numberOr(aircraft[2], 0.0)};
        fields.altitude = lf_numberOr(aircraft[4], 0.0);
        fields.verticalSpeed = lf_numberOr(aircraft[15], 0.0);
        fields.track = lf_numberOr(aircraft[3], 0.0);
        fields.groundSpeed = lf_numberOr(aircraft[5], 0.0);
        // A heading that is not a number is absent, not north: NaN passes none
        // of the builder's heading tests, so the point gets no heading.
        fields.trueHeading = lf_numberOr(aircraft[25], std::numeric_limits<double>::quiet_NaN());
        fields.roll = lf_numberOr(aircraft[23], 0.0);
        fields.trueAirspeed = lf_numberOr(aircraft[20], -1.0);
        fields.callsign = lf_text(aircraft[13]);
        fields.aircraftType = lf_text(aircraft[8]);
        fields.registration = lf_text(aircraft[9]);
        fields.origin = lf_text(aircraft[11]);
        fields.destination = lf_text(aircraft[12]);
        fields.dataSource = lf_text(aircraft[17]);
        fields.emitterCategory = lf_text(aircraft[28]);
        fields.airline = lf_text(aircraft[48]);
        fields.code = lf_text(aircraft[6]);

        TrafficBuildResult built = gf_buildTrafficRecord(fields, own);
        if (built.handOver) batch.handOver.insert(*built.handOver);
        if (built.record) batch.records.push_back(std::move(*built.record));
    } catch (const std::runtime_error&) {
        // The builder rejects a record's time or position this way.
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "parseTrafficRecord", e.what()));
    }
}

void gf_parseTrafficResponse(const json& data, const OwnPositionSnapshot& own, TrafficBatch& batch) {
    batch.clear();
    if (!data.is_object() || !own.settings) return;
    const std::size_t members = data.size();
    batch.records.reserve(std::min(members, rtApiBatchReserve));
    if (own.collectHandOver) {
        batch.handOver.callsigns.reserve(members);
        batch.handOver.hexids.reserve(members);
    }
    for (const auto& member : data) {
        if (member.is_array() && member.size() == rtApiAircraftElements) gf_parseTrafficRecord(member, own, batch);
    }
}

bool gf_deliverBufferSegments(const json& data, const OwnPositionSnapshot& own, TrafficBatch& batch,
                              const std::function<void(TrafficBatch&, std::uint32_t)>& deliver) {
    if (!data.is_object() || data.empty()) return false;
    // Oldest segment first, so the records of one aircraft reach the engine
    // in the order they are played and the traffic time ends on the youngest.
    for (int i = rtApiBufferSegments - 1; i >= 0; --i) {
        const auto it = data.find(fmt::format("buffer_{}", i));
        if (it != data.end() && it->is_object() && !it->empty())
            gf_parseTrafficResponse(*it, own, batch);
        else
            batch.clear();
        deliver(batch, rtApiBufferSegmentSeconds * static_cast<std::uint32_t>(rtApiBufferSegments - 1 - i));
    }
    return true;
}

void gf_parseParkedRecord(std::string_view name, const json& value, std::vector<ParkedRecord>& list) {
    try {
        const auto hexid = gf_parseRTHexid(name);
        if (!hexid) return;
        const json& time = value.at(5);
        if (!gf_isValidRTTimestamp(time)) return;

        ParkedFields fields;
        fields.hexid = *hexid;
        fields.time = static_cast<std::int64_t>(std::llround(time.get<double>()));
        fields.position = LaLo{lf_numberOr(value.at(0), 0.0), lf_numberOr(value.at(1), 0.0)};
        fields.callsign = lf_text(value.at(6));
        fields.aircraftType = lf_text(value.at(3));
        fields.registration = lf_text(value.at(4));
        fields.standName = lf_text(value.at(2));

        if (auto record = gf_buildParkedRecord(fields)) list.push_back(std::move(*record));
    } catch (const std::runtime_error&) {
        // An invalid position rejects the aircraft.
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "parseParkedRecord", e.what()));
    }
}

std::vector<ParkedRecord> gf_parseParkedResponse(const json& data) {
    std::vector<ParkedRecord> list;
    if (!data.is_object()) return list;
    list.reserve(data.size());
    for (auto it = data.begin(); it != data.end(); ++it) {
        const json& value = it.value();
        if (value.is_array() && value.size() >= rtApiParkedElements) gf_parseParkedRecord(it.key(), value, list);
    }
    return list;
}

std::variant<std::vector<std::string>, RTAPIEnvelopeError> gf_parseNearestMetarResponse(const json& data) {
    if (!data.is_object() && !data.is_array())
        return RTAPIEnvelopeError{"nearest metar", "response contains invalid METAR data"};
    std::vector<std::string> metars;
    const auto collect = [&metars](const json& station) {
        if (!station.is_object()) return;
        const auto it = station.find("METAR");
        if (it != station.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
            metars.push_back(it->get<std::string>());
    };
    if (data.is_array()) {
        for (const auto& station : data) collect(station);
    } else {
        collect(data);
    }
    if (metars.empty())
        return RTAPIEnvelopeError{"nearest metar", "response contains no METAR station with a valid METAR string"};
    return metars;
}
