// Parking at stands: the phase checks of a new report (over aircraft taxiing,
// rolling out, parked and pushed back) beside the near-duplicate check alone;
// the start of a drive onto a stand among 512 live aircraft and 512 stands
// beside one pass over the live list.

#include <benchmark/benchmark.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "motion/start_parking.h"
#include "motion/stream_checks.h"
#include "support/stand_table.h"

#include "bench_size.h"

namespace {

constexpr double kDeg = degreesToRadians;
constexpr LaLo kOrigin{50.0, 8.0};

LaLo lf_at(double bearingDeg, double metres, LaLo from = kOrigin) {
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres * feetPerMetre});
}

StreamPoint lf_point(LaLo at, std::int32_t tick, double speedKt) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.playTick = tick;
    p.groundSpeedKt = speedKt;
    return p;
}

// An active Large aircraft on the ground at `at`, heading east, its stream
// `points` reports 30 m apart eastwards.
LiveAc lf_aircraft(std::uint32_t hexid, LaLo at, AcPhase phase, int points, double speedKt) {
    AcInfo info;
    info.hexid = hexid;
    info.callsign = "BEN" + std::to_string(hexid & 0xFFFF);
    info.category = Large;
    info.wingRadiusNm = 0.0097;
    info.collisionRadiusNm = 0.01;
    info.taxiSpeedRef = 15.0;
    std::deque<StreamPoint> stream;
    for (int k = 0; k < points; ++k) stream.push_back(lf_point(lf_at(90.0, 30.0 * k, at), 1000 + 300 * k, speedKt));
    LiveAc ac(std::move(stream), info, 1.7e9);
    ac.simState = AcSimState::active;
    ac.objectId = 100 + (hexid & 0xFFF);
    ac.onGround = 1;
    ac.phase = phase;
    ac.pose.latitude = at.lat;
    ac.pose.longitude = at.lon;
    ac.pose.heading = 90.0 * kDeg;
    return ac;
}

// Stands in rows of 32, 100 m apart, facing north, each colliding with its
// neighbours in the row.
void lf_stands(int count) {
    std::vector<tavo::test::StandSpec> specs;
    for (int i = 0; i < count; ++i) {
        const LaLo row = lf_at(0.0, 200.0 * (i / 32));
        std::vector<std::uint32_t> excludes;
        if (i % 32 > 0) excludes.push_back(static_cast<std::uint32_t>(i));  // ids are 1-based
        if (i % 32 < 31 && i + 1 < count) excludes.push_back(static_cast<std::uint32_t>(i + 2));
        specs.emplace_back("GATE " + std::to_string(i + 1), lf_at(90.0, 100.0 * (i % 32), row),
                           ParkingType::GATE_MEDIUM, 30.0, excludes);
    }
    tavo::test::setStandTable(specs);
}

// The aircraft a report is checked for, by phase; the reports lie ahead of
// them (20 m ahead of the last point, 30 m off the stand for the parked one).
struct CheckCase {
    LiveAc ac;
    StreamPoint report;
};

std::vector<CheckCase> lf_checkCases() {
    std::vector<CheckCase> cases;
    const auto add = [&](LiveAc ac) {
        const StreamPoint& last = ac.stream.back();
        StreamPoint report = lf_point(lf_at(90.0, 20.0, {last.lat, last.lon}), last.playTick + 200, last.groundSpeedKt);
        cases.push_back({std::move(ac), report});
    };
    add(lf_aircraft(0x500001, kOrigin, AcPhase::taxi, 10, 15.0));
    add(lf_aircraft(0x500002, lf_at(0.0, 300.0), AcPhase::landing_roll, 10, 60.0));
    LiveAc parked = lf_aircraft(0x500003, lf_at(0.0, 600.0), AcPhase::parked, 1, 0.0);
    parked.standPos = {parked.pose.latitude, parked.pose.longitude};
    parked.standId = 1;
    cases.push_back({parked, lf_point(lf_at(200.0, 30.0, parked.standPos), 5000, 3.0)});
    LiveAc pushed = lf_aircraft(0x500004, lf_at(0.0, 900.0), AcPhase::pushed_back, 2, 0.0);
    pushed.standPos = lf_at(0.0, 80.0, {pushed.pose.latitude, pushed.pose.longitude});
    add(std::move(pushed));
    return cases;
}

// The phase checks of one report, over four aircraft in turn: taxiing
// (near-duplicate check), on the landing roll (points behind), parked (the
// stand watch) and pushed back (the pushback watch). Budget: under 1 us.
void BM_CheckExtendingSituations(benchmark::State& state) {
    tickCount.store(1000);
    std::vector<CheckCase> cases = lf_checkCases();
    std::size_t i = 0;
    for (auto _ : state) {
        CheckCase& c = cases[i];
        StreamPoint p = c.report;
        benchmark::DoNotOptimize(checkExtendingSituations(c.ac, p));
        benchmark::DoNotOptimize(p);
        i = (i + 1) % cases.size();
    }
    if (cases[0].ac.phase != AcPhase::taxi || cases[2].ac.simState != AcSimState::active)
        state.SkipWithError("a check changed its aircraft's phase or removed it");
}
BENCHMARK(BM_CheckExtendingSituations);

// Baseline: the near-duplicate check alone, for the taxiing aircraft.
void BM_AcceptNewStreamPoint(benchmark::State& state) {
    tickCount.store(1000);
    std::vector<CheckCase> cases = lf_checkCases();
    CheckCase& c = cases[0];
    for (auto _ : state) {
        StreamPoint p = c.report;
        benchmark::DoNotOptimize(lf_acceptNewStreamPoint(c.ac, p));
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_AcceptNewStreamPoint);

// 512 stands and 512 live aircraft: every other stand holds a parked one,
// the rest taxi; the last one in the list is the one that parks.
struct ParkingWorld {
    int count = 0;
    ParkingWorld() : count(gf_benchSize(512, 32)) {
        tickCount.store(1000);
        lf_stands(count);
        g_liveAircraft.clear();
        g_liveAircraft.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i + 1 < count; ++i) {
            const auto hexid = static_cast<std::uint32_t>(0x600000 + i);
            if (i % 2 == 0) {
                const Stand& s = *gf_standById(i + 1);
                LiveAc ac = lf_aircraft(hexid, {s.latitude, s.longitude}, AcPhase::parked, 1, 0.0);
                gf_assignStandToAircraft(ac, s);
                g_liveAircraft.push_back(std::move(ac));
            } else {
                g_liveAircraft.push_back(lf_aircraft(hexid, lf_at(180.0, 500.0 + i), AcPhase::taxi, 6, 12.0));
            }
        }
        g_liveAircraft.push_back(lf_aircraft(0x6FFFFF, lf_at(180.0, 60.0, lf_at(90.0, 100.0)), AcPhase::taxi, 6, 4.0));
    }
    ~ParkingWorld() {
        g_liveAircraft.clear();
        tavo::test::clearStandTable();
    }
};

// One parking start onto a free stand (even ids, between two parked
// neighbours): the live list scanned for the stand and for each colliding
// stand, the aircraft's stream replaced by the drive. The aircraft's phase,
// stand and stream are put back after each start (inside the timing).
// Budget: under 50 us.
void BM_StartParkingAtStand512(benchmark::State& state) {
    ParkingWorld world;
    LiveAc& ac = g_liveAircraft.back();
    const std::deque<StreamPoint> stream = ac.stream;
    int k = 0;
    for (auto _ : state) {
        Stand& stand = *gf_standById(2 * k + 2);
        if (!startParkingAtStand(ac, stand, false)) {
            state.SkipWithError("the free stand was refused");
            break;
        }
        ac.stream = stream;
        ac.phase = AcPhase::taxi;
        ac.standId = 0;
        k = (k + 1) % (world.count / 2);
    }
}
BENCHMARK(BM_StartParkingAtStand512)->Unit(benchmark::kMicrosecond);

// Baseline: one pass over the same live list (who uses a stand).
void BM_LiveListPass512(benchmark::State& state) {
    ParkingWorld world;
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_liveStandUse(2 * k + 2, 0x6FFFFF));
        k = (k + 1) % (world.count / 2);
    }
}
BENCHMARK(BM_LiveListPass512)->Unit(benchmark::kMicrosecond);

}  // namespace
