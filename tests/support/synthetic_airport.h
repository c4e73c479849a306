#pragma once
// Synthetic airports for the parked-traffic planner's tests and benchmark: N
// stands of mixed types, some overlapping their neighbour (they exclude each
// other), real and soft flight options spread over the week, static and live
// aircraft at stands, and a parked list of the traffic service (ages, stand
// texts, hexids, callsigns) that a fake feed hands over.
//
// The codes used (airlines KLM, DLH, BAW, AFR, UAL, RYR, EZY; models B738,
// A320, A321, E190, B77W, A333, EC35) are classed by the aircraft database's
// small profile: load it first (resetToSmallDbase), or every model counts as
// Light. The same spec and seed give the same airport.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "airports/airport.h"
#include "engine/records.h"
#include "feed/handover.h"
#include "feed/records.h"
#include "foundation/lalo.h"

namespace tavo::test {

struct SyntheticAirportSpec {
    std::size_t stands = 40;
    std::size_t optionsPerStand = 4;
    // Every n-th stand stands on its predecessor, and the two exclude each
    // other (0: no overlaps).
    std::size_t overlapEvery = 5;
    // Every n-th stand is a helipad (0: none).
    std::size_t heliEvery = 0;
    // Share of the options learned from real traffic; the rest are soft.
    double realShare = 0.5;
    // Active statics placed from the airport file, one on every k-th stand.
    std::size_t statics = 0;
    // Live aircraft: one in three parked at a stand, the rest flying far off.
    std::size_t liveAircraft = 0;
    // Records of the traffic service's parked list, ages 0..47.
    std::size_t parkedRecords = 0;
    // The slot of the day the parked records' ages count from.
    std::int32_t nowSlot = 20;
    std::uint32_t seed = 1;
    LaLo origin{50.0, 8.0};
};

struct SyntheticAirport {
    std::vector<Stand> stands;  // numbered 1.., with their exclusions
    std::vector<AcBase> statics;
    std::vector<LiveAc> live;
    std::vector<ParkedRecord> parked;  // youngest first
};

SyntheticAirport makeSyntheticAirport(const SyntheticAirportSpec& spec);

// The engine's stand table (with its name index and the published snapshot),
// static list and live list become the airport's.
void installSyntheticAirport(const SyntheticAirport& airport);

// A traffic source whose parked list and hand-over maps the planner reaches
// through the hand-over. Registered as RT App or RT Direct while it lives.
class FakeParkedFeed {
public:
    explicit FakeParkedFeed(bool rtDirect = false);
    ~FakeParkedFeed();
    FakeParkedFeed(const FakeParkedFeed&) = delete;
    FakeParkedFeed& operator=(const FakeParkedFeed&) = delete;

    // Replaces the parked list (under the mutex).
    void setParked(std::vector<ParkedRecord> records);
    // Adds a live callsign and hexid to the hand-over maps the engine takes.
    void addLiveName(const std::string& callsign, std::uint32_t hexid);
    // Whether the RT Direct fetch answers (RT App: a complete set arrived).
    bool ready = true;
    int fetches = 0;

    std::mutex mutex;
    std::vector<ParkedRecord> parked;
    HandOverMaps maps;
};

}  // namespace tavo::test
