#pragma once
// The scripted traffic of the sample world: arrivals on final to every runway
// end that land, roll out, leave the runway and taxi to a stand; departures
// that push back from a stand, taxi to a holding point, line up, take off and
// climb away; a go-around that flies a circuit and lands; overflights; a
// helicopter that lands on the helipad and leaves again. Every flight is
// built from the sample airport's runways and stands, and the whole set is
// timed within a repeating cycle so that no two aircraft share a runway or
// come close on the ground or in the air.
//
// Times are simulated seconds; the set repeats every cycleSeconds(), each
// flight flying its two airframes in turn so that an aircraft that landed is
// not the one that comes in again a cycle later.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/sample_feed/sample_airfield.h"
#include "tools/sample_feed/sample_track.h"
#include "tools/sample_feed/sample_world.h"

namespace tavo::sample {

enum class FlightKind { Arrival, Departure, Overflight, Helicopter };

struct Airframe {
    std::uint32_t hexid = 0;
    std::string registration;
};

struct FlightSpec {
    FlightKind kind = FlightKind::Arrival;
    std::string type;      // ICAO type designator
    std::string airline;   // ICAO airline code; empty for private aircraft
    std::string callsign;  // ICAO callsign; empty: the registration is the callsign
    std::string iataCallsign;
    std::string origin;       // IATA codes; empty when not known
    std::string destination;
    std::string runway;  // runway end landed on or taken off from
    std::string stand;   // stand arrived at or left from
    bool goAround = false;
    // Overflights: heading, lateral distance of the closest point from the
    // airport (positive: right of track), altitude and speed.
    double headingDeg = 0.0;
    double passingNm = 0.0;
    double altitudeFt = 0.0;
    double speedKt = 0.0;
    std::array<Airframe, 2> airframes;
};

// What sets one type apart: size, speeds and how it climbs away.
struct TypePerformance {
    std::string type;
    double halfSpanM = 0.0;
    double approachKt = 0.0;
    double rotateKt = 0.0;
    double takeoffAccel = 0.0;  // m/s^2
    double climbKt = 0.0;
    double outboundFt = 0.0;  // altitude a departure leaves the area at
    std::string category;     // ADS-B emitter category
    bool light = false;
};
const TypePerformance& gf_typePerformance(const std::string& type);

// The pieces flights are built of, for the sample traffic and generated worlds.
// The radius of a turn in the air at a speed (25 degrees of bank), metres.
double gf_turnRadiusM(double kt);
// The height on a 3 degree glide path this far before the threshold, feet.
double gf_glideFt(double metresBeforeThreshold);
// An air leg at a speed, with altitudes above the airport at its corners.
Leg gf_airLeg(std::vector<Vec> corners, std::vector<std::optional<double>> agl, double kt, Phase phase,
              double radiusM = 0.0);
// A ground leg of the type: its corners rounded and taken as fast as the type
// turns (larger aircraft turn wider and slower), standing dwellS at its end.
Leg gf_groundLeg(const TypePerformance& p, std::vector<Vec> corners, double maxSpeed, Phase phase,
                 double dwellS = 0.0);
double gf_routeLength(const Route& r);

// The flights of the sample world, and the aircraft that stand parked for
// hours (cargo and general aviation).
const std::vector<FlightSpec>& gf_sampleFlightSpecs();
struct LongParked {
    std::string type;
    std::string airline;
    std::string callsign;
    std::string stand;
    Airframe airframe;
};
const std::vector<LongParked>& gf_sampleLongParked();

struct SampleFlight {
    FlightSpec spec;
    std::vector<TrackSample> track;
    // Ground routes as the airfield gave them (corner points): the way from the
    // runway exit to the stand, or from the pushback's end to the line-up.
    Route taxiRoute;
    Route pushback;
    int offsetS = 0;  // start within the cycle
    double durationS = 0.0;
    // Reported at every other second, with this lag behind the second.
    int reportParity = 0;
    double reportLagS = 0.0;
};

// One flight, not yet timed.
SampleFlight gf_buildSampleFlight(const SampleWorld& world, const SampleAirfield& airfield, const FlightSpec& spec);

// A flight at one moment of simulated time.
struct FlightState {
    bool reported = false;  // on the air: its track runs
    bool parked = false;    // silent at its stand after landing
    std::size_t airframe = 0;
    std::int64_t instance = 0;  // which repetition of the cycle
    double sinceStartS = 0.0;
    TrackSample sample;
};

class SampleTraffic {
public:
    // Builds every flight and times them. Throws std::runtime_error when the
    // world has no room for a flight (no runway, stand or free time).
    explicit SampleTraffic(SampleWorld world);
    SampleTraffic(const SampleTraffic&) = delete;
    SampleTraffic& operator=(const SampleTraffic&) = delete;

    const SampleWorld& world() const { return world_; }
    const SampleAirfield& airfield() const { return airfield_; }
    const std::vector<SampleFlight>& flights() const { return flights_; }
    static constexpr int cycleSeconds() { return kCycleS; }

    FlightState stateAt(std::size_t flight, double t) const;

    static constexpr int kCycleS = 1200;

private:
    SampleWorld world_;
    SampleAirfield airfield_;
    std::vector<SampleFlight> flights_;
};

std::unique_ptr<SampleTraffic> gf_loadSampleTraffic(const std::filesystem::path& scenario);

// Ground-proximity and runway rules the timing keeps; tests check the
// emitted traffic against the same numbers.
inline constexpr double kGroundClearanceM = 10.0;  // between wing tips
inline constexpr double kAirSeparationM = 1852.0;
inline constexpr double kAirSeparationFt = 700.0;
inline constexpr double kRunwayAirFt = 400.0;  // below this near a runway, it is in use

}  // namespace tavo::sample
