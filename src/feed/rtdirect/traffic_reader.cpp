#include "feed/rtdirect/traffic_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/mailbox.h"
#include "engine/user_position.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/weather_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"

namespace {

using namespace std::chrono_literals;
using TimePoint = RTDirectClock::TimePoint;

// The form of a traffic request over a box: live, buffered and parked
// traffic differ only in the query type and what follows it.
std::string lf_boxQuery(const RTAPISession& session, const RTAPIBox& box, std::string_view queryType,
                        std::uint32_t timeOffset) {
    return fmt::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype={}&toffset={}",
                       gf_formEncode(session.guid), box.top, box.bottom, box.left, box.right, queryType,
                       timeOffset);
}

// The error line of a failed buffer or parked request, with the date and
// time; none for the abort that a stop causes.
void lf_logDatedFailure(const RTAPIFailure& failure, const std::atomic<bool>& stop) {
    if (stop.load()) return;
    gf_logError(fmt::format("{} {} {}: {}", gf_utcDateTimeText(), failure.where, gf_rtApiFailureKindText(failure.kind),
                            failure.message));
}

RTAPIOptions lf_trafficOptions() { return RTAPIOptions{10, 30, false}; }
RTAPIOptions lf_parkedOptions() { return RTAPIOptions{5, 9, true}; }

}  // namespace

RTAPITrafficReader::RTAPITrafficReader(RTAPIConnection& c) : RTAPIReader(c) {
    batch_.records.reserve(rtApiBatchReserve);
}

void RTAPITrafficReader::setUserPosition(const LaLo& position) {
    std::lock_guard lock(positionMutex_);
    position_.userLatitude = position.lat;
    position_.userLongitude = position.lon;
    position_.cosLatitude = std::cos(position.lat * std::numbers::pi / 180.0);
}

void RTAPITrafficReader::setAirportElevation(std::optional<double> elevationFt) {
    std::lock_guard lock(positionMutex_);
    position_.airportElevationFt = elevationFt;
}

void RTAPITrafficReader::updateQueryBox() {
    const auto state = userPositionSnapshot.load();
    if (!state) return;
    const double lat = state->latitude;
    const double lon = state->longitude;
    if (gf_isUnknownPosition(lat, lon)) return;
    const double range = settingsSnapshot.load()->RANGE;

    std::lock_guard lock(positionMutex_);
    position_.userLatitude = lat;
    position_.userLongitude = lon;
    position_.cosLatitude = std::cos(lat * std::numbers::pi / 180.0);
    if (std::abs(lat - position_.boxLatitude) < 0.00015 && std::abs(lon - position_.boxLongitude) < 0.00015 &&
        range == position_.boxRange)
        return;
    position_.boxLatitude = lat;
    position_.boxLongitude = lon;
    position_.boxRange = range;
    position_.query = gf_boxAround(LaLo{lat, lon}, range);
}

void RTAPITrafficReader::clearTrafficMaps() {
    std::lock_guard lock(mapsMutex);
    maps.restart(true);
}

void RTAPITrafficReader::clearParkedTraffic() {
    {
        std::lock_guard lock(positionMutex_);
        position_.parked = kInitialRTAPIBox;
    }
    std::lock_guard lock(parkedMutex);
    parkedList.clear();
}

void RTAPITrafficReader::reset() {
    RTAPIReader::reset();
    trafficTransport_.resetHandle();
    parkedTransport_.resetHandle();
    trafficTime.store(0);
    g_rtDirectTrafficTime.store(0);
    {
        std::lock_guard lock(mapsMutex);
        maps.restart(false);
    }
    {
        std::lock_guard lock(parkedMutex);
        parkedList.clear();
    }
    batch_.clear();
    deliveredCount.store(0);
    qnh.store(0);
    setParkedStatus(-1);
    parkedRequested.store(false);
    loopRunning.store(false);
    rrl.store(rtApiIntervalDefaultMs);
    std::lock_guard lock(positionMutex_);
    position_ = Position{};
}

RTAPIBox RTAPITrafficReader::queryBox() {
    std::lock_guard lock(positionMutex_);
    return position_.query;
}

RTAPIBox RTAPITrafficReader::parkedBox() {
    std::lock_guard lock(positionMutex_);
    return position_.parked;
}

void RTAPITrafficReader::setParkedBox(const RTAPIBox& box) {
    std::lock_guard lock(positionMutex_);
    position_.parked = box;
}

void RTAPITrafficReader::setBatchPoster(BatchPoster poster) {
    std::lock_guard lock(posterMutex_);
    poster_ = std::move(poster);
}

void RTAPITrafficReader::post(std::vector<TrafficRecord>& records, std::uint32_t delaySeconds) {
    BatchPoster poster;
    {
        std::lock_guard lock(posterMutex_);
        poster = poster_;
    }
    if (poster)
        poster(records, delaySeconds);
    else
        gf_postTrafficBatch(records, delaySeconds, false);
    records.clear();
}

void RTAPITrafficReader::deliverTraffic(TrafficBatch& batch, std::uint32_t delaySeconds) {
    if (batch.trafficTime != 0) {
        trafficTime.store(batch.trafficTime);
        g_rtDirectTrafficTime.store(batch.trafficTime);
    }
    // A batch without entries never takes the maps mutex.
    if (!batch.handOver.callsigns.empty() || !batch.handOver.hexids.empty()) {
        std::lock_guard lock(mapsMutex);
        if (maps.active) {
            maps.callsigns.insert(batch.handOver.callsigns.begin(), batch.handOver.callsigns.end());
            maps.hexids.insert(batch.handOver.hexids.begin(), batch.handOver.hexids.end());
        }
    }
    deliveredCount.fetch_add(batch.records.size());
    post(batch.records, delaySeconds);
}

OwnPositionSnapshot RTAPITrafficReader::ownPosition(bool collectHandOver, RTAPIBox* box) {
    OwnPositionSnapshot own;
    {
        std::lock_guard lock(positionMutex_);
        own.latitude = position_.userLatitude;
        own.longitude = position_.userLongitude;
        own.cosLatitude = position_.cosLatitude;
        own.airportElevationFt = position_.airportElevationFt;
        if (box) *box = position_.query;
    }
    own.qnh = static_cast<std::int32_t>(qnh.load());
    own.collectHandOver = collectHandOver;
    own.dropGround0000 = true;
    own.handOverBeforeFilters = false;
    own.rtDirect = true;
    return own;
}

void RTAPITrafficReader::setParkedStatus(std::int32_t status) {
    {
        std::lock_guard lock(parkedStatusMutex_);
        parkedStatus.store(status);
    }
    parkedStatusCv_.notify_all();
}

void RTAPITrafficReader::askForParkedTraffic() {
    setParkedStatus(-1);
    parkedRequested.store(true);
}

std::int32_t RTAPITrafficReader::waitForParkedStatus(std::chrono::milliseconds timeout) {
    RTDirectClock& clock = gf_rtDirectClock();
    std::unique_lock lock(parkedStatusMutex_);
    const TimePoint deadline = gf_rtDirectDeadline(clock.now(), timeout);
    // A close-down ends the wait: the answer is looked at every 100 ms as well
    // as when it comes, and a stop request or the reader's stop ends it.
    const auto answeredOrStopped = [this] {
        return parkedStatus.load() != -1 || stop.load() || !keepRunning();
    };
    while (!answeredOrStopped()) {
        const TimePoint now = clock.now();
        if (now >= deadline) break;
        clock.waitUntil(lock, parkedStatusCv_, std::min(deadline, gf_rtDirectDeadline(now, 100ms)), answeredOrStopped);
    }
    return parkedStatus.load();
}

bool RTAPITrafficReader::buffer(std::uint32_t& status) {
    bool delivered = false;
    try {
        const RTAPISessionPtr session = connection.session();
        if (!session) return false;
        RTAPIBox box;
        const OwnPositionSnapshot positioned = ownPosition(true, &box);
        const std::string body =
            lf_boxQuery(*session, box, "locationtraffic", timeOffset.load()) +
            fmt::format("&buffercount={}&buffertime={}", rtApiBufferSegments, rtApiBufferSegmentSeconds);
        RTAPIResult result = gf_requestRTAPI(trafficTransport_, gf_rtApiUrl(rtApiTrafficPath), body,
                                             lf_trafficOptions(), rtApiRrlKey, "buffer traffic", &stop);
        if (const auto* failure = std::get_if<RTAPIFailure>(&result)) {
            lf_logDatedFailure(*failure, stop);
        } else {
            auto& reply = std::get<RTAPIReply>(result);
            if (reply.apiStatus == 200) {
                rrl.store(reply.intervalMs);
                OwnPositionSnapshot own = positioned;
                own.settings = settingsSnapshot.load();
                clearTrafficMaps();
                delivered = gf_deliverBufferSegments(
                    reply.data, own, batch_,
                    [this](TrafficBatch& batch, std::uint32_t delay) { deliverTraffic(batch, delay); });
            } else {
                status = reply.apiStatus;
                if (reply.apiStatus == 406) gf_logError(fmt::format("buffer traffic msg {}", reply.message));
            }
        }
        waitInterval(rrl.load());
        if (stop.load()) {
            status = kRTAPIStatusStopped;
            delivered = false;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "buffer", e.what()));
        return false;
    }
    return delivered;
}

void RTAPITrafficReader::parkedtraffic() {
    try {
        const RTAPISessionPtr session = connection.session();
        if (!session) {
            setParkedStatus(1);
            return;
        }
        {
            std::lock_guard lock(parkedMutex);
            parkedList.clear();
        }
        const RTAPIBox box = parkedBox();
        const std::string body = lf_boxQuery(*session, box, "parkedtraffic", timeOffset.load());
        RTAPIResult result = gf_requestRTAPI(parkedTransport_, gf_rtApiUrl(rtApiTrafficPath), body,
                                             lf_parkedOptions(), rtApiRrlKey, "parkedtraffic", &stop);
        if (const auto* failure = std::get_if<RTAPIFailure>(&result)) {
            lf_logDatedFailure(*failure, stop);
            setParkedStatus(1);
            return;
        }
        auto& reply = std::get<RTAPIReply>(result);
        if (reply.apiStatus == 200) {
            rrl.store(reply.intervalMs);
            std::vector<ParkedRecord> list = gf_parseParkedResponse(reply.data);
            {
                std::lock_guard lock(parkedMutex);
                parkedList = std::move(list);
            }
            gf_log(fmt::format("{} RT parked traffic received", gf_utcTimeText()));
            Gui::showTbloHintOrClear();
            setParkedStatus(0);
        } else if (reply.apiStatus == 406) {
            gf_logError(fmt::format("parkedtraffic msg: {}", reply.message));
            setParkedStatus(0);
        } else {
            setParkedStatus(static_cast<std::int32_t>(reply.apiStatus));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "parkedtraffic", e.what()));
        setParkedStatus(1);
    }
}

void RTAPITrafficReader::receive(std::uint32_t& status) {
    struct LoopFlag {
        std::atomic<bool>& flag;
        ~LoopFlag() { flag.store(false); }
    };
    try {
        if (!connection.session()) return;
        Gui::addStatusLine(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()), true);
        if (!buffer(status) && !stop.load()) gf_logError(fmt::format("buffer failed {}", status));
        gf_log(fmt::format("{} Requesting traffic received", gf_utcTimeText()));
        Gui::showTbloHintOrClear();
        if (stop.load()) return;

        loopRunning.store(true);
        LoopFlag running{loopRunning};
        while (!stop.load()) {
            if (parkedRequested.exchange(false)) {
                parkedtraffic();
                waitInterval(rrl.load());
                continue;
            }
            const RTAPISessionPtr session = connection.session();
            if (!session) {
                status = 401;
                break;
            }
            bool collect = false;
            {
                std::lock_guard lock(mapsMutex);
                collect = maps.active;
            }
            RTAPIBox box;
            OwnPositionSnapshot own = ownPosition(collect, &box);
            const std::string body = lf_boxQuery(*session, box, "locationtraffic", timeOffset.load());
            RTAPIResult result = gf_requestRTAPI(trafficTransport_, gf_rtApiUrl(rtApiTrafficPath), body,
                                                 lf_trafficOptions(), rtApiRrlKey, "traffic receive", &stop);
            if (const auto* failure = std::get_if<RTAPIFailure>(&result)) {
                if (!stop.load())
                    gf_logError(fmt::format("{} {}: {}", failure->where, gf_rtApiFailureKindText(failure->kind),
                                            failure->message));
            } else {
                // A session renewed while the request ran makes the answer stale.
                const RTAPISessionPtr now = connection.session();
                if (!now || now->sequence != session->sequence) {
                    status = 401;
                    break;
                }
                auto& reply = std::get<RTAPIReply>(result);
                if (reply.apiStatus == 200) {
                    rrl.store(reply.intervalMs);
                    own.settings = settingsSnapshot.load();
                    gf_parseTrafficResponse(reply.data, own, batch_);
                    deliverTraffic(batch_, 30);
                } else if (reply.apiStatus == 406) {
                    gf_logError(fmt::format("{} curl traffic msg: {}", gf_utcDateTimeText(), reply.message));
                } else {
                    status = reply.apiStatus;
                    break;
                }
            }
            waitInterval(rrl.load());
        }
        if (stop.load()) status = kRTAPIStatusStopped;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "receive", e.what()));
    }
}

// ---------------------------------------------------------------------------

RTAPITrafficReader& gf_rtApiTrafficReader() {
    static RTAPITrafficReader reader(gf_rtApiConnection());
    return reader;
}

void gf_RTAPITrafficReader() {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    static constexpr RTAPIReaderThread thread{kTrafficRTAPIReaderName, "gf_RTAPITrafficReader", "Traffic",
                                         &GuiUpdate::trafficReaderState,
                                         []() -> RTAPIReader& { return gf_rtApiWeatherReader(); }};
    gf_runRTAPIReaderThread(thread, [&reader](std::uint32_t& status) {
        reader.qnh.setInitial();
        reader.receive(status);
    });
}

bool gf_requestRTParkedTraffic() {
    const auto airport = gf_currentAirport();
    if (!airport || airport->icao.isNone() || !gf_isValidLaLo(airport->position)) return false;
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    reader.setParkedBox(gf_boxAround(airport->position, kParkedBoxRadiusNm));
    Gui::addStatusLine(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);

    // The reader thread takes the request at its next loop pass, after its
    // current interval wait; the answer wakes this wait at once.
    reader.askForParkedTraffic();
    const std::int32_t status = reader.waitForParkedStatus(10100ms);
    switch (status) {
        case -1:
            // A wait that a close-down ended did not time out.
            if (keepRunning() && !reader.stop.load()) gf_log("ParkedTraffic receiving timed out after 10 seconds");
            return false;
        case 0:
            return true;
        case 1:
            return false;
        case 400:
            throw std::runtime_error("RT API parameter fault");
        case 403:
            throw std::runtime_error("No data for this license type");
        case 401:
            gf_logError(fmt::format("RT Parked: re-authentication to RT API is needed {}", kRTAPIProgramName));
            return false;
        default:
            gf_logError(fmt::format("RT Parked error status: {}", status));
            return false;
    }
}

void gf_registerRTDirectReaders() {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    ParkedTrafficSource source;
    source.fetch = [] { return gf_requestRTParkedTraffic(); };
    source.parkedMutex = &reader.parkedMutex;
    source.parkedList = &reader.parkedList;
    source.skipEmptyList = false;
    source.mapsMutex = &reader.mapsMutex;
    source.maps = &reader.maps;
    gf_setParkedTrafficSource(true, std::move(source));
    gf_setRTDirectTrafficMapsClearer([] { gf_rtApiTrafficReader().clearTrafficMaps(); });
}

void gf_clearParkedTrafficAirport() {
    if (isRTDirect())
        gf_rtApiTrafficReader().clearParkedTraffic();
    else
        g_trafficReader.clearParkedTraffic();
}
