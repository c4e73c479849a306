#include "feed/rtapp/traffic_reader.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "feed/feed_state.h"
#include "feed/fields.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/traffic_clock.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "foundation/geodesy.h"

TrafficReader g_trafficReader;

namespace {

constexpr std::uint32_t kLiveDelaySeconds = 30;
constexpr std::uint32_t kBufferSegmentSeconds = 6;
// RT App versions send 42 fields (older), 43, or 44 with the airline as
// field 43; every field read below 43 is there in all of them.
constexpr std::size_t kTrafficFieldCount = 42;
constexpr std::size_t kAirlineField = 43;
constexpr std::size_t kParkedFieldCount = 9;
constexpr std::size_t kReservedFields = 64;

std::atomic<void (*)()> l_rtDirectMapsClearer{nullptr};

[[noreturn]] void lf_badField(std::string_view name, std::string_view text) {
    throw std::runtime_error(fmt::format("{}:{}", name, text));
}

// A decimal number taking up the whole field: optional leading '-', no
// blanks, no '+', and finite (inf and nan are read but refused).
double lf_number(std::string_view name, std::string_view text) {
    const std::optional<double> value = gf_parseDecimal(text);
    if (!value) lf_badField(name, text);
    return *value;
}

// A value that real lines leave empty, or write as "null", when the App has
// none: nothing then, as the web API's reader has nothing for the same
// aircraft. Any other text must be a number.
std::optional<double> lf_optionalNumber(std::string_view name, std::string_view text) {
    if (text.empty() || text == "null") return std::nullopt;
    return lf_number(name, text);
}

// A decimal hexid: digits only, at most 4294967295.
std::uint32_t lf_decimalHexid(std::string_view text) {
    if (text.empty()) lf_badField("hexid", text);
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') lf_badField("hexid", text);
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) lf_badField("hexid", text);
    }
    return static_cast<std::uint32_t>(value);
}

// A hexadecimal hexid (either case) that fits in 32 bits: parked lines carry
// the same hexids as the web API's replies and are read by the same rule.
std::uint32_t lf_hexHexid(std::string_view text) {
    const std::optional<std::uint32_t> hexid = gf_parseRTHexid(text);
    if (!hexid) throw std::runtime_error(fmt::format("hexid incorrect{}", text));
    return *hexid;
}

}  // namespace

TrafficReader::TrafficReader() : UdpReader(kTrafficReaderName) {
    fields_.reserve(kReservedFields);
}

void TrafficReader::setBatchPoster(BatchPoster poster) { poster_ = std::move(poster); }

void TrafficReader::onDatagram() { handleLine(datagram_); }

void TrafficReader::onIdle() {
    try {
        postAgedBatch();
    } catch (const std::exception& e) {
        // As for a line: the reader goes on.
        gf_log(fmt::format("exception in postAgedBatch: {}", e.what()));
    }
}

void TrafficReader::postAgedBatch() {
    if (perBatchTaken_ && gf_feedSteadyNow() - batchOpenedAt_ >= kOpenBatchMaxAge) capOpenBatch();
}

void TrafficReader::handleLine(std::string_view line) {
    splitFields(line);
    processRTAppLine(line);
}

void TrafficReader::splitFields(std::string_view line) {
    fields_.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields_.push_back(line.substr(start));
            return;
        }
        fields_.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

bool TrafficReader::checkFieldCount(std::size_t required, std::string_view line) {
    if (fields_.size() >= required) return true;
    // A weather datagram sent to the traffic port is 2 KB every few seconds:
    // its head says enough.
    gf_log(fmt::format("Ignoring incomplete RT App message: {} fields received, {} required: {}", fields_.size(),
                       required, gf_logQuote(line)));
    return false;
}

void TrafficReader::processRTAppLine(std::string_view line) {
    try {
        const std::string_view tag = fields_.front();
        // The end tags post the batch themselves, with their own delays.
        if (tag != "RTTFC_EOT" && tag != "RTBUF_SEP") postAgedBatch();
        if (tag == "RTTFC" || tag == "RTBUF") {
            if (checkFieldCount(kTrafficFieldCount, line)) processTrafficLine();
        } else if (tag == "RTTFC_EOT") {
            post(kLiveDelaySeconds);
            dropPerBatchCopies();
        } else if (tag == "RTBUF_SEP") {
            // The per-batch copies stay: the buffer's segments are one request.
            post(bufferSegment_ * kBufferSegmentSeconds);
            ++bufferSegment_;
            batchOpenedAt_ = gf_feedSteadyNow();
        } else if (tag == "RTBUF_EOT") {
            // Lines after the last separator stay in the batch and go with
            // the next live batch. The line is logged before the start path
            // can see the buffer taken and go on to its parked request, so
            // that Log.txt tells the two in the order and at the time they
            // happened.
            gf_log(fmt::format("{} Buffer traffic received", gf_utcTimeText()));
            dropPerBatchCopies();
            gf_clearBufferRequestPending();
            bufferReceived.store(true);
        } else if (tag == "RTPARK") {
            if (checkFieldCount(kParkedFieldCount, line)) processParkLine();
        } else if (tag == "RTPARK_EOT") {
            {
                std::lock_guard lock(parkedListMutex);
                std::swap(parkedFront, parkedBack);
                parkedBack.clear();
            }
            // Logged first, as the buffer's end is.
            gf_log(fmt::format("{} park traffic received", gf_utcTimeText()));
            parkedReceived.store(true);
        } else if (tag.size() > 5 && tag.substr(0, 5) == "RTBUF") {
            if (checkFieldCount(kTrafficFieldCount, line)) processTrafficLine();
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in processRTAppLine: {}", e.what()));
    }
}

void TrafficReader::post(std::uint32_t delaySeconds) {
    if (poster_)
        poster_(batch_, delaySeconds);
    else
        gf_postTrafficBatch(batch_, delaySeconds, true);
    batch_.clear();  // a poster that kept records must not see them again
}

void TrafficReader::dropPerBatchCopies() {
    perBatchSettings_.reset();
    perBatchTaken_ = false;
}

void TrafficReader::capOpenBatch() {
    if (!batch_.empty()) {
        if (!capLogged_) {
            capLogged_ = true;
            gf_log(fmt::format("RT App traffic without end tag: {} records posted as live traffic (limits {} records, "
                               "{} s)",
                               batch_.size(), kOpenBatchMaxRecords, kOpenBatchMaxAge.count()));
        }
        post(kLiveDelaySeconds);
    }
    dropPerBatchCopies();
}

void TrafficReader::processTrafficLine() {
    if (!perBatchTaken_) {
        // All lines of one batch are judged against one position and one set
        // of settings.
        std::lock_guard lock(ownPositionMutex_);
        perBatchPosition_ = ownPosition_;
        perBatchSettings_ = settingsSnapshot.load();
        perBatchTaken_ = true;
        batchOpenedAt_ = gf_feedSteadyNow();
    }
    processLine();
    if (batch_.size() >= kOpenBatchMaxRecords) capOpenBatch();
}

void TrafficReader::processLine() {
    try {
        const auto& f = fields_;
        TrafficFields fields;
        fields.time = lf_number("timestamp", f[14]);
        fields.position.lat = lf_number("lat", f[2]);
        fields.position.lon = lf_number("lon", f[3]);

        OwnPositionSnapshot own;
        own.latitude = perBatchPosition_.latitude;
        own.longitude = perBatchPosition_.longitude;
        own.cosLatitude = perBatchPosition_.cosLatitude;
        own.airportElevationFt = perBatchPosition_.airportElevationFt;
        own.qnh = static_cast<std::int32_t>(qnh.load());
        own.settings = perBatchSettings_;
        own.collectHandOver = true;  // whether the maps take it is decided under their lock
        own.dropGround0000 = false;
        own.handOverBeforeFilters = true;
        own.rtDirect = false;

        const TimeAndRange check = gf_checkTimeAndPosition(fields, own);
        if (check.roundedTime != 0) g_rtAppLastRecordTime.store(check.roundedTime);
        if (!check.inRange) return;

        fields.hexid = lf_decimalHexid(f[1]);
        fields.altitude = lf_number("altitude", f[4]);
        fields.verticalSpeed = lf_number("vs", f[5]);
        fields.track = f[7].empty() ? 0.0 : lf_number("track", f[7]);
        fields.groundSpeed = lf_number("gs", f[8]);
        fields.dataSource = f[17];
        // A missing true heading is absent (NaN passes none of the builder's
        // heading tests), a missing roll is level and a missing airspeed is
        // taken from the altitude, as for the web API's replies.
        if (gf_isAdsbIcaoSource(fields.dataSource))
            fields.trueHeading =
                lf_optionalNumber("trueheading", f[25]).value_or(std::numeric_limits<double>::quiet_NaN());
        fields.roll = lf_optionalNumber("roll", f[23]).value_or(0.0);
        fields.trueAirspeed = lf_optionalNumber("TAS", f[20]).value_or(-1.0);
        fields.callsign = f[9];
        fields.aircraftType = f[10];
        fields.registration = f[11];
        fields.origin = f[12];
        fields.destination = f[13];
        fields.emitterCategory = f[28];
        if (f.size() > kAirlineField) fields.airline = f[kAirlineField];

        TrafficBuildResult built = gf_buildTrafficRecord(fields, own);
        if (built.handOver) {
            std::lock_guard lock(handOverMutex);
            if (maps.active) maps.insert(*built.handOver);
        }
        if (built.record) batch_.push_back(std::move(*built.record));
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in processLine: {}", e.what()));
    }
}

void TrafficReader::processParkLine() {
    const auto& f = fields_;
    ParkedFields fields;
    fields.hexid = lf_hexHexid(f[1]);
    const double time = lf_number("timestamp", f[8]);
    if (!gf_isValidReportTime(time))
        throw std::runtime_error(fmt::format("timestamp outside range:{:.3f}", time));
    fields.position.lat = lf_number("lat", f[2]);
    fields.position.lon = lf_number("lon", f[3]);
    fields.time = static_cast<std::int64_t>(time);
    fields.callsign = f[4];
    fields.aircraftType = f[5];
    fields.registration = f[6];
    fields.standName = f[7];
    if (auto record = gf_buildParkedRecord(fields)) {
        {
            std::lock_guard lock(parkedListMutex);
            if (parkedBack.size() < kRTAppParkedListCap) {
                parkedBack.push_back(std::move(*record));
                return;
            }
        }
        if (!parkedCapLogged_) {
            parkedCapLogged_ = true;
            gf_log(fmt::format("RT App parked traffic without end tag: {} aircraft held, the rest dropped",
                               kRTAppParkedListCap));
        }
    }
}

void TrafficReader::onDisconnect() {
    Gui::enqueueUpdate(GuiUpdate::trafficReaderState(kReaderStopped));
    gf_log("Traffic Reader disconnected");
}

void TrafficReader::reset() {
    clearDatagramState(true);
    g_rtAppLastRecordTime.store(0);
    qnh.store(0);
    bufferReceived.store(false);
    parkedReceived.store(false);
    bufferSegment_ = 0;
    // The storage goes too: a batch that ran to its cap holds megabytes.
    std::vector<TrafficRecord>().swap(batch_);
    fields_.clear();
    dropPerBatchCopies();
    capLogged_ = false;
    parkedCapLogged_ = false;
    {
        std::lock_guard lock(handOverMutex);
        maps.restart(false);
    }
    {
        std::lock_guard lock(parkedListMutex);
        parkedFront.clear();
        parkedBack.clear();
    }
    std::lock_guard lock(ownPositionMutex_);
    ownPosition_ = OwnPosition{};
}

void TrafficReader::setOwnPosition(double latitude, double longitude) {
    std::lock_guard lock(ownPositionMutex_);
    ownPosition_.latitude = latitude;
    ownPosition_.longitude = longitude;
    ownPosition_.cosLatitude = std::cos(latitude * degreesToRadians);
}

void TrafficReader::setAirportElevation(std::optional<double> elevationFt) {
    std::lock_guard lock(ownPositionMutex_);
    ownPosition_.airportElevationFt = elevationFt;
}

void TrafficReader::clearParkedTraffic() {
    parkedReceived.store(false);
    std::lock_guard lock(parkedListMutex);
    parkedFront.clear();
    parkedBack.clear();
}

void TrafficReader::clearTrafficMaps() {
    std::lock_guard lock(handOverMutex);
    maps.restart(true);
}

void TrafficReader::beginBufferTraffic() {
    bufferSegment_ = 0;
    dropPerBatchCopies();
    bufferReceived.store(false);
}

void gf_clearTrafficMaps() {
    if (isRTDirect()) {
        if (auto clearer = l_rtDirectMapsClearer.load()) clearer();
        return;
    }
    g_trafficReader.clearTrafficMaps();
}

void gf_setRTDirectTrafficMapsClearer(void (*clearer)()) { l_rtDirectMapsClearer.store(clearer); }

void gf_registerRTAppReaders() {
    gf_setRTAppReaderHooks({&gf_resetRTAppReaders, [] { g_trafficReader.clearParkedTraffic(); }});
    ParkedTrafficSource source;
    source.fetch = [] { return g_trafficReader.parkedReceived.load(); };
    source.parkedMutex = &g_trafficReader.parkedListMutex;
    source.parkedList = &g_trafficReader.parkedFront;
    source.skipEmptyList = true;
    source.mapsMutex = &g_trafficReader.handOverMutex;
    source.maps = &g_trafficReader.maps;
    gf_setParkedTrafficSource(false, std::move(source));
}

void gf_resetRTAppReaders() {
    g_trafficReader.reset();
    g_qnhReader.clearState(true);
}

void gf_stopRTAppReaders() {
    g_qnhReader.requestStop();
    g_trafficReader.requestStop();
}

void gf_trafficReader() {
    TrafficReader& reader = g_trafficReader;
    try {
        try {
            gf_registerRTAppReaders();
            reader.createSocket();
            reader.bindToPort(gf_rtAppUdpPorts().traffic);
            Gui::enqueueUpdate(GuiUpdate::trafficReaderState(kReaderRunning));
            gf_log(fmt::format("{} connected", reader.name()));
            reader.qnh.setInitial();
            Gui::addStatusLine(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()), true);
            reader.beginBufferTraffic();
            gf_clearTrafficMaps();
            if (!gf_requestBufferTraffic()) gf_logError("Receiving buffer traffic failed");
            reader.receive();
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{} exception: {}", "gf_trafficReader", e.what()));
            gf_reportReaderError(reader.name(), e.what());
        } catch (...) {
            gf_reportReaderError(reader.name(), "Unknown exception");
        }
    } catch (...) {
        // Reporting failed (out of memory); the stop below still happens.
        requestStop(StopReason::ReaderError, 15);
    }
    // However the loop ended: no buffer answer is awaited any longer.
    try {
        gf_clearBufferRequestPending();
    } catch (...) {
        g_bufferRequestPending.store(false);
    }
    reader.closeSocket();
    gf_logNoThrow("Traffic Reader disconnected");
}
