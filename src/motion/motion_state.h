#pragma once
// The motion state of a live aircraft: what the motion step keeps between
// ticks. A new record starts with every field 0, false or empty except where a
// default is written here: the retiming limits at 900 ticks, the takeoff
// countdown at 1 (simply on the ground), the height above ground at 2500 ft (an
// aircraft of unknown height counts as well clear of the ground), the last
// seen phase at birth, and values not yet known as NaN (among them the
// curved leg of a fresh motion path, which is thereby invalid).
//
// The engine reads and writes the fields below; the motion code adds its own.

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/stream_point.h"
#include "foundation/lalo.h"
#include "motion/curves.h"
#include "motion/runways.h"
#include "motion/speed_profile.h"

// The geometry of the current leg: a curved leg and a ground turn (both
// invalid until the leg planning builds one), and the path progress with its
// per-tick step. Reset at the start of every leg.
struct MotionPath {
    static constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
    CurvedLeg curve{0.0, 0.0, unknown, 0.0, 0.0, unknown, unknown, unknown, {}};
    GroundTurn turn{};
    double progress = 0.0;      // fraction 0..1 of the path
    double progressStep = 0.0;  // per tick
    // The fastest ground speed (kt) reported at the points a ground turn
    // passes by on its way to its end (they leave the stream), 0 for none.
    double passedReportedKt = 0.0;
};

// A ground leg played from a speed profile (metres and seconds).
struct ProfileLeg {
    SpeedProfile profile{};
    LaLo start{};
    LaLo end{};
    std::int32_t elapsedTicks = 0;
    std::uint8_t kind = 0;
    double startHeading = 0.0;
    std::uint32_t phase = 0;  // AcPhase the profile was built in
};

// The curved transition of an airborne leg onto the following one.
struct AirTransition {
    LaLo start{};
    LaLo end{};
    double arrivalHeading = 0.0;
    double angleLimit = 0.0;
    // The course the leg sets off along (NaN: its straight course).
    double startCourse = std::numeric_limits<double>::quiet_NaN();
    std::int32_t startOffset = 0;
    std::int32_t duration = 0;
    std::int32_t elapsed = 0;
    std::uint8_t active = 0;
};

// The pace of an airborne leg: its distance (m) over its time as a speed
// profile, from the speed flown as the leg begins to the speed handed on to
// the leg after it, played along the straight line or the curved transition
// between its ends.
struct AirPace {
    SpeedProfile profile{};
    LaLo start{};
    LaLo end{};
    std::int32_t elapsed = 0;
};

// The takeoff roll's own state, cleared whole when a takeoff roll starts
// (the flag it starts with kept): the forced-takeoff flag (one airborne next
// point is enough to lift off) and the takeoff-wait flag (the stream shows a
// takeoff but its start conditions are not met yet).
struct TakeoffRollState {
    std::uint8_t forcedTakeoff = 0;
    std::uint8_t takeoffWait = 0;
};

// The runway end a departing aircraft lines up on, and the watches that make
// and keep it. A runway end is named "{key}:{endName}" of its match.
using RunwayEndKey = InlineText<96>;

struct LineUpState {
    static constexpr double unknown = std::numeric_limits<double>::quiet_NaN();

    // The runway end to line up on with its heading (radians); a point behind
    // the aircraft was dropped once for it; it was made by the watch of an
    // aircraft standing on the runway with no point ahead.
    std::optional<RunwayEndKey> key;
    std::optional<double> heading;
    std::uint8_t pointDropped = 0;
    std::uint8_t noFuture = 0;

    // How long the aircraft has stood within 2 m of one place on one runway.
    std::optional<RunwayEndKey> holdKey;
    LaLo holdPosition{};
    std::uint8_t holdPositionSet = 0;
    std::int32_t holdStartTick = 0;

    // The distance moved on the ground in windows of 2 s or more: the running
    // window and the last one closed (NaN until one has closed).
    LaLo movedFrom{};
    std::uint8_t moveWatchStarted = 0;
    std::int32_t moveWindowStartTick = 0;
    double moveWindowMetres = 0.0;
    double lastWindowMetres = unknown;
    double lastWindowSeconds = unknown;

    // A lone stop report held back while the aircraft rolls onto a runway.
    StreamPoint heldStop{};
    std::uint8_t hasHeldStop = 0;
};

// The reports a departing aircraft's watches keep while it leaves its stand,
// which its stream does not hold: the watches reject them until they are
// sure of the departure or the taxi, and reports come about half a minute
// before they fall due, so that the pushback and the taxi after it can still
// follow them from the one they began with. Cleared once the taxi starts.
struct StandLeaving {
    // The last report that stood at the stand: the pushback begins when it
    // is due.
    StreamPoint standing{};
    std::uint8_t hasStanding = 0;
    // Where the pushback started from, and its reports (tail first, in
    // order); once a report moved forward off where it ended, it is over.
    LaLo start{};
    // The way the nose pointed where the pushback started (radians; NaN
    // before): it sets off straight back from it.
    double startNoseRad = std::numeric_limits<double>::quiet_NaN();
    std::vector<StreamPoint> pushback;
    std::uint8_t pushbackOver = 0;
    // The report of the pushback its leg goes to (an index of `pushback`),
    // once a leg goes to one.
    std::uint32_t target = 0;
    std::uint8_t hasTarget = 0;
    // Reports after the pushback (standing where it ended, or the taxi), and
    // how many of them the taxi-start watch has seen.
    std::vector<StreamPoint> after;
    std::uint32_t watched = 0;
    // How many reports stood at the stand and how far from it they lay at
    // most (m): the scatter its reports show. A report at no speed well
    // beyond that is set aside until the next one tells whether it was
    // scatter after all or the place a pushback took the aircraft to while
    // its reports paused.
    std::uint32_t standingCount = 0;
    double standingSpreadM = 0.0;
    StreamPoint beyond{};
    std::uint8_t hasBeyond = 0;
};

struct MotionState {
    static constexpr double unknown = std::numeric_limits<double>::quiet_NaN();

    // The leg being flown: its vertical speed (ft/min) and true airspeed (kt),
    // NaN until the first leg is planned.
    double legVerticalSpeed = unknown;
    double legTasKt = unknown;
    double legBearing = 0.0;   // radians, front point to next point
    double stepLat = 0.0;      // degrees per tick on the current leg
    double stepLon = 0.0;
    std::uint8_t legTimeOverride = 0;
    std::int32_t legTimeOverrideTicks = 0;
    // How far off the leg (degrees) the turn in place may stop and the
    // aircraft set off, finishing the turn as it rolls (0: the usual 5).
    double turnInPlaceDoneDeg = 0.0;
    // The turn in place is not made where the reports had the aircraft
    // standing: it creeps round instead (taxi only).
    std::uint8_t turnInPlaceCreeps = 0;
    // A turn in place begins with braking to rest along the heading the
    // aircraft arrived with: the ticks of it left and in all, the step (m)
    // it starts from and its bearing (radians).
    std::int32_t brakeTicksLeft = 0;
    std::int32_t brakeTicks = 0;
    double brakeStepM = 0.0;
    double brakeBearing = 0.0;
    // The leg moves into a point where the aircraft then holds: it ends
    // braking to rest.
    std::uint8_t legEndsAtRest = 0;
    // The metres the pose moved in its last tick, and that tick.
    double lastStepM = 0.0;
    std::int32_t lastStepTick = 0;
    std::uint8_t takeoffSpeedUp = 0;

    // Per-tick changes the leg planning sets for the pose step: vertical (ft),
    // pitch, heading and bank (radians); and the climb last applied (ft per
    // tick), from which the next one moves gradually.
    double verticalPerTick = 0.0;
    double pitchPerTick = 0.0;
    double headingPerTick = 0.0;
    double bankPerTick = 0.0;
    double climbPerTick = 0.0;

    // How the pose moves along the leg: the path geometry, a speed profile,
    // a per-tick schedule of shares (with the unit step they scale), and the
    // curved air transition.
    MotionPath path;
    ProfileLeg profileLeg;
    std::vector<double> schedule;
    std::uint32_t scheduleIndex = 0;
    std::uint32_t scheduleCount = 0;
    double unitStepLat = 0.0;
    double unitStepLon = 0.0;
    AirTransition transition;
    AirPace airPace;
    // The speed (kt) the pose moved at in its last tick (that of lastStepTick).
    double lastStepKt = unknown;
    // The kind of the ground turn path smoothing built: 0 none, 1 a taxi turn,
    // 2 a landing roll's exit turn, 3 a takeoff roll's line-up turn; 2 and 3
    // let a speed profile run through the turn.
    std::uint8_t groundTurnMode = 0;
    // The turn at the start of a taxi leg (degrees); NaN until one is planned.
    // The flag tells that it is large enough (above 3 degrees) to plan for.
    double startTurnAngleDeg = unknown;
    std::uint8_t startTurn = 0;
    // The corner angle (degrees) of the last ground turn that path smoothing
    // built, and whether it allows a turn in place at the start of a leg.
    double smoothingTurnAngleDeg = 0.0;
    std::uint8_t turnInPlaceAllowed = 0;
    // How the speed changes along a ground leg: 0 none, 1 start from rest,
    // 2 come to rest, 3 hold at rest; the easing of the leg's shares.
    std::uint32_t speedChangeKind = 0;
    // A point on a rolling aircraft's runway centre line, a little ahead, that
    // its nose is kept on (with the bearing to it).
    LaLo centerlineAim{};
    double centerlineAimBearing = 0.0;
    std::uint8_t hasCenterlineAim = 0;
    // A curved leg that yielded no point was reported for this leg.
    std::uint8_t curveErrorLogged = 0;

    // Heading targets of a profiled leg and the smoothed rate of small turns.
    double profileHeadingTarget = 0.0;
    std::uint8_t hasProfileHeadingTarget = 0;
    std::uint8_t profileHeadingSmoothing = 0;
    double smoothedHeadingRate = 0.0;
    std::uint8_t pitchSettle = 0;

    // How far the due tick of the next point may move earlier and later.
    std::int32_t advanceLimit = 900;
    std::int32_t delayLimit = 900;
    // How many ticks before its reported time the front point was reached
    // (the leg planning moved it earlier; 0 when on time or late).
    std::int32_t frontAheadTicks = 0;
    // How much later than reported the points after the next one fall due:
    // the delay a bend, a turn in place or a rest leg pushed onto them, not
    // yet given back by the taxi legs (never below 0).
    std::int32_t streamLagTicks = 0;
    // A hold before a leg that sets off far off the nose ends the turn's
    // time sooner, once: by how many ticks its last copy was moved earlier,
    // and the place of the leg's point it was moved for. Each copy reached
    // plans the hold again and would otherwise take the turn's time off it
    // again (after a few copies the aircraft drove off while its reports
    // still had it standing).
    std::int32_t turnHoldCutTicks = 0;
    LaLo turnHoldCutFor{};

    // Holding in place while the stream has run dry on the ground.
    std::uint8_t holding = 0;
    std::int32_t holdingStartTick = 0;
    // A ground aircraft that rolls into a leg that stands (its stream ran
    // dry, or the next point is a hold) brakes to rest straight on first: 1
    // while it brakes to the point put where it comes to rest, 2 when a
    // report cut that braking short (the leg after it starts at the speed
    // the aircraft has); 0 otherwise.
    std::uint8_t brakeToRest = 0;
    std::uint8_t taxiStarted = 0;  // taxi entered through the normal taxi start

    // Headings (radians): the ground heading, a target to turn to on the spot,
    // and a heading that overrides every other while set.
    double groundHeading = 0.0;
    double groundHeadingTarget = 0.0;
    std::uint8_t hasGroundHeadingTarget = 0;
    double forcedHeading = 0.0;
    std::uint8_t hasForcedHeading = 0;

    double heightAboveGroundFt = 2500.0;
    // Ticks of a takeoff rotation still to run; 1 while simply on the ground.
    std::int32_t takeoffCountdown = 1;
    std::uint8_t takeoffFlagFirst = 0;
    std::uint8_t takeoffFlagSecond = 0;
    // The climb (ft per tick) the takeoff began with when it climbs by rate;
    // later legs of the takeoff climb no slower.
    double initialTakeoffClimb = 0.0;
    TakeoffRollState takeoffRoll;
    // The stream checks found the aircraft being towed.
    std::uint8_t towed = 0;
    // A takeoff roll without a taxi start waits for the aircraft to face
    // along it: the next point it reaches while taxiing starts the roll.
    std::uint8_t towedRollPending = 0;

    // The configuration by height: the low-altitude one (all lights on) and
    // the high-altitude one (cruise lights, gear up, flaps up) are each set
    // once until the other one is; the climb configuration once per climb.
    std::uint8_t lowAltitudeConfig = 0;
    std::uint8_t highAltitudeConfig = 0;
    std::uint8_t climbConfig = 0;

    // The touchdown: the height of the reference point above the ground when
    // the aircraft touched (ft) with the pitch then, or the flag that no
    // usable height came; whether the touchdown was reported, and the heading
    // it touched down on (NaN once the landing roll has ended).
    double touchdownHeightFt = unknown;
    double touchdownPitch = unknown;
    std::uint8_t hasTouchdownHeight = 0;
    std::uint8_t noTouchdownHeight = 0;
    std::uint8_t touchdownLogged = 0;
    double touchdownHeading = unknown;
    std::uint32_t flareStage = 0;  // 0 none, 1..4 the stages of the flare
    // The flare's runway elevation (ft) with its flag, and the height above it.
    double runwayElevationFt = 0.0;
    std::uint8_t runwayElevationKnown = 0;
    double heightAboveRunwayFt = 0.0;
    std::uint32_t lastPhase = 10;  // the phase the motion step last saw (birth)

    // Latest altitude while airborne, with its validity. A Light aircraft
    // flying on after a touch-and-go levels off near it (the level-off
    // altitude).
    double lastAirborneAltitudeFt = 0.0;
    std::uint8_t lastAirborneAltitudeValid = 0;
    // An airborne report farther from the stream's last point than the
    // aircraft could fly in the time between them, held until the next
    // report tells a lone bad position from a real move.
    StreamPoint heldJump{};
    std::uint8_t heldJumpSet = 0;
    // The latest airborne report that went into the stream, as it went in:
    // a report that ends dead reckoning is judged against it, the
    // dead-reckoned points after it being no report to judge by.
    StreamPoint lastAirReport{};
    std::uint8_t lastAirReportSet = 0;
    // The one that went in before it, as it went in: across a pause in the
    // reports the two tell the pace the aircraft kept meanwhile.
    StreamPoint airReportBefore{};
    std::uint8_t airReportBeforeSet = 0;
    // The reported times (s) of those two: before the aircraft is shown, the
    // spacing of their own times tells which of them a batch timed late.
    double lastAirReportTime = 0.0;
    double airReportBeforeTime = 0.0;
    // The last flying report taken before the aircraft was shown that was
    // made to wait past the tick its batch gave it, for its own spacing
    // after the report before it: its reported time (s) and the ticks it
    // waited (0: none waits).
    double waitedReportTime = 0.0;
    std::int32_t waitedTicks = 0;
    // Set while the stream ends in a taxi's hold made of a single report at
    // no speed at the place of one that moved (and the reports repeating it
    // since): the receiver may have repeated a position it had, which the
    // report after it tells. The hold is the run of points standing there
    // at the stream's end, whatever ticks the leg planning has moved them to.
    std::uint8_t repeatHold = 0;
    // The latest taxiing report thinned out as adding nothing (it lay within
    // 20 m of the last one kept), with its time: played after all when no
    // report came for 10 s after it and the stream's last point falls due, so
    // that a stream that pauses does not lose where the aircraft went last.
    StreamPoint thinnedReport{};
    double thinnedReportTime = 0.0;
    std::int32_t thinnedReportTick = 0;  // the tick it came in
    std::uint8_t thinnedReportSet = 0;
    // Where the latest report decoded for the aircraft lies, whatever became
    // of it (kept, thinned out or dropped as too soon after the last): a
    // later report at no speed at that very place is the receiver repeating
    // it, not the aircraft coming to rest there.
    LaLo lastHeardPosition{};
    double lastHeardKt = 0.0;
    std::uint8_t lastHeardSet = 0;
    // The report heard before the latest one (where, how fast): a ground
    // report at no speed at its very place, after it moved, repeats it.
    LaLo heardBeforePosition{};
    double heardBeforeKt = 0.0;
    std::uint8_t heardBeforeSet = 0;

    // Where and when (the report's own time) the last report kept in the
    // stream lies: the pace of the next one is taken from it.
    LaLo lastKeptPosition{};
    double lastKeptTime = 0.0;
    std::uint8_t lastKeptSet = 0;
    // The own time of the last report at no speed given at that very place
    // since (0: none): until then the reports had the aircraft stand there.
    double lastStoodTime = 0.0;

    // Lining up on a runway end before the takeoff roll.
    LineUpState lineUp;

    // Takeoff runway heading (degrees) once a takeoff runway was matched.
    double takeoffRunwayHeadingDeg = 0.0;
    std::uint8_t takeoffRunwayMatched = 0;

    // Parked state: the ground elevation of the stand (ft) once known.
    double standGroundElevationFt = unknown;
    std::uint8_t standGroundElevationKnown = 0;
    std::uint8_t engineOffScheduled = 0;
    std::uint8_t lightsScheduled = 0;
    // The parked aircraft is about to leave its stand (its reports moved off
    // it): it counts as no long stayer and is not removed to make way. With
    // the pull-out flag it leaves forwards rather than being pushed back.
    std::uint8_t departurePending = 0;
    std::uint8_t pullOut = 0;
    // Watches of the stream checks around a departure: the parked aircraft's
    // departure watch and the two stored positions of the pushback watch. A
    // pushback starts them afresh.
    std::uint8_t departureWatch = 0;
    std::uint8_t pushbackWatchSet = 0;
    std::uint8_t pushbackWatchSecondSet = 0;
    // The stand watch of a parked aircraft: its reports' reference and last
    // distances from the stand (m, valid once set), how often they moved
    // away, and the report the departure watch started from (with the engine
    // tick it was stored at and how often it was renewed).
    double standRefDistanceM = 0.0;
    double standLastDistanceM = 0.0;
    std::uint8_t standDistancesSet = 0;
    std::uint32_t standMoveCount = 0;
    StreamPoint standWatchPoint{};
    std::int32_t standWatchTick = 0;
    std::uint32_t standWatchCount = 0;
    // When the aircraft arrived at its stand (steady clock, ns; 0 none).
    std::int64_t standArrivalClockNs = 0;
    // The pushback watch: where the pushed-back aircraft last reported a
    // move, the position it first moved from, and the moves counted since.
    LaLo pushbackWatchPos{};
    LaLo pushbackWatchSecondPos{};
    std::uint8_t pushbackWatchCount = 0;
    // The reports kept while the aircraft leaves its stand (see StandLeaving).
    StandLeaving leaving;

    // A parked aircraft's stand was checked against its reports.
    std::uint8_t atStandCheck = 0;

    // Where the stored landing runway was matched, with its validity.
    LaLo landingRunwayRefPos{};
    std::uint8_t landingRunwayRefValid = 0;

    // Approach state, cleared together when the aircraft enters or leaves
    // landing: the last approach step with its flag, the approach's aim value,
    // its text and counters, and the touch-and-go watch.
    double lastApproachStep = 0.0;
    std::uint8_t lastApproachStepSet = 0;
    double approachValue = 0.0;
    std::string approachText;
    std::array<std::uint32_t, 3> approachCounters{};
    std::uint8_t touchAndGoWatch = 0;
    std::uint8_t touchAndGoResult = 0;
    double touchAndGoAltitudeFt = unknown;
    double touchAndGoVerticalSpeed = unknown;

    // The slowest point of a Light aircraft's landing roll, from which message
    // decoding tells a touch-and-go by the climb that follows it.
    StreamPoint rollSlowestPoint{};
    std::uint8_t hasRollSlowestPoint = 0;

    // A new origin-destination pair seen in the reports and how many reports
    // in a row carried it.
    std::string routeCandidate;
    std::uint32_t routeCandidateCount = 0;

    // The last airborne leg planned: where it ends, its course from its
    // first point to its last (radians), its length in ticks and the turn of
    // the track onto it (radians per tick), which dead reckoning keeps
    // flying when the reports stop in a turn.
    LaLo airLegEnd{};
    double airLegCourse = unknown;
    double airLegTicks = 0.0;
    double airTrackTurnPerTick = 0.0;
};
