// The simulator model: its world, time, records, inspection and fault knobs.
// The client calls themselves are in simconnect.cpp, facility data in
// sim_facility.cpp and the scenario file in sim_scenario.cpp.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stop_token>
#include <thread>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/sim_model_internal.h"
#include "foundation/geodesy.h"
#include "foundation/text.h"

namespace {

constexpr std::size_t kRemovedJournalsKept = 4096;
constexpr std::size_t kClosedConnectionsKept = 64;

struct VarName {
    const char* name;
    SimVar var;
};

// Upper-case names of the variables the model can pack.
constexpr VarName kVariables[] = {
    {"PLANE LATITUDE", SimVar::Latitude},
    {"PLANE LONGITUDE", SimVar::Longitude},
    {"PLANE PITCH DEGREES", SimVar::Pitch},
    {"PLANE BANK DEGREES", SimVar::Bank},
    {"PLANE HEADING DEGREES TRUE", SimVar::Heading},
    {"PLANE ALTITUDE", SimVar::Altitude},
    {"INDICATED ALTITUDE", SimVar::IndicatedAltitude},
    {"PLANE ALT ABOVE GROUND", SimVar::AltAboveGround},
    {"GROUND ALTITUDE", SimVar::GroundAltitude},
    {"SIM ON GROUND", SimVar::OnGround},
    {"VERTICAL SPEED", SimVar::VerticalSpeed},
    {"AIRSPEED TRUE", SimVar::AirspeedTrue},
    {"GROUND VELOCITY", SimVar::GroundVelocity},
    {"GPS GROUND TRUE TRACK", SimVar::GpsTrack},
    {"ZULU TIME", SimVar::ZuluTime},
    {"ZULU DAY OF YEAR", SimVar::ZuluDay},
    {"ZULU YEAR", SimVar::ZuluYear},
    {"LIGHT STATES", SimVar::LightStates},
    {"LIGHT ON STATES", SimVar::LightOnStates},
    {"STATIC CG TO GROUND", SimVar::StaticCg},
    {"STATIC PITCH", SimVar::StaticPitch},
    {"ATC ID", SimVar::AtcId},
    {"ATC MODEL", SimVar::AtcModel},
    {"TITLE", SimVar::Title},
    {"SPOILERS HANDLE POSITION", SimVar::Spoilers},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", SimVar::Throttle1},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", SimVar::Throttle2},
};

enum class UnitClass : std::uint8_t { None, AngleDeg, AngleRad, Length, Speed, VSpeed };

UnitClass lf_unitClass(SimVar v) {
    switch (v) {
    case SimVar::Latitude:
    case SimVar::Longitude:
    case SimVar::GpsTrack: return UnitClass::AngleDeg;
    case SimVar::Pitch:
    case SimVar::Bank:
    case SimVar::Heading:
    case SimVar::StaticPitch: return UnitClass::AngleRad;
    case SimVar::Altitude:
    case SimVar::IndicatedAltitude:
    case SimVar::AltAboveGround:
    case SimVar::GroundAltitude:
    case SimVar::StaticCg: return UnitClass::Length;
    case SimVar::AirspeedTrue:
    case SimVar::GroundVelocity: return UnitClass::Speed;
    case SimVar::VerticalSpeed: return UnitClass::VSpeed;
    default: return UnitClass::None;
    }
}

bool lf_isText(SimVar v) { return v == SimVar::AtcId || v == SimVar::AtcModel || v == SimVar::Title; }

// Factor from the model's own unit of a variable (degrees, radians, feet,
// knots, feet per minute) to the unit the client asked for.
double lf_unitScale(SimVar v, std::string_view unitUpper) {
    auto starts = [&](std::string_view p) { return unitUpper.substr(0, p.size()) == p; };
    switch (lf_unitClass(v)) {
    case UnitClass::AngleDeg:
        return starts("RADIAN") ? degreesToRadians : 1.0;
    case UnitClass::AngleRad:
        return starts("DEGREE") ? radiansToDegrees : 1.0;
    case UnitClass::Length:
        return (starts("METER") || starts("METRE")) ? 1.0 / feetPerMetre : 1.0;
    case UnitClass::Speed:
        if (starts("METERS PER SECOND") || starts("METRES PER SECOND")) return 0.514444;
        if (starts("FEET PER SECOND")) return 1.68781;
        return 1.0;
    case UnitClass::VSpeed:
        if (starts("FEET PER SECOND")) return 1.0 / 60.0;
        if (starts("METERS PER SECOND") || starts("METRES PER SECOND")) return 0.3048 / 60.0;
        return 1.0;
    default: return 1.0;
    }
}

std::size_t lf_typeWidth(SIMCONNECT_DATATYPE t) {
    switch (t) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    default: return 0;  // STRINGV and invalid types
    }
}

bool lf_isStringType(SIMCONNECT_DATATYPE t) {
    return t >= SIMCONNECT_DATATYPE_STRING8 && t <= SIMCONNECT_DATATYPE_STRINGV;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t lf_daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The simulator's three Zulu fields: seconds of day, day of year, year.
std::array<std::int64_t, 3> lf_zuluFields(const SimWorld& w) {
    if (w.zuluRaw) return {(*w.zuluRaw)[2], (*w.zuluRaw)[1], (*w.zuluRaw)[0]};
    std::int64_t days = w.zuluEpoch >= 0 ? w.zuluEpoch / 86400 : (w.zuluEpoch - 86399) / 86400;
    const std::int64_t secs = w.zuluEpoch - days * 86400;
    // Civil year from days since 1970.
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    const std::int64_t dayOfYear = days - lf_daysFromCivil(y, 1, 1) + 1;
    return {secs, dayOfYear, y};
}

double lf_numeric(SimWorld& w, const SimObject& o, SimVar v) {
    switch (v) {
    case SimVar::Latitude: return o.pose.latitudeDeg;
    case SimVar::Longitude: return o.pose.longitudeDeg;
    case SimVar::Pitch: return o.pose.pitchRad;
    case SimVar::Bank: return o.pose.bankRad;
    case SimVar::Heading: return o.pose.headingRad;
    case SimVar::Altitude:
    case SimVar::IndicatedAltitude: return o.pose.altitudeFt;
    case SimVar::AltAboveGround:
        return o.pose.altitudeFt - gf_simTerrainFt(w, o.pose.latitudeDeg, o.pose.longitudeDeg);
    case SimVar::GroundAltitude: return gf_simTerrainFt(w, o.pose.latitudeDeg, o.pose.longitudeDeg);
    case SimVar::OnGround: return o.onGround ? 1.0 : 0.0;
    case SimVar::VerticalSpeed: return o.pose.verticalSpeedFpm;
    case SimVar::AirspeedTrue: return o.pose.trueAirspeedKt;
    case SimVar::GroundVelocity: return o.pose.groundVelocityKt;
    case SimVar::GpsTrack: {
        double deg = std::fmod(o.pose.headingRad * radiansToDegrees, 360.0);
        return deg < 0 ? deg + 360.0 : deg;
    }
    case SimVar::ZuluTime: return static_cast<double>(lf_zuluFields(w)[0]);
    case SimVar::ZuluDay: return static_cast<double>(lf_zuluFields(w)[1]);
    case SimVar::ZuluYear: return static_cast<double>(lf_zuluFields(w)[2]);
    case SimVar::LightStates:
    case SimVar::LightOnStates: return static_cast<double>(o.lights);
    case SimVar::StaticCg: return o.staticCgFt;
    case SimVar::StaticPitch: return o.staticPitchRad;
    case SimVar::Spoilers: return o.spoilersPct;
    case SimVar::Throttle1: return o.throttle1Pct;
    case SimVar::Throttle2: return o.throttle2Pct;
    default: return 0.0;
    }
}

std::int64_t lf_integer(SimWorld& w, const SimObject& o, SimVar v, double scale) {
    switch (v) {
    case SimVar::ZuluTime: return lf_zuluFields(w)[0];
    case SimVar::ZuluDay: return lf_zuluFields(w)[1];
    case SimVar::ZuluYear: return lf_zuluFields(w)[2];
    case SimVar::LightStates:
    case SimVar::LightOnStates: return o.lights;
    default: {
        const double value = lf_numeric(w, o, v) * scale;
        return std::isfinite(value) ? static_cast<std::int64_t>(value) : 0;
    }
    }
}

std::string_view lf_text(const SimObject& o, SimVar v) {
    switch (v) {
    case SimVar::AtcId: return o.atcId;
    case SimVar::AtcModel: return o.atcModel;
    case SimVar::Title: return o.title;
    default: return {};
    }
}

// Sets one variable from a value in the client's unit; read-only variables
// are left alone.
void lf_setNumeric(SimObject& o, SimVar v, double value, std::int64_t integer) {
    switch (v) {
    case SimVar::Latitude: o.pose.latitudeDeg = value; break;
    case SimVar::Longitude: o.pose.longitudeDeg = value; break;
    case SimVar::Pitch: o.pose.pitchRad = value; break;
    case SimVar::Bank: o.pose.bankRad = value; break;
    case SimVar::Heading: o.pose.headingRad = value; break;
    case SimVar::Altitude: o.pose.altitudeFt = value; break;
    case SimVar::VerticalSpeed: o.pose.verticalSpeedFpm = value; break;
    case SimVar::AirspeedTrue: o.pose.trueAirspeedKt = value; break;
    case SimVar::GroundVelocity: o.pose.groundVelocityKt = value; break;
    case SimVar::OnGround: o.onGround = value != 0.0; break;
    case SimVar::LightStates:
    case SimVar::LightOnStates: o.lights = integer; break;
    case SimVar::Spoilers: o.spoilersPct = value; break;
    case SimVar::Throttle1: o.throttle1Pct = value; break;
    case SimVar::Throttle2: o.throttle2Pct = value; break;
    default: break;
    }
}

void lf_defaultIds(SimWorld& w) {
    if (w.idOverride) {
        w.userId = w.idOverride->first;
        w.nextAiId = w.idOverride->second;
    } else if (w.version == SimVersion::MSFS2020) {
        w.userId = 1;
        w.nextAiId = 100;
    } else {
        w.userId = 0x0A000001u;
        w.nextAiId = 0x0A000100u;
    }
}

SimObject lf_userObject(SimWorld& w) {
    SimObject o;
    o.id = w.userId;
    o.kind = SimObjectKind::User;
    o.title = w.user.title;
    o.atcId = w.user.atcId;
    o.atcModel = w.user.atcModel;
    o.pose = w.user.pose;
    o.onGround = w.user.onGround;
    o.lights = w.user.lightStates;
    if (auto it = w.titles.find(gf_toUpperAscii(w.user.title)); it != w.titles.end()) {
        o.staticCgFt = it->second.staticCgFt;
        o.staticPitchRad = it->second.staticPitchRad;
    }
    return o;
}

// Removes every object and tells each open connection that the simulator
// quit. Caller holds the lock.
void lf_quit(SimWorld& w) {
    if (!w.running) return;
    std::vector<std::uint32_t> ids;
    ids.reserve(w.objects.size());
    for (const auto& [id, o] : w.objects) ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    for (auto id : ids) gf_simRemoveObject(w, id, 0, "simulator quit", false);
    for (auto& [id, c] : w.connections) {
        if (c->quit) continue;
        c->periodic.clear();
        gf_simQueue(w, *c, gf_simNewRecord(sizeof(SIMCONNECT_RECV), SIMCONNECT_RECV_ID_QUIT));
        c->quit = true;
    }
    w.running = false;
}

void lf_start(SimWorld& w, SimVersion version) {
    if (w.running && w.version == version) return;
    if (w.running) lf_quit(w);
    w.version = version;
    w.running = true;
    lf_defaultIds(w);
    gf_simAddObject(w, lf_userObject(w));
}

// Delivers the periodic requests of one period kind. Caller holds the lock.
void lf_deliverPeriodic(SimWorld& w, bool perSecond) {
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        auto& list = c->periodic;
        for (std::size_t i = 0; i < list.size();) {
            const auto& r = list[i];
            const bool due = perSecond ? r.period == SIMCONNECT_PERIOD_SECOND
                                       : (r.period == SIMCONNECT_PERIOD_VISUAL_FRAME || r.period == SIMCONNECT_PERIOD_SIM_FRAME);
            if (!due) { ++i; continue; }
            auto obj = w.objects.find(r.objectId);
            auto def = c->definitions.find(r.defineId);
            if (obj == w.objects.end()) {  // the object left: its request ends
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (def != c->definitions.end())
                gf_simQueue(w, *c, gf_simObjectData(w, def->second, obj->second, SIMCONNECT_RECV_ID_SIMOBJECT_DATA,
                                                    r.requestId, r.defineId, 1, 1));
            ++i;
        }
    }
}

void lf_frame(SimWorld& w) {
    ++w.frameCount;
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        for (const auto& [eventId, name] : c->subscriptions) {
            if (name != "FRAME") continue;
            SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT_FRAME), SIMCONNECT_RECV_ID_EVENT_FRAME);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), eventId);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_FRAME, fFrameRate), 30.0f);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_FRAME, fSimSpeed), 1.0f);
            gf_simQueue(w, *c, std::move(r));
        }
    }
    lf_deliverPeriodic(w, false);
}

void lf_second(SimWorld& w) {
    if (w.zuluRaw) {
        (*w.zuluRaw)[2] += 1;
    } else {
        ++w.zuluEpoch;
    }
    gf_simNotify(w, "1SEC", 0);
    lf_deliverPeriodic(w, true);
}

SimObjectInfo lf_info(const SimObject& o) {
    SimObjectInfo i;
    i.objectId = o.id;
    i.kind = o.kind;
    i.title = o.title;
    i.atcId = o.atcId;
    i.owner = o.owner;
    i.pose = o.pose;
    i.onGround = o.onGround;
    i.released = o.released;
    i.freezeLatLon = o.freezeLatLon;
    i.freezeAltitude = o.freezeAltitude;
    i.freezeAttitude = o.freezeAttitude;
    i.lightStates = o.lights;
    i.spoilersPct = o.spoilersPct;
    i.throttle1Pct = o.throttle1Pct;
    i.throttle2Pct = o.throttle2Pct;
    i.flightPlan = o.flightPlan;
    return i;
}

SimConnectionInfo lf_connectionInfo(const SimConnection& c) {
    SimConnectionInfo i;
    i.found = true;
    i.open = c.open;
    i.name = c.name;
    i.serial = c.serial;
    i.subscriptions = c.subscriptions;
    i.mappedEvents = c.mapped;
    i.groups = c.groups;
    i.groupPriorities = c.priorities;
    for (auto id : c.definitionOrder) {
        std::vector<std::string> names;
        for (const auto& d : c.definitions.at(id).datums) names.push_back(d.name);
        i.dataDefinitions.emplace_back(id, std::move(names));
    }
    for (const auto& [id, entries] : c.facilityDefinitions) i.facilityDefinitions.emplace_back(id, entries);
    i.lastPacketId = c.lastPacket;
    i.queuedRecords = c.queue.size();
    i.calls.assign(c.calls.begin(), c.calls.end());
    return i;
}

// The ticker thread and its control, apart from the world's lock so that
// stopping it never waits while holding that lock.
struct Ticker {
    std::mutex control;
    std::jthread thread;
};

Ticker& lf_ticker() {
    static Ticker t;
    return t;
}

void lf_tickerLoop(std::stop_token stop, std::chrono::milliseconds frameInterval,
                   std::chrono::milliseconds secondInterval) {
    std::mutex m;
    std::condition_variable_any cv;
    auto nextFrame = std::chrono::steady_clock::now() + frameInterval;
    auto nextSecond = std::chrono::steady_clock::now() + secondInterval;
    std::unique_lock lock(m);
    while (!stop.stop_requested()) {
        const auto until = std::min(nextFrame, nextSecond);
        cv.wait_until(lock, stop, until, [] { return false; });
        if (stop.stop_requested()) break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextFrame) {
            gf_simModelFrames(1);
            nextFrame += frameInterval;
            if (nextFrame < now) nextFrame = now + frameInterval;  // fell behind: no burst of frames
        }
        if (now >= nextSecond) {
            gf_simModelSeconds(1);
            nextSecond += secondInterval;
            if (nextSecond < now) nextSecond = now + secondInterval;
        }
    }
}

}  // namespace

// ---- internal helpers ----

SimWorld& gf_simWorld() {
    static SimWorld w;
    return w;
}

SimRecord gf_simNewRecord(std::size_t size, SIMCONNECT_RECV_ID id) {
    SimRecord r(size, std::byte{0});
    gf_simPut(r, 0, static_cast<DWORD>(size));
    gf_simPut(r, 4, DWORD{6});
    gf_simPut(r, 8, static_cast<DWORD>(id));
    return r;
}

void gf_simQueue(SimWorld& w, SimConnection& c, SimRecord record) {
    if (record.size() >= 12 && !w.recordFaults.empty()) {
        DWORD id = 0;
        std::memcpy(&id, record.data() + 8, 4);
        std::optional<DWORD> requestId;
        if ((id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA || id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE ||
             id == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID || id == SIMCONNECT_RECV_ID_FACILITY_DATA ||
             id == SIMCONNECT_RECV_ID_FACILITY_DATA_END) &&
            record.size() >= 16) {
            DWORD v = 0;
            std::memcpy(&v, record.data() + 12, 4);
            requestId = v;
        }
        for (auto& f : w.recordFaults) {
            if (f.fault.times == 0 || f.fault.recvId != id) continue;
            if (f.fault.requestId && f.fault.requestId != requestId) continue;
            if (f.fault.times > 0) --f.fault.times;
            if (f.fault.truncateTo < record.size()) {
                // A fresh buffer of exactly the cut size, so that a reader going
                // past the size it was given touches memory it does not own.
                SimRecord cut(record.begin(), record.begin() + f.fault.truncateTo);
                if (cut.size() >= 4) gf_simPut(cut, 0, static_cast<DWORD>(cut.size()));
                record = std::move(cut);
            }
            break;
        }
    }
    c.queue.push_back(std::move(record));
}

SimDatum gf_simMakeDatum(const char* name, const char* unit, SIMCONNECT_DATATYPE type) {
    SimDatum d;
    d.name = name ? name : "";
    d.type = type;
    const std::string upper = gf_toUpperAscii(d.name);
    for (const auto& v : kVariables) {
        if (upper == v.name) {
            d.var = v.var;
            break;
        }
    }
    d.scale = lf_unitScale(d.var, gf_toUpperAscii(unit ? unit : ""));
    d.width = lf_typeWidth(type);
    return d;
}

SimRecord gf_simObjectData(SimWorld& w, const SimDataDefinition& def, const SimObject& object,
                           SIMCONNECT_RECV_ID kind, std::uint32_t requestId, std::uint32_t defineId,
                           std::uint32_t entry, std::uint32_t outOf) {
    std::size_t size = 40 + def.fixedSize;
    if (def.variable) {
        for (const auto& d : def.datums)
            if (d.type == SIMCONNECT_DATATYPE_STRINGV) size += lf_text(object, d.var).size() + 1;
    }
    SimRecord r = gf_simNewRecord(size, kind);
    gf_simPut(r, 12, requestId);
    gf_simPut(r, 16, object.id);
    gf_simPut(r, 20, defineId);
    gf_simPut(r, 28, entry);
    gf_simPut(r, 32, outOf);
    gf_simPut(r, 36, static_cast<DWORD>(def.datums.size()));
    std::size_t at = 40;
    for (const auto& d : def.datums) {
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: gf_simPut(r, at, lf_numeric(w, object, d.var) * d.scale); break;
        case SIMCONNECT_DATATYPE_FLOAT32:
            gf_simPut(r, at, static_cast<float>(lf_numeric(w, object, d.var) * d.scale));
            break;
        case SIMCONNECT_DATATYPE_INT64: gf_simPut(r, at, lf_integer(w, object, d.var, d.scale)); break;
        case SIMCONNECT_DATATYPE_INT32:
            gf_simPut(r, at, static_cast<std::int32_t>(lf_integer(w, object, d.var, d.scale)));
            break;
        case SIMCONNECT_DATATYPE_STRINGV: {
            const auto text = lf_text(object, d.var);
            std::memcpy(r.data() + at, text.data(), text.size());  // the NUL is already there
            at += text.size() + 1;
            continue;
        }
        default:
            if (lf_isStringType(d.type)) {
                const auto text = lf_text(object, d.var);
                std::memcpy(r.data() + at, text.data(), std::min(text.size(), d.width));
            }
            break;
        }
        at += d.width;
    }
    return r;
}

std::vector<double> gf_simApplyData(SimWorld& w, const SimDataDefinition& def, SimObject& object,
                                    const std::byte* data) {
    std::vector<double> values;
    values.reserve(def.datums.size());
    bool altitudeSet = false;
    std::size_t at = 0;
    for (const auto& d : def.datums) {
        double value = 0;
        std::int64_t integer = 0;
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: std::memcpy(&value, data + at, 8); break;
        case SIMCONNECT_DATATYPE_FLOAT32: {
            float f = 0;
            std::memcpy(&f, data + at, 4);
            value = f;
            break;
        }
        case SIMCONNECT_DATATYPE_INT64:
            std::memcpy(&integer, data + at, 8);
            value = static_cast<double>(integer);
            break;
        case SIMCONNECT_DATATYPE_INT32: {
            std::int32_t i = 0;
            std::memcpy(&i, data + at, 4);
            integer = i;
            value = i;
            break;
        }
        default: break;  // texts are not settable
        }
        at += d.width;
        values.push_back(value);
        if (lf_isStringType(d.type) || lf_isText(d.var)) continue;
        const double own = d.scale != 0 ? value / d.scale : value;
        lf_setNumeric(object, d.var, own, integer);
        altitudeSet = altitudeSet || d.var == SimVar::Altitude;
    }
    // An AI aircraft sits on the ground when its altitude puts it there.
    if (altitudeSet && object.kind == SimObjectKind::Ai) {
        const double agl = object.pose.altitudeFt - gf_simTerrainFt(w, object.pose.latitudeDeg, object.pose.longitudeDeg);
        object.onGround = agl <= object.staticCgFt + 2.0;
    }
    return values;
}

void gf_simJournal(SimWorld& w, std::uint32_t objectId, SimJournalEntry entry) {
    entry.frame = w.frameCount;
    auto& j = w.journals[objectId];
    j.push_back(std::move(entry));
    while (j.size() > w.journalLimit) j.pop_front();
}

void gf_simNotify(SimWorld& w, std::string_view upperName, std::uint32_t data, std::optional<std::uint32_t> objectType) {
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        for (const auto& [eventId, name] : c->subscriptions) {
            if (name != upperName) continue;
            SimRecord r = objectType ? gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE),
                                                       SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
                                     : gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT), SIMCONNECT_RECV_ID_EVENT);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), eventId);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, dwData), data);
            if (objectType) gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, eObjType), *objectType);
            gf_simQueue(w, *c, std::move(r));
        }
    }
}

void gf_simRemoveObject(SimWorld& w, std::uint32_t objectId, std::uint32_t requestId, std::string why, bool notify) {
    auto it = w.objects.find(objectId);
    if (it == w.objects.end()) return;
    if (it->second.kind == SimObjectKind::Ai) --w.aiCount;
    w.objects.erase(it);
    SimJournalEntry e;
    e.kind = SimJournalKind::Removed;
    e.id = requestId;
    e.text = std::move(why);
    gf_simJournal(w, objectId, std::move(e));
    w.removedOrder.push_back(objectId);
    while (w.removedOrder.size() > kRemovedJournalsKept) {
        const auto old = w.removedOrder.front();
        w.removedOrder.pop_front();
        if (!w.objects.contains(old)) w.journals.erase(old);
    }
    if (notify) gf_simNotify(w, "OBJECTREMOVED", objectId, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
}

std::uint32_t gf_simAddObject(SimWorld& w, SimObject object) {
    const auto id = object.id;
    if (object.kind == SimObjectKind::Ai) ++w.aiCount;
    w.journals.erase(id);
    w.objects[id] = std::move(object);
    if (w.objects[id].kind != SimObjectKind::User) gf_simNotify(w, "OBJECTADDED", id, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    return id;
}

double gf_simTerrainFt(SimWorld& w, double lat, double lon) { return w.terrain ? w.terrain(lat, lon) : 0.0; }

// ---- control API ----

void gf_simModelReset() {
    gf_simModelStopTicker();
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    for (auto& [id, c] : w.connections) c->open = false;
    w.connections.clear();
    w.closed.clear();
    w.running = false;
    w.version = SimVersion::MSFS2020;
    w.autoloadDisabled = true;
    w.idOverride.reset();
    lf_defaultIds(w);
    w.appName.reset();
    w.user = SimUserAircraft{};
    w.objects.clear();
    w.aiCount = 0;
    w.journals.clear();
    w.removedOrder.clear();
    w.journalLimit = 10000;
    w.titles.clear();
    w.acceptAnyTitle = false;
    w.airports.clear();
    w.terrain = nullptr;
    w.zuluEpoch = 1704067200;
    w.zuluRaw.reset();
    w.flightRunning = true;
    w.maxAi = 1000;
    w.frameCount = 0;
    w.callFaults.clear();
    w.recordFaults.clear();
    w.withholdFacilityEnd = false;
    w.drained.notify_all();
}

void gf_simModelStart(SimVersion version) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    lf_start(w, version);
}

void gf_simModelStop() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    lf_quit(w);
}

void gf_simModelSwitchVersion() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    const auto next = w.version == SimVersion::MSFS2020 ? SimVersion::MSFS2024 : SimVersion::MSFS2020;
    lf_quit(w);
    lf_start(w, next);
}

bool gf_simModelIsRunning() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return w.running;
}

SimVersion gf_simModelVersion() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return w.version;
}

void gf_simModelSetObjectIds(std::uint32_t userObjectId, std::uint32_t firstAiObjectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.idOverride = std::make_pair(userObjectId, firstAiObjectId);
    w.nextAiId = firstAiObjectId;
    if (!w.running) w.userId = userObjectId;
}

void gf_simModelSetApplicationName(std::optional<std::string> name) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.appName = std::move(name);
}

void gf_simModelSetUserAircraft(const SimUserAircraft& user) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.user = user;
    if (auto it = w.objects.find(w.userId); it != w.objects.end() && it->second.kind == SimObjectKind::User)
        it->second = lf_userObject(w);
}

SimUserAircraft gf_simModelUserAircraft() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    SimUserAircraft u = w.user;
    if (auto it = w.objects.find(w.userId); it != w.objects.end() && it->second.kind == SimObjectKind::User) {
        u.pose = it->second.pose;
        u.onGround = it->second.onGround;
        u.lightStates = it->second.lights;
    }
    return u;
}

std::uint32_t gf_simModelUserObjectId() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return w.userId;
}

void gf_simModelAddTitle(const SimTitleInfo& info) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.titles[gf_toUpperAscii(info.title)] = info;
}

void gf_simModelSetAcceptAnyTitle(bool accept) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.acceptAnyTitle = accept;
}

void gf_simModelAddAirport(const SimAirport& airport) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    const auto key = gf_toUpperAscii(airport.icao);
    std::erase_if(w.airports, [&](const SimAirport& a) { return gf_toUpperAscii(a.icao) == key; });
    w.airports.push_back(airport);
}

void gf_simModelSetTerrain(std::function<double(double, double)> heightFt) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.terrain = std::move(heightFt);
}

double gf_simModelTerrainHeightFt(double latDeg, double lonDeg) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return gf_simTerrainFt(w, latDeg, lonDeg);
}

void gf_simModelSetZuluTime(std::int64_t epochSeconds) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.zuluEpoch = epochSeconds;
    w.zuluRaw.reset();
}

void gf_simModelSetZuluFields(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.zuluRaw = std::array<std::int64_t, 3>{year, dayOfYear, secondsOfDay};
}

void gf_simModelSetFlightRunning(bool running) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (w.flightRunning == running) return;
    w.flightRunning = running;
    gf_simNotify(w, "SIM", running ? 1 : 0);
}

void gf_simModelLoadFlight(const std::string& fileName, bool asPlainEvent) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (asPlainEvent) {
        gf_simNotify(w, "FLIGHTLOADED", 0);
        return;
    }
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        for (const auto& [eventId, name] : c->subscriptions) {
            if (name != "FLIGHTLOADED") continue;
            SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT_FILENAME), SIMCONNECT_RECV_ID_EVENT_FILENAME);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), eventId);
            std::memcpy(r.data() + offsetof(SIMCONNECT_RECV_EVENT_FILENAME, szFileName), fileName.data(),
                        std::min<std::size_t>(fileName.size(), 259));
            gf_simQueue(w, *c, std::move(r));
        }
    }
}

void gf_simModelSetMaxAiObjects(std::size_t count) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.maxAi = count;
}

std::uint32_t gf_simModelAddTraffic(const SimTrafficAircraft& aircraft) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (!w.running) return 0;
    SimObject o;
    o.id = w.nextAiId++;
    o.kind = SimObjectKind::Traffic;
    o.title = aircraft.title;
    o.atcId = aircraft.atcId;
    o.atcModel = aircraft.atcModel;
    o.pose = aircraft.pose;
    o.onGround = aircraft.onGround;
    return gf_simAddObject(w, std::move(o));
}

bool gf_simModelRemoveTraffic(std::uint32_t objectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(objectId);
    if (it == w.objects.end() || it->second.kind != SimObjectKind::Traffic) return false;
    gf_simRemoveObject(w, objectId, 0, "traffic left", true);
    return true;
}

bool gf_simModelSetObjectPose(std::uint32_t objectId, const SimPose& pose, std::optional<bool> onGround) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(objectId);
    if (it == w.objects.end()) return false;
    it->second.pose = pose;
    if (onGround) it->second.onGround = *onGround;
    if (it->second.kind == SimObjectKind::User) {
        w.user.pose = pose;
        w.user.onGround = it->second.onGround;
    }
    return true;
}

void gf_simModelFrames(int count) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (!w.running) return;
    for (int i = 0; i < count; ++i) lf_frame(w);
}

void gf_simModelSeconds(int count) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (!w.running) return;
    for (int i = 0; i < count; ++i) lf_second(w);
}

void gf_simModelStartTicker(std::chrono::milliseconds frameInterval, std::chrono::milliseconds secondInterval) {
    frameInterval = std::max(frameInterval, std::chrono::milliseconds(1));
    secondInterval = std::max(secondInterval, std::chrono::milliseconds(1));
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    if (t.thread.joinable()) {
        t.thread.request_stop();
        t.thread.join();
    }
    t.thread = std::jthread(lf_tickerLoop, frameInterval, secondInterval);
}

void gf_simModelStopTicker() {
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    if (t.thread.joinable()) {
        t.thread.request_stop();
        t.thread.join();
    }
    t.thread = std::jthread();
}

bool gf_simModelTickerRunning() {
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    return t.thread.joinable();
}

bool gf_simModelWaitDrained(std::chrono::milliseconds timeout) {
    auto& w = gf_simWorld();
    std::unique_lock lock(w.mutex);
    return w.drained.wait_for(lock, timeout, [&] {
        for (const auto& [h, c] : w.connections)
            if (!c->queue.empty() || c->dispatching > 0) return false;
        return true;
    });
}

std::uint64_t gf_simModelFrameCount() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return w.frameCount;
}

std::vector<SimJournalEntry> gf_simModelJournal(std::uint32_t objectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.journals.find(objectId);
    if (it == w.journals.end()) return {};
    return {it->second.begin(), it->second.end()};
}

void gf_simModelSetJournalLimit(std::size_t entriesPerObject) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.journalLimit = std::max<std::size_t>(entriesPerObject, 1);
}

std::vector<SimObjectInfo> gf_simModelObjects() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    std::vector<SimObjectInfo> out;
    out.reserve(w.objects.size());
    for (const auto& [id, o] : w.objects) out.push_back(lf_info(o));
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.objectId < b.objectId; });
    return out;
}

std::optional<SimObjectInfo> gf_simModelObject(std::uint32_t objectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(objectId);
    if (it == w.objects.end()) return std::nullopt;
    return lf_info(it->second);
}

const char* gf_simCallName(SimCall call) {
    static constexpr const char* names[] = {
        "SimConnect_Open", "SimConnect_Close", "SimConnect_CallDispatch", "SimConnect_SubscribeToSystemEvent",
        "SimConnect_AddToDataDefinition", "SimConnect_RequestDataOnSimObject",
        "SimConnect_RequestDataOnSimObjectType", "SimConnect_SetDataOnSimObject",
        "SimConnect_AICreateNonATCAircraft", "SimConnect_AIRemoveObject", "SimConnect_AIReleaseControl",
        "SimConnect_AISetAircraftFlightPlan", "SimConnect_MapClientEventToSimEvent",
        "SimConnect_TransmitClientEvent", "SimConnect_AddClientEventToNotificationGroup",
        "SimConnect_SetNotificationGroupPriority", "SimConnect_GetLastSentPacketID",
        "SimConnect_AddToFacilityDefinition", "SimConnect_RequestFacilityData"};
    const auto i = static_cast<std::size_t>(call);
    return i < std::size(names) ? names[i] : "?";
}

SimConnectionInfo gf_simModelConnection(const std::string& name) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    const SimConnection* best = nullptr;
    for (const auto& [h, c] : w.connections)
        if (c->name == name && (!best || c->serial > best->serial)) best = c.get();
    for (const auto& c : w.closed)
        if (c->name == name && (!best || c->serial > best->serial)) best = c.get();
    return best ? lf_connectionInfo(*best) : SimConnectionInfo{};
}

int gf_simModelOpenConnectionCount() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return static_cast<int>(w.connections.size());
}

void gf_simModelAddCallFault(const SimCallFault& fault) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.callFaults.push_back({fault, 0});
}

void gf_simModelAddRecordFault(const SimRecordFault& fault) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.recordFaults.push_back({fault});
}

void gf_simModelSetWithholdFacilityEnd(bool withhold) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.withholdFacilityEnd = withhold;
}

void gf_simModelSendException(const std::string& connection, DWORD exception, DWORD sendId, DWORD index) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    for (auto& [h, c] : w.connections) {
        if (c->quit || (!connection.empty() && c->name != connection)) continue;
        SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EXCEPTION), SIMCONNECT_RECV_ID_EXCEPTION);
        gf_simPut(r, 12, exception);
        gf_simPut(r, 16, sendId);
        gf_simPut(r, 20, index);
        gf_simQueue(w, *c, std::move(r));
    }
}

void gf_simModelQueueRawRecord(const std::string& connection, const std::vector<std::byte>& record) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    for (auto& [h, c] : w.connections) {
        if (c->quit || (!connection.empty() && c->name != connection)) continue;
        c->queue.push_back(record);
    }
}

void gf_simModelClearFaults() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.callFaults.clear();
    w.recordFaults.clear();
    w.withholdFacilityEnd = false;
}

// Used by simconnect.cpp when a connection closes.
void gf_simRememberClosed(SimWorld& w, std::shared_ptr<SimConnection> c) {
    c->open = false;
    c->queue.clear();
    w.closed.push_back(std::move(c));
    while (w.closed.size() > kClosedConnectionsKept) w.closed.pop_front();
}

// Used by simconnect.cpp: radius search around the user aircraft.
std::vector<std::uint32_t> gf_simObjectsWithin(SimWorld& w, double radiusM, SIMCONNECT_SIMOBJECT_TYPE type) {
    std::vector<std::uint32_t> out;
    auto user = w.objects.find(w.userId);
    if (user == w.objects.end()) return out;
    if (type == SIMCONNECT_SIMOBJECT_TYPE_USER || radiusM <= 0) {
        out.push_back(w.userId);
        return out;
    }
    if (type != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT && type != SIMCONNECT_SIMOBJECT_TYPE_ALL) return out;
    const auto& up = user->second.pose;
    for (const auto& [id, o] : w.objects) {
        if (gf_distanceNm({up.latitudeDeg, up.longitudeDeg}, {o.pose.latitudeDeg, o.pose.longitudeDeg}) * metresPerNm <= radiusM)
            out.push_back(id);
    }
    // The user aircraft first, then by object id: a stable order for clients.
    std::sort(out.begin(), out.end(), [&](auto a, auto b) {
        if ((a == w.userId) != (b == w.userId)) return a == w.userId;
        return a < b;
    });
    return out;
}

std::string gf_simApplicationName(const SimWorld& w) {
    if (w.appName) return *w.appName;
    return w.version == SimVersion::MSFS2020 ? "KittyHawk" : "SunRise";
}
