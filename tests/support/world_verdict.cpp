#include "support/world_verdict.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <set>

#include <fmt/format.h>

#include "settings/parameters.h"
#include "support/sample_world_run.h"
#include "support/source_paths.h"
#include "support/track_text.h"
#include "support/world_traffic.h"
#include "tools/sample_feed/sample_traffic.h"

namespace tavo::test {

namespace {

// The engine's phase of the aircraft at a tick.
std::string lf_phaseAt(const AircraftRecord& r, double tick) {
    const auto at = std::upper_bound(r.samples.begin(), r.samples.end(), tick,
                                     [](double t, const MotionSample& m) { return t < m.tick; });
    if (at == r.samples.begin()) return r.samples.empty() ? "never active" : "before its track";
    return std::string(gf_acPhaseName(std::prev(at)->phase));
}

// Seconds from the creation of the life of the aircraft a tick falls in to
// the tick (-1 before its first creation or after its last removal).
double lf_sinceCreatedS(const AircraftRecord& r, double tick) {
    const auto at = std::upper_bound(r.samples.begin(), r.samples.end(), tick,
                                     [](double t, const MotionSample& m) { return t < m.tick; });
    if (at == r.samples.begin()) return -1.0;
    auto b = std::prev(at);
    if (tick > b->tick + 1) return -1.0;
    while (b != r.samples.begin() && std::prev(b)->tick == b->tick - 1) --b;
    return (tick - b->tick) / 100.0;
}

// How far beyond its limit a finding lies: floors count the other way.
double lf_badness(const MotionFinding& f) {
    if (f.check == MotionCheck::AirborneSpeed) return f.limit - f.value;
    return f.value - f.limit;
}

// The range TAVO showed traffic in during the run, from the world's own
// facts: the user aircraft of the scenario where it stands (it does not move
// in these runs) and the run's range settings.
TrafficRange lf_trafficRange(const SampleWorldRun& run) {
    const sample::SampleWorld& world = run.world();
    const sample::LatLon user = world.frame.toLatLon(world.user);
    TrafficRange range;
    range.user = {user.lat, user.lon};
    if (!AUTO_RANGE.value()) {
        range.nm = RANGE.value();
        return range;
    }
    RangeLevels levels;
    levels.ground = RANGE_GROUND.value();
    levels.range1 = RANGE_1.value();
    levels.range2 = RANGE_2.value();
    levels.range3 = RANGE_3.value();
    levels.above = RANGE_ABOVE.value();
    levels.level1 = FLIGHT_LEVEL_1.value();
    levels.level2 = FLIGHT_LEVEL_2.value();
    levels.level3 = FLIGHT_LEVEL_3.value();
    range.nm = gf_checkerAutoRangeNm(world.userOnGround, world.userAltitudeFt, levels);
    return range;
}

}  // namespace

std::string WorldFinding::text() const {
    return fmt::format("{:06X} {} [{}]: {} {:.3g} against its limit {:.3g} ({} findings from tick {:.0f}{}, phase {})",
                       hexid, callsign, description, gf_motionCheckName(check), worstValue, limit, count, firstTick,
                       sinceCreatedS < 0.0 ? std::string() : fmt::format(", {:.1f} s after its creation", sinceCreatedS),
                       phase);
}

std::string WorldVerdict::report(std::size_t most) const {
    std::string out =
        fmt::format("seed {}: exit code {}, {} tracks, {} aircraft handed over, {} joined findings{}\n", seed, exitCode,
                    tracks, aircraft, found.size(),
                    lockStepTimeouts == 0 ? "" : fmt::format(", {} lock-step waits given up", lockStepTimeouts));
    for (std::size_t i = 0; i < found.size() && i < most; ++i) out += "  " + found[i].text() + "\n";
    if (found.size() > most) out += fmt::format("  ... {} more\n", found.size() - most);
    if (!plot.empty()) out += "  plot of the failing aircraft: " + plot.string() + "\n";
    if (!clean()) out += "  reproduce: " + repro + "\n";
    return out;
}

std::string WorldVerdict::figuresLine() const {
    std::string out = fmt::format("seed={} exit={} tracks={} aircraft={} simulated={:.0f} wall={:.1f} first_created={:.1f} "
                                  "first_report={:.1f} answers={}",
                                  seed, exitCode, tracks, aircraft, simulatedS, wallS, firstCreatedS, firstReportS,
                                  answers.empty() ? "-" : answers);
    for (int c = 0; c < kMotionCheckCount; ++c) {
        const auto check = static_cast<MotionCheck>(c);
        const auto judgedIt = judged.find(check);
        const auto foundIt = findings.find(check);
        const auto shareIt = worstShare.find(check);
        std::string name = gf_motionCheckName(check);
        std::replace(name.begin(), name.end(), ' ', '_');
        out += fmt::format(" {}={}/{}/{:.3f}", name, judgedIt == judged.end() ? 0 : judgedIt->second,
                           foundIt == findings.end() ? 0 : foundIt->second,
                           shareIt == worstShare.end() ? 0.0 : shareIt->second);
    }
    return out;
}

namespace {

// Runs the program on the source and judges every aircraft; `made` tells
// what the traffic made of an aircraft.
WorldVerdict lf_runJudged(std::uint64_t seed, const WorldRunOptions& options, std::shared_ptr<TrafficSource> source,
                          double feedStartS, double durationS,
                          const std::function<std::string(std::uint32_t)>& made) {
    WorldVerdict v;
    v.seed = seed;
    v.folder = options.folder;
    v.repro = options.reproCommand;
    for (std::size_t at; (at = v.repro.find("{seed}")) != std::string::npos;)
        v.repro.replace(at, 6, std::to_string(seed));
    SampleWorldOptions run;
    run.folder = options.folder;
    run.traffic = std::move(source);
    run.feedStartS = feedStartS;
    run.durationS = durationS;
    run.ticksPerFrame = 10;
    SampleWorldRun r(run);
    v.exitCode = r.run();
    v.simulatedS = r.figures().simulatedS;
    v.wallS = r.figures().wallS;
    v.lockStepTimeouts = r.figures().lockStepTimeouts;
    v.logText = r.log();

    const std::vector<const AircraftRecord*> all = r.allRecords();
    std::vector<std::pair<const AircraftRecord*, MotionCheckResult>> results;
    std::int32_t lastTick = 0;
    for (const AircraftRecord* rec : all) {
        if (!rec->samples.empty()) lastTick = std::max(lastTick, rec->samples.back().tick);
        if (!rec->reports.empty()) ++v.aircraft;
    }
    lastTick = std::max<std::int32_t>(lastTick, static_cast<std::int32_t>(r.figures().ticks));
    double firstTick = -1.0;
    for (const AircraftRecord* rec : all)
        if (!rec->samples.empty() && (firstTick < 0 || rec->samples.front().tick < firstTick))
            firstTick = rec->samples.front().tick;
    if (firstTick >= 0) v.firstCreatedS = (firstTick - r.feedStartTick()) / 100.0;
    const std::set<std::string> told = gf_registrationsToldInLog(v.logText);
    double firstDue = -1.0;
    for (const AircraftRecord* rec : all)
        if (!rec->reports.empty() && (rec->registration.empty() || told.count(rec->registration) == 0) &&
            (firstDue < 0 || rec->reports.front().dueTick < firstDue))
            firstDue = rec->reports.front().dueTick;
    if (firstDue >= 0) v.firstReportS = (firstDue - r.feedStartTick()) / 100.0;
    for (const AircraftRecord* rec : all) {
        if (rec->samples.empty()) continue;
        ++v.tracks;
        results.emplace_back(rec, SmoothnessChecker{options.limits}.checkAll(*rec));
    }
    const MotionCheckResult created = gf_checkCreatedOrTold(all, r.startWaitsEndTick(), lastTick, v.logText);

    std::map<std::uint32_t, const AircraftRecord*> byHexid;
    for (const AircraftRecord* rec : all) byHexid[rec->hexid] = rec;
    std::vector<MotionFinding> allFindings;
    const auto take = [&](const MotionCheckResult& result) {
        for (const auto& [check, count] : result.judged) v.judged[check] += count;
        for (const auto& [check, share] : result.worstShare) v.worstShare[check] = std::max(v.worstShare[check], share);
        for (const MotionFinding& f : result.findings) {
            ++v.findings[f.check];
            allFindings.push_back(f);
        }
    };
    for (const auto& [rec, result] : results) take(result);
    take(created);
    if (options.limits.recreated) take(gf_checkCreatedAgain(all, lastTick, v.logText, r.logMarks(), lf_trafficRange(r)));

    // One line per aircraft and check, with its worst value.
    std::map<std::pair<std::uint32_t, MotionCheck>, std::size_t> index;
    std::vector<const AircraftRecord*> failing;
    for (const MotionFinding& f : allFindings) {
        const AircraftRecord& rec = *byHexid.at(f.hexid);
        const auto key = std::pair{f.hexid, f.check};
        auto it = index.find(key);
        if (it == index.end()) {
            WorldFinding w;
            w.hexid = f.hexid;
            w.callsign = rec.callsign;
            w.description = made(f.hexid);
            w.check = f.check;
            w.firstTick = f.tick;
            w.worstValue = f.value;
            w.limit = f.limit;
            w.phase = lf_phaseAt(rec, f.tick);
            w.sinceCreatedS = lf_sinceCreatedS(rec, f.tick);
            it = index.emplace(key, v.found.size()).first;
            v.found.push_back(w);
            if (std::find(failing.begin(), failing.end(), &rec) == failing.end()) failing.push_back(&rec);
        }
        WorldFinding& w = v.found[it->second];
        ++w.count;
        if (lf_badness(f) > (w.check == MotionCheck::AirborneSpeed ? w.limit - w.worstValue : w.worstValue - w.limit)) {
            w.worstValue = f.value;
            w.limit = f.limit;
            w.phase = lf_phaseAt(rec, f.tick);
        }
    }
    std::stable_sort(v.found.begin(), v.found.end(), [](const WorldFinding& a, const WorldFinding& b) {
        return a.hexid != b.hexid ? a.hexid < b.hexid : a.check < b.check;
    });
    if (!failing.empty()) {
        std::vector<const AircraftRecord*> tracked;
        for (const AircraftRecord* rec : failing)
            if (!rec->samples.empty()) tracked.push_back(rec);
        v.plot = options.folder / "failing.svg";
        gf_writeMotionPlot(v.plot, tracked, allFindings);
        gf_writeTrackText(options.folder / "failing_tracks.txt", tracked);
    }
    std::ofstream(options.folder / "verdict.txt") << v.report(1000) << v.figuresLine() << "\n";
    return v;
}

}  // namespace

WorldVerdict gf_runGeneratedWorld(std::uint64_t seed, const WorldRunOptions& options) {
    auto source = std::make_shared<GeneratedTrafficSource>((installDir() / "scenarios" / "sample.xml").string(), seed,
                                                           options.world);
    const sample::GeneratedWorld& world = source->generated();
    WorldVerdict v = lf_runJudged(seed, options, source, 0.0, world.durationS, [&](std::uint32_t hexid) {
        const sample::GeneratedAircraft* a = world.find(hexid);
        return a != nullptr ? a->description : std::string("not generated");
    });
    v.worldText = world.describe();
    v.answers = fmt::format("buffer:{},parked:{}", sample::gf_appAnswerName(world.bufferAnswer),
                            sample::gf_appAnswerName(world.parkedAnswer));
    std::replace(v.answers.begin(), v.answers.end(), ' ', '-');
    std::ofstream(options.folder / "world.txt") << v.worldText;
    return v;
}

WorldVerdict gf_runSampleWorldJudged(double seconds, const WorldRunOptions& options) {
    auto source = std::make_shared<SampleTrafficSource>(
        sample::gf_loadSampleTraffic(installDir() / "scenarios" / "sample.xml"), 1);
    WorldVerdict v = lf_runJudged(0, options, source, sample::SampleTraffic::cycleSeconds(), seconds,
                                  [](std::uint32_t) { return std::string("sample traffic"); });
    v.repro = options.reproCommand;
    for (std::size_t at; (at = v.repro.find("{seed}")) != std::string::npos;) v.repro.replace(at, 6, "sample");
    return v;
}

}  // namespace tavo::test
