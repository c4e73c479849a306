#pragma once
// The motion state of a live aircraft: what the motion step keeps between
// ticks. A new record starts with every field 0, false or empty except where a
// default is written here: the retiming limits at 900 ticks, the height above
// ground at 2500 ft (an aircraft of unknown height counts as well clear of the
// ground), the last seen phase at birth, and values not yet known as NaN.
//
// The engine reads and writes the fields below; the motion code adds its own.

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "engine/stream_point.h"
#include "foundation/lalo.h"

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
    std::uint8_t takeoffSpeedUp = 0;

    // How far the due tick of the next point may move earlier and later.
    std::int32_t advanceLimit = 900;
    std::int32_t delayLimit = 900;

    // Holding in place while the stream has run dry on the ground.
    std::uint8_t holding = 0;
    std::int32_t holdingStartTick = 0;
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
    std::int32_t takeoffCountdown = 0;
    std::uint32_t flareStage = 0;  // 0 none, 1..4 the stages of the flare
    std::uint32_t lastPhase = 10;  // the phase the motion step last saw (birth)

    // Latest altitude while airborne, with its validity.
    double lastAirborneAltitudeFt = 0.0;
    std::uint8_t lastAirborneAltitudeValid = 0;

    // Takeoff runway heading (degrees) once a takeoff runway was matched.
    double takeoffRunwayHeadingDeg = 0.0;
    std::uint8_t takeoffRunwayMatched = 0;

    // Parked state: the ground elevation of the stand (ft) once known.
    double standGroundElevationFt = unknown;
    std::uint8_t standGroundElevationKnown = 0;
    std::uint8_t engineOffScheduled = 0;
    std::uint8_t lightsScheduled = 0;
    // The parked aircraft is about to leave its stand (its reports moved off
    // it): it counts as no long stayer and is not removed to make way.
    std::uint8_t departurePending = 0;

    // Landing state, cleared together when the aircraft leaves landing.
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
};
