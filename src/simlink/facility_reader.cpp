#include "simlink/facility_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "platform/simconnect/simconnect.h"
#include "scan/parking_names.h"
#include "services/stop.h"

namespace {

constexpr const char* kConnectionName = "PARKING_DATA_RDR";
constexpr SIMCONNECT_DATA_DEFINITION_ID kStandDefinition = 1001;
constexpr SIMCONNECT_DATA_DEFINITION_ID kRunwayDefinition = 1002;
constexpr SIMCONNECT_DATA_REQUEST_ID kStandRequest = 2001;
constexpr SIMCONNECT_DATA_REQUEST_ID kRunwayRequest = 2002;
constexpr auto kStandTimeout = std::chrono::seconds(30);
constexpr auto kRunwayTimeout = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(1);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The answer's blocks follow these entries in this order.
constexpr std::array<const char*, 30> kStandDefinitionEntries{
    "OPEN AIRPORT",     "LATITUDE",        "LONGITUDE", "ALTITUDE", "NAME",         "N_HELIPADS",
    "N_TAXI_PARKINGS",  "OPEN TAXI_PARKING", "TYPE",    "TAXI_POINT_TYPE", "NAME",  "SUFFIX",
    "NUMBER",           "ORIENTATION",     "HEADING",   "RADIUS",   "BIAS_X",       "BIAS_Z",
    "CLOSE TAXI_PARKING", "OPEN HELIPAD",  "LATITUDE",  "LONGITUDE", "ALTITUDE",    "HEADING",
    "LENGTH",           "WIDTH",           "SURFACE",   "TYPE",     "CLOSE HELIPAD", "CLOSE AIRPORT",
};

constexpr std::array<const char*, 36> kRunwayDefinitionEntries{
    "OPEN AIRPORT",
    "ALTITUDE",
    "N_RUNWAYS",
    "N_STARTS",
    "OPEN RUNWAY",
    "LATITUDE",
    "LONGITUDE",
    "ALTITUDE",
    "HEADING",
    "LENGTH",
    "WIDTH",
    "PRIMARY_NUMBER",
    "PRIMARY_DESIGNATOR",
    "SECONDARY_NUMBER",
    "SECONDARY_DESIGNATOR",
    "OPEN PRIMARY_THRESHOLD",
    "LENGTH",
    "WIDTH",
    "ENABLE",
    "CLOSE PRIMARY_THRESHOLD",
    "OPEN SECONDARY_THRESHOLD",
    "LENGTH",
    "WIDTH",
    "ENABLE",
    "CLOSE SECONDARY_THRESHOLD",
    "CLOSE RUNWAY",
    "OPEN START",
    "LATITUDE",
    "LONGITUDE",
    "ALTITUDE",
    "HEADING",
    "NUMBER",
    "DESIGNATOR",
    "TYPE",
    "CLOSE START",
    "CLOSE AIRPORT",
};

// Smallest block sizes (head of 40 bytes plus the fields the definitions ask
// for); a block that is shorter cannot be read and fails the read.
constexpr DWORD kStandAirportBlockSize = 104;
constexpr DWORD kParkingBlockSize = 80;
constexpr DWORD kHelipadBlockSize = 84;
constexpr DWORD kRunwayAirportBlockSize = 56;
constexpr DWORD kRunwayBlockSize = 92;
constexpr DWORD kStartBlockSize = 80;
constexpr DWORD kThresholdBlockSize = 52;

// The runway list is reserved for the advertised count, but never for more
// than this: the count comes from outside and a wild value must not turn into
// a huge allocation.
constexpr std::size_t kMaxRunwayReserve = 64;

// The one reader connection. Guarded by g_mutex, which every read and close
// holds from start to end.
struct ReaderConnection {
    HANDLE handle = nullptr;
    bool open = false;             // open, with the stand definition made
    bool runwayDefinition = false;  // the runway definition is made too
};

std::mutex g_mutex;
ReaderConnection g_connection;
FacilityReaderClock g_clock;  // guarded by g_mutex

std::string lf_hex(HRESULT hr) { return fmt::format("0x{:08X}", static_cast<std::uint32_t>(hr)); }

std::chrono::steady_clock::time_point lf_now() {
    return g_clock.now ? g_clock.now() : std::chrono::steady_clock::now();
}

void lf_sleepUntil(std::chrono::steady_clock::time_point when) {
    if (g_clock.sleepUntil)
        g_clock.sleepUntil(when);
    else
        std::this_thread::sleep_until(when);
}

// A field of a received record; the record is only `size` bytes long, and
// its fields need not be aligned.
template <typename T>
T lf_get(const SIMCONNECT_RECV* record, DWORD size, std::size_t offset) {
    if (offset + sizeof(T) > size)
        throw std::runtime_error(fmt::format("record of {} bytes has no field at offset {}", size, offset));
    T value;
    std::memcpy(&value, reinterpret_cast<const std::byte*>(record) + offset, sizeof(T));
    return value;
}

void lf_requireSize(DWORD size, DWORD needed, std::string_view block) {
    if (size < needed)
        throw std::runtime_error(fmt::format("{} block of {} bytes, at least {} expected", block, size, needed));
}

// The head of a facility-data record, read with its size checked.
struct FacilityHead {
    DWORD userRequestId = 0;
    DWORD uniqueRequestId = 0;
    DWORD parentUniqueRequestId = 0;
    DWORD type = 0;
};

FacilityHead lf_facilityHead(const SIMCONNECT_RECV* record, DWORD size) {
    lf_requireSize(size, 40, "facility data");
    return FacilityHead{lf_get<DWORD>(record, size, 12), lf_get<DWORD>(record, size, 16),
                        lf_get<DWORD>(record, size, 20), lf_get<DWORD>(record, size, 24)};
}

// Degrees to radians in [0, 2 pi); NaN stays NaN.
double lf_headingRadians(double degrees) {
    double r = std::fmod(degrees * degreesToRadians, fullCircle);
    if (r < 0) r += fullCircle;
    return r;
}

LaLo lf_move(LaLo from, double bearing, double metres) {
    return gf_destinationPoint(from, BearingDistance{bearing, std::abs(metres) * feetPerMetre});
}

// ---- connection ----

bool lf_openFacilityReader() {
    if (g_connection.open) return true;
    HANDLE handle = nullptr;
    const HRESULT hr = SimConnect_Open(&handle, kConnectionName, nullptr, 0, nullptr, 0);
    if (FAILED(hr)) {
        gf_logError(fmt::format("SimConnect_Open (PARKING_DATA_RDR) FAILED hr={}", lf_hex(hr)));
        return false;
    }
    for (const char* entry : kStandDefinitionEntries) {
        if (FAILED(SimConnect_AddToFacilityDefinition(handle, kStandDefinition, entry))) {
            gf_logError("SimConnect facility definition initialization failed");
            SimConnect_Close(handle);
            return false;
        }
    }
    g_connection = ReaderConnection{handle, true, false};
    return true;
}

void lf_closeFacilityReader() {
    if (!g_connection.open) return;
    if (FAILED(SimConnect_Close(g_connection.handle)))
        gf_logError("Closing SimConnect failed?!");
    else
        gf_log("SimConnect closed ok");
    g_connection = ReaderConnection{};
    gf_log("SimConnect (PARKING_DATA_RDR) closed");
}

// How a polling loop ended.
enum class PollEnd : std::uint8_t { Done, Stopped, DispatchFailed, TimedOut };

struct PollResult {
    PollEnd end = PollEnd::Done;
    HRESULT hr = S_OK;
};

// Dispatches the connection every millisecond until `done` is set, the
// program stops, the dispatch fails or the time-out passes. The system timer
// already has millisecond resolution here, so nothing needs raising for the
// 1 ms sleeps.
PollResult lf_poll(DispatchProc procedure, void* context, const bool& done, std::chrono::seconds timeout) {
    const auto deadline = lf_now() + timeout;
    while (!done) {
        if (!keepRunning()) return {PollEnd::Stopped, S_OK};
        const HRESULT hr = SimConnect_CallDispatch(g_connection.handle, procedure, context);
        if (FAILED(hr)) return {PollEnd::DispatchFailed, hr};
        if (done) break;
        const auto now = lf_now();
        if (now > deadline) return {PollEnd::TimedOut, S_OK};
        lf_sleepUntil(now + kPollInterval);
    }
    return {PollEnd::Done, S_OK};
}

// ---- stands ----

struct StandReadContext {
    std::string_view airportName;
    bool airportSeen = false;
    LaLo position{};
    double altitudeFt = nan;
    std::string facilityName;
    std::vector<Stand> stands;
    bool done = false;
    bool failed = false;
};

std::string lf_suffixText(std::int32_t suffix) {
    if (suffix == 0) return {};
    if (suffix >= 12 && suffix <= 37) return std::string(1, static_cast<char>('A' + (suffix - 12)));
    return "?";
}

// A stand that the data places nowhere or sizes as nothing would mislead every
// later user of the airport; it is left out and named in the log.
bool lf_keepStand(const StandReadContext& ctx, const Stand& stand) {
    const LaLo position{stand.latitude, stand.longitude};
    if (gf_isValidLaLo(position) && std::isfinite(stand.heading) && std::isfinite(stand.radius) &&
        stand.radius >= 0)
        return true;
    gf_log(fmt::format("Fac: {} skipped {} at {}: invalid position, heading or radius", ctx.airportName,
                       stand.heli ? std::string("a helipad") : "stand " + stand.name, position));
    return false;
}

void lf_onStandAirport(StandReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kStandAirportBlockSize, "airport");
    ctx.position = LaLo{lf_get<double>(r, size, 40), lf_get<double>(r, size, 48)};
    ctx.altitudeFt = lf_get<double>(r, size, 56) * feetPerMetre;
    const char* name = reinterpret_cast<const char*>(r) + 64;
    ctx.facilityName.assign(name, strnlen(name, 32));
    ctx.airportSeen = true;
}

void lf_onHelipad(StandReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kHelipadBlockSize, "helipad");
    const double latitude = lf_get<double>(r, size, 40);
    const double longitude = lf_get<double>(r, size, 48);
    const double heading = lf_headingRadians(lf_get<float>(r, size, 64));
    const double width = lf_get<float>(r, size, 72);
    const std::int32_t type = lf_get<std::int32_t>(r, size, 80);
    const double radiusM = width * (type == 2 ? 0.7 : 0.5);
    // Named once all have arrived: "HELIPAD n" counts the helipads kept.
    Stand stand("", {}, latitude, longitude, heading, radiusM, ParkingType::NONE, false, false, true);
    if (lf_keepStand(ctx, stand)) ctx.stands.push_back(std::move(stand));
}

void lf_onTaxiParking(StandReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kParkingBlockSize, "taxi parking");
    const std::int32_t type = lf_get<std::int32_t>(r, size, 40);
    // NONE and VEHICLE are no stands; codes outside the table are unknown.
    if (type <= 0 || type == 13 || type > 15) return;
    // A parking lies relative to the airport reference, so it needs that first.
    if (!ctx.airportSeen) throw std::runtime_error("taxi parking before the airport block");
    const std::int32_t nameIndex = lf_get<std::int32_t>(r, size, 48);
    const std::int32_t suffix = lf_get<std::int32_t>(r, size, 52);
    const std::uint32_t number = lf_get<std::uint32_t>(r, size, 56);
    const double heading = lf_headingRadians(lf_get<float>(r, size, 64));
    const double radiusM = lf_get<float>(r, size, 68);
    const double biasX = lf_get<float>(r, size, 72);
    const double biasZ = lf_get<float>(r, size, 76);

    LaLo position = ctx.position;
    if (biasX != 0) position = lf_move(position, biasX > 0 ? pi / 2 : 3 * pi / 2, biasX);
    if (biasZ != 0) position = lf_move(position, biasZ > 0 ? 0.0 : pi, biasZ);

    std::string name = fmt::format("{}{}{}", gf_parkingNamePrefix(static_cast<std::uint32_t>(nameIndex)), number,
                                   lf_suffixText(suffix));
    const bool gaRamp = type <= 4 || type == 14;
    const bool cargoRamp = type == 5 || type == 6;
    Stand stand(std::move(name), {}, position.lat, position.lon, heading, radiusM,
                static_cast<ParkingType>(type), cargoRamp, gaRamp, false);
    if (lf_keepStand(ctx, stand)) ctx.stands.push_back(std::move(stand));
}

void lf_onRecvFacilityData(StandReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    try {
        const FacilityHead head = lf_facilityHead(r, size);
        if (head.userRequestId != kStandRequest) return;
        switch (head.type) {
        case SIMCONNECT_FACILITY_DATA_AIRPORT: lf_onStandAirport(ctx, r, size); break;
        case SIMCONNECT_FACILITY_DATA_HELIPAD: lf_onHelipad(ctx, r, size); break;
        case SIMCONNECT_FACILITY_DATA_TAXI_PARKING: lf_onTaxiParking(ctx, r, size); break;
        default: break;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", "onRecvFacilityData", e.what()));
        ctx.done = ctx.failed = true;
    }
}

void lf_dispatchStands(SIMCONNECT_RECV* r, DWORD size, void* context) {
    auto& ctx = *static_cast<StandReadContext*>(context);
    // Whatever follows the end of this read in the same dispatch is not ours.
    if (ctx.done) return;
    try {
        switch (lf_get<DWORD>(r, size, 8)) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            gf_logError(fmt::format("SimConnect EXCEPTION id={} sendID={} index={}", lf_get<DWORD>(r, size, 12),
                                    lf_get<DWORD>(r, size, 16), lf_get<DWORD>(r, size, 20)));
            ctx.done = ctx.failed = true;
            break;
        case SIMCONNECT_RECV_ID_FACILITY_DATA: lf_onRecvFacilityData(ctx, r, size); break;
        case SIMCONNECT_RECV_ID_FACILITY_DATA_END:
            if (lf_get<DWORD>(r, size, 12) == kStandRequest) ctx.done = true;
            break;
        default: break;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", "lf_dispatchStands", e.what()));
        ctx.done = ctx.failed = true;
    }
}

bool lf_readStands(std::string_view airportName, std::string_view icao, std::string_view region, Airport& airport,
                   std::uint32_t& helipadCount) {
    // The result's code comes from the name; a name that is no code cannot
    // give an airport, so the simulator is not asked at all.
    IcaoCode code;
    try {
        code = IcaoCode(airportName);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", "gf_readFacilityStands", e.what()));
        return false;
    }

    if (!lf_openFacilityReader()) return false;

    const std::string icaoText(icao);
    const std::string regionText(region);
    if (FAILED(SimConnect_RequestFacilityData(g_connection.handle, kStandDefinition, kStandRequest, icaoText.c_str(),
                                              regionText.c_str()))) {
        gf_logError(fmt::format("RequestFacilityData failed for {} (airport {})", icao, airportName));
        lf_closeFacilityReader();
        return false;
    }

    StandReadContext ctx;
    ctx.airportName = airportName;
    const PollResult poll = lf_poll(&lf_dispatchStands, &ctx, ctx.done, kStandTimeout);
    if (poll.end == PollEnd::DispatchFailed)
        gf_logError(fmt::format("SimConnect_CallDispatch failed for {}: {}", airportName, lf_hex(poll.hr)));
    else if (poll.end == PollEnd::TimedOut)
        gf_logError(fmt::format("Facility data request timed out for {}", airportName));
    if (poll.end != PollEnd::Done || ctx.failed) {
        lf_closeFacilityReader();
        return false;
    }

    // An answer without a usable airport block would put every stand around
    // (0, 0); such an airport is not read.
    if (!ctx.airportSeen || !gf_isValidLaLo(ctx.position)) {
        gf_logError(fmt::format("Fac: {} facility data without a valid airport position", airportName));
        lf_closeFacilityReader();
        return false;
    }
    if (!std::isfinite(ctx.altitudeFt) || std::abs(ctx.altitudeFt) > 1.0e6) {
        gf_logError(fmt::format("Fac: {} facility data with an invalid airport altitude", airportName));
        lf_closeFacilityReader();
        return false;
    }

    std::uint32_t helipads = 0;
    for (auto& stand : ctx.stands)
        if (stand.heli) stand.name = fmt::format("HELIPAD {}", ++helipads);

    airport.icao = code;
    airport.latitude = ctx.position.lat;
    airport.longitude = ctx.position.lon;
    airport.name = std::move(ctx.facilityName);
    airport.altitude = static_cast<std::int32_t>(std::lround(ctx.altitudeFt));
    airport.stands = std::move(ctx.stands);
    helipadCount = helipads;
    if (airport.stands.empty()) gf_log(fmt::format("Fac: {} has no stands", airport.icao));
    return true;
}

// ---- runways ----

struct RunwayReadContext {
    std::vector<FacilityRunway> runways;
    std::vector<FacilityStart> starts;
    // Runway index and the number of thresholds seen, by the runway block's
    // request identity.
    std::map<DWORD, std::pair<std::size_t, int>> runwayByRequest;
    double airportAltitudeFt = nan;
    std::int32_t advertisedRunways = -1;
    std::int32_t advertisedStarts = -1;
    bool done = false;
    bool failed = false;
    // The read ended by the simulator's answer (END or EXCEPTION), so nothing
    // of this request can still be on its way.
    bool answered = false;
};

void lf_onRunwayAirport(RunwayReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kRunwayAirportBlockSize, "airport");
    ctx.airportAltitudeFt = lf_get<double>(r, size, 40) * feetPerMetre;
    ctx.advertisedRunways = lf_get<std::int32_t>(r, size, 48);
    ctx.advertisedStarts = lf_get<std::int32_t>(r, size, 52);
    if (ctx.advertisedRunways >= 1)
        ctx.runways.reserve(std::min<std::size_t>(static_cast<std::size_t>(ctx.advertisedRunways), kMaxRunwayReserve));
}

void lf_onRunway(RunwayReadContext& ctx, const FacilityHead& head, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kRunwayBlockSize, "runway");
    FacilityRunway runway;
    runway.centre = LaLo{lf_get<double>(r, size, 40), lf_get<double>(r, size, 48)};
    runway.altitudeFt = lf_get<double>(r, size, 56) * feetPerMetre;
    runway.headingDeg = lf_get<float>(r, size, 64);
    runway.lengthM = lf_get<float>(r, size, 68);
    runway.widthM = lf_get<float>(r, size, 72);
    runway.primaryNumber = lf_get<std::int32_t>(r, size, 76);
    runway.primaryDesignator = lf_get<std::int32_t>(r, size, 80);
    runway.secondaryNumber = lf_get<std::int32_t>(r, size, 84);
    runway.secondaryDesignator = lf_get<std::int32_t>(r, size, 88);
    const double h = runway.headingDeg * degreesToRadians;
    const double halfLengthFt = runway.lengthM * 0.5 * feetPerMetre;
    runway.end1 = gf_destinationPoint(runway.centre, BearingDistance{h + pi, halfLengthFt});
    runway.end2 = gf_destinationPoint(runway.centre, BearingDistance{h, halfLengthFt});
    ctx.runways.push_back(runway);
    ctx.runwayByRequest[head.uniqueRequestId] = {ctx.runways.size() - 1, 0};
}

void lf_onStart(RunwayReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kStartBlockSize, "start");
    FacilityStart start;
    start.position = LaLo{lf_get<double>(r, size, 40), lf_get<double>(r, size, 48)};
    start.altitudeFt = lf_get<double>(r, size, 56) * feetPerMetre;
    start.headingDeg = lf_get<float>(r, size, 64);
    start.number = lf_get<std::int32_t>(r, size, 68);
    start.designator = lf_get<std::int32_t>(r, size, 72);
    start.type = lf_get<std::int32_t>(r, size, 76);
    ctx.starts.push_back(start);
}

void lf_onThreshold(RunwayReadContext& ctx, const FacilityHead& head, const SIMCONNECT_RECV* r, DWORD size) {
    lf_requireSize(size, kThresholdBlockSize, "threshold");
    const auto it = ctx.runwayByRequest.find(head.parentUniqueRequestId);
    if (it == ctx.runwayByRequest.end()) return;
    auto& [index, seen] = it->second;
    ++seen;
    if (seen > 2) return;  // a runway has two ends; more thresholds say nothing
    FacilityRunway& runway = ctx.runways[index];
    FacilityThreshold& threshold = seen == 1 ? runway.primaryThreshold : runway.secondaryThreshold;
    threshold.lengthM = lf_get<float>(r, size, 40);
    threshold.widthM = lf_get<float>(r, size, 44);
    threshold.enabled = lf_get<std::int32_t>(r, size, 48) != 0;
}

void lf_onRunwayData(RunwayReadContext& ctx, const SIMCONNECT_RECV* r, DWORD size) {
    try {
        const FacilityHead head = lf_facilityHead(r, size);
        if (head.userRequestId != kRunwayRequest) return;
        switch (head.type) {
        case SIMCONNECT_FACILITY_DATA_AIRPORT: lf_onRunwayAirport(ctx, r, size); break;
        case SIMCONNECT_FACILITY_DATA_RUNWAY: lf_onRunway(ctx, head, r, size); break;
        case SIMCONNECT_FACILITY_DATA_START: lf_onStart(ctx, r, size); break;
        case SIMCONNECT_FACILITY_DATA_THRESHOLD: lf_onThreshold(ctx, head, r, size); break;
        default: break;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} exception: {}", "onRecvRunwayData", e.what()));
        ctx.done = ctx.failed = true;
    }
}

void lf_dispatchRunways(SIMCONNECT_RECV* r, DWORD size, void* context) {
    auto& ctx = *static_cast<RunwayReadContext*>(context);
    if (ctx.done) return;
    try {
        switch (lf_get<DWORD>(r, size, 8)) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            gf_logError(fmt::format("RUNWAY_HEADING: SimConnect exception id={} sendID={} index={}",
                                    lf_get<DWORD>(r, size, 12), lf_get<DWORD>(r, size, 16),
                                    lf_get<DWORD>(r, size, 20)));
            ctx.done = ctx.failed = ctx.answered = true;
            break;
        case SIMCONNECT_RECV_ID_FACILITY_DATA: lf_onRunwayData(ctx, r, size); break;
        case SIMCONNECT_RECV_ID_FACILITY_DATA_END:
            if (lf_get<DWORD>(r, size, 12) == kRunwayRequest) ctx.done = ctx.answered = true;
            break;
        default: break;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} exception: {}", "lf_dispatchRunways", e.what()));
        ctx.done = ctx.failed = true;
    }
}

// Each start of TYPE 1 goes to the first runway with its end; a later start
// for the same end replaces an earlier one.
void lf_assignStarts(RunwayReadContext& ctx) {
    for (const FacilityStart& start : ctx.starts) {
        if (start.type != 1) continue;
        for (FacilityRunway& runway : ctx.runways) {
            const bool primary = runway.primaryNumber == start.number && runway.primaryDesignator == start.designator;
            const bool secondary =
                runway.secondaryNumber == start.number && runway.secondaryDesignator == start.designator;
            if (!primary && !secondary) continue;
            (primary ? runway.primaryStart : runway.secondaryStart) = start;
            break;
        }
    }
}

bool lf_reciprocal(std::int32_t primary, std::int32_t secondary) {
    if (primary >= 1 && primary <= 36) return secondary == ((primary + 17) % 36) + 1;
    if (primary >= 37 && primary <= 44) return secondary == ((primary - 33) % 8) + 37;
    return false;
}

bool lf_validRunway(const FacilityRunway& r) {
    const auto inRange = [](double v, double low, double high) { return std::isfinite(v) && v > low && v <= high; };
    const auto validNumber = [](std::int32_t n) { return n >= 1 && n <= 44; };
    const auto validDesignator = [](std::int32_t d) { return d >= 0 && d <= 6; };
    return gf_isValidLaLo(r.centre) && gf_isValidLaLo(r.end1) && gf_isValidLaLo(r.end2) &&
           std::isfinite(r.headingDeg) && r.headingDeg >= 0 && r.headingDeg < 360 &&
           inRange(r.lengthM, 0, 10000) && inRange(r.widthM, 0, 500) && std::isfinite(r.altitudeFt) &&
           validNumber(r.primaryNumber) && validNumber(r.secondaryNumber) &&
           validDesignator(r.primaryDesignator) && validDesignator(r.secondaryDesignator) &&
           r.primaryStart.has_value() && r.secondaryStart.has_value() &&
           lf_reciprocal(r.primaryNumber, r.secondaryNumber);
}

std::optional<FacilityRunwaySet> lf_readRunways(std::string_view icao) {
    if (!lf_openFacilityReader()) return std::nullopt;

    if (!g_connection.runwayDefinition) {
        for (const char* entry : kRunwayDefinitionEntries) {
            if (FAILED(SimConnect_AddToFacilityDefinition(g_connection.handle, kRunwayDefinition, entry))) {
                gf_logError("RUNWAY_HEADING: facility definition initialization failed");
                // The entries made so far stay on this connection; adding them
                // again would only lengthen a broken definition, so the next
                // read starts on a fresh connection.
                lf_closeFacilityReader();
                return std::nullopt;
            }
        }
        g_connection.runwayDefinition = true;
    }

    RunwayReadContext ctx;
    ctx.runways.reserve(8);
    const std::string icaoText(icao);
    if (const HRESULT hr =
            SimConnect_RequestFacilityData(g_connection.handle, kRunwayDefinition, kRunwayRequest, icaoText.c_str(), "");
        FAILED(hr)) {
        gf_logError(fmt::format("RUNWAY_HEADING: RequestFacilityData for {} failed: {}", icao, lf_hex(hr)));
        // A connection that refuses requests stays broken (the simulator was
        // restarted, say); a fresh one is opened by the next read.
        lf_closeFacilityReader();
        return std::nullopt;
    }

    const PollResult poll = lf_poll(&lf_dispatchRunways, &ctx, ctx.done, kRunwayTimeout);
    if (poll.end == PollEnd::DispatchFailed)
        gf_logError(
            fmt::format("RUNWAY_HEADING: SimConnect_CallDispatch failed for {}: {}", icao, lf_hex(poll.hr)));
    else if (poll.end == PollEnd::TimedOut)
        gf_logError(fmt::format("RUNWAY_HEADING: facility data request timed out for {}", icao));
    if (poll.end != PollEnd::Done || ctx.failed) {
        // Unless the simulator finished its answer, the connection is broken or
        // the rest of the answer may still come and would mix into the next
        // read; a fresh connection starts clean.
        if (!ctx.answered) lf_closeFacilityReader();
        return std::nullopt;
    }

    lf_assignStarts(ctx);

    if (!std::isfinite(ctx.airportAltitudeFt)) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} invalid Facilities airport altitude; correction disabled", icao));
        return std::nullopt;
    }
    const auto returnedRunways = ctx.runways.size();
    if (ctx.advertisedRunways < 1 || static_cast<std::size_t>(ctx.advertisedRunways) != returnedRunways) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} incomplete runway data: advertised {}, returned {}; "
                                "correction disabled",
                                icao, ctx.advertisedRunways, returnedRunways));
        return std::nullopt;
    }
    const auto returnedStarts = ctx.starts.size();
    if (ctx.advertisedStarts < 0 || static_cast<std::size_t>(ctx.advertisedStarts) != returnedStarts) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} incomplete START data: advertised {}, returned {}; "
                                "correction disabled",
                                icao, ctx.advertisedStarts, returnedStarts));
        return std::nullopt;
    }

    std::set<std::pair<std::int32_t, std::int32_t>> endsSeen;
    for (const FacilityRunway& r : ctx.runways) {
        const std::pair primary{r.primaryNumber, r.primaryDesignator};
        const std::pair secondary{r.secondaryNumber, r.secondaryDesignator};
        if (!lf_validRunway(r) || endsSeen.contains(primary) || endsSeen.contains(secondary)) {
            gf_logError(fmt::format("RUNWAY_HEADING: {} invalid or duplicate runway {}-{}; correction disabled", icao,
                                    gf_runwayName(r.primaryNumber, r.primaryDesignator),
                                    gf_runwayName(r.secondaryNumber, r.secondaryDesignator)));
            return std::nullopt;
        }
        endsSeen.insert(primary);
        endsSeen.insert(secondary);
    }

    return FacilityRunwaySet{ctx.airportAltitudeFt, std::move(ctx.runways)};
}

}  // namespace

bool gf_readFacilityStands(std::string_view airportName, std::string_view icao, std::string_view region,
                           Airport& airport, std::uint32_t& helipadCount) {
    try {
        std::lock_guard lock(g_mutex);
        try {
            return lf_readStands(airportName, icao, region, airport, helipadCount);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{} exception: {}", "gf_readFacilityStands", e.what()));
            lf_closeFacilityReader();
        }
    } catch (...) {
        // Logging itself failed; the caller still only learns "false".
    }
    return false;
}

bool gf_readFacilityStands(std::string_view icao, Airport& airport, std::uint32_t& helipadCount) {
    return gf_readFacilityStands(icao, icao, "", airport, helipadCount);
}

void gf_closeFacilityReader() {
    try {
        std::lock_guard lock(g_mutex);
        lf_closeFacilityReader();
    } catch (...) {
        // Closing runs on the way out of the scan; it must not throw there.
    }
}

std::optional<FacilityRunwaySet> gf_readRunwayHeadings(std::string_view icao) {
    try {
        std::lock_guard lock(g_mutex);
        try {
            return lf_readRunways(icao);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("RUNWAY_HEADING: {} exception: {}", "gf_readRunwayHeadings", e.what()));
            lf_closeFacilityReader();
        }
    } catch (...) {
    }
    return std::nullopt;
}

std::string gf_runwayName(std::int32_t number, std::int32_t designator) {
    static constexpr std::array<const char*, 8> compass{"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    static constexpr std::array<const char*, 6> letters{"L", "R", "C", "W", "A", "B"};
    std::string name;
    if (number >= 1 && number <= 36)
        name = fmt::format("{:02}", number);
    else if (number >= 37 && number <= 44)
        name = compass[static_cast<std::size_t>(number - 37)];
    else
        name = fmt::format("#{}", number);
    if (designator >= 1 && designator <= 6)
        name += letters[static_cast<std::size_t>(designator - 1)];
    else if (designator != 0)
        name += fmt::format("({})", designator);
    return name;
}

void gf_setFacilityReaderClock(FacilityReaderClock clock) {
    std::lock_guard lock(g_mutex);
    g_clock = std::move(clock);
}
