#pragma once
// Two smooth paths an aircraft follows between the sparse points of its
// stream: a quadratic curved leg played over a time window, and a cubic
// Hermite ground turn that rounds the corner between two taxi legs (or says
// why it would not be usable).
//
// Both work in a flat local frame around their first point, in metres, and
// move at an even speed along the curve through a table of arc lengths that
// is part of the object: building and sampling allocate nothing.

#include <array>
#include <cstdint>
#include <string_view>

struct CurvedLeg {
    double startLat = 0.0;
    double startLon = 0.0;
    double startTime = 0.0;  // ticks; NaN when not valid
    double endNorth = 0.0;
    double endEast = 0.0;
    double endTime = 0.0;  // ticks; NaN when not valid
    double controlEast = 0.0;  // NaN when not valid
    double controlNorth = 0.0;
    // Fraction of the curve's length reached at parameter k/64.
    std::array<double, 65> arc{};
};

enum class GroundTurnStatus : std::uint32_t {
    None = 0,
    InvalidInput = 1,
    LegTooShort = 2,
    LegOutOfRange = 3,
    TurnTooSmall = 4,
    TurnTooLarge = 5,
    StartHeadingMismatch = 6,
    InvalidTangent = 7,
    ExcessiveLength = 8,
};

struct GroundTurn {
    double originLat = 0.0;
    double originLon = 0.0;
    double cornerEast = 0.0;
    double cornerNorth = 0.0;
    double endEast = 0.0;
    double endNorth = 0.0;
    double startTangentEast = 0.0;
    double startTangentNorth = 0.0;
    double endTangentEast = 0.0;
    double endTangentNorth = 0.0;
    double turnAngleDeg = 0.0;
    double startDeviationDeg = 0.0;
    double totalLength = 0.0;
    double maxOutwardOffset = 0.0;
    double maxChordDistance = 0.0;
    std::uint8_t headingMode = 0;
    std::uint8_t cornerEnd = 0;
    GroundTurnStatus status = GroundTurnStatus::InvalidInput;
    // Fraction of the total length reached at parameter k/128.
    std::array<double, 129> arc{};
};

struct LegPoint {
    double lat = 0.0;
    double lon = 0.0;
    double value = 0.0;
};

struct CurvedLegInput {
    LegPoint start;    // value: start time (ticks)
    LegPoint control;  // value: must be finite
    LegPoint end;      // value: end time (ticks)
};

struct GroundTurnInput {
    double entryLat = 0.0;
    double entryLon = 0.0;
    double cornerLat = 0.0;
    double cornerLon = 0.0;
    double exitLat = 0.0;
    double exitLon = 0.0;
    double startHeading = 0.0;  // radians
    std::uint8_t cornerEnd = 0;
    // Each replaced by its default when not above 0.
    double minLegLength = 0.0;         // 15 m
    double minLegSum = 0.0;            // 50 m
    double maxHeadingChangeDeg = 0.0;  // 60
    double startToleranceDeg = 0.0;    // 60
    double cornerDistanceFactor = 0.0; // 0.35
    double maxCurvatureDegPerM = 0.0;  // 3
    double tangentScale = 0.0;         // 2
    // The exit tangent's length over the exit leg's (not a corner-ending
    // turn's): longer ones keep the turn on its legs nearer the corner.
    double endTangentScale = 0.0;      // 2
    double exitHeading = 0.0;  // radians
    std::uint8_t exitHeadingGiven = 0;
};

// The options with their defaults put in.
struct GroundTurnOptions {
    double minLegLength, minLegSum, maxHeadingChangeDeg, startToleranceDeg, cornerDistanceFactor,
        maxCurvatureDegPerM, tangentScale, endTangentScale;
};
GroundTurnOptions groundTurnOptions(const GroundTurnInput& in) noexcept;

struct CurvePoint {
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0;
    bool valid = false;
};

struct BezierPoint {
    double east = 0.0;
    double north = 0.0;
    double heading = 0.0;  // NaN when the curve has no direction there
};

struct HermitePoint {
    double east = 0.0;
    double north = 0.0;
    double derivEast = 0.0;
    double derivNorth = 0.0;
};

bool isValidLatLon(double lat, double lon) noexcept;
bool isValidLegPoint(const LegPoint& p) noexcept;

BezierPoint bezierPointAt(double t, double startEast, double startNorth, double controlEast, double controlNorth,
                          double endEast, double endNorth) noexcept;

void buildCurvedLeg(CurvedLeg& leg, const CurvedLegInput& in) noexcept;
CurvePoint sampleCurvedLeg(const CurvedLeg& leg, double time) noexcept;

bool buildGroundTurn(GroundTurn& turn, const GroundTurnInput& in) noexcept;
std::string_view groundTurnStatusName(GroundTurnStatus status) noexcept;
std::string_view groundTurnStatusName(std::uint32_t status) noexcept;
CurvePoint sampleGroundTurn(const GroundTurn& turn, double fraction) noexcept;
HermitePoint hermitePointAt(const GroundTurn& turn, double t) noexcept;
