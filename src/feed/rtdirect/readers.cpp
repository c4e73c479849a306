#include "feed/rtdirect/readers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/user_position.h"
#include "feed/credential.h"
#include "feed/feed_state.h"
#include "feed/rtapp/qnh.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"

namespace {

using namespace std::chrono_literals;
using TimePoint = RTDirectClock::TimePoint;

constexpr std::string_view kProgramName = "TAVO";
constexpr std::int32_t kDefaultQnh = 1013;

// Half the side of the parked box: 3 NM of latitude in degrees, and in feet.
constexpr double kParkedBoxLatitude = 3.0 * 1.852 / 111.2;
constexpr double kParkedBoxFeet = 18228.34647;

class SteadyRTDirectClock final : public RTDirectClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override {
        return cv.wait_until(lock, deadline, ready);
    }
};

SteadyRTDirectClock l_steadyClock;
std::atomic<RTDirectClock*> l_clock{nullptr};

// now + ms, saturating at the largest time point.
TimePoint lf_deadline(TimePoint now, std::chrono::milliseconds ms) {
    if (now > TimePoint::max() - ms) return TimePoint::max();
    return now + ms;
}

void lf_logReaderConnected(std::string_view name) { gf_logContinuation(fmt::format("{} connected", name)); }

// The error line of a reader that ended with `status` (not 9999).
void lf_logReaderEnd(std::string_view shortName, std::uint32_t status) {
    switch (status) {
        case 401:
            gf_logError(fmt::format("re-authentication to RT API is needed, restart {}", kProgramName));
            break;
        case 400:
            gf_logError(fmt::format("{} RT API: parameter fault", shortName));
            break;
        case 403:
            gf_logError(fmt::format("{} RT API: No data for this license type", shortName));
            break;
        default:
            gf_logError(fmt::format("{} RT API error: {}", shortName, status));
            break;
    }
}

// The end of a reader thread: its lamp goes out; unless it was told to stop,
// the other reader is stopped and, unless already done, the end reported.
void lf_endReader(std::string_view name, GuiUpdate lampOff, RTAPIReader& other, std::uint32_t status,
                  bool reported) {
    Gui::enqueueUpdate(std::move(lampOff));
    if (status == kRTAPIStatusStopped) return;
    other.requestStop();
    if (reported) return;
    try {
        gf_reportReaderStopped(name, status == 401, static_cast<std::int32_t>(status));
    } catch (...) {
        // The report may fail (no memory); the thread ends anyway.
    }
}

// The error line "{where}: {what}"; a failing log is no reason to fail more.
void lf_logErrorNoThrow(std::string_view where, std::string_view what) noexcept {
    try {
        gf_logError(fmt::format("{}: {}", where, what));
    } catch (...) {
    }
}

void lf_reportException(std::string_view name, bool& reported) {
    try {
        gf_reportReaderStopped(name, false, 0);
    } catch (...) {
    }
    reported = true;
}

// The form of a traffic request over a box: live, buffered and parked
// traffic differ only in the query type and what follows it.
std::string lf_boxQuery(const RTAPISession& session, const RTAPIBox& box, std::string_view queryType,
                        std::uint32_t timeOffset) {
    return fmt::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype={}&toffset={}",
                       gf_formEncode(session.guid), box.top, box.bottom, box.left, box.right, queryType,
                       timeOffset);
}

RTAPIOptions lf_trafficOptions() { return RTAPIOptions{10, 30, false}; }
RTAPIOptions lf_parkedOptions() { return RTAPIOptions{5, 9, true}; }

}  // namespace

// ---------------------------------------------------------------------------

RTDirectClock& gf_rtDirectClock() {
    RTDirectClock* clock = l_clock.load();
    return clock ? *clock : l_steadyClock;
}

void gf_setRTDirectClock(RTDirectClock* clock) { l_clock.store(clock); }

void gf_rtDirectWaitWhile(std::chrono::milliseconds duration, const std::function<bool()>& stop) {
    RTDirectClock& clock = gf_rtDirectClock();
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    const TimePoint deadline = lf_deadline(clock.now(), duration);
    while (!stop()) {
        const TimePoint now = clock.now();
        if (now >= deadline) return;
        clock.waitUntil(lock, cv, std::min(deadline, lf_deadline(now, 100ms)), stop);
    }
}

// ---------------------------------------------------------------------------

RTAPIReader::RTAPIReader(RTAPIConnection& c) : connection(c) {}
RTAPIReader::~RTAPIReader() = default;

void RTAPIReader::waitInterval(std::uint32_t ms) {
    if (ms < 1) return;
    const std::uint32_t quarter = ms / 4;
    const std::uint32_t slices[5] = {quarter, quarter, quarter, quarter, ms % 4};
    RTDirectClock& clock = gf_rtDirectClock();
    for (const std::uint32_t slice : slices) {
        if (slice == 0) continue;
        if (stop.load()) return;
        std::unique_lock lock(waitMutex_);
        const TimePoint deadline = lf_deadline(clock.now(), std::chrono::milliseconds(slice));
        if (clock.waitUntil(lock, waitCv_, deadline, [this] { return stop.load(); })) return;
    }
}

void RTAPIReader::requestStop() {
    stop.store(true);
    wake();
}

void RTAPIReader::wake() {
    // Taking the mutex orders the flag before a waiter's next test of it, so
    // the notification cannot fall between its test and its sleep.
    { std::lock_guard lock(waitMutex_); }
    waitCv_.notify_all();
}

void RTAPIReader::reset() {
    connection.clearSession();
    connection.transport().resetHandle();
    stop.store(false);
    timeOffset.store(0);
}

// ---------------------------------------------------------------------------

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
    const double dLat = range * 1.852 / 111.2;
    const double feet = range * 6076.11549;
    position_.query.top = lat + dLat;
    position_.query.bottom = lat - dLat;
    position_.query.left = gf_destinationPoint(LaLo{lat, lon}, {-std::numbers::pi / 2.0, feet}).lon;
    position_.query.right = gf_destinationPoint(LaLo{lat, lon}, {std::numbers::pi / 2.0, feet}).lon;
}

void RTAPITrafficReader::clearTrafficMaps() {
    std::lock_guard lock(mapsMutex);
    maps.clear();
    maps.active = true;
}

void RTAPITrafficReader::clearParkedTraffic() {
    {
        std::lock_guard lock(positionMutex_);
        position_.parked = RTAPIBox{};
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
        maps.clear();
        maps.active = false;
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
    own.qnh = qnh.load();
    own.collectHandOver = collectHandOver;
    own.dropGround0000 = true;
    own.handOverBeforeFilters = false;
    own.rtDirect = true;
    return own;
}

void RTAPITrafficReader::setInitialQnh() {
    std::lock_guard lock(qnhMutex_);
    if (qnh.load() != 0) return;
    qnh.store(kDefaultQnh);
    g_qnh.exchange(static_cast<std::uint32_t>(kDefaultQnh));
    Gui::enqueueUpdate(GuiUpdate::qnh(kDefaultQnh));
}

void RTAPITrafficReader::publishQnh(std::int32_t hectopascal) {
    std::lock_guard lock(qnhMutex_);
    qnh.store(hectopascal);
    g_qnh.exchange(static_cast<std::uint32_t>(hectopascal));
    Gui::enqueueUpdate(GuiUpdate::qnh(hectopascal));
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
    const TimePoint deadline = lf_deadline(clock.now(), timeout);
    // A close-down ends the wait: the answer is looked at every 100 ms as well
    // as when it comes, and a stop request or the reader's stop ends it.
    const auto answeredOrStopped = [this] {
        return parkedStatus.load() != -1 || stop.load() || !keepRunning();
    };
    while (!answeredOrStopped()) {
        const TimePoint now = clock.now();
        if (now >= deadline) break;
        clock.waitUntil(lock, parkedStatusCv_, std::min(deadline, lf_deadline(now, 100ms)), answeredOrStopped);
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
            if (!stop.load())
                gf_logError(fmt::format("{} {} {}: {}", gf_utcDateTimeText(), failure->where,
                                        gf_rtApiFailureKindText(failure->kind), failure->message));
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
            if (!stop.load())
                gf_logError(fmt::format("{} {} {}: {}", gf_utcDateTimeText(), failure->where,
                                        gf_rtApiFailureKindText(failure->kind), failure->message));
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
            gf_rtApiTrafficReader().publishQnh(value);
        }
        return true;
    }
    gf_logError("nearest metar: no METAR contains a valid QNH code");
    return false;
}

// ---------------------------------------------------------------------------

RTAPITrafficReader& gf_rtApiTrafficReader() {
    static RTAPITrafficReader reader(gf_rtApiConnection());
    return reader;
}

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

namespace {

// What tells the two reader threads apart.
struct ReaderThread {
    std::string_view name;        // in the log and in reports
    std::string_view function;    // the thread's function, in exception lines
    std::string_view shortName;   // the start of its end-of-run error lines
    GuiUpdate (*lamp)(std::uint32_t);
    RTAPIReader& (*other)();      // stopped when this one ends unasked
};

// The frame of a reader thread: its lamp is lit while `run` sets the status;
// an end other than a stop is logged, an exception logged and reported, and
// at the end the lamp goes out and the other reader is stopped.
template <typename Run>
void lf_runReaderThread(const ReaderThread& thread, Run run) {
    std::uint32_t status = 0;
    bool reported = false;
    try {
        lf_logReaderConnected(thread.name);
        Gui::enqueueUpdate(thread.lamp(kReaderRunning));
        run(status);
        Gui::enqueueUpdate(thread.lamp(kReaderStopped));
        if (status != kRTAPIStatusStopped) lf_logReaderEnd(thread.shortName, status);
    } catch (const std::exception& e) {
        lf_logErrorNoThrow(thread.function, e.what());
        lf_reportException(thread.name, reported);
    } catch (...) {
        lf_reportException(thread.name, reported);
    }
    try {
        lf_endReader(thread.name, thread.lamp(kReaderStopped), thread.other(), status, reported);
    } catch (...) {
    }
}

}  // namespace

void gf_RTAPIWeatherReader() {
    static constexpr ReaderThread thread{kWeatherRTAPIReaderName, "gf_RTAPIWeatherReader", "Weather",
                                         &GuiUpdate::weatherReaderState,
                                         []() -> RTAPIReader& { return gf_rtApiTrafficReader(); }};
    lf_runReaderThread(thread, [](std::uint32_t& status) { gf_nearestMetarWithRetry(status); });
}

void gf_RTAPITrafficReader() {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    static constexpr ReaderThread thread{kTrafficRTAPIReaderName, "gf_RTAPITrafficReader", "Traffic",
                                         &GuiUpdate::trafficReaderState,
                                         []() -> RTAPIReader& { return gf_rtApiWeatherReader(); }};
    lf_runReaderThread(thread, [&reader](std::uint32_t& status) {
        reader.setInitialQnh();
        reader.receive(status);
    });
}

bool gf_requestRTParkedTraffic() {
    const auto airport = gf_currentAirport();
    if (!airport || airport->icao.isNone() || !gf_isValidLaLo(airport->position)) return false;
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    const LaLo center = airport->position;
    RTAPIBox box;
    box.top = center.lat + kParkedBoxLatitude;
    box.bottom = center.lat - kParkedBoxLatitude;
    box.left = gf_destinationPoint(center, {-std::numbers::pi / 2.0, kParkedBoxFeet}).lon;
    box.right = gf_destinationPoint(center, {std::numbers::pi / 2.0, kParkedBoxFeet}).lon;
    reader.setParkedBox(box);
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
            gf_logError(fmt::format("RT Parked: re-authentication to RT API is needed {}", kProgramName));
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

// ---------------------------------------------------------------------------

std::string gf_rtApiSoftwareText() { return fmt::format("{}_{}", kProgramName, kProgramVersionText); }

std::string gf_rtDirectServiceInfo(std::uint32_t type, std::int64_t expiry, std::int64_t now) {
    // In seconds: a garbage expiry cannot overflow as its value x 10^7 would.
    std::int64_t left = 0;
    if (__builtin_sub_overflow(expiry, now, &left))
        left = expiry < now ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    const std::int64_t days = left / 86400;
    return fmt::format("RT Direct {} license, {} day{} left", type == 2 ? "professional" : "standard", days,
                       (days == 1 || days < 0) ? "" : "s");
}

namespace {

// The login; true on success. `status` is 100 unless the failure carries one.
bool lf_reportAuthentication(std::uint32_t& status) {
    status = 100;
    RTAPIConnection& connection = gf_rtApiConnection();
    connection.clearSession();
    g_rtConnected.store(false);
    try {
        const RTAPIAuthResult result = connection.authenticate(g_rtCredential, gf_rtApiSoftwareText());
        if (const auto* error = std::get_if<RTAPIStatusError>(&result)) {
            status = error->status;
            if (!error->message.empty()) gf_logError(error->message);
            return false;
        }
        const RTAPISession& session = *std::get<RTAPISessionPtr>(result);
        RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
        weather.rrl.store(session.rrl);
        weather.wrrl.store(session.wrrl);
        g_rtProfessional.store(session.type == 2);
        gf_log(fmt::format("\nAuthenticated at RT server '{}'", session.server.empty() ? "?" : session.server));
        g_rtConnected.store(true);
        Gui::showTrafficServiceInfo(gf_rtDirectServiceInfo(session.type, session.expiry, gf_systemSeconds()));
        // The service asks for a pause before the first weather request. The
        // interval is clamped already; the pause ends when the program stops.
        gf_rtDirectWaitWhile(std::chrono::milliseconds(gf_clampRTAPIInterval(session.wrrl)),
                             [] { return !keepRunning(); });
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "authenticate", e.what()));
        return false;
    }
}

void lf_waitTenSeconds() {
    gf_rtDirectWaitWhile(10s, [] { return !keepRunning(); });
}

}  // namespace

void gf_authenticateAtRTServer() {
    Gui::addStatusLine("Waiting for authentication at RT server ...", true);
    gf_logAndFlush(" ");
    std::uint32_t status = 0;
    if (lf_reportAuthentication(status)) {
        Gui::showTbloHintOrClear();
        return;
    }
    std::string_view text;
    switch (status) {
        case 402:
            text = "Your RT license is expired";
            break;
        case 404:
            text = "RT did not recognize your license";
            break;
        case 405:
            text = "More than one RealTraffic session is not possible, do not run the RealTraffic app";
            break;
        case 500:
            throw std::runtime_error("No RT database connection");
        default:
            gf_reportReaderStopped(kAuthenticaterName, false, 0);
            Gui::showTbloHintOrClear();
            return;
    }
    Gui::addStatusLine(text, true);
    lf_waitTenSeconds();
    throw tavo::UserRelatedException(static_cast<int>(status), text);
}

void gf_RTAPIDeauthenticate() {
    RTAPIConnection& connection = gf_rtApiConnection();
    try {
        if (!connection.isAuthenticated()) {
            gf_logError("Deauthentication skipped: empty GUID");
        } else {
            const RTAPIDeauthResult result = connection.deauthenticate();
            if (const auto* done = std::get_if<RTAPIDeauthReply>(&result))
                gf_log(fmt::format("{} RT server '{}'", done->message, done->server));
            else {
                const auto& error = std::get<RTAPIStatusError>(result);
                gf_logError(fmt::format("Deauthentication failed, status {}: {}", error.status, error.message));
            }
        }
    } catch (const std::exception& e) {
        lf_logErrorNoThrow("deauthenticate", e.what());
    } catch (...) {
    }
    g_rtConnected.store(false);
    connection.clearSession();
}

void gf_startRTDirectReaders() {
    gf_registerRTDirectReaders();
    g_weatherReaderThread = std::jthread([] { gf_RTAPIWeatherReader(); });
    g_trafficReaderThread = std::jthread([] { gf_RTAPITrafficReader(); });
}

void gf_closeRTDirect(bool restart) {
    RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
    RTAPITrafficReader& traffic = gf_rtApiTrafficReader();
    weather.requestStop();
    traffic.requestStop();
    gf_stopAndJoin(g_weatherReaderThread);
    gf_stopAndJoin(g_trafficReaderThread);
    gf_RTAPIDeauthenticate();
    if (restart) {
        traffic.reset();
        weather.reset();
    }
}

void gf_clearParkedTrafficAirport() {
    if (isRTDirect())
        gf_rtApiTrafficReader().clearParkedTraffic();
    else
        g_trafficReader.clearParkedTraffic();
}
