#pragma once
// Generated worlds: RealTraffic application traffic for the simulator model's
// scenario drawn from a seed, so that TAVO's motion is tried on traffic it was
// never tuned on. A seed gives the same world on every machine: the random
// numbers come from a generator of our own (splitmix64) and are turned into
// values by our own arithmetic, never by a standard distribution whose output
// differs between standard libraries.
//
// A world holds what real traffic brings: arrivals that land long or short,
// leave the runway over 30, 45 or 90 degree exits at 10 to 40 kt or go around;
// departures that push back straight or with a turn, stop on the runway or
// roll straight through, or enter at an intersection; tows; parked aircraft
// whose reports scatter; helicopters; overflights; streams that end in every
// phase. Its reports come every 1 to 10 s, irregularly, with gaps, repeated
// positions reporting no speed while moving, datagrams repeated or sent late,
// empty fields, prefixed data sources and single absurd values. The
// application answers the buffer and parked requests at once, late or never.
//
// Times are world seconds: second 0 is when the application answered the
// version request (its feed starts there); a report's timestamp is the feed's
// epoch plus its world time.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/sample_feed/sample_airfield.h"
#include "tools/sample_feed/sample_lines.h"
#include "tools/sample_feed/sample_track.h"
#include "tools/sample_feed/sample_world.h"

namespace tavo::sample {

// Random numbers of our own: splitmix64, one 64-bit state.
class WorldRandom {
public:
    explicit WorldRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1), from the top 53 bits.
    double unit();
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    // Uniform whole number in [0, n); 0 for n == 0.
    std::size_t below(std::size_t n);
    bool chance(double p) { return unit() < p; }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items.at(below(items.size()));
    }

private:
    std::uint64_t state_;
};

// How the application answers a request.
enum class AppAnswer { AtOnce, Late, Never };
const char* gf_appAnswerName(AppAnswer answer);

// One report of one aircraft as the application sends it.
struct GeneratedReport {
    double t = 0.0;     // world time of the position
    double sendS = 0.0;  // world time it is sent (the batch of floor(sendS))
    int copies = 1;      // sent this many times (a repeated datagram)
    LatLon position;
    bool ground = true;
    double altitudeFt = 0.0;  // above sea level; 0 on the ground
    double verticalSpeedFpm = 0.0;
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;
    double headingDeg = 0.0;
    double rollDeg = 0.0;
    bool emptyTas = false;
    bool emptyRoll = false;
    bool emptyHeading = false;
    // Made bad on purpose (an absurd value, a position off, a stale repeat of
    // the position before): no place or pace the aircraft had.
    bool madeBad = false;
};

// One generated aircraft and what the generator made of it.
struct GeneratedAircraft {
    std::uint32_t hexid = 0;
    std::string callsign;  // empty: the registration stands for it
    std::string iataCallsign;
    std::string registration;
    std::string type;
    std::string airline;
    std::string origin;
    std::string destination;
    std::string source;  // the data source field, perhaps prefixed
    // What it is, for a person: "arrival 34R, 45° exit at 25 kt, long
    // landing, stream ends in the exit turn".
    std::string description;
    // The kinds of traffic it covers, as named in gf_worldKindNames().
    std::vector<std::string> kinds;
    std::vector<GeneratedReport> reports;  // in time order
};

// An aircraft the parked request reports at a stand.
struct GeneratedParked {
    std::uint32_t hexid = 0;
    std::string callsign;
    std::string type;
    std::string registration;
    std::string stand;
    LatLon position;
    double lastSeenAgoS = 0.0;
};

struct WorldOptions {
    // World seconds the feed runs.
    double durationS = 240.0;
    // Aircraft holding near the airport besides the rest of the world, all
    // within the traffic range at once: below 0 the seed decides (one world
    // in ten holds 200 of them).
    int crowd = -1;
};

// The application's TCP link drops at one world second and is back at a
// later one: the program restarts its run meanwhile.
struct LinkDrop {
    double fromS = 0.0;
    double toS = 0.0;
};

struct GeneratedWorld {
    std::uint64_t seed = 0;
    double durationS = 0.0;
    AppAnswer bufferAnswer = AppAnswer::AtOnce;
    AppAnswer parkedAnswer = AppAnswer::AtOnce;
    double bufferDelayS = 0.0;  // late answers: this long after the request
    double parkedDelayS = 0.0;
    std::optional<LinkDrop> linkDrop;
    std::vector<GeneratedAircraft> aircraft;
    std::vector<GeneratedParked> parked;
    // Indexes of the reports by the second they are sent in.
    std::map<std::int64_t, std::vector<std::pair<std::size_t, std::size_t>>> bySecond;

    const GeneratedAircraft* find(std::uint32_t hexid) const;
    // The kinds the world covers (each once).
    std::vector<std::string> kinds() const;
    // A line per aircraft: hexid, callsign and description.
    std::string describe() const;
};

// Every kind a world can hold.
const std::vector<std::string>& gf_worldKindNames();

// Draws the world of a seed. Throws std::runtime_error when the scenario's
// airport does not suit the sample airfield's layout.
GeneratedWorld gf_generateWorld(const SampleWorld& world, const SampleAirfield& airfield, std::uint64_t seed,
                                const WorldOptions& options = {});

// The application's lines (one per datagram).
// The live batch of a second: the RTTFC lines sent in it, then RTTFC_EOT; no
// lines at all when nothing is sent.
std::vector<std::string> gf_worldLiveLines(const GeneratedWorld& world, std::int64_t second, double epoch);
// The buffered traffic asked for at a second: the 30 seconds before it.
std::vector<std::string> gf_worldBufferLines(const GeneratedWorld& world, std::int64_t second, double epoch);
// The parked aircraft inside the box, then RTPARK_EOT.
std::vector<std::string> gf_worldParkedLines(const GeneratedWorld& world, double epoch, const ParkedBox& box);
// One RTTFC (or RTBUF) line of a report.
std::string gf_worldTrafficLine(const GeneratedAircraft& aircraft, const GeneratedReport& report, double epoch,
                                const char* tag);

}  // namespace tavo::sample
