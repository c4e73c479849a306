#pragma once
// Small pure functions of aircraft motion: easing, rate limiting, descent
// bounds, leg-time plausibility, climb start, touchdown shaping, roll-profile
// checks, centre-line capture, look-ahead bearing, coordinated turns, bank
// limits and the Hermite transition between two positions.
//
// None keeps state or allocates: they run for every aircraft on every tick.
// Angles are radians unless a name says degrees; speeds knots, vertical speeds
// feet per minute, distances metres.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "foundation/lalo.h"
#include "liveries/code_tables.h"

inline constexpr double kGravity = 9.80665;
inline constexpr double kKnotsToMps = 0.5144444444444445;
inline constexpr double kMpsToKnots = 1.9438444924406046;
// No aircraft on the ground goes faster (kt): a report farther off than this
// takes in its time is a jump in the positions, not a move.
inline constexpr double kMostGroundKt = 100.0;
inline constexpr double kMetresToFeet = 3.2808399;
// Metres per degree of latitude in the Hermite transition.
inline constexpr double kTransitionMetresPerDegree = 111319.49;

// A heading into [0, 2 pi); a non-finite angle counts as 0.
double normalizeHeading(double heading) noexcept;

// t clamped to 0..1, then mode 0 linear, 1 ease-in, 2 ease-out, 3 smoothstep;
// any other mode linear.
double easeValue(double t, int mode) noexcept;

// Moves current toward target by at most maxStep (see the .cpp for the
// non-finite cases).
double stepToward(double current, double target, double maxStep) noexcept;

struct DescentRate {
    double rate = 0.0;
    bool changed = false;
};
// ft/min: the steepest approach descent of the category beyond what its
// stream shows (HighPerf -3600, Rotorcraft -1800, others -3000).
double gf_approachDescentFloorFpm(ModelCategory category) noexcept;
// Keeps a wanted descent rate between 0 and a bound below the stream's mean
// rate (its first two entries): 1200 ft/min below it, but not below the
// category's floor unless the stream itself descends faster (down to twice
// the floor).
DescentRate descentRateBounds(double wantedFpm, std::span<const double> streamRatesFpm,
                              ModelCategory category) noexcept;

struct GroundLegTime {
    double leastTimeS = 0.0;
    double impliedSpeedKt = 0.0;
    bool tooFast = false;
};
// The least plausible time for a ground leg of distanceM at the reported
// speeds, and whether timeS is shorter than that.
GroundLegTime minGroundLegTime(double distanceM, double timeS, double speed1Kt, double speed2Kt,
                               ModelCategory category) noexcept;

struct AltitudeSample {
    double altitudeFt = 0.0;
    std::int32_t tick = 0;
};
struct ClimbStart {
    std::size_t index = 0;
    bool found = false;
};
// The first sample that is 10 ft above the reference and follows, within 2000
// ticks, a sample at least 15 ft lower (itself at 40 ft or more).
ClimbStart findClimbStart(std::span<const AltitudeSample> samples, double referenceFt) noexcept;

struct TouchdownInput {
    double verticalSpeedFpm = 0.0;
    double heightFt = 0.0;
    double touchdownHeightFt = 0.0;
    double pastThresholdM = 0.0;
    double runwayLengthM = 0.0;
    double speedKt = 0.0;
    double nextVerticalSpeedFpm = 0.0;
    double frontVerticalSpeedFpm = 0.0;
    double gainFt = 0.0;  // altitude gain from the front to the next point
    bool nextAirborne = false;
};
struct TouchdownShape {
    double verticalSpeedFpm = 0.0;
    double aimDistanceM = 0.0;
    bool changed = false;
};
// Steepens the last descent so that the aircraft touches down within the
// first part of the runway rather than floating past it.
TouchdownShape shapeTouchdownDescent(const TouchdownInput& in) noexcept;

bool isValidRollProfile(double first, double second, double largestVerticalSpeedFpm, double speedKt,
                        double referenceSpeedKt, double margin) noexcept;

struct CenterlineAim {
    LaLo aimPoint;
    double bearing = 0.0;
    double angle = 0.0;
    double offsetM = 0.0;
    bool captured = false;
};
// A point ahead on the way to a centre line through linePoint along
// lineHeading, closing the cross-track offset by `factor`.
CenterlineAim centerlineAimPoint(LaLo position, LaLo linePoint, double lineHeading, double angleLimit,
                                 double crossTrackLimitM, double factor) noexcept;

struct LookAhead {
    double bearing = 0.0;
    double distanceM = 0.0;
    bool found = false;
};
// The bearing to the farthest of the upcoming points within reach, when the
// path ahead is straight enough.
LookAhead lookAheadBearing(LaLo position, std::span<const LaLo> upcoming, double heading, double leastM,
                           double greatestM, double angleLimit) noexcept;

struct TurnStepInput {
    double heading = 0.0;
    double targetHeading = 0.0;
    double bank = 0.0;
    double givenBank = 0.0;
    bool givenBankSet = false;
    double speedKt = 0.0;
    double timeConstantTicks = 0.0;
    double ticksPerSecond = 0.0;
    double maxTurnRate = 0.0;  // radians per second
    double bankLimit = 0.0;
    double maxBankStep = 0.0;
};
struct TurnStep {
    double bank = 0.0;
    double headingStep = 0.0;
    double bankStep = 0.0;
    double wantedBank = 0.0;
    bool givenBankUsed = false;
    bool givenBankInvalid = false;
};
TurnStep coordinatedTurnStep(const TurnStepInput& in) noexcept;

// The bank allowed: the limit, reduced near the ground while landing and to
// 5 degrees in the flare.
double maxBankAngle(double limit, bool landing, double heightAboveGroundFt, bool flare) noexcept;

struct HermiteTransition {
    LaLo position;
    double heading = 0.0;
    bool curved = false;
    bool valid = false;
};
// The point at t of a smooth transition from start to end arriving along the
// arrival heading (within the angle limit). It sets off along the start
// course (within a right angle of the straight course), where one is given,
// else along the straight course: a leg that set off along its own chord
// wherever the leg before had ended bent the track at every point, and a
// holding flew its turns in kinks of 30 degrees a second.
HermiteTransition hermiteTransitionPoint(LaLo start, LaLo end, double arrivalHeading, double angleLimit, double t,
                                         double startCourse = std::numeric_limits<double>::quiet_NaN()) noexcept;
// How many times longer than its chord that transition is: 1 where it runs
// straight (or yields no point).
double hermiteTransitionLengthRatio(LaLo start, LaLo end, double arrivalHeading, double angleLimit,
                                    double startCourse = std::numeric_limits<double>::quiet_NaN()) noexcept;
