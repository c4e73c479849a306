// The simulator model: its world and life cycle (start, quit, switch), the
// objects in it and the control API that describes it. Units live in
// sim_units.cpp, record packing in sim_records.cpp, time in sim_ticker.cpp,
// inspection in sim_inspect.cpp and fault knobs in sim_faults.cpp; the client
// calls themselves are in simconnect.cpp, facility data in sim_facility.cpp
// and the scenario file in sim_scenario.cpp.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <cstring>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/sim_model_internal.h"
#include "foundation/geodesy.h"
#include "foundation/text.h"

namespace {

constexpr std::size_t kRemovedJournalsKept = 4096;

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

}  // namespace

// ---- internal helpers ----

SimWorld& gf_simWorld() {
    static SimWorld w;
    return w;
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
    w.answerDelayFrames = 0;
    w.clock = nullptr;
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

void gf_simModelSetAnswerDelay(std::uint32_t frames) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.answerDelayFrames = frames;
}

bool gf_simModelRemoveAiObject(std::uint32_t objectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(objectId);
    if (it == w.objects.end() || it->second.kind != SimObjectKind::Ai) return false;
    gf_simRemoveObject(w, objectId, 0, "removed by the simulator", true);
    return true;
}

void gf_simModelSetClock(std::function<std::int64_t()> nowNs) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.clock = std::move(nowNs);
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
