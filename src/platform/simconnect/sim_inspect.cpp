// Inspection of the simulator model: what tests read back of it (object
// journals, objects, connections and the calls they made).

#include <algorithm>
#include <chrono>

#include "platform/simconnect/sim_model_internal.h"

namespace {

constexpr std::size_t kClosedConnectionsKept = 64;

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

}  // namespace

namespace {

// The ring in order, oldest first, with no more than `limit` entries (the
// oldest beyond it go): what a changed limit starts from.
void lf_straighten(SimJournal& j, std::size_t limit) {
    std::rotate(j.entries.begin(), j.entries.begin() + static_cast<std::ptrdiff_t>(j.oldest), j.entries.end());
    j.oldest = 0;
    if (j.entries.size() > limit)
        j.entries.erase(j.entries.begin(), j.entries.end() - static_cast<std::ptrdiff_t>(limit));
}

}  // namespace

SimJournalEntry& gf_simJournalNext(SimWorld& w, std::uint32_t objectId, SimJournalKind kind) {
    SimJournal& j = w.journals[objectId];
    SimJournalEntry* e = nullptr;
    if (j.entries.size() < w.journalLimit) {
        e = &j.entries.emplace_back();
    } else {
        e = &j.entries[j.oldest];
        j.oldest = (j.oldest + 1) % j.entries.size();
        e->id = e->data = e->group = 0;
        e->text.clear();
        e->text2.clear();
        e->values.clear();
    }
    e->kind = kind;
    e->frame = w.frameCount;
    e->timeNs = w.clock ? w.clock()
                        : std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    return *e;
}

void gf_simJournal(SimWorld& w, std::uint32_t objectId, SimJournalEntry entry) {
    SimJournalEntry& e = gf_simJournalNext(w, objectId, entry.kind);
    entry.frame = e.frame;
    entry.timeNs = e.timeNs;
    e = std::move(entry);
}

std::vector<SimJournalEntry> gf_simModelJournal(std::uint32_t objectId) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto it = w.journals.find(objectId);
    if (it == w.journals.end()) return {};
    const SimJournal& j = it->second;
    const auto oldest = j.entries.begin() + static_cast<std::ptrdiff_t>(j.oldest);
    std::vector<SimJournalEntry> out;
    out.reserve(j.entries.size());
    out.insert(out.end(), oldest, j.entries.end());
    out.insert(out.end(), j.entries.begin(), oldest);
    return out;
}

void gf_simModelSetJournalLimit(std::size_t entriesPerObject) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.journalLimit = std::max<std::size_t>(entriesPerObject, 1);
    for (auto& [id, j] : w.journals) lf_straighten(j, w.journalLimit);
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

void gf_simRememberClosed(SimWorld& w, std::shared_ptr<SimConnection> c) {
    c->open = false;
    c->queue.clear();
    w.closed.push_back(std::move(c));
    while (w.closed.size() > kClosedConnectionsKept) w.closed.pop_front();
}
