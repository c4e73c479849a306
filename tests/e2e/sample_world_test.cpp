// TAVO's own entry on the sample world, end to end and faster than real
// time: the headless window, the simulator model on the sample scenario and
// the sample RealTraffic application's traffic over loopback, for a whole
// cycle of the sample traffic and the four minutes its last departure needs
// to leave. What users of live-traffic programs most often report as broken is
// judged on every recorded tick: aircraft floating above or sinking into the
// ground, sliding sideways or rolling backwards, touching down beside the
// runway, helicopters on runways, parked aircraft dancing at their stands,
// aircraft in the user's aircraft, stands filled twice.
//
// The run's folder (beside the test program) keeps TAVO's Log.txt, the plot
// of every track over the airport (tracks.svg) and the figures (figures.txt).

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "platform/simconnect/sim_model.h"
#include "simlink/sim_link.h"
#include "support/sample_world_run.h"
#include "tools/sample_feed/sample_traffic.h"
#include "track_plot.h"

namespace tavo::test {
namespace {

namespace fs = std::filesystem;
using sample::FlightKind;
using sample::SampleFlight;
using sample::SampleWorld;
using sample::Vec;

// Twenty minutes is one cycle of the sample traffic: every flight starts in
// it. The departure that starts last in the cycle needs four minutes more to
// take off and leave.
constexpr double kCreatedWithinS = 1200.0;
constexpr double kRunS = 1440.0;
constexpr double kMaxHeadingOffTrackDeg = 30.0;
// On the ground an aircraft stands at the terrain plus its own ground offset.
constexpr double kGroundToleranceFt = 1.0;
// A track direction is judged over at least this much travel.
constexpr double kTrackBaseM = 2.0;
constexpr double kMetresPerNm = 1852.0;

fs::path lf_besideTheProgram(const std::string& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::current_path() : self.parent_path()) / name;
}

// The livery titles of the sample packages: title -> {type, airline}.
std::map<std::string, std::pair<std::string, std::string>> lf_sampleLiveries(const fs::path& packages) {
    std::map<std::string, std::pair<std::string, std::string>> out;
    for (const auto& entry : fs::recursive_directory_iterator(packages)) {
        if (entry.path().filename() != "aircraft.cfg") continue;
        std::ifstream in(entry.path());
        std::string line, section, type, title;
        auto value = [](const std::string& l) {
            std::string v = l.substr(l.find('=') + 1);
            v.erase(0, v.find_first_not_of(" \t\""));
            v.erase(v.find_last_not_of(" \t\"\r") + 1);
            return v;
        };
        auto key = [](const std::string& l) {
            std::string k = l.substr(0, l.find('='));
            k.erase(k.find_last_not_of(" \t") + 1);
            return k;
        };
        while (std::getline(in, line)) {
            if (line.starts_with("[")) {
                section = line.substr(1, line.find(']') - 1);
                continue;
            }
            if (line.find('=') == std::string::npos) continue;
            if (section == "GENERAL" && key(line) == "icao_type_designator") type = value(line);
            if (section.starts_with("FLTSIM") && key(line) == "title") title = value(line);
            if (section.starts_with("FLTSIM") && key(line) == "icao_airline") out[title] = {type, value(line)};
        }
    }
    return out;
}

double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * kMetresPerNm; }
LaLo lf_position(const AiPose& p) { return {p.latitude, p.longitude}; }
double lf_wrapDeg(double d) { return std::remainder(d, 360.0); }

bool lf_onRunway(const SampleWorld& world, LaLo p, double marginM = 0.0) {
    const Vec at = world.frame.toLocal({p.lat, p.lon});
    for (const auto& r : world.runways) {
        const Vec d = at - r.centre;
        const double along = sample::dot(d, r.along());
        const double across = sample::dot(d, sample::unitVector(r.headingDeg + 90.0));
        if (std::fabs(along) <= r.lengthM / 2 + marginM && std::fabs(across) <= r.widthM / 2 + marginM) return true;
    }
    return false;
}

// What the test sees of each live aircraft, tick by tick, beside the
// motion recorder's samples.
struct Seen {
    std::set<std::string> liveries;
    std::string_view lastLivery;  // views the livery tables, which outlive the run's records
    std::set<AcPhase> phases;
    double wingRadiusM = 0.0;
    double firstActiveS = -1.0;
    bool removedWhileFlying = false;
};

// Findings of one kind, consecutive ticks of one aircraft in the same phase
// kept as one stretch with its worst value.
class Findings {
public:
    void add(std::uint32_t hexid, std::int32_t tick, AcPhase phase, double value, const std::string& unit) {
        if (!stretches_.empty()) {
            Stretch& last = stretches_.back();
            if (last.hexid == hexid && last.phase == phase && last.unit == unit && last.to + 1 >= tick) {
                last.to = tick;
                if (std::fabs(value) > std::fabs(last.worst)) last.worst = value;
                return;
            }
        }
        stretches_.push_back({hexid, tick, tick, phase, value, unit});
    }
    bool empty() const { return stretches_.empty(); }
    std::string text() const {
        std::string out;
        for (std::size_t i = 0; i < stretches_.size() && i < 25; ++i) {
            const Stretch& s = stretches_[i];
            out += fmt::format("  {:06X} ticks {}-{} ({}): worst {:.1f} {}\n", s.hexid, s.from, s.to,
                               gf_acPhaseName(s.phase), s.worst, s.unit);
        }
        if (stretches_.size() > 25) out += fmt::format("  ... {} more stretches\n", stretches_.size() - 25);
        return out;
    }

private:
    struct Stretch {
        std::uint32_t hexid;
        std::int32_t from, to;
        AcPhase phase;
        double worst;
        std::string unit;
    };
    std::vector<Stretch> stretches_;
};

class SampleWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        SampleWorldOptions options;
        options.folder = lf_besideTheProgram("e2e_sample_world");
        options.durationS = kRunS;
        options.ticksPerFrame = 10;
        run = std::make_unique<SampleWorldRun>(options);
        run->onTick([this] { watchTick(); });
        run->onFrame([this] { watchFrame(); });
    }

    // Main thread, after each engine tick.
    void watchTick() {
        const double second = run->feedSecond() - kFeedStartS;
        // Who stands at a stand is taken once a simulated second (the copies
        // are large); the frames between judge the poses of those.
        const bool snapshot = tickCount.load() % 100 == 0;
        if (snapshot) {
            parkedObjects.clear();
            parkedLive.clear();
        }
        std::set<std::uint32_t> active;
        for (const LiveAc& ac : g_liveAircraft) {
            if (ac.simState != AcSimState::active) continue;
            active.insert(ac.hexid);
            Seen& s = seen[ac.hexid];
            if (s.firstActiveS < 0) s.firstActiveS = second;
            if (s.liveries.empty() || s.lastLivery != ac.liveryTitle) {
                s.liveries.insert(std::string(ac.liveryTitle));
                s.lastLivery = ac.liveryTitle;
            }
            s.phases.insert(ac.phase);
            s.wingRadiusM = ac.wingRadiusNm * kMetresPerNm;
            if (snapshot && ac.phase == AcPhase::parked) {
                parkedObjects.insert(ac.objectId);
                parkedLive.push_back(ac);
            }
            // On the ground at the standing attitude the aircraft stands at
            // the terrain plus its ground offset as it is now. (While the nose
            // comes down after a touchdown, or goes up for a lift-off, the
            // reference point stands higher.)
            if (ac.onGround != 0 && std::fabs(ac.pose.pitch - ac.staticPitchRad) < 1e-3) {
                const double expected =
                    gf_simModelTerrainHeightFt(ac.pose.latitude, ac.pose.longitude) + ac.groundOffsetFt;
                if (std::fabs(ac.pose.altitude - expected) > kGroundToleranceFt)
                    ground.add(ac.hexid, tickCount.load() - 1, ac.phase, ac.pose.altitude - expected,
                               "ft above its ground height");
            }
        }
        for (std::uint32_t hexid : activeBefore)
            if (active.count(hexid) == 0) removedHexids.insert(hexid), ++removedLive;
        activeBefore = std::move(active);
        if (!snapshot) return;
        statics.clear();
        for (const AcBase& ac : g_staticAircraft) {
            if (ac.objectId == 0 || ac.simState != AcSimState::active) continue;
            statics.push_back(ac);
            parkedObjects.insert(ac.objectId);
            staticObjectsEver.insert(ac.objectId);
        }
        watchStands();
    }
    // Everything standing at a stand now, the parked aircraft placed there
    // and the arrivals that reached theirs: each off every stand, in another
    // one's space or in the user aircraft's is noted once.
    void watchStands() {
        const SampleWorld& world = run->traffic().world();
        const LaLo user{world.frame.toLatLon(world.user).lat, world.frame.toLatLon(world.user).lon};
        const double userRadiusM = g_userHalfWingSpan.load() > 0 ? g_userHalfWingSpan.load() : 17.9;
        struct AtStand {
            std::string callsign;
            LaLo at;
            double radiusM;
        };
        std::vector<AtStand> standing;
        for (const AcBase& a : statics) standing.push_back({a.callsign, a.standPos, a.wingRadiusNm * kMetresPerNm});
        for (const LiveAc& a : parkedLive)
            standing.push_back({a.callsign, lf_position(a.pose), a.wingRadiusNm * kMetresPerNm});
        mostStanding = std::max(mostStanding, standing.size());
        for (std::size_t i = 0; i < standing.size(); ++i) {
            const AtStand& a = standing[i];
            const double toUser = lf_metres(a.at, user);
            if (toUser < a.radiusM + userRadiusM)
                parkedInUser.insert(fmt::format("{} {:.1f} m from the user aircraft", a.callsign, toUser));
            bool atStand = false;
            for (const auto& stand : world.stands)
                atStand = atStand || lf_metres(a.at, {stand.position.lat, stand.position.lon}) <= stand.radiusM;
            if (!atStand) offStand.insert(fmt::format("{} at {:.6f},{:.6f}", a.callsign, a.at.lat, a.at.lon));
            for (std::size_t j = i + 1; j < standing.size(); ++j) {
                const AtStand& b = standing[j];
                const double apart = lf_metres(a.at, b.at);
                if (apart < a.radiusM + b.radiusM)
                    overlaps.insert(fmt::format("{} and {}: {:.1f} m apart", a.callsign, b.callsign, apart));
            }
        }
    }

    // Main thread, after each simulator frame: a parked aircraft keeps its pose.
    void watchFrame() {
        // Who stands is taken once a second: a live aircraft that has begun
        // its pushback or pull-out since is no longer parked.
        std::set<std::uint32_t> leaving;
        for (const LiveAc& ac : g_liveAircraft)
            if (ac.phase != AcPhase::parked) leaving.insert(ac.objectId);
        std::map<std::uint32_t, SimPose> now;
        for (std::uint32_t id : parkedObjects) {
            if (leaving.count(id) != 0) continue;
            const auto object = gf_simModelObject(id);
            if (!object) continue;
            now[id] = object->pose;
            const auto before = parkedPoses.find(id);
            if (before == parkedPoses.end()) continue;
            const SimPose& a = before->second;
            const SimPose& b = object->pose;
            // Metres, feet and degrees: how far each part of the pose moved.
            const double moved = lf_metres({a.latitudeDeg, a.longitudeDeg}, {b.latitudeDeg, b.longitudeDeg});
            const double climbed = b.altitudeFt - a.altitudeFt;
            const double turned = lf_wrapDeg((b.headingRad - a.headingRad) * radiansToDegrees);
            const double pitched = (b.pitchRad - a.pitchRad) * radiansToDegrees;
            const double banked = (b.bankRad - a.bankRad) * radiansToDegrees;
            const struct {
                double value;
                double limit;
                const char* unit;
            } parts[] = {{moved, 0.01, "m moved (object id)"},
                         {climbed, 0.01, "ft up or down (object id)"},
                         {turned, 0.01, "deg turned (object id)"},
                         {pitched, 0.01, "deg pitched (object id)"},
                         {banked, 0.01, "deg banked (object id)"}};
            for (const auto& part : parts)
                if (std::fabs(part.value) > part.limit)
                    dancing.add(id, tickCount.load(), AcPhase::parked, part.value, part.unit);
        }
        parkedPoses = std::move(now);
    }

    static constexpr double kFeedStartS = 1200.0;
    std::unique_ptr<SampleWorldRun> run;
    std::map<std::uint32_t, Seen> seen;
    std::set<std::uint32_t> parkedObjects;
    std::map<std::uint32_t, SimPose> parkedPoses;
    std::set<std::uint32_t> staticObjectsEver;
    std::vector<AcBase> statics;     // the last tick's
    std::vector<LiveAc> parkedLive;  // the last tick's live aircraft at their stands
    Findings ground;
    std::set<std::string> overlaps, offStand, parkedInUser;
    std::size_t mostStanding = 0;
    Findings dancing;
    std::set<std::uint32_t> activeBefore;
    int removedLive = 0;  // live aircraft that left the simulator during the run
    std::set<std::uint32_t> removedHexids;
};

TEST_F(SampleWorldTest, EveryFlightIsCreatedMovesSmoothlyOnTheGroundAndInTheAirAndEndsWhereItShould) {
    ASSERT_EQ(run->run(), 0) << run->log();
    const SampleWorld& world = run->traffic().world();
    const auto liveries = lf_sampleLiveries(run->folder() / "sample_packages");
    const double userRadiusM = g_userHalfWingSpan.load() > 0 ? g_userHalfWingSpan.load() : 17.9;
    const std::vector<const AircraftRecord*> records = run->records();
    std::map<std::uint32_t, const AircraftRecord*> byHexid;
    for (const AircraftRecord* r : records) byHexid[r->hexid] = r;

    // --- every recorded tick -------------------------------------------------
    Findings heading, backwards, touchdownOff, helicopterOnRunway, userCollision;
    std::map<std::uint32_t, int> touchdowns;
    std::vector<LaLo> touchdownPoints;
    for (const AircraftRecord* r : records) {
        const Seen& s = seen[r->hexid];
        const bool helicopter = r->category == Rotorcraft;
        const auto& samples = r->samples;
        // Flat positions, and running counts of pushback and airborne samples.
        std::vector<Vec> local;
        std::vector<std::size_t> pushes{0}, airborne{0};
        for (const MotionSample& m : samples) {
            local.push_back(world.frame.toLocal({m.pose.latitude, m.pose.longitude}));
            const bool pushing = m.phase == AcPhase::pushing_back || m.phase == AcPhase::pushed_back;
            pushes.push_back(pushes.back() + (pushing ? 1 : 0));
            airborne.push_back(airborne.back() + (m.onGround ? 0 : 1));
        }
        std::size_t j = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const MotionSample& c = samples[i];
            const LaLo at = lf_position(c.pose);
            if (c.onGround) {
                const double apart = sample::distance(local[i], world.user);
                if (apart < s.wingRadiusM + userRadiusM)
                    userCollision.add(r->hexid, c.tick, c.phase, apart, "m from the user aircraft");
            }
            if (helicopter && (c.onGround || c.heightAboveGroundFt < 50.0) && lf_onRunway(world, at))
                helicopterOnRunway.add(r->hexid, c.tick, c.phase, c.heightAboveGroundFt, "ft over a runway");
            if (i == 0 || samples[i - 1].tick != c.tick - 1) continue;
            const MotionSample& p = samples[i - 1];
            if (!p.onGround && c.onGround && !helicopter) {
                ++touchdowns[r->hexid];
                touchdownPoints.push_back(at);
                if (!lf_onRunway(world, at)) touchdownOff.add(r->hexid, c.tick, c.phase, 0.0, "(touchdown off the runway)");
            }
            // The direction of travel over the next few metres on the ground
            // (the first sample that far on; a two-pointer walk along the
            // track keeps this linear).
            if (!c.onGround) continue;
            j = std::max(j, i + 1);
            while (j < samples.size() && samples[j].tick - c.tick <= 300 && sample::distance(local[i], local[j]) < kTrackBaseM)
                ++j;
            if (j >= samples.size() || samples[j].tick - c.tick > 300) continue;
            // Pushbacks and lift-offs within the stretch are left out.
            if (pushes[j + 1] != pushes[i] || airborne[j + 1] != airborne[i]) continue;
            // On a curve the chord runs along the mean of the headings at its
            // two ends: that is what the direction of travel is held to.
            const double track = sample::headingOf(local[j] - local[i]);
            const double from = c.pose.heading * radiansToDegrees;
            const double mean = from + lf_wrapDeg(samples[j].pose.heading * radiansToDegrees - from) / 2.0;
            const double off = std::fabs(lf_wrapDeg(mean - track));
            if (!std::isfinite(off)) continue;  // the motion checker reports poses that are not finite
            if (off > 90.0)
                backwards.add(r->hexid, c.tick, c.phase, off, "deg between heading and travel");
            else if (off > kMaxHeadingOffTrackDeg)
                heading.add(r->hexid, c.tick, c.phase, off, "deg between heading and track");
        }
    }

    // --- the motion checker ------------------------------------------------
    Findings rough;
    std::size_t roughCount = 0;
    std::map<MotionCheck, double> worst;
    // Stops the checker leaves out because nothing told the engine they came
    // (kept in view in the figures).
    std::map<std::string, std::size_t> unforeseenStops{{"stream end", 0}, {"hold reported late", 0}};
    for (const AircraftRecord* r : records) {
        // The earlier limits until the motion meets a pilot's here too
        // (scripts/worlds --seed sample judges the same traffic at a pilot's).
        const MotionCheckResult result = SmoothnessChecker{MotionLimits::earlier()}.checkAll(*r);
        roughCount += result.findings.size();
        for (auto& [name, count] : unforeseenStops)
            if (const auto it = result.exempted.find(name); it != result.exempted.end()) count += it->second;
        for (const MotionFinding& f : result.findings) {
            const auto at = std::upper_bound(r->samples.begin(), r->samples.end(), f.tick,
                                             [](double tick, const MotionSample& m) { return tick < m.tick; });
            const AcPhase phase = at == r->samples.begin() ? AcPhase::birth : std::prev(at)->phase;
            rough.add(f.hexid, static_cast<std::int32_t>(f.tick), phase, f.value,
                      fmt::format("{} ({} limit {:.3f})", gf_motionCheckName(f.check), f.received ? "received" : "engine",
                                  f.limit));
        }
        for (const auto& [check, share] : result.worstShare) worst[check] = std::max(worst[check], share);
    }

    // --- per flight ------------------------------------------------------------
    std::vector<std::string> notCreated, wrongLivery, noLanding, noStand, noDeparture;
    for (const SampleFlight& f : run->traffic().flights()) {
        const std::string name = f.spec.callsign.empty() ? f.spec.airframes[0].registration : f.spec.callsign;
        std::vector<std::uint32_t> hexids;
        for (const auto& a : f.spec.airframes)
            if (seen.count(a.hexid) != 0) hexids.push_back(a.hexid);
        const bool inTime = std::any_of(hexids.begin(), hexids.end(),
                                        [&](std::uint32_t h) { return seen[h].firstActiveS <= kCreatedWithinS; });
        if (!inTime) {
            notCreated.push_back(name);
            continue;
        }
        for (std::uint32_t h : hexids) {
            for (const std::string& title : seen[h].liveries) {
                const auto it = liveries.find(title);
                const bool fits = it != liveries.end() && it->second.first == f.spec.type &&
                                  (f.spec.airline.empty() ? (it->second.second.empty() || it->second.second == "PVT")
                                                          : it->second.second == f.spec.airline);
                if (!fits) wrongLivery.push_back(fmt::format("{} ({} {}): \"{}\"", name, f.spec.type, f.spec.airline, title));
            }
        }
        if (f.spec.kind == FlightKind::Arrival) {
            const bool landed = std::any_of(hexids.begin(), hexids.end(), [&](std::uint32_t h) { return touchdowns[h] > 0; });
            if (!landed) {
                std::string phases;
                for (std::uint32_t h : hexids) {
                    phases += fmt::format(" {:06X}:", h);
                    for (AcPhase p : seen[h].phases) phases += fmt::format(" {}", gf_acPhaseName(p));
                }
                noLanding.push_back(name + phases);
            }
            const auto& stand = world.stand(f.spec.stand);
            const LaLo standAt{stand.position.lat, stand.position.lon};
            const bool reached = std::any_of(hexids.begin(), hexids.end(), [&](std::uint32_t h) {
                const auto r = byHexid.find(h);
                if (r == byHexid.end()) return false;
                return std::any_of(r->second->samples.begin(), r->second->samples.end(), [&](const MotionSample& m) {
                    return m.onGround && lf_metres(lf_position(m.pose), standAt) <= stand.radiusM;
                });
            });
            if (!reached) noStand.push_back(fmt::format("{} ({})", name, f.spec.stand));
        }
        if (f.spec.kind == FlightKind::Departure) {
            std::string phases;
            const bool whole = std::any_of(hexids.begin(), hexids.end(), [&](std::uint32_t h) {
                const Seen& s = seen[h];
                const auto r = byHexid.find(h);
                const bool flewAway = r != byHexid.end() && !r->second->samples.back().onGround;
                phases += fmt::format(" {:06X}:", h);
                for (AcPhase p : s.phases) phases += fmt::format(" {}", gf_acPhaseName(p));
                if (flewAway) phases += " (last seen flying)";
                if (removedHexids.count(h) != 0) phases += " (removed)";
                return s.phases.count(AcPhase::pushing_back) && s.phases.count(AcPhase::taxi) &&
                       s.phases.count(AcPhase::takeoff_roll) && s.phases.count(AcPhase::takeoff) && flewAway &&
                       removedHexids.count(h) != 0;
            });
            if (!whole) noDeparture.push_back(name + phases);
        }
    }

    // --- figures, plot, log ------------------------------------------------
    const int removed = removedLive;
    int landed = 0;
    for (const auto& [hexid, count] : touchdowns) landed += count;
    double worstShare = 0.0;
    std::string worstName = "none";
    for (const auto& [check, share] : worst)
        if (share > worstShare) {
            worstShare = share;
            worstName = gf_motionCheckName(check);
        }
    const std::string figures = fmt::format(
        "sample world: {:.0f} simulated s in {:.1f} s, {} engine ticks, {} frames, {} live batches\n"
        "aircraft created: {} live, {} parked objects\n"
        "landed: {}   parked at stands: {} at most   removed: {}\n"
        "worst checker margin: {} at {:.2f} of its limit ({} findings)\n",
        run->figures().simulatedS, run->figures().wallS, run->figures().ticks, run->figures().frames,
        run->figures().batchesFed, seen.size(), staticObjectsEver.size(), landed, mostStanding, removed, worstName,
        worstShare, roughCount);
    std::string shares = "checker margins (worst value over limit):";
    for (const auto& [check, share] : worst) shares += fmt::format(" {} {:.2f};", gf_motionCheckName(check), share);
    shares += "\nground stops not judged:";
    for (const auto& [name, count] : unforeseenStops) shares += fmt::format(" {} {};", name, count);
    const std::string all = figures + shares + "\n";
    std::printf("%s", all.c_str());
    std::ofstream(run->folder() / "figures.txt") << all;
    TrackPlot plot(world);
    for (const AircraftRecord* r : records) plot.track(*r);
    for (const LaLo& p : touchdownPoints) plot.mark(p, "touchdown");
    for (const AcBase& a : statics) plot.mark(a.standPos, "parked");
    plot.write(run->folder() / "tracks.svg");
    const std::string log = run->log();

    EXPECT_EQ(run->figures().lockStepTimeouts, 0) << "a thread of the program never caught up with the fake clock";
    EXPECT_TRUE(notCreated.empty()) << "not created within 20 minutes: " << fmt::format("{}", fmt::join(notCreated, ", "));
    EXPECT_TRUE(wrongLivery.empty()) << fmt::format("{}", fmt::join(wrongLivery, "\n"));
    EXPECT_TRUE(noLanding.empty()) << "never touched down: " << fmt::format("{}", fmt::join(noLanding, "\n"));
    EXPECT_TRUE(noStand.empty()) << "never reached their stand: " << fmt::format("{}", fmt::join(noStand, ", "));
    EXPECT_TRUE(noDeparture.empty()) << "no whole departure (push back, taxi, take off, removal): "
                                     << fmt::format("{}", fmt::join(noDeparture, "\n"));
    EXPECT_FALSE(staticObjectsEver.empty()) << "no parked aircraft were placed at the stands";
    EXPECT_TRUE(overlaps.empty()) << fmt::format("{}", fmt::join(overlaps, "\n"));
    EXPECT_TRUE(offStand.empty()) << "parked off every stand: " << fmt::format("{}", fmt::join(offStand, ", "));
    EXPECT_TRUE(userCollision.empty()) << "in the user aircraft:\n" << userCollision.text();
    EXPECT_TRUE(parkedInUser.empty()) << fmt::format("{}", fmt::join(parkedInUser, "\n"));
    EXPECT_TRUE(rough.empty()) << "the motion checker:\n" << rough.text();
    EXPECT_TRUE(ground.empty()) << "off the ground's height:\n" << ground.text();
    EXPECT_TRUE(heading.empty()) << "sliding sideways:\n" << heading.text();
    EXPECT_TRUE(backwards.empty()) << "backwards outside a pushback:\n" << backwards.text();
    EXPECT_TRUE(touchdownOff.empty()) << touchdownOff.text();
    EXPECT_TRUE(helicopterOnRunway.empty()) << "helicopters on runways:\n" << helicopterOnRunway.text();
    EXPECT_TRUE(dancing.empty()) << "parked aircraft moving:\n" << dancing.text();
    EXPECT_GT(landed, 0);
    EXPECT_GT(removed, 0);
    EXPECT_EQ(log.find("exception"), std::string::npos) << "the log names an exception";
}

}  // namespace
}  // namespace tavo::test
