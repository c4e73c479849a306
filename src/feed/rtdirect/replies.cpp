#include "feed/rtdirect/replies.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"

namespace {

using nlohmann::json;

double lf_numberOr(const json& value, double fallback) { return gf_rtApiNumber(value).value_or(fallback); }

std::string_view lf_text(const json& value) { return gf_jsonStringOrEmpty(value); }

}  // namespace

TrafficSkips& TrafficSkips::operator+=(const TrafficSkips& other) {
    tooShort += other.tooShort;
    badTime += other.badTime;
    badHexid += other.badHexid;
    return *this;
}

void TrafficBatch::clear() {
    records.clear();
    handOver.callsigns.clear();
    handOver.hexids.clear();
    trafficTime = 0;
    skipped = {};
}

std::optional<double> gf_rtApiNumber(const json& value) {
    if (value.is_number()) {
        const double number = value.get<double>();
        if (std::isfinite(number)) return number;
        return std::nullopt;
    }
    if (value.is_string()) return gf_parseDecimal(value.get_ref<const std::string&>());
    return std::nullopt;
}

std::optional<double> gf_rtApiTimestamp(const json& value) {
    const auto seconds = gf_rtApiNumber(value);
    if (!seconds || !gf_isValidReportTime(*seconds)) return std::nullopt;
    return seconds;
}

void gf_parseTrafficRecord(const json& aircraft, const OwnPositionSnapshot& own, TrafficBatch& batch) {
    if (!aircraft.is_array()) return;
    if (aircraft.size() < rtApiAircraftElements) {
        ++batch.skipped.tooShort;
        return;
    }
    try {
        // The batch time moves before the hexid is judged: it is the time of
        // the last aircraft read, whatever became of it.
        const auto seconds = gf_rtApiTimestamp(aircraft[10]);
        if (!seconds) {
            ++batch.skipped.badTime;
            return;
        }
        batch.trafficTime = static_cast<std::int64_t>(std::llround(*seconds));

        const auto hexid = gf_parseRTHexid(lf_text(aircraft[0]));
        if (!hexid) {
            ++batch.skipped.badHexid;
            return;
        }

        TrafficFields fields;
        fields.time = *seconds;
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
        if (aircraft.size() > rtApiAirlineElement) fields.airline = lf_text(aircraft[rtApiAirlineElement]);
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
    for (const auto& member : data) gf_parseTrafficRecord(member, own, batch);
}

bool gf_deliverBufferSegments(const json& data, const OwnPositionSnapshot& own, TrafficBatch& batch,
                              const std::function<void(TrafficBatch&, std::uint32_t)>& deliver) {
    if (!data.is_object() || data.empty()) return false;
    TrafficSkips skipped;
    // Oldest segment first, so the records of one aircraft reach the engine
    // in the order they are played and the traffic time ends on the youngest.
    for (int i = rtApiBufferSegments - 1; i >= 0; --i) {
        const auto it = data.find(fmt::format("buffer_{}", i));
        if (it != data.end() && it->is_object() && !it->empty())
            gf_parseTrafficResponse(*it, own, batch);
        else
            batch.clear();
        skipped += batch.skipped;
        deliver(batch, rtApiBufferSegmentSeconds * static_cast<std::uint32_t>(rtApiBufferSegments - 1 - i));
    }
    // A reply whose aircraft all had another shape than expected would
    // otherwise pass as delivered with nothing to show for it.
    if (skipped.total() != 0)
        gf_logError(fmt::format("buffer traffic: {} aircraft arrays skipped ({} with fewer than {} elements, {} "
                                "without a valid time, {} without a valid hexid)",
                                skipped.total(), skipped.tooShort, rtApiAircraftElements, skipped.badTime,
                                skipped.badHexid));
    return true;
}

void gf_parseParkedRecord(std::string_view name, const json& value, std::vector<ParkedRecord>& list) {
    try {
        const auto hexid = gf_parseRTHexid(name);
        if (!hexid) return;
        const auto time = gf_rtApiTimestamp(value.at(5));
        if (!time) return;

        ParkedFields fields;
        fields.hexid = *hexid;
        fields.time = static_cast<std::int64_t>(std::llround(*time));
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
