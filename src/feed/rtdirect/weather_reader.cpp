#include "feed/rtdirect/weather_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/user_position.h"
#include "feed/rtapp/qnh.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/traffic_reader.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace {

using namespace std::chrono_literals;
using TimePoint = RTDirectClock::TimePoint;

}  // namespace

RTAPIWeatherReader::RTAPIWeatherReader(RTAPIConnection& c) : RTAPIReader(c) {}

void RTAPIWeatherReader::reset() {
    RTAPIReader::reset();
    transport_.resetHandle();
    cachedLatitude_ = 0.0;
    cachedLongitude_ = 0.0;
    cachedTime_ = {};
    cachedTimeOffset_ = 0;
    publishedThisRun_ = false;
    lastSuccessNs_.store(0);
}

std::optional<RTDirectClock::TimePoint> RTAPIWeatherReader::lastSuccessTime() const {
    const std::int64_t ns = lastSuccessNs_.load();
    if (ns == 0) return std::nullopt;
    return TimePoint(std::chrono::nanoseconds(ns));
}

bool RTAPIWeatherReader::nearestmetar(std::uint32_t& status) {
    status = 0;
    const RTAPISessionPtr session = connection.session();
    if (!session) {
        status = 401;
        return false;
    }
    const auto state = userPositionSnapshot.load();
    const double lat = state ? state->latitude : 0.0;
    const double lon = state ? state->longitude : 0.0;
    const std::uint32_t offset = timeOffset.load();
    const TimePoint now = gf_rtDirectClock().now();

    if (lastQnh_ != 0 && (std::abs(cachedLatitude_) > 0.0001 || std::abs(cachedLongitude_) > 0.0001) &&
        offset == cachedTimeOffset_ && now - cachedTime_ < 60s) {
        const double north = (cachedLatitude_ - lat) * 60.0;
        const double east = (cachedLongitude_ - lon) * std::cos(cachedLatitude_ * std::numbers::pi / 180.0) * 60.0;
        if (north * north + east * east <= 100.0) return true;
    }

    const std::string body = fmt::format("GUID={}&toffset={}&lat={:.4F}&lon={:.4F}", gf_formEncode(session->guid),
                                         offset, lat, lon);
    RTAPIResult result = gf_requestRTAPI(transport_, gf_rtApiUrl(rtApiNearestMetarPath), body,
                                         RTAPIOptions{10, 30, false}, rtApiNoIntervalKey, "nearest metar", &stop);

    if (!stop.load()) {
        const RTAPISessionPtr current = connection.session();
        if (!current || current->sequence != session->sequence) {
            status = 401;
            gf_logError(fmt::format("nearest metar failed: API status=401, HTTP status=n/a, auth server='{}', "
                                    "message='RT API session changed while the request was active'",
                                    session->server));
            return false;
        }
    }
    if (const auto* failure = std::get_if<RTAPIFailure>(&result)) {
        if (failure->kind == RTAPIFailureKind::http && failure->httpStatus > 0) status = failure->httpStatus;
        if (!stop.load())
            gf_logError(fmt::format("{} failed: kind={}, API status=n/a, HTTP status={}, auth server='{}', "
                                    "message='{}'",
                                    failure->where, gf_rtApiFailureKindText(failure->kind), failure->httpStatus,
                                    session->server, failure->message));
        return false;
    }
    const auto& reply = std::get<RTAPIReply>(result);
    if (reply.apiStatus != 200) {
        status = reply.apiStatus;
        gf_logError(fmt::format("nearest metar failed: API status={}, HTTP status={}, auth server='{}', message='{}'",
                                reply.apiStatus, reply.httpStatus, session->server, reply.message));
        return false;
    }
    const auto metars = gf_parseNearestMetarResponse(reply.data);
    if (const auto* error = std::get_if<RTAPIEnvelopeError>(&metars)) {
        gf_logError(fmt::format("{}: {}", error->where, error->message));
        return false;
    }
    for (const std::string& metar : std::get<std::vector<std::string>>(metars)) {
        const QnhResult qnh = gf_qnhFromMetar(metar);
        if (const auto* error = std::get_if<QnhError>(&qnh)) {
            gf_logError(fmt::format("nearest metar: {} in {}", error->message, metar));
            continue;
        }
        const auto value = static_cast<std::int32_t>(std::get<std::uint32_t>(qnh));
        cachedLatitude_ = lat;
        cachedLongitude_ = lon;
        cachedTime_ = now;
        cachedTimeOffset_ = offset;
        lastSuccessNs_.store(std::max<std::int64_t>(
            1, std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count()));
        // The first QNH of a run is always published: the traffic reader
        // started again from 1013 and the window shows that.
        if (value != lastQnh_ || !publishedThisRun_) {
            lastQnh_ = value;
            publishedThisRun_ = true;
            gf_rtApiTrafficReader().qnh.publish(static_cast<std::uint32_t>(value));
        }
        return true;
    }
    gf_logError("nearest metar: no METAR contains a valid QNH code");
    return false;
}

// ---------------------------------------------------------------------------

RTAPIWeatherReader& gf_rtApiWeatherReader() {
    static RTAPIWeatherReader reader(gf_rtApiConnection());
    return reader;
}

bool gf_nearestMetarWithRetry(std::uint32_t& status) {
    RTAPIWeatherReader& reader = gf_rtApiWeatherReader();
    if (!reader.connection.session()) {
        status = 401;
        return false;
    }
    bool retried = false;
    while (!reader.stop.load()) {
        bool current = false;
        try {
            current = reader.nearestmetar(status);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}\n", "receive", e.what()));
            reader.waitInterval(30000);
            continue;
        }
        if (current) {
            retried = false;
            reader.waitInterval(reader.wrrl.load());
        } else if (status == 401) {
            if (retried) break;
            retried = true;
            reader.transport().resetHandle();
            status = 0;
            gf_logError("nearest metar returned 401, retrying once with a new connection");
        } else if (status == 0 || status == 406 || status == 500) {
            reader.waitInterval(30000);
        } else {
            break;
        }
    }
    if (reader.stop.load()) status = kRTAPIStatusStopped;
    return false;
}

void gf_RTAPIWeatherReader() {
    static constexpr RTAPIReaderThread thread{kWeatherRTAPIReaderName, "gf_RTAPIWeatherReader", "Weather",
                                         &GuiUpdate::weatherReaderState,
                                         []() -> RTAPIReader& { return gf_rtApiTrafficReader(); }};
    gf_runRTAPIReaderThread(thread, [](std::uint32_t& status) { gf_nearestMetarWithRetry(status); });
}
