#pragma once
// Hand-over of traffic: play ticks of posted batches, the hand-over maps of
// each source, and the parked list given to the parked-traffic planner.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "feed/records.h"
#include "foundation/hash.h"

struct SettingsSnapshot;

using CallsignSet = std::unordered_set<std::string, Fnv1aTextHash, std::equal_to<>>;
using HexidSet = std::unordered_set<std::uint32_t, Fnv1aHexidHash>;

// The two hand-over maps of a source (guard them with the source's mutex).
struct HandOverMaps {
    CallsignSet callsigns;  // map 1
    HexidSet hexids;        // map 2
    bool active = false;    // the maps collect entries

    // Inserts a build's entry: the callsign when not empty, and the hexid.
    void insert(const HandOverEntry& entry);
    void clear();
    // Empties both maps and sets whether they collect from now on.
    void restart(bool collect);
};

// Stamps every record's play tick: base = delay x 100 + currentTick, plus the
// record's offset in ticks from the batch's own time, saturated to the 32-bit
// range: for a live batch (delay 30) the median finite record time, for a
// buffered segment the earliest, no more than 3 s (half a segment) before
// the median. Records without a finite time (or a batch without any) get
// base.
void gf_setReplayDelays(std::vector<TrafficRecord>& batch, std::int32_t currentTick, std::uint32_t delaySeconds);

// Prepares a received parked list for the planner: age of each record from
// its slot and `nowSlot`, callsign cleaned again (empty ones removed), records
// older than MAX_FIT removed unless RT_PARKTRAFFIC_ONLY or AUTO_PARK is set,
// sorted youngest first, one record per stand and per callsign. The slots are
// kept, so a list prepared again gets the right ages.
void gf_prepareParkedList(std::vector<ParkedRecord>& list, std::int32_t nowSlot, const SettingsSnapshot& settings);

// A traffic source's parked list and hand-over maps as the hand-over reaches
// them. Each reader registers its own at start.
struct ParkedTrafficSource {
    // RT App: whether a complete parked set has arrived. RT Direct: asks the
    // service for parked traffic and waits for it; false when it failed.
    std::function<bool()> fetch;
    std::mutex* parkedMutex = nullptr;
    std::vector<ParkedRecord>* parkedList = nullptr;
    // RT App hands nothing over when its list is empty.
    bool skipEmptyList = false;
    std::mutex* mapsMutex = nullptr;
    HandOverMaps* maps = nullptr;
};

// Registers the parked source of RT Direct (rtDirect true) or RT App.
void gf_setParkedTrafficSource(bool rtDirect, ParkedTrafficSource source);
void gf_clearParkedTrafficSources();

// Main thread, called by the parked-traffic planner with the number of
// parked aircraft it wants.
void gf_handOverParkedTraffic(std::uint32_t count);

// Runs `visit` on the active source's parked list under the source's mutex;
// false (nothing visited) when no source is registered.
bool gf_visitActiveParkedList(const std::function<void(std::vector<ParkedRecord>&)>& visit);

// The engine's copies of the live hand-over maps (main thread).
extern HandOverMaps g_engineHandOverMaps;

// Moves the active source's hand-over maps into the engine's and stops the
// source collecting until its maps are cleared and activated again.
void gf_takeParkedHandOverMaps();

// The active source's hand-over maps are emptied and stop collecting, under
// the source's lock (engine reset before a restart).
void gf_resetHandOverMaps();
