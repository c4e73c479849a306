// The sample traffic as the sample RealTraffic application sends it: flights
// that fit the sample airport (touchdowns on the runway, taxi routes with
// corners an aircraft can take, nothing on a runway that has no business
// there), reports every two seconds that move like an aircraft, parked sets
// on real stands, and no two aircraft close on the ground.

#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport.h"
#include "airports/stand_options.h"
#include "sample/sample_fixture.h"
#include "support/scoped_temp_dir.h"
#include "support/temp_dir.h"
#include "tools/sample_feed/sample_lines.h"

namespace {

using namespace tavo::sample;
using tavo::test::fieldsOf;
using tavo::test::sampleTraffic;

constexpr double kEpoch = 1.8e9;

bool lf_onRunwayBusiness(Phase p) { return p == Phase::Landing || p == Phase::LineUp || p == Phase::TakeoffRoll; }

TEST(SampleTraffic, EveryRunwayEndHasAnArrivalAndEveryKindOfFlightIsThere) {
    const SampleTraffic& t = sampleTraffic();
    std::set<std::string> landedOn, ends;
    std::map<FlightKind, int> kinds;
    int goArounds = 0;
    for (const SampleFlight& f : t.flights()) {
        ++kinds[f.spec.kind];
        goArounds += f.spec.goAround;
        if (f.spec.kind == FlightKind::Arrival) landedOn.insert(f.spec.runway);
        // The stand takes the aircraft: its radius reaches the wing tips.
        if (!f.spec.stand.empty())
            EXPECT_GE(t.world().stand(f.spec.stand).radiusM, gf_typePerformance(f.spec.type).halfSpanM) << f.spec.type;
        EXPECT_LT(f.durationS, SampleTraffic::cycleSeconds());
    }
    for (const SampleRunway& r : t.world().runways) ends.insert({r.primaryName, r.secondaryName});
    EXPECT_EQ(landedOn, ends);
    EXPECT_GE(kinds[FlightKind::Departure], 4);
    EXPECT_GE(kinds[FlightKind::Overflight], 2);
    EXPECT_EQ(kinds[FlightKind::Helicopter], 1);
    EXPECT_EQ(goArounds, 1);
}

TEST(SampleTraffic, ArrivalsTouchDownOnTheRunwaySurfaceAndStayDown) {
    const SampleTraffic& t = sampleTraffic();
    for (const SampleFlight& f : t.flights()) {
        if (f.spec.kind != FlightKind::Arrival) continue;
        SCOPED_TRACE(f.spec.callsign + f.spec.airframes[0].registration);
        const RunwayEnd end = t.world().runwayEnd(f.spec.runway);
        const SampleRunway& rw = t.world().runways[end.runway];
        std::size_t first = f.track.size();
        for (std::size_t i = 0; i < f.track.size() && first == f.track.size(); ++i)
            if (f.track[i].ground) first = i;
        ASSERT_LT(first, f.track.size());
        const Vec td = f.track[first].at;
        const double fromThreshold = dot(td - rw.threshold(end.primary), unitVector(rw.directionDeg(end.primary)));
        EXPECT_LE(std::abs(t.airfield().lateralOf(end.runway, td)), rw.widthM / 2);
        EXPECT_GT(fromThreshold, 0.0);
        EXPECT_LT(fromThreshold, rw.lengthM / 3);
        for (std::size_t i = first; i < f.track.size(); ++i) ASSERT_TRUE(f.track[i].ground) << "bounced at " << i;
        // A go-around climbs away first: well above the runway between its two approaches.
        double highestBefore = 0;
        for (std::size_t i = 0; i < first; ++i)
            if (f.track[i].phase == Phase::GoAround) highestBefore = std::max(highestBefore, f.track[i].aglFt);
        EXPECT_EQ(highestBefore >= 1500, f.spec.goAround);
    }
}

TEST(SampleTraffic, TaxiRoutesTurnBetween15And120Degrees) {
    for (const SampleFlight& f : sampleTraffic().flights()) {
        const Route& r = f.taxiRoute;
        if (f.spec.kind == FlightKind::Arrival || f.spec.kind == FlightKind::Departure) ASSERT_GE(r.size(), 4u);
        for (std::size_t i = 1; i + 1 < r.size(); ++i) {
            const double turn = std::abs(turnBetween(headingOf(r[i] - r[i - 1]), headingOf(r[i + 1] - r[i])));
            if (turn < 1.0) continue;  // a stop on a straight stretch (the holding point)
            EXPECT_GE(turn, 15.0) << f.spec.type << " corner " << i;
            EXPECT_LE(turn, 120.0) << f.spec.type << " corner " << i;
        }
    }
}

TEST(SampleTraffic, OnTheGroundAircraftKeepToTheAirfieldAndUseRunwaysOnlyToLandLeaveOrCross) {
    const SampleTraffic& t = sampleTraffic();
    for (const SampleFlight& f : t.flights()) {
        for (const TrackSample& s : f.track) {
            if (!s.ground) continue;
            EXPECT_LT(length(s.at), 2500.0) << f.spec.type << " at " << s.t;
            const auto runway = t.airfield().runwayAt(s.at, 0.0);
            if (!runway || lf_onRunwayBusiness(s.phase)) continue;
            // Crossing: across the runway, not along it.
            const double across = std::abs(turnBetween(t.world().runways[*runway].headingDeg, s.trackDeg));
            EXPECT_NEAR(across, 90.0, 20.0) << f.spec.type << " taxis along a runway at " << s.t;
            EXPECT_NE(f.spec.kind, FlightKind::Helicopter) << "a helicopter on a runway at " << s.t;
        }
    }
}

// How fast a taxiing aircraft swings its nose round a corner (degrees per
// second): a wide-body slowly, a light aircraft briskly.
double lf_mostGroundTurnDegPerS(const SampleFlight& f) {
    const TypePerformance& p = gf_typePerformance(f.spec.type);
    if (p.light) return 13.0;
    return p.halfSpanM >= 23.0 ? 6.0 : 8.0;
}

// Each aircraft every two seconds; between two reports it moves as fast as
// its speeds say, nose first (tail first only in a pushback), and turns on
// the ground no faster than a taxiing aircraft of its size; on the ground it
// reports altitude 0, in the air an altitude above the airport.
TEST(SampleTraffic, ReportsComeEveryTwoSecondsAndMoveLikeAnAircraft) {
    const SampleTraffic& t = sampleTraffic();
    struct Last {
        double time = 0, lat = 0, lon = 0, gs = 0, heading = 0;
        bool ground = false;
    };
    std::map<std::pair<std::size_t, std::int64_t>, Last> last;
    std::map<std::size_t, int> reports;
    const int cycle = SampleTraffic::cycleSeconds();
    for (std::int64_t second = cycle; second < 2 * cycle; ++second) {
        for (const SampleReport& r : gf_sampleReportsAt(t, second, kEpoch)) {
            const auto v = fieldsOf(gf_rtTrafficLine(t, r, "RTTFC"));
            ASSERT_EQ(v.size(), 44u);
            const SampleFlight& flight = t.flights()[r.flight];
            const Last now{std::stod(v[14]), std::stod(v[2]), std::stod(v[3]), std::stod(v[8]), std::stod(v[25]),
                           v[4] == "0"};
            EXPECT_EQ(now.ground, r.state.sample.ground);
            if (!now.ground) EXPECT_GT(std::stod(v[4]), t.world().elevationFt - 1);
            ++reports[r.flight];
            const auto key = std::make_pair(r.flight, r.state.instance);
            const auto found = last.find(key);
            if (found != last.end()) {
                const Last& before = found->second;
                ASSERT_NEAR(now.time - before.time, 2.0, 1e-6) << r.flight;
                const Vec moved = t.world().frame.toLocal({now.lat, now.lon}) - t.world().frame.toLocal({before.lat, before.lon});
                const double mean = (now.gs + before.gs) / 2 * kMetresPerSecondPerKnot;
                EXPECT_LE(length(moved), mean * 2.0 * 1.15 + 1.0) << r.flight << " at " << second;
                if (now.ground && before.ground && r.state.sample.phase != Phase::Pushback) {
                    EXPECT_GE(dot(moved, unitVector(now.heading)), -0.5) << r.flight << " backwards at " << second;
                    EXPECT_LE(std::abs(turnBetween(before.heading, now.heading)), 2.0 * lf_mostGroundTurnDegPerS(flight))
                        << flight.spec.type << " turns too fast on the ground at " << second;
                    if (now.gs > 1)
                        EXPECT_LE(std::abs(turnBetween(now.heading, std::stod(v[7]))), 30.0)
                            << r.flight << " slides sideways at " << second;
                }
            }
            last[key] = now;
        }
    }
    for (std::size_t i = 0; i < t.flights().size(); ++i)
        EXPECT_NEAR(reports[i], t.flights()[i].durationS / 2, 1.5) << t.flights()[i].spec.type;
}

// At every second of a cycle: aircraft on the ground (moving, parked after
// landing, parked for hours, the user's) keep clear of each other's wing
// tips, and a runway holds one aircraft at a time.
TEST(SampleTraffic, NoCallsignIsFlownByTwoAircraftOfOneCycle) {
    // The second airframe of a flight comes in while the first still stands
    // at its stand: with one callsign for both, the newcomer looks like a
    // ghost of the parked one.
    const SampleTraffic& t = sampleTraffic();
    std::map<std::string, std::set<std::string>> registrations;  // by callsign
    std::map<std::string, std::set<std::string>> iata;
    const int cycle = SampleTraffic::cycleSeconds();
    for (std::int64_t second = cycle; second < 3 * cycle; second += 2) {
        for (const SampleReport& r : gf_sampleReportsAt(t, second, kEpoch)) {
            const auto v = fieldsOf(gf_rtTrafficLine(t, r, "RTTFC"));
            registrations[v[9]].insert(v[11]);
            if (!v[16].empty()) iata[v[16]].insert(v[11]);
        }
    }
    for (const auto* seen : {&registrations, &iata})
        for (const auto& [callsign, regs] : *seen) EXPECT_EQ(regs.size(), 1u) << callsign;
    EXPECT_TRUE(registrations.count("UAL1175") && registrations.count("UAL1176")) << "each airframe its own flight";
}

TEST(SampleTraffic, NoTwoAircraftComeCloseOnTheGroundOrShareARunway) {
    const SampleTraffic& t = sampleTraffic();
    struct Ground {
        Vec at;
        double span;
        std::string who;
    };
    std::vector<Ground> fixed{{t.world().user, 17.9, "the user"}};
    for (const LongParked& p : gf_sampleLongParked())
        fixed.push_back({t.world().stand(p.stand).at, gf_typePerformance(p.type).halfSpanM, p.airframe.registration});
    int closest = 1'000'000;
    for (int second = 0; second < SampleTraffic::cycleSeconds(); ++second) {
        std::vector<Ground> ground = fixed;
        std::map<std::size_t, int> onRunway;
        for (std::size_t i = 0; i < t.flights().size(); ++i) {
            const FlightState s = t.stateAt(i, second);
            if (!(s.reported || s.parked) || !s.sample.ground) continue;
            ground.push_back({s.sample.at, gf_typePerformance(t.flights()[i].spec.type).halfSpanM,
                              t.flights()[i].spec.type + " " + t.flights()[i].spec.callsign});
            if (const auto r = t.airfield().runwayAt(s.sample.at, 0.0)) ++onRunway[*r];
        }
        for (const auto& [runway, count] : onRunway) EXPECT_LE(count, 1) << "runway " << runway << " at " << second;
        for (std::size_t a = 0; a < ground.size(); ++a) {
            for (std::size_t b = a + 1; b < ground.size(); ++b) {
                const double gap = distance(ground[a].at, ground[b].at) - ground[a].span - ground[b].span;
                closest = std::min(closest, static_cast<int>(gap));
                EXPECT_GE(gap, kGroundClearanceM - 0.5) << ground[a].who << " and " << ground[b].who << " at " << second;
            }
        }
    }
    EXPECT_LT(closest, 200) << "the ground is busy enough to show that aircraft pass each other";
}

// Parked sets name the stand as the service does; TAVO finds it by the word
// after "Gate " or "Ramp " near the reported position. Each set holds every
// stand at most once, never the user's, never one an aircraft is on.
TEST(SampleTraffic, ParkedSetsLieOnRealStandsWithoutOverlap) {
    const SampleTraffic& t = sampleTraffic();
    std::vector<Stand> stands;
    for (const SampleStand& s : t.world().stands) {
        stands.emplace_back(s.name, std::vector<StandOption>{}, s.position.lat, s.position.lon, radians(s.headingDeg),
                            s.radiusM, static_cast<ParkingType>(s.type), false, false, false);
        stands.back().id = static_cast<std::uint32_t>(stands.size());
    }
    std::size_t biggest = 0;
    for (int second = 0; second < SampleTraffic::cycleSeconds(); second += 30) {
        const auto lines = gf_sampleParkedLines(t, second, kEpoch, ParkedBox{});
        ASSERT_EQ(lines.back(), "RTPARK_EOT");
        biggest = std::max(biggest, lines.size() - 1);
        std::set<std::uint32_t> taken;
        for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
            const auto v = fieldsOf(lines[k]);
            ASSERT_EQ(v.size(), 9u) << lines[k];
            const LaLo at{std::stod(v[2]), std::stod(v[3])};
            const std::uint32_t id = gf_findStandByNameWord(stands, v[7], at);
            ASSERT_GT(id, 0u) << lines[k];
            const Stand& stand = stands[id - 1];
            EXPECT_NEAR(stand.latitude, at.lat, 1e-5);
            EXPECT_NEAR(stand.longitude, at.lon, 1e-5);
            EXPECT_TRUE(taken.insert(id).second) << lines[k];
            EXPECT_GT(distance(t.world().frame.toLocal({at.lat, at.lon}), t.world().user), 30.0) << lines[k];
            EXPECT_LE(std::stod(v[8]), kEpoch + second);
            for (std::size_t i = 0; i < t.flights().size(); ++i) {
                const FlightState s = t.stateAt(i, second);
                if (s.reported && s.sample.ground)
                    EXPECT_GT(distance(s.sample.at, t.world().frame.toLocal({at.lat, at.lon})), stand.radius * 1852)
                        << t.flights()[i].spec.type << " on the parked stand " << v[7];
            }
        }
    }
    EXPECT_GE(biggest, gf_sampleLongParked().size() + 2);
    // A box around the airport's other side holds none of them.
    const LatLon far = t.world().frame.toLatLon({-3000, -3000});
    EXPECT_EQ(gf_sampleParkedLines(t, 0, kEpoch, {far.lat - 0.01, far.lon - 0.01, far.lat + 0.01, far.lon + 0.01}),
              std::vector<std::string>{"RTPARK_EOT"});
}

TEST(SampleTraffic, BufferedTrafficIsTheLastThirtySecondsInFiveSegments) {
    const SampleTraffic& t = sampleTraffic();
    const std::int64_t second = 1500;
    const auto lines = gf_sampleBufferLines(t, second, kEpoch);
    ASSERT_EQ(lines.back(), "RTBUF_EOT");
    int segment = 0, inSegment = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == "RTBUF_SEP") {
            EXPECT_GT(inSegment, 0) << "segment " << segment << " is empty";
            ++segment;
            inSegment = 0;
            continue;
        }
        const auto v = fieldsOf(lines[i]);
        ASSERT_EQ(v[0], "RTBUF");
        const double time = std::stod(v[14]) - kEpoch;
        EXPECT_GE(time, second - 30 + segment * 6 - 1);
        EXPECT_LT(time, second - 30 + (segment + 1) * 6);
        ++inSegment;
    }
    EXPECT_EQ(segment, 5);
}

TEST(SampleLines, ParkedRequestsGiveTheirBox) {
    const auto box = gf_parseParkedRequest("Qs999=sendparked,47.399036,-122.383280,47.499000,-122.235320\r\n");
    ASSERT_TRUE(box);
    EXPECT_DOUBLE_EQ(box->south, 47.399036);
    EXPECT_DOUBLE_EQ(box->east, -122.235320);
    for (const char* bad : {"Qs999=sendparked,47.3,-122.3,47.5", "Qs999=sendparked,47.3,-122.3,47.5,-122.2,1",
                            "Qs999=sendparked,47.3,x,47.5,-122.2", "Qs999=sendparked,47.6,-122.3,47.5,-122.2",
                            "Qs999=sendbuffer=5,6", "Qs999=sendparked,,-122.3,47.5,-122.2"})
        EXPECT_FALSE(gf_parseParkedRequest(bad)) << bad;
}

class SampleWorldFile : public tavo::test::TempWorkDirTest {};

TEST_F(SampleWorldFile, AScenarioTheTrafficCannotUseIsRefusedWithItsReason) {
    const std::string airport =
        R"(<airport icao="ZZZZ" lat="50" lon="8" alt_m="100">)"
        R"(<parking type="9" name="10" number="1" heading_deg="270" radius_m="24" bias_x_m="500" bias_z_m="0"/>)";
    const std::string runway =
        R"(<runway lat="50" lon="8" heading_deg="180" length_m="3000" width_m="45" primary_number="18" secondary_number="36"/>)";
    const std::string user = R"(<user lat="50" lon="8.007"/>)";
    struct Case {
        std::string xml;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"<scenario>", "cannot read the scenario"},
        {"<scenario>" + user + "</scenario>", "no <airport>"},
        {"<scenario>" + user + airport + "</airport></scenario>", "has no runway"},
        {"<scenario>" + user + airport +
             R"(<runway lat="50" lon="8" heading_deg="180" length_m="0" width_m="45" primary_number="18")" +
             R"( secondary_number="36"/></airport></scenario>)",
         "a runway without size"},
        {"<scenario>" + user + airport +
             R"(<parking type="9" name="10" number="2" heading_deg="270" radius_m="x" bias_x_m="500" bias_z_m="60"/>)" +
             runway + "</airport></scenario>",
         "radius_m=\"x\" is not a number"},
        {"<scenario>" + user +
             R"(<airport icao="ZZZZ" lat="50" lon="8" alt_m="100"><parking type="9" name="10" number="1")"
             R"( heading_deg="270" radius_m="24" bias_x_m="150" bias_z_m="0"/>)" +
             runway + "</airport></scenario>",
         "lies between the runways and their taxiway"},
    };
    for (const Case& c : cases) {
        tavo::test::writeFile("world.xml", c.xml);
        try {
            SampleTraffic traffic(gf_loadSampleWorld("world.xml"));
            ADD_FAILURE() << "accepted: " << c.xml;
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr(c.reason)) << c.xml;
        }
    }
}

}  // namespace
