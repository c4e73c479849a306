#include "tools/sample_feed/world_generator.h"

#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/sample_feed/sample_traffic.h"

namespace tavo::sample {

namespace {

constexpr double kThresholdCrossingFt = 50.0;
// An exit at speed is a wide curve: a high-speed exit is laid out for about
// this much sideways acceleration.
constexpr double kExitLateralAccel = 1.5;
constexpr double kVariationDeg = 15.5;
constexpr int kBufferSeconds = 30;
constexpr int kBufferSegments = 5;
// Ground traffic keeps its wing tips this far apart; the timing shifts an
// aircraft's start until it does.
constexpr double kGroundClearanceM = 10.0;
constexpr double kPresenceStepS = 2.0;

const std::vector<std::string> kKindNames{
    "reports every 1 to 10 s",
    "report gap of 20-40 s",
    "repeated position with speed 0 while moving",
    "repeated datagram",
    "datagram out of order",
    "empty true airspeed",
    "empty roll",
    "empty true heading",
    "prefixed source",
    "arrival 30° exit",
    "arrival 45° exit",
    "arrival 90° exit",
    "long landing",
    "short landing",
    "go-around",
    "rolling takeoff",
    "stop on the runway",
    "intersection departure",
    "pushback straight",
    "pushback with a turn",
    "tow without a pushback",
    "stand heading reversed",
    "stand heading +30°",
    "stand heading -30°",
    "parked with scatter",
    "stream ends on final",
    "stream ends in the flare",
    "stream ends on the landing roll",
    "stream ends in the exit turn",
    "stream ends taxiing",
    "stream ends on the takeoff roll",
    "stream ends during pushback",
    "stream ends at the stand",
    "absurd ground speed",
    "altitude spike",
    "position 5 NM off",
    "helicopter",
    "overflight",
    "200 aircraft at once",
    "buffer answered at once",
    "buffer answered late",
    "buffer never answered",
    "parked answered at once",
    "parked answered late",
    "parked never answered",
};

double lf_taxiSpeed(const TypePerformance& p, WorldRandom& rnd) { return knots(rnd.uniform(p.light ? 10 : 12, 22)); }

bool lf_isGate(int type) { return type >= 8 && type <= 11; }
bool lf_isCargo(int type) { return type >= 5 && type <= 7; }

// The types and operators the sample packages have liveries for.
struct Operator {
    std::string type;
    std::string airline;
};
const std::vector<Operator>& lf_airliners() {
    static const std::vector<Operator> k{{"B739", "ASA"}, {"B738", "ASA"}, {"A21N", "DAL"}, {"B789", "UAL"},
                                         {"A320", "UAL"}, {"E175", "SKW"}, {"CRJ9", "SKW"}, {"A359", "DLH"},
                                         {"DH8D", "QXE"}, {"B772", "UAL"}, {"A333", "ACA"}, {"B38M", "WJA"}};
    return k;
}
const std::vector<Operator>& lf_cargo() {
    static const std::vector<Operator> k{{"B77F", "FDX"}, {"AT76", "FDX"}};
    return k;
}
const std::vector<Operator>& lf_private() {
    static const std::vector<Operator> k{{"C172", ""}, {"P28A", ""}, {"C56X", ""}, {"GLF6", ""}};
    return k;
}
const std::vector<std::string>& lf_airports() {
    static const std::vector<std::string> k{"LAX", "SFO", "PDX", "ORD", "ATL", "DEN", "YVR", "HNL", "ANC", "FRA"};
    return k;
}

// Where an aircraft stands on the ground, or uses a runway, at one moment.
struct Presence {
    bool present = false;
    bool ground = false;
    Vec at;
    std::uint8_t runways = 0;
};

class Builder {
public:
    Builder(const SampleWorld& world, const SampleAirfield& airfield, std::uint64_t seed, const WorldOptions& options)
        : world_(world), airfield_(airfield), rnd_(seed), options_(options) {
        out_.seed = seed;
        out_.durationS = options.durationS;
        for (const SampleStand& s : world_.stands)
            if (distance(s.at, world_.user) < s.radiusM + 20.0) standsTaken_.insert(s.name);
    }

    GeneratedWorld build() {
        if (options_.crowd < 0) options_.crowd = rnd_.chance(0.1) ? 200 : 0;
        drawAnswers();
        // The mix: ground and runway traffic first (they need the room), then
        // the parked aircraft, helicopters and overflights.
        const int arrivals = 3 + static_cast<int>(rnd_.below(4));
        const int departures = 3 + static_cast<int>(rnd_.below(4));
        std::vector<int> order;
        for (int i = 0; i < arrivals; ++i) order.push_back(0);
        for (int i = 0; i < departures; ++i) order.push_back(1);
        order.push_back(2);  // a tow
        for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rnd_.below(i)]);
        for (const int kind : order) {
            if (kind == 0) arrival();
            else if (kind == 1) departure();
            else tow();
        }
        const int parked = 1 + static_cast<int>(rnd_.below(3));
        for (int i = 0; i < parked; ++i) parkedStream();
        if (rnd_.chance(0.6)) helicopter();
        const int overflights = options_.crowd > 0 ? 0 : 1 + static_cast<int>(rnd_.below(3));
        for (int i = 0; i < overflights; ++i) overflight();
        for (int i = 0; i < options_.crowd; ++i) holding();
        parkedReplies();
        absurdValues();
        index();
        linkDrop();
        return std::move(out_);
    }

private:
    // --- identities --------------------------------------------------------

    GeneratedAircraft identity(const Operator& op, std::vector<std::string> kinds) {
        GeneratedAircraft a;
        const std::size_t n = out_.aircraft.size() + pendingCount_++;
        a.hexid = 0xB00000u + static_cast<std::uint32_t>(n * 7 + 1);
        a.type = op.type;
        a.airline = op.airline;
        a.registration = fmt::format("N{:03}GW", (n * 37 + out_.seed % 500) % 1000);
        if (!op.airline.empty()) {
            const unsigned number = 100 + static_cast<unsigned>((n * 131 + out_.seed % 9000) % 8900);
            a.callsign = fmt::format("{}{}", op.airline, number);
            a.iataCallsign = fmt::format("{}{}", op.airline.substr(0, 2), number);
        }
        a.origin = rnd_.pick(lf_airports());
        a.destination = rnd_.pick(lf_airports());
        const bool full = !gf_typePerformance(op.type).light;
        std::string source = full ? "adsb_icao" : "mlat";
        // Real feeds prefix the source with the receiver network.
        if (rnd_.chance(0.3)) {
            static const std::vector<std::string> prefixes{"X_", "F_", "ID_X_"};
            source = rnd_.pick(prefixes) + source;
            kinds.emplace_back("prefixed source");
        }
        a.source = source;
        a.kinds = std::move(kinds);
        return a;
    }

    const SampleStand* freeStand(const std::function<bool(const SampleStand&)>& fits) {
        std::vector<const SampleStand*> free;
        for (const SampleStand& s : world_.stands)
            if (standsTaken_.count(s.name) == 0 && fits(s)) free.push_back(&s);
        if (free.empty()) return nullptr;
        return free[rnd_.below(free.size())];
    }

    // A stand and an operator that fits it, for an aircraft that uses a stand.
    std::optional<std::pair<const SampleStand*, Operator>> standAndOperator(bool allowPrivate) {
        const SampleStand* stand = freeStand([&](const SampleStand& s) { return allowPrivate || lf_isGate(s.type); });
        if (stand == nullptr) return std::nullopt;
        const auto& pool = lf_isGate(stand->type) ? lf_airliners() : lf_isCargo(stand->type) ? lf_cargo() : lf_private();
        std::vector<Operator> fitting;
        for (const Operator& op : pool)
            if (gf_typePerformance(op.type).halfSpanM + 1.0 <= stand->radiusM) fitting.push_back(op);
        if (fitting.empty()) return std::nullopt;
        return std::pair{stand, rnd_.pick(fitting)};
    }

    // --- the app ------------------------------------------------------------

    void drawAnswers() {
        const auto draw = [&](AppAnswer& answer, double& delay, double lateLo, double lateHi) {
            const double r = rnd_.unit();
            answer = r < 0.5 ? AppAnswer::AtOnce : r < 0.8 ? AppAnswer::Late : AppAnswer::Never;
            delay = answer == AppAnswer::Late ? std::round(rnd_.uniform(lateLo, lateHi)) : 0.0;
        };
        // Late answers fall on both sides of the start path's own waits (30 s
        // for the buffer, 10 s for the parked traffic).
        draw(out_.bufferAnswer, out_.bufferDelayS, 3.0, 40.0);
        draw(out_.parkedAnswer, out_.parkedDelayS, 2.0, 15.0);
    }

    // --- reports ------------------------------------------------------------

    // Reports of a track started at world time t0, up to world time `end`.
    void report(GeneratedAircraft& a, const std::vector<TrackSample>& track, double t0, double end) {
        const double meanGap = rnd_.uniform(1.0, 10.0);
        const double from = std::max(t0, -static_cast<double>(kBufferSeconds) - 5.0);
        const double last = std::min({end, t0 + track.back().t, out_.durationS + 5.0});
        // A few gaps of 20-40 s.
        std::vector<std::pair<double, double>> gaps;
        const int gapCount = rnd_.chance(0.35) ? 1 + static_cast<int>(rnd_.below(2)) : 0;
        for (int g = 0; g < gapCount && last - from > 60.0; ++g) {
            const double at = rnd_.uniform(from + 10.0, last - 40.0);
            const double to = at + rnd_.uniform(20.0, 40.0);
            // Gaps apart from each other, so that none grows beyond 40 s.
            bool apart = true;
            for (const auto& [g0, g1] : gaps) apart = apart && (to + 10.0 < g0 || at > g1 + 10.0);
            if (apart) gaps.emplace_back(at, to);
        }
        if (!gaps.empty()) addKind(a, "report gap of 20-40 s");
        addKind(a, "reports every 1 to 10 s");
        const double repeatChance = rnd_.chance(0.4) ? 0.12 : 0.0;
        const double emptyChance = rnd_.chance(0.4) ? 0.3 : 0.0;
        const double duplicateChance = rnd_.chance(0.4) ? 0.1 : 0.0;
        const double lateChance = rnd_.chance(0.4) ? 0.1 : 0.0;
        bool late = false;
        for (double t = from + rnd_.uniform(0.0, std::min(meanGap, 3.0)); t <= last + 1e-9;) {
            bool inGap = false;
            for (const auto& [g0, g1] : gaps)
                if (t > g0 && t < g1) {
                    t = g1;
                    inGap = true;
                }
            if (inGap) continue;
            GeneratedReport r = sampleReport(track, t - t0);
            r.t = t;
            r.sendS = t + rnd_.uniform(0.05, 0.9);
            const bool moving = r.groundSpeedKt > 3.0;
            if (moving && !a.reports.empty() && rnd_.chance(repeatChance)) {
                // The receiver repeats the last position it had, with no speed.
                const GeneratedReport& prev = a.reports.back();
                r.position = prev.position;
                r.altitudeFt = prev.altitudeFt;
                r.groundSpeedKt = 0.0;
                r.madeBad = true;
                addKind(a, "repeated position with speed 0 while moving");
            }
            if (rnd_.chance(emptyChance)) {
                const std::size_t which = rnd_.below(3);
                if (which == 0) r.emptyTas = true, addKind(a, "empty true airspeed");
                if (which == 1) r.emptyRoll = true, addKind(a, "empty roll");
                if (which == 2) r.emptyHeading = true, addKind(a, "empty true heading");
            }
            if (rnd_.chance(duplicateChance)) r.copies = 2, addKind(a, "repeated datagram");
            a.reports.push_back(r);
            // A datagram held up on its way arrives after the next one.
            if (a.reports.size() >= 2 && late) {
                GeneratedReport& held = a.reports[a.reports.size() - 2];
                if (r.t - held.t <= 4.0) {
                    held.sendS = r.sendS + 0.05;
                    addKind(a, "datagram out of order");
                }
            }
            late = rnd_.chance(lateChance);
            t += std::clamp(meanGap * rnd_.uniform(0.6, 1.4), 1.0, 10.0);
        }
    }

    GeneratedReport sampleReport(const std::vector<TrackSample>& track, double since) const {
        const TrackSample s = gf_trackAt(track, since);
        GeneratedReport r;
        r.position = world_.frame.toLatLon(s.at);
        r.ground = s.ground;
        r.altitudeFt = s.ground ? 0.0 : std::round(world_.elevationFt + s.aglFt);
        if (!s.ground) {
            const double a = std::max(0.0, since - 1.0), b = std::min(track.back().t, since + 1.0);
            if (b > a) {
                const TrackSample sa = gf_trackAt(track, a), sb = gf_trackAt(track, b);
                r.verticalSpeedFpm = std::round((sb.aglFt - sa.aglFt) / (b - a) * 60.0);
            }
        }
        r.groundSpeedKt = toKnots(s.speed);
        // Standing still, the track is where the nose points.
        r.trackDeg = s.speed < 0.3 ? s.headingDeg : s.trackDeg;
        r.headingDeg = s.headingDeg;
        r.rollDeg = s.ground ? 0.0 : degrees(std::atan(s.speed * s.speed * s.curvature / kGravity));
        return r;
    }

    static void addKind(GeneratedAircraft& a, const std::string& kind) {
        if (std::find(a.kinds.begin(), a.kinds.end(), kind) == a.kinds.end()) a.kinds.push_back(kind);
    }

    // --- timing -------------------------------------------------------------

    Presence presenceAt(const std::vector<TrackSample>& track, double since) const {
        Presence p;
        if (since < 0 || since > track.back().t) return p;
        const TrackSample s = gf_trackAt(track, since);
        p.present = true;
        p.ground = s.ground;
        p.at = s.at;
        for (std::size_t r = 0; r < world_.runways.size() && r < 8; ++r) {
            const SampleRunway& rw = world_.runways[r];
            const double lateral = std::abs(airfield_.lateralOf(r, s.at));
            const double along = airfield_.alongOf(r, s.at);
            const bool onIt = s.ground ? lateral <= rw.widthM / 2 + 20 && along >= -20 && along <= rw.lengthM + 20
                                       : s.aglFt < 400.0 && lateral < 300 && along > -3000 && along < rw.lengthM + 3000;
            if (onIt) p.runways = static_cast<std::uint8_t>(p.runways | (1u << r));
        }
        return p;
    }

    struct Placed {
        std::vector<TrackSample> track;
        double t0 = 0.0;
        double end = 0.0;
        double halfSpanM = 0.0;
    };

    // The first start from `wanted` on (in steps) at which the track meets no
    // aircraft already placed on the ground or on a runway.
    std::optional<double> place(const std::vector<TrackSample>& track, double wanted, double endSince,
                                double halfSpanM) {
        for (int attempt = 0; attempt < 24; ++attempt) {
            const double t0 = wanted + attempt * 10.0;
            const double end = t0 + endSince;
            bool clash = false;
            for (double since = 0; since <= track.back().t && !clash; since += kPresenceStepS) {
                const double t = t0 + since;
                if (t > end || t > out_.durationS + 5.0) break;
                const Presence me = presenceAt(track, since);
                if (!me.ground && me.runways == 0) continue;
                for (const Placed& other : placed_) {
                    if (t > other.end) continue;
                    const Presence them = presenceAt(other.track, t - other.t0);
                    if (!them.present) continue;
                    if ((me.runways & them.runways) != 0 ||
                        (me.ground && them.ground &&
                         distance(me.at, them.at) < halfSpanM + other.halfSpanM + kGroundClearanceM)) {
                        clash = true;
                        break;
                    }
                }
            }
            if (!clash) return t0;
        }
        return std::nullopt;
    }

    // Adds the aircraft when its track finds room; its stand is taken then.
    void admit(GeneratedAircraft a, const std::vector<TrackSample>& track, double wanted, double endSince,
               double halfSpanM, const std::string& stand) {
        const auto t0 = place(track, wanted, endSince, halfSpanM);
        if (!t0) return;
        const double end = *t0 + endSince;
        placed_.push_back({track, *t0, end, halfSpanM});
        if (!stand.empty()) standsTaken_.insert(stand);
        report(a, track, *t0, end);
        if (a.reports.empty()) return;
        out_.aircraft.push_back(std::move(a));
    }

    // Where a stream ends: a moment inside the named stretch of the track,
    // or its end. Adds the kind.
    double streamEnd(GeneratedAircraft& a, const std::vector<std::pair<std::string, std::pair<double, double>>>& stretches,
                     std::string& endText) {
        if (stretches.empty() || !rnd_.chance(0.6)) return std::numeric_limits<double>::infinity();
        const auto& [name, span] = stretches[rnd_.below(stretches.size())];
        if (!(span.second > span.first)) return std::numeric_limits<double>::infinity();
        addKind(a, "stream ends " + name);
        endText = ", stream ends " + name;
        return rnd_.uniform(span.first, span.first + (span.second - span.first) * 0.8);
    }

    RunwayEnd runwayEnd() {
        std::vector<RunwayEnd> ends;
        for (std::size_t r = 0; r < world_.runways.size(); ++r) ends.push_back({r, true}), ends.push_back({r, false});
        return rnd_.pick(ends);
    }

    // --- arrivals -----------------------------------------------------------

    void arrival() {
        const auto pick = standAndOperator(true);
        if (!pick) return;
        const auto [stand, op] = *pick;
        const TypePerformance& p = gf_typePerformance(op.type);
        const RunwayEnd end = runwayEnd();
        const SampleRunway& rw = world_.runways[end.runway];
        const Vec dir = unitVector(rw.directionDeg(end.primary));
        const Vec thr = rw.threshold(end.primary);

        static const std::vector<double> kAngles{30.0, 45.0, 90.0};
        const double angle = rnd_.pick(kAngles);
        const double exitKt = angle == 30.0 ? rnd_.uniform(20, 40) : angle == 45.0 ? rnd_.uniform(15, 35)
                                                                                  : rnd_.uniform(10, 20);
        std::vector<std::string> kinds{fmt::format("arrival {:.0f}° exit", angle)};
        std::string landing = "normal landing";
        double touchdownM = p.light ? 150.0 : 350.0;
        const double r = rnd_.unit();
        if (r < 0.3) {
            touchdownM = rnd_.uniform(700.0, 1000.0);
            landing = "long landing";
            kinds.push_back(landing);
        } else if (r < 0.55) {
            touchdownM = rnd_.uniform(60.0, p.light ? 120.0 : 200.0);
            landing = "short landing";
            kinds.push_back(landing);
        }
        const bool goAround = rnd_.chance(0.15);
        if (goAround) kinds.emplace_back("go-around");
        GeneratedAircraft a = identity(op, kinds);
        a.destination = "SEA";

        const double finalNm = goAround ? 3.0 : p.light ? 3.0 : rnd_.uniform(4.0, 7.0);
        const double startKt = p.light ? 90.0 : std::min(170.0, p.approachKt + 25.0);
        const double slowNm = p.light ? 1.5 : 2.5;
        const Vec start = thr - dir * (finalNm * kMetresPerNm);
        const Vec slow = thr - dir * (slowNm * kMetresPerNm);
        std::vector<Leg> legs;
        legs.push_back(gf_airLeg({start, slow}, {gf_glideFt(finalNm * kMetresPerNm), gf_glideFt(slowNm * kMetresPerNm)},
                              startKt, Phase::Approach));
        if (goAround) {
            const double circuitKt = 160.0;
            const Vec side = airfield_.towardTerminal();
            const Vec g = thr - dir * 900.0;
            const Vec upwind = thr + dir * (rw.lengthM + 1500.0);
            const Vec crosswind = upwind + side * 3500.0;
            const Vec base = thr - dir * 7000.0;
            const Vec downwind = base + side * 3500.0;
            const Vec onFinal = thr - dir * 3000.0;
            legs.push_back(gf_airLeg({slow, g}, {gf_glideFt(slowNm * kMetresPerNm), gf_glideFt(900.0)}, p.approachKt,
                                  Phase::Approach));
            legs.push_back(gf_airLeg({g, upwind, crosswind, downwind, base, onFinal},
                                  {gf_glideFt(900.0), 1500.0, 1800.0, 1800.0, gf_glideFt(7000.0), gf_glideFt(3000.0)},
                                  circuitKt, Phase::GoAround, gf_turnRadiusM(circuitKt)));
            legs.push_back(gf_airLeg({onFinal, thr}, {gf_glideFt(3000.0), kThresholdCrossingFt}, p.approachKt,
                                  Phase::Approach));
        } else {
            legs.push_back(gf_airLeg({slow, thr}, {gf_glideFt(slowNm * kMetresPerNm), kThresholdCrossingFt}, p.approachKt,
                                  Phase::Approach));
        }
        const double touchdownKt = p.approachKt - 5.0;
        const Vec touchdown = thr + dir * touchdownM;
        legs.push_back(gf_airLeg({thr, touchdown}, {kThresholdCrossingFt, 0.0}, p.approachKt, Phase::Landing));

        const double decel = rnd_.uniform(1.3, 2.0);
        const double vtd = knots(touchdownKt), vex = knots(exitKt);
        const double exitRadius = std::max(40.0, vex * vex / kExitLateralAccel);
        // The curve off the centre line may take at most 45 % of the straight
        // before it: the roll's last stretch is that long.
        const double turnIn = exitRadius * std::tan(radians(angle) / 2.0) / 0.45 + 10.0;
        double exitM = touchdownM + (vtd * vtd - vex * vex) / (2 * decel) + turnIn + rnd_.uniform(20.0, 150.0);
        exitM = std::ceil(exitM / 10.0) * 10.0;
        const double lateral = SampleAirfield::kTaxiwayOffsetM;
        if (exitM + lateral / std::tan(radians(angle)) > rw.lengthM - 150.0) return;
        Route route;
        try {
            route = airfield_.arrivalRoute(end, exitM, *stand, angle);
        } catch (const std::runtime_error&) {
            return;
        }
        if (route.size() < 4) return;
        const Vec beforeExit = thr + dir * (exitM - turnIn);
        Leg roll = gf_groundLeg(p, {touchdown, beforeExit}, vtd, Phase::Landing);
        roll.decel = decel;
        roll.lateralAccel = 0.0;
        legs.push_back(roll);
        // The exit: off the centre line on its own wide curve, onto the taxiway.
        const Vec clear = route[1] + unitVector(headingOf(route[2] - route[1])) *
                                         std::min(60.0, 0.5 * distance(route[1], route[2]));
        Leg exitLeg = gf_groundLeg(p, {beforeExit, route[0], route[1], clear}, vex, Phase::Landing);
        exitLeg.radiusM = exitRadius;
        exitLeg.lateralAccel = kExitLateralAccel;
        exitLeg.decel = 0.8;
        legs.push_back(exitLeg);
        Route taxi{clear};
        taxi.insert(taxi.end(), route.begin() + 2, route.end());
        if (distance(taxi[0], taxi[1]) < 1.0) taxi.erase(taxi.begin() + 1);
        const double atStand = rnd_.uniform(20.0, 90.0);
        legs.push_back(gf_groundLeg(p, taxi, lf_taxiSpeed(p, rnd_), Phase::Taxi, atStand));
        std::vector<TrackSample> track;
        try {
            track = gf_buildTrack(legs, knots(startKt), 0.0, headingOf(dir));
        } catch (const std::invalid_argument&) {
            return;
        }

        // The stretches a stream may end in.
        double flareFrom = -1, rollFrom = -1, exitFrom = -1, taxiFrom = -1, standFrom = -1;
        for (const TrackSample& s : track) {
            if (flareFrom < 0 && !s.ground && s.phase == Phase::Landing && s.aglFt < 60.0) flareFrom = s.t;
            if (rollFrom < 0 && s.ground) rollFrom = s.t;
            if (exitFrom < 0 && s.ground && std::abs(turnBetween(s.headingDeg, headingOf(dir))) > 2.0) exitFrom = s.t;
            if (taxiFrom < 0 && s.phase == Phase::Taxi) taxiFrom = s.t;
        }
        standFrom = track.back().t - atStand;
        std::string endText;
        const double endSince =
            streamEnd(a, {{"on final", {0.0, flareFrom - 20.0}},
                          {"in the flare", {flareFrom, rollFrom}},
                          {"on the landing roll", {rollFrom, exitFrom}},
                          {"in the exit turn", {exitFrom, taxiFrom}},
                          {"taxiing", {taxiFrom, standFrom}},
                          {"at the stand", {standFrom + 5.0, track.back().t}}},
                      endText);
        a.description = fmt::format("arrival {} {}, {:.0f}° exit at {:.0f} kt, {}{} to {}{}", op.type,
                                    world_.runwayEndName(end), angle, exitKt, landing, goAround ? ", go-around" : "",
                                    stand->name, endText);
        // Most arrivals are seen first on final; a few are already down.
        const double wanted = rnd_.uniform(-rollFrom * 0.8, out_.durationS * 0.6 - rollFrom * 0.3);
        admit(std::move(a), track, wanted, endSince, p.halfSpanM, stand->name);
    }

    // --- departures ---------------------------------------------------------

    void departure() {
        const auto pick = standAndOperator(true);
        if (!pick) return;
        const auto [stand, op] = *pick;
        const TypePerformance& p = gf_typePerformance(op.type);
        const RunwayEnd end = runwayEnd();
        const SampleRunway& rw = world_.runways[end.runway];
        const Vec dir = unitVector(rw.directionDeg(end.primary));
        const double rollM = std::pow(knots(p.rotateKt), 2) / (2 * p.takeoffAccel);

        std::vector<std::string> kinds;
        double entryM = SampleAirfield::kLineUpEntryM;
        if (rnd_.chance(0.3)) {
            const double most = rw.lengthM - rollM - 400.0;
            if (most > 400.0) {
                entryM = std::round(rnd_.uniform(400.0, std::min(most, 1200.0)) / 10.0) * 10.0;
                kinds.emplace_back("intersection departure");
            }
        }
        const bool stopOnRunway = rnd_.chance(0.5);
        kinds.emplace_back(stopOnRunway ? "stop on the runway" : "rolling takeoff");
        const double r = rnd_.unit();
        const bool straight = r < 0.35;
        kinds.emplace_back(straight ? "pushback straight" : "pushback with a turn");
        double headingDelta = 0.0;
        const double h = rnd_.unit();
        if (h < 0.15) headingDelta = 180.0, kinds.emplace_back("stand heading reversed");
        else if (h < 0.27) headingDelta = 30.0, kinds.emplace_back("stand heading +30°");
        else if (h < 0.4) headingDelta = -30.0, kinds.emplace_back("stand heading -30°");
        GeneratedAircraft a = identity(op, kinds);
        a.origin = "SEA";

        SampleAirfield::Departure best;
        double bestNose = 0, bestLength = std::numeric_limits<double>::infinity();
        for (const double nose : {stand->headingDeg + 90, stand->headingDeg - 90}) {
            SampleAirfield::Departure d;
            try {
                d = airfield_.departureRoute(*stand, normalHeading(nose), end, entryM);
            } catch (const std::runtime_error&) {
                continue;
            }
            if (d.route.empty()) continue;
            const double len = gf_routeLength(d.route);
            if (len < bestLength) {
                bestLength = len;
                best = d;
                bestNose = normalHeading(nose);
            }
        }
        if (best.route.empty()) return;
        if (best.lineUpDistanceM + rollM > rw.lengthM - 150) return;

        const double atStand = rnd_.uniform(15.0, 60.0);
        std::vector<Leg> legs;
        legs.push_back(gf_groundLeg(p, {stand->at}, 0.0, Phase::AtStand, atStand));
        Route taxiStart = best.route;
        if (straight) {
            // Straight back onto the lane, nose still to the terminal; the
            // taxi then turns onto the lane from there.
            const StandAccess access = airfield_.access(*stand);
            Leg push = gf_groundLeg(p, {stand->at, access.entry}, 1.5, Phase::Pushback, rnd_.uniform(5.0, 20.0));
            push.reverse = true;
            push.radiusM = 0.0;
            push.accel = push.decel = 0.3;
            legs.push_back(push);
            taxiStart[0] = access.entry;
            if (distance(taxiStart[0], taxiStart[1]) < 1.0) taxiStart.erase(taxiStart.begin() + 1);
        } else {
            Leg push = gf_groundLeg(p, airfield_.pushbackPath(*stand, bestNose), 1.5, Phase::Pushback,
                                 rnd_.uniform(5.0, 20.0));
            push.reverse = true;
            push.radiusM = 0.0;
            push.accel = push.decel = 0.3;
            legs.push_back(push);
        }
        const double taxiSpeed = lf_taxiSpeed(p, rnd_);
        const Route toHold(taxiStart.begin(), taxiStart.begin() + static_cast<std::ptrdiff_t>(best.holdIndex) + 1);
        const bool holdStop = stopOnRunway || rnd_.chance(0.5);
        legs.push_back(gf_groundLeg(p, toHold, taxiSpeed, Phase::Taxi, holdStop ? rnd_.uniform(5.0, 30.0) : 0.0));
        const Route lineUp(taxiStart.begin() + static_cast<std::ptrdiff_t>(best.holdIndex), taxiStart.end());
        Leg line = gf_groundLeg(p, lineUp, 5.0, Phase::LineUp, stopOnRunway ? rnd_.uniform(8.0, 45.0) : 0.0);
        line.radiusM = std::min(line.radiusM, 30.0);
        legs.push_back(line);
        const Vec lineUpPoint = lineUp.back();
        const Vec liftoff = lineUpPoint + dir * rollM;
        Leg roll = gf_groundLeg(p, {lineUpPoint, liftoff}, knots(p.rotateKt), Phase::TakeoffRoll);
        roll.accel = p.takeoffAccel;
        roll.lateralAccel = 0.0;
        legs.push_back(roll);
        const double straightM = p.light ? 3000.0 : 4000.0;
        const Vec turnPoint = liftoff + dir * straightM;
        const double outHeading = headingOf(dir) + rnd_.uniform(-60.0, 60.0);
        const Vec out = turnPoint + unitVector(outHeading) * 15000.0;
        const double gradient = p.light ? 0.07 : 0.10;
        legs.push_back(gf_airLeg({liftoff, turnPoint, out},
                              {0.0, straightM * gradient * kFeetPerMetre, p.outboundFt - world_.elevationFt}, p.climbKt,
                              Phase::Climb, gf_turnRadiusM(p.climbKt)));
        legs.back().accel = p.light ? 0.4 : 0.7;
        std::vector<TrackSample> track;
        try {
            track = gf_buildTrack(legs, 0.0, knots(p.climbKt), stand->headingDeg);
        } catch (const std::invalid_argument&) {
            return;
        }
        // The reports at the stand give a heading of their own.
        for (TrackSample& s : track)
            if (s.phase == Phase::AtStand) s.headingDeg = s.trackDeg = normalHeading(stand->headingDeg + headingDelta);

        double pushFrom = -1, taxiFrom = -1, rollFrom = -1, airFrom = -1;
        for (const TrackSample& s : track) {
            if (pushFrom < 0 && s.phase == Phase::Pushback) pushFrom = s.t;
            if (taxiFrom < 0 && s.phase == Phase::Taxi) taxiFrom = s.t;
            if (rollFrom < 0 && s.phase == Phase::TakeoffRoll) rollFrom = s.t;
            if (airFrom < 0 && !s.ground) airFrom = s.t;
        }
        std::string endText;
        const double endSince = streamEnd(a,
                                          {{"at the stand", {1.0, pushFrom}},
                                           {"during pushback", {pushFrom, taxiFrom}},
                                           {"taxiing", {taxiFrom, rollFrom - 30.0}},
                                           {"on the takeoff roll", {rollFrom + 3.0, airFrom}}},
                                          endText);
        std::string standText;
        if (headingDelta != 0.0) standText = fmt::format(", reported at the stand with heading {:+.0f}°", headingDelta);
        a.description = fmt::format("departure {} from {}{}, pushback {}, {}{}, {}{}", op.type, stand->name, standText,
                                    straight ? "straight" : "with a turn",
                                    entryM > SampleAirfield::kLineUpEntryM
                                        ? fmt::format("intersection {:.0f} m, ", entryM)
                                        : std::string(),
                                    world_.runwayEndName(end), stopOnRunway ? "stop on the runway" : "rolling takeoff",
                                    endText);
        const double wanted = rnd_.uniform(-atStand * 0.5, out_.durationS * 0.5);
        admit(std::move(a), track, wanted, endSince, p.halfSpanM, stand->name);
    }

    // --- a tow --------------------------------------------------------------

    void tow() {
        const auto pick = standAndOperator(false);
        if (!pick) return;
        const auto [stand, op] = *pick;
        const TypePerformance& p = gf_typePerformance(op.type);
        // Seen first standing on the gate lane, towed at walking pace into the stand.
        const StandAccess access = airfield_.access(*stand);
        const double along = rnd_.chance(0.5) ? 1.0 : -1.0;
        const Vec start = access.entry + unitVector(access.laneHeadingDeg) * (along * rnd_.uniform(60.0, 150.0));
        const double nose = normalHeading(access.laneHeadingDeg + (along > 0 ? 180.0 : 0.0));
        Route route;
        try {
            route = airfield_.laneRoute(*stand, start, nose, *stand);
        } catch (const std::runtime_error&) {
            return;
        }
        if (route.size() < 2) return;
        GeneratedAircraft a = identity(op, {"tow without a pushback"});
        std::vector<Leg> legs;
        legs.push_back(gf_groundLeg(p, {route.front()}, 0.0, Phase::AtStand, rnd_.uniform(10.0, 30.0)));
        const double towKt = rnd_.uniform(4.0, 8.0);
        Leg towLeg = gf_groundLeg(p, route, knots(towKt), Phase::Taxi, rnd_.uniform(20.0, 60.0));
        towLeg.accel = towLeg.decel = 0.2;
        legs.push_back(towLeg);
        std::vector<TrackSample> track;
        try {
            track = gf_buildTrack(legs, 0.0, 0.0, nose);
        } catch (const std::invalid_argument&) {
            return;
        }
        a.description = fmt::format("tow {} along the lane into {}", op.type, stand->name);
        admit(std::move(a), track, rnd_.uniform(-20.0, out_.durationS * 0.4), std::numeric_limits<double>::infinity(),
              p.halfSpanM, stand->name);
    }

    // --- parked -------------------------------------------------------------

    void parkedStream() {
        const auto pick = standAndOperator(true);
        if (!pick) return;
        const auto [stand, op] = *pick;
        const TypePerformance& p = gf_typePerformance(op.type);
        GeneratedAircraft a = identity(op, {"parked with scatter"});
        const double scatterM = rnd_.uniform(2.0, 25.0);
        const std::vector<TrackSample> track{TrackSample{0.0, stand->at, 0.0, true, 0.0, stand->headingDeg,
                                                         stand->headingDeg, 0.0, Phase::Parked},
                                             TrackSample{out_.durationS + 120.0, stand->at, 0.0, true, 0.0,
                                                         stand->headingDeg, stand->headingDeg, 0.0, Phase::Parked}};
        placed_.push_back({track, -60.0, out_.durationS + 60.0, p.halfSpanM});
        standsTaken_.insert(stand->name);
        report(a, track, -60.0, out_.durationS + 60.0);
        // The receiver's positions of a standing aircraft wander by metres.
        for (GeneratedReport& r : a.reports) {
            // One draw a statement: the order of operands is the compiler's.
            const double bearing = rnd_.uniform(0.0, 360.0);
            const Vec off = unitVector(bearing) * (scatterM * std::sqrt(rnd_.unit()));
            r.position = world_.frame.toLatLon(stand->at + off);
            r.headingDeg = normalHeading(stand->headingDeg + rnd_.uniform(-10.0, 10.0));
            r.trackDeg = r.headingDeg;
            r.groundSpeedKt = 0.0;
        }
        a.description = fmt::format("parked {} at {}, reports scattered by up to {:.0f} m", op.type, stand->name, scatterM);
        if (!a.reports.empty()) out_.aircraft.push_back(std::move(a));
    }

    void parkedReplies() {
        const int count = static_cast<int>(rnd_.below(4));
        for (int i = 0; i < count; ++i) {
            const auto pick = standAndOperator(true);
            if (!pick) return;
            const auto [stand, op] = *pick;
            GeneratedParked parked;
            const std::size_t n = out_.aircraft.size() + out_.parked.size() + pendingCount_++;
            parked.hexid = 0xB00000u + static_cast<std::uint32_t>(n * 7 + 1);
            parked.type = op.type;
            parked.registration = fmt::format("N{:03}GP", (n * 41 + out_.seed % 700) % 1000);
            parked.callsign = op.airline.empty() ? parked.registration
                                                 : fmt::format("{}{}", op.airline, 9000 + n % 900);
            parked.stand = gf_rtStandText(*stand);
            parked.position = stand->position;
            parked.lastSeenAgoS = rnd_.uniform(600.0, 4 * 3600.0);
            standsTaken_.insert(stand->name);
            out_.parked.push_back(parked);
        }
    }

    // --- helicopters and overflights ----------------------------------------

    void helicopter() {
        if (world_.helipads.empty()) return;
        const Operator op{"EC35", ""};
        const TypePerformance& p = gf_typePerformance(op.type);
        GeneratedAircraft a = identity(op, {"helicopter"});
        const Vec pad = world_.helipads.front().at;
        const Vec away = unitVector(headingOf(airfield_.towardTerminal()) + rnd_.uniform(-40.0, 40.0));
        std::vector<Leg> legs;
        const bool arriving = rnd_.chance(0.5);
        if (arriving) {
            Leg in = gf_airLeg({pad + away * 6000.0, pad + away * 1200.0, pad}, {800.0, 700.0, 0.0}, 100.0, Phase::Approach);
            in.accel = in.decel = 0.6;
            legs.push_back(in);
            legs.push_back(gf_groundLeg(p, {pad}, 0.0, Phase::AtStand, rnd_.uniform(30.0, 120.0)));
        } else {
            legs.push_back(gf_groundLeg(p, {pad}, 0.0, Phase::AtStand, rnd_.uniform(20.0, 60.0)));
        }
        const Vec w1 = pad + away * 300.0;
        const Vec w2 = w1 + unitVector(headingOf(away) + 90) * 600.0;
        Leg outLeg = gf_airLeg({pad, w1, w2, w2 + away * 8000.0}, {0.0, 250.0, 600.0, 1000.0}, 90.0, Phase::Climb, 200.0);
        outLeg.accel = 0.8;
        legs.push_back(outLeg);
        std::vector<TrackSample> track;
        try {
            track = gf_buildTrack(legs, arriving ? knots(100.0) : 0.0, knots(90.0), headingOf(away * -1.0));
        } catch (const std::invalid_argument&) {
            return;
        }
        double padFrom = -1, leaveFrom = -1;
        for (const TrackSample& s : track) {
            if (padFrom < 0 && s.ground) padFrom = s.t;
            if (padFrom >= 0 && leaveFrom < 0 && !s.ground) leaveFrom = s.t;
        }
        std::string endText;
        const double endSince = streamEnd(a, {{"at the stand", {padFrom + 5.0, leaveFrom}}}, endText);
        a.description = fmt::format("helicopter {} the helipad{}", arriving ? "landing on and leaving" : "leaving",
                                    endText);
        admit(std::move(a), track, rnd_.uniform(-30.0, out_.durationS * 0.5), endSince, p.halfSpanM, "");
    }

    // One of a crowd: holding in a racetrack near the airport, so that all
    // of them stay within the traffic range of a user on the ground (10 NM)
    // the whole time.
    void holding() {
        const Operator op = rnd_.pick(lf_airliners());
        GeneratedAircraft a = identity(op, {"200 aircraft at once"});
        const double heading = rnd_.uniform(0.0, 360.0);
        const double bearing = rnd_.uniform(0.0, 360.0);
        const Vec centre = unitVector(bearing) * (rnd_.uniform(0.0, 5.0) * kMetresPerNm);
        const double altitudeFt = std::round(rnd_.uniform(3000.0, 16000.0) / 100.0) * 100.0;
        const double kt = rnd_.uniform(170.0, 230.0);
        const Vec along = unitVector(heading), side = unitVector(heading + 90.0);
        const Vec a0 = centre - along * 4000.0 - side * 2500.0, b0 = centre + along * 4000.0 - side * 2500.0;
        const Vec c0 = centre + along * 4000.0 + side * 2500.0, d0 = centre - along * 4000.0 + side * 2500.0;
        std::vector<Vec> corners;
        const double lapS = (2 * 8000.0 + 2 * 5000.0) / (kt * kMetresPerSecondPerKnot);
        const int laps = 1 + static_cast<int>(std::ceil((out_.durationS + 120.0) / lapS));
        for (int lap = 0; lap < laps; ++lap) corners.insert(corners.end(), {a0, b0, c0, d0});
        corners.push_back(a0);
        const double agl = altitudeFt - world_.elevationFt;
        const std::vector<std::optional<double>> alt{agl, agl};
        Leg leg = gf_airLeg(corners, alt, kt, Phase::Cruise, std::min(gf_turnRadiusM(kt), 2400.0));
        std::vector<TrackSample> track;
        try {
            track = gf_buildTrack({leg}, knots(kt), knots(kt), heading);
        } catch (const std::invalid_argument&) {
            return;
        }
        a.description = fmt::format("holding {} at {:.0f} ft, {:.0f} kt", op.type, altitudeFt, kt);
        report(a, track, -60.0 - rnd_.uniform(0.0, lapS), std::numeric_limits<double>::infinity());
        if (!a.reports.empty()) out_.aircraft.push_back(std::move(a));
    }

    void overflight() {
        const Operator op = rnd_.pick(lf_airliners());
        GeneratedAircraft a = identity(op, {"overflight"});
        const double heading = rnd_.uniform(0.0, 360.0);
        const double passingNm = rnd_.uniform(-20.0, 20.0);
        const double altitudeFt = std::round(rnd_.uniform(3000.0, 39000.0) / 100.0) * 100.0;
        const double kt = altitudeFt < 10000.0 ? rnd_.uniform(200.0, 250.0) : rnd_.uniform(280.0, 480.0);
        const Vec along = unitVector(heading);
        const Vec closest = unitVector(heading + 90) * (passingNm * kMetresPerNm);
        const double halfM = kt * kMetresPerSecondPerKnot * (out_.durationS + 120.0) / 2.0;
        const double agl = altitudeFt - world_.elevationFt;
        const Vec from = closest - along * (halfM * rnd_.uniform(0.5, 1.5));
        Leg leg = gf_airLeg({from, from + along * (2 * halfM)}, {agl, agl}, kt, Phase::Cruise);
        const std::vector<TrackSample> track = gf_buildTrack({leg}, knots(kt), knots(kt), heading);
        a.description = fmt::format("overflight {} at {:.0f} ft, {:.0f} kt", op.type, altitudeFt, kt);
        report(a, track, -60.0, std::numeric_limits<double>::infinity());
        if (!a.reports.empty()) out_.aircraft.push_back(std::move(a));
    }

    // --- the application's link --------------------------------------------

    // In some worlds the application's TCP link drops for about 12 s, once
    // the traffic is under way: the program restarts its run, removing every
    // aircraft, and creates again those its reports go on with. Drawn from a
    // stream of its own, so that the rest of the world stays what the seed
    // gave before.
    void linkDrop() {
        WorldRandom rnd(out_.seed ^ 0x6c696e6b64726f70ULL);
        if (out_.durationS < 150.0 || !rnd.chance(0.15)) return;
        const double from = std::round(rnd.uniform(60.0, out_.durationS - 60.0));
        out_.linkDrop = LinkDrop{from, from + 12.0};
    }

    // --- single absurd values ----------------------------------------------

    void absurdValues() {
        std::vector<std::size_t> candidates;
        for (std::size_t i = 0; i < out_.aircraft.size(); ++i)
            if (out_.aircraft[i].reports.size() >= 8) candidates.push_back(i);
        const int count = std::min<int>(static_cast<int>(candidates.size()), static_cast<int>(rnd_.below(4)));
        for (int k = 0; k < count; ++k) {
            GeneratedAircraft& a = out_.aircraft[candidates[rnd_.below(candidates.size())]];
            // Not the first or the last reports: a lone value among sane ones.
            GeneratedReport& r = a.reports[2 + rnd_.below(a.reports.size() - 4)];
            const double what = rnd_.unit();
            r.madeBad = true;
            if (what < 0.34) {
                r.groundSpeedKt = 1e6;
                addKind(a, "absurd ground speed");
                a.description += fmt::format(", ground speed 1e6 kt at {:.1f} s", r.t);
            } else if (what < 0.67 && !r.ground) {
                r.altitudeFt += 5000.0;
                addKind(a, "altitude spike");
                a.description += fmt::format(", altitude 5000 ft too high at {:.1f} s", r.t);
            } else {
                const Vec at = world_.frame.toLocal(r.position);
                r.position = world_.frame.toLatLon(at + unitVector(rnd_.uniform(0.0, 360.0)) * (5.0 * kMetresPerNm));
                addKind(a, "position 5 NM off");
                a.description += fmt::format(", position 5 NM off at {:.1f} s", r.t);
            }
        }
    }

    void index() {
        for (std::size_t i = 0; i < out_.aircraft.size(); ++i) {
            const auto& reports = out_.aircraft[i].reports;
            for (std::size_t k = 0; k < reports.size(); ++k)
                out_.bySecond[static_cast<std::int64_t>(std::floor(reports[k].sendS))].emplace_back(i, k);
        }
        for (auto& [second, list] : out_.bySecond)
            std::stable_sort(list.begin(), list.end(), [&](const auto& x, const auto& y) {
                return out_.aircraft[x.first].reports[x.second].sendS < out_.aircraft[y.first].reports[y.second].sendS;
            });
    }

    const SampleWorld& world_;
    const SampleAirfield& airfield_;
    WorldRandom rnd_;
    WorldOptions options_;
    GeneratedWorld out_;
    std::set<std::string> standsTaken_;
    std::vector<Placed> placed_;
    std::size_t pendingCount_ = 0;
};

}  // namespace

std::uint64_t WorldRandom::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double WorldRandom::unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

std::size_t WorldRandom::below(std::size_t n) {
    if (n == 0) return 0;
    return static_cast<std::size_t>(unit() * static_cast<double>(n)) % n;
}

const char* gf_appAnswerName(AppAnswer answer) {
    switch (answer) {
        case AppAnswer::AtOnce: return "at once";
        case AppAnswer::Late: return "late";
        case AppAnswer::Never: return "never";
    }
    return "?";
}

const std::vector<std::string>& gf_worldKindNames() { return kKindNames; }

const GeneratedAircraft* GeneratedWorld::find(std::uint32_t hexid) const {
    for (const GeneratedAircraft& a : aircraft)
        if (a.hexid == hexid) return &a;
    return nullptr;
}

std::vector<std::string> GeneratedWorld::kinds() const {
    std::set<std::string> seen;
    for (const GeneratedAircraft& a : aircraft) seen.insert(a.kinds.begin(), a.kinds.end());
    const auto answered = [&](const char* what, AppAnswer answer) {
        seen.insert(fmt::format("{} {}", what,
                                answer == AppAnswer::AtOnce ? "answered at once"
                                : answer == AppAnswer::Late ? "answered late"
                                                            : "never answered"));
    };
    answered("buffer", bufferAnswer);
    answered("parked", parkedAnswer);
    std::vector<std::string> out;
    for (const std::string& k : gf_worldKindNames())
        if (seen.count(k) != 0) out.push_back(k);
    return out;
}

std::string GeneratedWorld::describe() const {
    std::string out = fmt::format("world {}: {} aircraft, {} parked replies, buffer answered {}{}, parked answered {}{}\n",
                                  seed, aircraft.size(), parked.size(), gf_appAnswerName(bufferAnswer),
                                  bufferAnswer == AppAnswer::Late ? fmt::format(" ({:.0f} s)", bufferDelayS) : "",
                                  gf_appAnswerName(parkedAnswer),
                                  parkedAnswer == AppAnswer::Late ? fmt::format(" ({:.0f} s)", parkedDelayS) : "");
    if (linkDrop)
        out += fmt::format("  the application's link drops at {:.0f} s and is back at {:.0f} s\n", linkDrop->fromS,
                           linkDrop->toS);
    for (const GeneratedAircraft& a : aircraft)
        out += fmt::format("  {:06X} {}: {}\n", a.hexid, a.callsign.empty() ? a.registration : a.callsign,
                           a.description);
    return out;
}

GeneratedWorld gf_generateWorld(const SampleWorld& world, const SampleAirfield& airfield, std::uint64_t seed,
                                const WorldOptions& options) {
    return Builder(world, airfield, seed, options).build();
}

std::string gf_worldTrafficLine(const GeneratedAircraft& a, const GeneratedReport& r, double epoch, const char* tag) {
    const bool air = !r.ground;
    const bool full = a.source.find("adsb") != std::string::npos;
    std::array<std::string, 44> v;
    v[0] = tag;
    v[1] = std::to_string(a.hexid);
    v[2] = fmt::format("{:.6f}", r.position.lat);
    v[3] = fmt::format("{:.6f}", r.position.lon);
    v[4] = fmt::format("{:.0f}", air ? r.altitudeFt : 0.0);
    v[5] = fmt::format("{:.0f}", air ? r.verticalSpeedFpm : 0.0);
    v[6] = air ? "0" : "1";
    v[7] = fmt::format("{:.1f}", r.trackDeg);
    v[8] = r.groundSpeedKt >= 1e5 ? fmt::format("{:.0f}", r.groundSpeedKt) : fmt::format("{:.1f}", r.groundSpeedKt);
    v[9] = a.callsign.empty() ? a.registration : a.callsign;
    v[10] = a.type;
    v[11] = a.registration;
    v[12] = a.origin;
    v[13] = a.destination;
    v[14] = fmt::format("{:.2f}", epoch + r.t);
    v[15] = "X";
    v[16] = a.iataCallsign;
    v[17] = a.source;
    v[18] = air ? fmt::format("{:.0f}", r.altitudeFt + 75) : "";
    v[19] = air ? fmt::format("{:.0f}", std::max(0.0, std::min(r.groundSpeedKt, 600.0) - 10)) : "";
    v[20] = r.emptyTas ? "" : fmt::format("{:.0f}", std::min(r.groundSpeedKt, 600.0));
    v[21] = air && full ? fmt::format("{:.3f}", std::min(r.groundSpeedKt, 600.0) / 661.5) : "";
    v[23] = r.emptyRoll ? "" : fmt::format("{:.1f}", r.rollDeg);
    v[24] = fmt::format("{:.1f}", normalHeading(r.headingDeg - kVariationDeg));
    v[25] = r.emptyHeading ? "" : fmt::format("{:.1f}", r.headingDeg);
    v[26] = air ? v[5] : "";
    v[27] = "none";
    v[28] = gf_typePerformance(a.type).category;
    v[29] = air && full ? "1013.2" : "";
    v[34] = "0.1";
    v[35] = "-18.4";
    v[36] = "160";
    v[37] = "8";
    v[40] = "1";
    v[43] = a.airline;
    std::string line;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) line += ',';
        line += v[i];
    }
    return line;
}

std::vector<std::string> gf_worldLiveLines(const GeneratedWorld& world, std::int64_t second, double epoch) {
    std::vector<std::string> lines;
    const auto it = world.bySecond.find(second);
    if (it == world.bySecond.end()) return lines;
    for (const auto& [i, k] : it->second) {
        const GeneratedAircraft& a = world.aircraft[i];
        const GeneratedReport& r = a.reports[k];
        for (int c = 0; c < r.copies; ++c) lines.push_back(gf_worldTrafficLine(a, r, epoch, "RTTFC"));
    }
    if (!lines.empty()) lines.emplace_back("RTTFC_EOT");
    return lines;
}

std::vector<std::string> gf_worldBufferLines(const GeneratedWorld& world, std::int64_t second, double epoch) {
    std::vector<std::string> lines;
    const int perSegment = kBufferSeconds / kBufferSegments;
    for (int segment = 0; segment < kBufferSegments; ++segment) {
        const double from = static_cast<double>(second - kBufferSeconds + segment * perSegment);
        for (const GeneratedAircraft& a : world.aircraft)
            for (const GeneratedReport& r : a.reports)
                if (r.t >= from && r.t < from + perSegment) lines.push_back(gf_worldTrafficLine(a, r, epoch, "RTBUF"));
        lines.emplace_back("RTBUF_SEP");
    }
    lines.emplace_back("RTBUF_EOT");
    return lines;
}

std::vector<std::string> gf_worldParkedLines(const GeneratedWorld& world, double epoch, const ParkedBox& box) {
    std::vector<std::string> lines;
    for (const GeneratedParked& p : world.parked) {
        if (!box.holds(p.position.lat, p.position.lon)) continue;
        lines.push_back(fmt::format("RTPARK,{:06x},{:.6f},{:.6f},{},{},{},{},{:.0f}", p.hexid, p.position.lat,
                                    p.position.lon, p.callsign, p.type, p.registration, p.stand,
                                    std::floor(epoch - p.lastSeenAgoS)));
    }
    lines.emplace_back("RTPARK_EOT");
    return lines;
}

}  // namespace tavo::sample
