#pragma once
// The aircraft records of the traffic engine, a family of three plain
// structures copied and moved by value:
//   AcInfo  - who the aircraft is and the per-type values motion and stand
//             choice need;
//   AcBase  - what any aircraft in the simulator needs (object, stand,
//             life-cycle state, controls); a parked ("static") aircraft is one;
//   LiveAc  - a moving aircraft of the real traffic (pose, stream, phase and
//             motion state).
// All records live on the engine's thread.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

#include "engine/stream_point.h"
#include "feed/records.h"
#include "foundation/lalo.h"
#include "liveries/code_tables.h"
#include "motion/motion_state.h"
#include "motion/runways.h"
#include "simlink/sim_link.h"

// Life cycle of an aircraft in the simulator.
enum class AcSimState : std::uint32_t {
    buffer = 0,           // not in the simulator; waiting to spawn
    adding2sim = 1,       // create queued or in flight
    active = 2,           // object exists and moves
    liveryrespawn = 3,    // being removed to be created again with another livery
    removingfromsim = 4,  // removal sent
};

// Motion phase of a live aircraft.
enum class AcPhase : std::uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    takeoff_roll = 3,
    takeoff = 4,
    flying = 5,
    landing = 6,
    landing_roll = 7,
    parking = 8,
    parked = 9,
    birth = 10,
};

// Names for log lines; "?" for a value outside the enumeration.
std::string_view gf_acSimStateName(std::uint32_t state);
std::string_view gf_acPhaseName(std::uint32_t phase);
inline std::string_view gf_acSimStateName(AcSimState state) { return gf_acSimStateName(std::uint32_t(state)); }
inline std::string_view gf_acPhaseName(AcPhase phase) { return gf_acPhaseName(std::uint32_t(phase)); }

// Identity (the head copied from the first report) and per-type values.
struct AcInfo : FlightIdentity {
    double wingRadiusNm = 0.0;
    double collisionRadiusNm = 0.0;
    double standSearchRadiusNm = 0.0;
    double standSearchRadiusWideNm = 0.0;
    double groundOffsetFt = 0.0;
    std::uint8_t groundOffsetFromSim = 0;
    double staticPitchRad = 0.0;
    double rotationPitchRad = 0.0;  // negative is nose up
    double climbPitchRad = 0.0;
    double turnRateRad = 0.0;       // largest heading change per tick
    double turnRateLimit = 0.0;     // current limit of the heading change per tick
    double climbRateLimit = 0.0;
    double taxiSpeedRef = 0.0;
    std::uint32_t hexid = 0;
    std::uint32_t category = Large;  // ModelCategory
    // Views a title owned by the livery tables, which outlive every record.
    std::string_view liveryTitle;
    std::uint32_t flareTicks = 0;
    std::uint32_t approachLimit = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbPitchTicks = 0;
    std::uint8_t isJetCategory = 0;
    std::uint8_t isSlowLarge = 0;
    std::uint8_t isSlowTwoProp = 0;
    std::uint8_t isSlowLight = 0;
    std::uint8_t isFsltlLivery = 0;
    std::uint8_t weakLiveryMatch = 0;
};

// Any aircraft in the simulator.
struct AcBase : AcInfo {
    std::uint32_t objectId = 0;  // 0 = no object; ids below 3 are never a created object
    LaLo standPos{};
    double standHeadingRad = 0.0;
    double parkTime = 0.0;
    std::uint32_t realHexid = 0;
    std::int32_t standId = 0;  // 1-based; 0 = none
    AcSimState simState = AcSimState::buffer;
    std::uint32_t throttleStep = 5;  // 5: nothing sent yet
    std::uint32_t flapsIndex = 4;    // 4: nothing sent yet
    std::uint8_t isCargo = 0;
    std::uint8_t isGate = 0;
    std::uint32_t fromAirportFile = 1;
    std::uint8_t removeWhenCreated = 0;
    std::uint8_t removeRecord = 0;
    std::uint8_t createDropped = 0;
    std::uint8_t plannerFlag = 0;
    AiPose simPose{};  // the simulator's initial-pose reply
    std::uint8_t hasSimPose = 0;
    std::uint8_t hasStaticCg = 0;
};

// A moving aircraft of the real traffic.
struct LiveAc : AcBase {
    // The stream is moved in; the identity and per-type values are copied;
    // every other field takes its default.
    LiveAc(std::deque<StreamPoint> initialStream, const AcInfo& info, double firstReportTime);

    AiPose pose{};  // heading in [0, 2 pi)
    // The front is the point last reached (before the object exists: the
    // next point to spawn at).
    std::deque<StreamPoint> stream;
    double lastReportTime = 0.0;
    LaLo lastParkedCheckPos{};
    std::int64_t phaseStartClock = 0;  // system clock, 100 ns units since 1970
    std::int32_t extrapolationCount = 0;
    AcPhase phase = AcPhase::birth;
    std::uint32_t phaseStartTick = 0;
    std::uint8_t onGround = 0;
    std::uint8_t hasFlightPlan = 0;
    std::uint8_t userConflictHold = 0;
    MotionState motion;
    LaLo lastStandSearchPos{};
    std::uint8_t standSearchHit = 0;
    std::uint32_t promoteStaticId = 0;
    std::uint8_t promoted = 0;
    AcPhase prevPhase = AcPhase::birth;
    AcPhase prevPrevPhase = AcPhase::birth;
    std::uint8_t arrivingHere = 0;
    std::uint8_t airborneAtActivation = 0;
    std::int32_t activationTick = 0;
    std::optional<RunwayMatch> takeoffRunway;
    std::optional<RunwayMatch> landingRunway;
    // Log.txt was told that the aircraft stands where no stand is free for
    // it and is not shown until it moves (told once).
    std::uint8_t toldNoStand = 0;
    // Judged when reports first move an aircraft so told: 1 they push it off
    // a stand (it is not shown until they taxi), 2 they move it elsewhere.
    std::uint8_t pushedOffStand = 0;
    // Log.txt was told that the aircraft flies low over the airport and is
    // not shown while it does (told once).
    std::uint8_t toldLowOverAirport = 0;
    // Log.txt was told that the aircraft rolls faster than a taxi where no
    // stand is free for it and is not shown until it slows (told once).
    std::uint8_t toldFastOnGround = 0;
};

// Per-category values (index: ModelCategory 0..6).
struct CategoryValues {
    double groundOffsetFt;
    double rotationPitchDeg;
    double climbPitchDeg;
    double turnRateDeg;
    std::uint32_t flareTicks;
    std::uint32_t approachLimit;
    std::uint32_t rotationTicks;
    std::uint32_t climbPitchTicks;
};
// The values of a category; throws std::out_of_range "invalid unordered_map<K, T>
// key" for a value outside 0..6.
const CategoryValues& gf_categoryValues(std::uint32_t category);

// Whether a type code is on the slow-light, slow-twin or slow-large list.
bool gf_isSlowLightType(std::string_view code);
bool gf_isSlowTwinType(std::string_view code);
bool gf_isSlowLargeType(std::string_view code);

// The record of an aircraft first seen with this identity. Draws twice from
// the thread's random engine (rotation and climb pitch).
AcInfo gf_makeAcInfo(const FlightIdentity& identity);

// A static aircraft at a stand. The gate flag comes from the name of the
// stand with that id in the stand table (none: not a gate).
AcBase gf_initStaticAircraft(const AcInfo& info, std::int32_t standId, LaLo standPos, double standHeadingRad,
                             bool cargo);
