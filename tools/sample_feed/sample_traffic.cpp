#include "tools/sample_feed/sample_traffic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

namespace tavo::sample {

namespace {

constexpr double kGlideSlopeDeg = 3.0;
constexpr double kThresholdCrossingFt = 50.0;
// Bank of turns in the air; speeds in the turns decide their radius.
constexpr double kBankDeg = 25.0;
constexpr double kTaxiLateralAccel = 0.8;
// The off-runway turn begins this far before the exit's centre line, so that
// the widest aircraft turns off on its own radius.
constexpr double kExitTurnInM = 100.0;
constexpr double kRunwayDecel = 1.7;
constexpr double kExitSpeed = 5.5;  // m/s, leaving the runway
// Seconds an aircraft stands still: at its stand before the pushback, after
// it, at the holding point, lined up, and at its stand after landing (its
// transponder then goes off). A helicopter stays on its pad a little longer.
constexpr double kBeforePushbackS = 20.0;
constexpr double kAfterPushbackS = 10.0;
constexpr double kHoldS = 15.0;
constexpr double kLinedUpS = 8.0;
constexpr double kAtStandAfterLandingS = 30.0;
constexpr double kOnPadS = 180.0;
// Starts within the cycle are tried this many seconds apart.
constexpr int kOffsetStepS = 5;

double lf_taxiSpeed(const TypePerformance& p) { return p.light ? 8.0 : 10.0; }

}  // namespace

double gf_routeLength(const Route& r) {
    double len = 0;
    for (std::size_t i = 1; i < r.size(); ++i) len += distance(r[i - 1], r[i]);
    return len;
}

double gf_turnRadiusM(double kt) {
    const double v = knots(kt);
    return v * v / (kGravity * std::tan(radians(kBankDeg)));
}

double gf_glideFt(double metresBeforeThreshold) {
    return kThresholdCrossingFt + metresBeforeThreshold * std::tan(radians(kGlideSlopeDeg)) * kFeetPerMetre;
}

Leg gf_airLeg(std::vector<Vec> corners, std::vector<std::optional<double>> agl, double kt, Phase phase, double radiusM) {
    Leg leg;
    leg.corners = std::move(corners);
    leg.aglFt = std::move(agl);
    leg.ground = false;
    leg.maxSpeed = knots(kt);
    leg.accel = 0.7;
    leg.decel = 0.5;
    leg.radiusM = radiusM;
    leg.phase = phase;
    return leg;
}

namespace {

// How an aircraft takes a corner on the ground: the larger it is, the wider it
// turns and the slower it swings its nose round (a wide-body's nose wheel
// runs far ahead of its main gear, and its crew steers it gently).
struct GroundTurning {
    double radiusM = 0.0;
    double rateDegPerS = 0.0;
};
GroundTurning lf_groundTurning(const TypePerformance& p) {
    if (p.light) return {20.0, 12.0};
    if (p.halfSpanM >= 23.0) return {45.0, 5.0};
    return {35.0, 7.0};
}

}  // namespace

Leg gf_groundLeg(const TypePerformance& p, std::vector<Vec> corners, double maxSpeed, Phase phase, double dwellS) {
    const GroundTurning turning = lf_groundTurning(p);
    Leg leg;
    leg.corners = std::move(corners);
    leg.ground = true;
    leg.maxSpeed = maxSpeed;
    leg.accel = 0.5;
    leg.decel = 0.4;
    leg.lateralAccel = kTaxiLateralAccel;
    leg.maxTurnRateDegPerS = turning.rateDegPerS;
    leg.radiusM = turning.radiusM;
    leg.dwellAtEndS = dwellS;
    leg.phase = phase;
    return leg;
}

const TypePerformance& gf_typePerformance(const std::string& type) {
    static const std::vector<TypePerformance> kTypes{
        // type, half span, approach, rotate, takeoff accel, climb, outbound altitude, category, light
        {"A20N", 17.9, 137, 145, 2.0, 190, 8000, "A3", false},  {"A21N", 17.9, 140, 150, 1.9, 190, 8000, "A3", false},
        {"A320", 17.9, 137, 145, 2.0, 190, 8000, "A3", false},  {"A333", 30.15, 140, 150, 1.6, 200, 9000, "A5", false},
        {"A359", 32.4, 145, 155, 1.6, 200, 9000, "A5", false},  {"AT76", 13.5, 115, 110, 1.8, 160, 7000, "A2", false},
        {"B38M", 17.95, 140, 150, 1.9, 190, 8000, "A3", false}, {"B738", 17.9, 142, 150, 1.9, 190, 8000, "A3", false},
        {"B739", 17.9, 145, 155, 1.9, 190, 8000, "A3", false},  {"B763", 23.8, 140, 150, 1.7, 200, 9000, "A5", false},
        {"B772", 30.45, 145, 160, 1.6, 200, 9000, "A5", false}, {"B77F", 32.4, 150, 165, 1.5, 200, 9000, "A5", false},
        {"B789", 30.05, 150, 160, 1.6, 200, 9000, "A5", false}, {"C172", 5.5, 65, 55, 1.2, 75, 3500, "A1", true},
        {"C56X", 8.5, 115, 110, 2.2, 170, 9000, "A2", false},   {"CRJ9", 12.4, 135, 140, 2.0, 180, 7000, "A3", false},
        {"DH8D", 14.2, 120, 115, 1.9, 160, 7000, "A2", false},  {"E175", 13.0, 130, 135, 2.0, 180, 7000, "A3", false},
        {"EC35", 5.1, 70, 0, 0.8, 90, 1500, "A7", true},        {"GLF6", 15.2, 125, 130, 2.0, 180, 9000, "A3", false},
        {"P28A", 5.35, 70, 60, 1.2, 80, 3500, "A1", true},
    };
    for (const TypePerformance& t : kTypes)
        if (t.type == type) return t;
    throw std::runtime_error("the sample traffic knows no type " + type);
}

const std::vector<FlightSpec>& gf_sampleFlightSpecs() {
    using K = FlightKind;
    // kind, type, airline, callsign, IATA callsign, from, to, runway, stand, go-around,
    // overflight heading / passing / altitude / speed, the two airframes.
    static const std::vector<FlightSpec> kFlights{
        {K::Arrival, "B739", "ASA", "ASA312", "AS312", "LAX", "SEA", "16L", "GATE 6", false, 0, 0, 0, 0,
         {{{0xA4D5B1, "N402AS"}, {0xA4E8C2, "N408AS"}}}},
        {K::Arrival, "A21N", "DAL", "DAL1847", "DL1847", "ATL", "SEA", "34R", "GATE 7", false, 0, 0, 0, 0,
         {{{0xA6511E, "N501DN"}, {0xA654D5, "N502DN"}}}},
        {K::Arrival, "B789", "UAL", "UAL1175", "UA1175", "HNL", "SEA", "16R", "GATE 8", false, 0, 0, 0, 0,
         {{{0xA2F9C4, "N24976"}, {0xA3364B, "N26966"}}}},
        {K::Arrival, "E175", "SKW", "SKW3445", "OO3445", "PDX", "SEA", "34L", "GATE 3", false, 0, 0, 0, 0,
         {{{0xA0C7E2, "N175SY"}, {0xA0CB99, "N176SY"}}}},
        {K::Arrival, "A359", "DLH", "DLH490", "LH490", "FRA", "SEA", "16L", "GATE 9", true, 0, 0, 0, 0,
         {{{0x3C6DC1, "D-AIXA"}, {0x3C6DC2, "D-AIXB"}}}},
        {K::Arrival, "C56X", "", "", "", "SFO", "SEA", "16R", "PARKING 43", false, 0, 0, 0, 0,
         {{{0xA7A9F1, "N560TV"}, {0xA7ADA8, "N561TV"}}}},
        {K::Helicopter, "EC35", "", "", "", "", "", "", "", false, 0, 0, 0, 0,
         {{{0xA0A1B3, "N135LF"}, {0xA0A56A, "N136LF"}}}},
        {K::Departure, "A320", "UAL", "UAL2314", "UA2314", "SEA", "ORD", "34R", "GATE 2", false, 0, 0, 0, 0,
         {{{0xA459D3, "N404UA"}, {0xA45D8A, "N405UA"}}}},
        {K::Departure, "CRJ9", "SKW", "SKW5632", "OO5632", "SEA", "GEG", "34L", "GATE 4A", false, 0, 0, 0, 0,
         {{{0xAC5F1D, "N905SK"}, {0xAC62D4, "N906SK"}}}},
        {K::Departure, "DH8D", "QXE", "QXE2105", "QX2105", "SEA", "PDX", "16L", "GATE 5", false, 0, 0, 0, 0,
         {{{0xA4A32C, "N400QX"}, {0xA4A6E3, "N401QX"}}}},
        {K::Departure, "C172", "", "", "", "", "", "34L", "PARKING 40", false, 0, 0, 0, 0,
         {{{0xA9D2E4, "N738SP"}, {0xA9D69B, "N739SP"}}}},
        {K::Departure, "GLF6", "", "", "", "SEA", "SFO", "16R", "PARKING 44", false, 0, 0, 0, 0,
         {{{0xA8A0E7, "N650GD"}, {0xA8A49E, "N651GD"}}}},
        {K::Overflight, "B772", "UAL", "UAL1463", "UA1463", "YVR", "ORD", "", "", false, 115, -4, 35000, 470,
         {{{0xA1C2D3, "N773UA"}, {0xA1C68A, "N774UA"}}}},
        {K::Overflight, "A333", "ACA", "ACA33", "AC33", "LAX", "YVR", "", "", false, 335, 6, 37000, 480,
         {{{0xC05E21, "C-GHKR"}, {0xC05E22, "C-GHKW"}}}},
        {K::Overflight, "B38M", "WJA", "WJA1112", "WS1112", "SFO", "YVR", "", "", false, 8, -3, 11000, 290,
         {{{0xC07A43, "C-FNWD"}, {0xC07A44, "C-GZSG"}}}},
    };
    return kFlights;
}

const std::vector<LongParked>& gf_sampleLongParked() {
    static const std::vector<LongParked> kParked{
        {"B77F", "FDX", "FDX1325", "PARKING 21", {0xABE0F5, "N855FD"}},
        {"AT76", "FDX", "FDX2741", "PARKING 20", {0xAB3C11, "N810FX"}},
        {"P28A", "", "", "PARKING 42", {0xA5B7C3, "N4382T"}},
        {"B738", "ASA", "ASA1087", "GATE 11", {0xA69D2F, "N512AS"}},
    };
    return kParked;
}

namespace {

class FlightBuilder {
public:
    FlightBuilder(const SampleWorld& world, const SampleAirfield& airfield) : world_(world), airfield_(airfield) {}

    SampleFlight build(const FlightSpec& spec) const {
        SampleFlight f;
        f.spec = spec;
        switch (spec.kind) {
            case FlightKind::Arrival: arrival(f); break;
            case FlightKind::Departure: departure(f); break;
            case FlightKind::Overflight: overflight(f); break;
            case FlightKind::Helicopter: helicopter(f); break;
        }
        f.durationS = f.track.back().t;
        return f;
    }

private:
    void arrival(SampleFlight& f) const {
        const FlightSpec& spec = f.spec;
        const TypePerformance& p = gf_typePerformance(spec.type);
        const RunwayEnd end = world_.runwayEnd(spec.runway);
        const SampleRunway& rw = world_.runways[end.runway];
        const SampleStand& stand = world_.stand(spec.stand);
        const Vec dir = unitVector(rw.directionDeg(end.primary));
        const Vec thr = rw.threshold(end.primary);
        const bool business = spec.type == "C56X" || spec.type == "GLF6";
        const double finalNm = spec.goAround ? 6.0 : p.light ? 5.0 : business ? 8.0 : 10.0;
        const double startKt = p.light ? 90.0 : spec.goAround ? 170.0 : business ? 160.0 : 190.0;
        const double slowDownNm = p.light ? 2.0 : 4.0;
        const Vec start = thr - dir * (finalNm * kMetresPerNm);
        const Vec slow = thr - dir * (slowDownNm * kMetresPerNm);

        std::vector<Leg> legs;
        legs.push_back(gf_airLeg({start, slow}, {gf_glideFt(finalNm * kMetresPerNm), gf_glideFt(slowDownNm * kMetresPerNm)},
                              startKt, Phase::Approach));
        if (spec.goAround) {
            // Goes around half a mile out, climbs away along the runway, and
            // flies a circuit on the terminal side back onto a three-mile final.
            const double circuitKt = 170.0;
            const double radius = gf_turnRadiusM(circuitKt);
            const Vec side = airfield_.towardTerminal();
            const Vec g = thr - dir * 926.0;
            const Vec upwind = thr + dir * (rw.lengthM + kMetresPerNm);
            const Vec crosswind = upwind + side * 4000.0;
            const Vec base = thr - dir * 9000.0;
            const Vec downwind = base + side * 4000.0;
            const Vec onFinal = thr - dir * 3000.0;
            legs.push_back(gf_airLeg({slow, g}, {gf_glideFt(slowDownNm * kMetresPerNm), gf_glideFt(926.0)},
                                  p.approachKt, Phase::Approach));
            legs.push_back(gf_airLeg({g, upwind, crosswind, downwind, base, onFinal},
                                  {gf_glideFt(926.0), 1500.0, 2000.0, 2000.0, gf_glideFt(9000.0), gf_glideFt(3000.0)},
                                  circuitKt, Phase::GoAround, radius));
            legs.push_back(gf_airLeg({onFinal, thr}, {gf_glideFt(3000.0), kThresholdCrossingFt}, p.approachKt,
                                  Phase::Approach));
        } else {
            legs.push_back(gf_airLeg({slow, thr}, {gf_glideFt(slowDownNm * kMetresPerNm), kThresholdCrossingFt},
                                  p.approachKt, Phase::Approach));
        }
        const double touchdownM = p.light ? 150.0 : 350.0;
        const double touchdownKt = p.approachKt - 5.0;
        const Vec touchdown = thr + dir * touchdownM;
        legs.push_back(gf_airLeg({thr, touchdown}, {kThresholdCrossingFt, 0.0}, p.approachKt, Phase::Landing));

        // The exit lies where the roll has come down to exit speed, with room
        // to spare, rounded up to the next 50 m.
        const double decel = p.light ? 1.5 : kRunwayDecel;
        const double vtd = knots(touchdownKt);
        double exitM = touchdownM + (vtd * vtd - kExitSpeed * kExitSpeed) / (2 * decel) + 150.0;
        exitM = std::ceil(exitM / 50.0) * 50.0;
        f.taxiRoute = airfield_.arrivalRoute(end, exitM, stand);
        const Vec beforeExit = thr + dir * (exitM - kExitTurnInM);
        Leg roll = gf_groundLeg(p, {touchdown, beforeExit}, vtd, Phase::Landing);
        roll.decel = decel;
        legs.push_back(roll);
        // Turning off the runway still belongs to the landing; the taxi
        // starts on the exit, clear of the runway.
        const Vec clear = f.taxiRoute[0] + unitVector(headingOf(f.taxiRoute[1] - f.taxiRoute[0])) * 100.0;
        legs.push_back(gf_groundLeg(p, {beforeExit, f.taxiRoute[0], clear}, lf_taxiSpeed(p), Phase::Landing));
        Route taxi{clear};
        taxi.insert(taxi.end(), f.taxiRoute.begin() + 1, f.taxiRoute.end());
        legs.push_back(gf_groundLeg(p, taxi, lf_taxiSpeed(p), Phase::Taxi, kAtStandAfterLandingS));
        f.track = gf_buildTrack(legs, knots(startKt), 0.0, headingOf(dir));
    }

    void departure(SampleFlight& f) const {
        const FlightSpec& spec = f.spec;
        const TypePerformance& p = gf_typePerformance(spec.type);
        const RunwayEnd end = world_.runwayEnd(spec.runway);
        const SampleRunway& rw = world_.runways[end.runway];
        const SampleStand& stand = world_.stand(spec.stand);
        const Vec dir = unitVector(rw.directionDeg(end.primary));

        // Push back to face the way that gives the shorter taxi.
        SampleAirfield::Departure best;
        double bestNose = 0, bestLength = std::numeric_limits<double>::infinity();
        for (const double nose : {stand.headingDeg + 90, stand.headingDeg - 90}) {
            const SampleAirfield::Departure d = airfield_.departureRoute(stand, normalHeading(nose), end);
            if (d.route.empty()) continue;
            const double len = gf_routeLength(d.route);
            if (len < bestLength) {
                bestLength = len;
                best = d;
                bestNose = normalHeading(nose);
            }
        }
        if (best.route.empty())
            throw std::runtime_error("no taxi route from " + stand.name + " to runway " + spec.runway);
        f.pushback = airfield_.pushbackPath(stand, bestNose);
        f.taxiRoute = best.route;

        std::vector<Leg> legs;
        legs.push_back(gf_groundLeg(p, {stand.at}, 0.0, Phase::AtStand, kBeforePushbackS));
        Leg push = gf_groundLeg(p, f.pushback, 1.5, Phase::Pushback, kAfterPushbackS);
        push.reverse = true;
        push.radiusM = 0.0;
        push.accel = 0.3;
        push.decel = 0.3;
        legs.push_back(push);
        const Route toHold(best.route.begin(), best.route.begin() + static_cast<std::ptrdiff_t>(best.holdIndex) + 1);
        legs.push_back(gf_groundLeg(p, toHold, lf_taxiSpeed(p), Phase::Taxi));
        legs.push_back(gf_groundLeg(p, {toHold.back()}, 0.0, Phase::Holding, kHoldS));
        const Route lineUp(best.route.begin() + static_cast<std::ptrdiff_t>(best.holdIndex), best.route.end());
        Leg line = gf_groundLeg(p, lineUp, 5.0, Phase::LineUp, kLinedUpS);
        line.radiusM = std::min(line.radiusM, 30.0);
        legs.push_back(line);

        const double rollM = std::pow(knots(p.rotateKt), 2) / (2 * p.takeoffAccel);
        if (best.lineUpDistanceM + rollM > rw.lengthM - 150)
            throw std::runtime_error(spec.type + " cannot take off from runway " + spec.runway + " in its length");
        const Vec lineUpPoint = lineUp.back();
        const Vec liftoff = lineUpPoint + dir * rollM;
        Leg roll = gf_groundLeg(p, {lineUpPoint, liftoff}, knots(p.rotateKt), Phase::TakeoffRoll);
        roll.accel = p.takeoffAccel;
        roll.lateralAccel = 0.0;
        legs.push_back(roll);

        // Climb straight ahead, then turn 45 degrees (light aircraft 30) away
        // from the other runway and leave the area.
        const Vec side = airfield_.towardTerminal() * (end.runway == airfield_.nearRunway() ? 1.0 : -1.0);
        const double straightM = p.light ? 3000.0 : 4000.0;
        const double turnDeg = p.light ? 30.0 : 45.0;
        const Vec turnPoint = liftoff + dir * straightM;
        const double outHeading = headingOf(dir) + (turnBetween(headingOf(dir), headingOf(side)) > 0 ? turnDeg : -turnDeg);
        const Vec out = turnPoint + unitVector(outHeading) * (p.light ? 8000.0 : 14000.0);
        const double gradient = p.light ? 0.07 : 0.10;
        legs.push_back(gf_airLeg({liftoff, turnPoint, out},
                              {0.0, straightM * gradient * kFeetPerMetre, p.outboundFt - world_.elevationFt},
                              p.climbKt, Phase::Climb, gf_turnRadiusM(p.climbKt)));
        legs.back().accel = p.light ? 0.4 : 0.7;
        f.track = gf_buildTrack(legs, 0.0, knots(p.climbKt), stand.headingDeg);
    }

    void overflight(SampleFlight& f) const {
        const FlightSpec& spec = f.spec;
        const Vec along = unitVector(spec.headingDeg);
        const Vec closest = unitVector(spec.headingDeg + 90) * (spec.passingNm * kMetresPerNm);
        const double halfM = 15.0 * kMetresPerNm;
        const double agl = spec.altitudeFt - world_.elevationFt;
        Leg leg = gf_airLeg({closest - along * halfM, closest + along * halfM}, {agl, agl}, spec.speedKt, Phase::Cruise);
        f.track = gf_buildTrack({leg}, knots(spec.speedKt), knots(spec.speedKt), spec.headingDeg);
    }

    void helicopter(SampleFlight& f) const {
        if (world_.helipads.empty()) throw std::runtime_error("the sample airport has no helipad");
        const Vec pad = world_.helipads.front().at;
        const Vec away = airfield_.towardTerminal();  // the side without runways
        const double inHeading = headingOf(away * -1.0);
        std::vector<Leg> legs;
        Leg in = gf_airLeg({pad + away * 11000.0, pad + away * 1500.0, pad}, {800.0, 800.0, 0.0}, 100.0, Phase::Approach);
        in.accel = 0.6;
        in.decel = 0.6;
        legs.push_back(in);
        legs.push_back(gf_groundLeg(gf_typePerformance(f.spec.type), {pad}, 0.0, Phase::AtStand, kOnPadS));
        const Vec w1 = pad + away * -300.0;
        const Vec w2 = w1 + unitVector(inHeading + 90) * 700.0;
        const Vec w3 = w2 + away * 11000.0;
        Leg outLeg = gf_airLeg({pad, w1, w2, w3}, {0.0, 250.0, 600.0, 1000.0}, 90.0, Phase::Climb, 200.0);
        outLeg.accel = 0.8;
        legs.push_back(outLeg);
        f.track = gf_buildTrack(legs, knots(100.0), knots(90.0), inHeading);
    }

    const SampleWorld& world_;
    const SampleAirfield& airfield_;
};

// One flight at every second of the cycle, in the terms the timing compares.
struct Presence {
    bool present = false;
    bool ground = false;
    Vec at;
    double aglFt = 0.0;
    std::uint8_t runways = 0;  // runways it uses (bit per runway)
};

std::uint8_t lf_runwayUse(const SampleWorld& world, const SampleAirfield& field, const TrackSample& s) {
    std::uint8_t mask = 0;
    for (std::size_t r = 0; r < world.runways.size() && r < 8; ++r) {
        const SampleRunway& rw = world.runways[r];
        const double lateral = std::abs(field.lateralOf(r, s.at));
        const double along = field.alongOf(r, s.at);
        const bool onIt = s.ground ? lateral <= rw.widthM / 2 + 20 && along >= -20 && along <= rw.lengthM + 20
                                   : s.aglFt < kRunwayAirFt && lateral < 300 && along > -7000 &&
                                         along < rw.lengthM + 7000;
        if (onIt) mask = static_cast<std::uint8_t>(mask | (1u << r));
    }
    return mask;
}

bool lf_conflict(const Presence& a, double spanA, const Presence& b, double spanB) {
    if (!a.present || !b.present) return false;
    if (a.runways & b.runways) return true;
    if (a.ground && b.ground) return distance(a.at, b.at) < spanA + spanB + kGroundClearanceM;
    if (!a.ground && !b.ground)
        return distance(a.at, b.at) < kAirSeparationM && std::abs(a.aglFt - b.aglFt) < kAirSeparationFt;
    return false;
}

}  // namespace

SampleFlight gf_buildSampleFlight(const SampleWorld& world, const SampleAirfield& airfield, const FlightSpec& spec) {
    return FlightBuilder(world, airfield).build(spec);
}

SampleTraffic::SampleTraffic(SampleWorld world) : world_(std::move(world)), airfield_(world_) {
    std::set<std::string> standsTaken;
    const SampleStand* userStand = nullptr;
    for (const SampleStand& s : world_.stands)
        if (distance(s.at, world_.user) < s.radiusM) userStand = &s;
    if (userStand) standsTaken.insert(userStand->name);
    for (const LongParked& p : gf_sampleLongParked())
        if (!standsTaken.insert(world_.stand(p.stand).name).second)
            throw std::runtime_error("stand " + p.stand + " is taken twice");

    for (const FlightSpec& spec : gf_sampleFlightSpecs()) {
        if (!spec.stand.empty() && !standsTaken.insert(world_.stand(spec.stand).name).second)
            throw std::runtime_error("stand " + spec.stand + " is taken twice");
        SampleFlight flight = gf_buildSampleFlight(world_, airfield_, spec);
        if (flight.durationS >= kCycleS)
            throw std::runtime_error("flight " + spec.type + " to " + spec.stand + spec.runway +
                                     " lasts longer than the cycle");
        const std::size_t i = flights_.size();
        flight.reportParity = static_cast<int>(i % 2);
        flight.reportLagS = static_cast<double>((i * 37) % 10) / 10.0;
        flights_.push_back(std::move(flight));
    }

    // Every flight at every second of one cycle, counted from its own start.
    std::vector<std::vector<Presence>> presence(flights_.size(), std::vector<Presence>(kCycleS));
    std::vector<double> span(flights_.size());
    for (std::size_t i = 0; i < flights_.size(); ++i) {
        const SampleFlight& f = flights_[i];
        span[i] = gf_typePerformance(f.spec.type).halfSpanM;
        for (int tau = 0; tau < kCycleS; ++tau) {
            Presence& p = presence[i][tau];
            if (tau <= f.durationS) {
                const TrackSample s = gf_trackAt(f.track, tau);
                p = {true, s.ground, s.at, s.aglFt, lf_runwayUse(world_, airfield_, s)};
            } else if (f.spec.kind == FlightKind::Arrival) {
                p = {true, true, f.track.back().at, 0.0, 0};
            }
        }
    }
    // What stands still all the time: the user aircraft and the aircraft parked for hours.
    std::vector<std::pair<Presence, double>> fixed{{{true, true, world_.user, 0.0, 0}, 17.9}};
    for (const LongParked& p : gf_sampleLongParked())
        fixed.push_back({{true, true, world_.stand(p.stand).at, 0.0, 0}, gf_typePerformance(p.type).halfSpanM});

    // Each flight takes the first start, from an even spread on, at which it
    // meets nothing already timed.
    std::vector<std::size_t> placed;
    auto name = [&](std::size_t i) {
        const FlightSpec& spec = flights_[i].spec;
        return spec.type + " " + (spec.callsign.empty() ? spec.airframes[0].registration : spec.callsign);
    };
    // The flights that take the most of the airport's room are timed first,
    // while the cycle is still open.
    std::vector<std::size_t> order(flights_.size());
    std::vector<int> busy(flights_.size(), 0);
    for (std::size_t i = 0; i < flights_.size(); ++i) {
        order[i] = i;
        for (int tau = 0; tau <= flights_[i].durationS; ++tau)
            busy[i] += (presence[i][tau].ground ? 1 : 0) + (presence[i][tau].runways ? 2 : 0);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return busy[a] > busy[b]; });
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const std::size_t i = order[rank];
        const int preferred = static_cast<int>(rank * kCycleS / flights_.size()) / kOffsetStepS * kOffsetStepS;
        // What stood in the way, for the message when no time is left.
        std::vector<int> blockedBy(flights_.size() + 1, 0);
        bool done = false;
        for (int k = 0; k < kCycleS / kOffsetStepS && !done; ++k) {
            const int offset = (preferred + k * kOffsetStepS) % kCycleS;
            std::optional<std::size_t> clash;
            for (int tau = 0; tau < kCycleS && !clash; ++tau) {
                const Presence& me = presence[i][tau];
                if (!me.present) continue;
                if (me.ground)
                    for (const auto& [other, otherSpan] : fixed)
                        if (lf_conflict(me, span[i], other, otherSpan)) clash = flights_.size();
                for (const std::size_t j : placed) {
                    if (clash) break;
                    const int tj = ((offset + tau - flights_[j].offsetS) % kCycleS + kCycleS) % kCycleS;
                    if (lf_conflict(me, span[i], presence[j][tj], span[j])) clash = j;
                }
            }
            if (clash) {
                ++blockedBy[*clash];
                continue;
            }
            flights_[i].offsetS = offset;
            placed.push_back(i);
            done = true;
        }
        if (!done) {
            const auto most = static_cast<std::size_t>(
                std::max_element(blockedBy.begin(), blockedBy.end()) - blockedBy.begin());
            throw std::runtime_error("no time in the cycle for the " + name(i) + ": it meets " +
                                     (most == flights_.size() ? std::string("a parked aircraft") : "the " + name(most)) +
                                     " most");
        }
    }
}

FlightState SampleTraffic::stateAt(std::size_t flight, double t) const {
    const SampleFlight& f = flights_.at(flight);
    FlightState s;
    const double rel = t - f.offsetS;
    s.instance = static_cast<std::int64_t>(std::floor(rel / kCycleS));
    s.sinceStartS = rel - static_cast<double>(s.instance) * kCycleS;
    s.airframe = static_cast<std::size_t>(((s.instance % 2) + 2) % 2);
    if (s.sinceStartS <= f.durationS) {
        s.reported = true;
        s.sample = gf_trackAt(f.track, s.sinceStartS);
    } else if (f.spec.kind == FlightKind::Arrival) {
        s.parked = true;
        s.sample = f.track.back();
        s.sample.t = s.sinceStartS;
        s.sample.phase = Phase::Parked;
    }
    return s;
}

std::unique_ptr<SampleTraffic> gf_loadSampleTraffic(const std::filesystem::path& scenario) {
    return std::make_unique<SampleTraffic>(gf_loadSampleWorld(scenario));
}

}  // namespace tavo::sample
