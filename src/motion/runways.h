#pragma once
// The runways of the current park airport and the questions the motion code
// asks about them: is a position near a runway, which runway end does an
// aircraft at this position and heading face, is it lined up for a takeoff or
// past the threshold of a landing, and what is that end called.
//
// The table is read once per airport (and source of its airport file) from
// the simulator's facility data, checked, logged ("RUNWAY_HEADING: ...") and
// pruned of runways that are out of use. It belongs to the main thread, which
// runs both the engine tick that looks runways up and the parked-traffic
// update that reloads them; nothing here takes a lock.
//
// Lookups run for every aircraft report and leg, so they allocate nothing:
// the names of every runway end are built when the table is loaded, a match
// carries its texts inline, and only the two best candidates are kept.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/lalo.h"
#include "simlink/facility_reader.h"

// A short text held inline, so that copying a match never allocates. The
// capacities below fit the longest text any pair of 32-bit end codes gives
// ("#-2147483648(-2147483648)" for one end name); longer input is cut.
template <std::size_t Capacity>
class InlineText {
public:
    InlineText() = default;
    explicit InlineText(std::string_view text) { append(text); }

    InlineText& append(std::string_view text) {
        const std::size_t n = std::min(text.size(), Capacity - size_);
        std::copy_n(text.data(), n, chars_ + size_);
        size_ += n;
        return *this;
    }

    std::string_view view() const { return {chars_, size_}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }

    friend bool operator==(const InlineText& a, const InlineText& b) { return a.view() == b.view(); }
    friend bool operator==(const InlineText& a, std::string_view b) { return a.view() == b; }

private:
    char chars_[Capacity]{};
    std::size_t size_ = 0;
};

template <std::size_t Capacity>
struct fmt::formatter<InlineText<Capacity>> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const InlineText<Capacity>& text, FormatContext& ctx) const {
        return fmt::formatter<std::string_view>::format(text.view(), ctx);
    }
};

using RunwayEndName = InlineText<32>;    // "09L"
using RunwayKey = InlineText<64>;        // "09L-27R"
using RunwayRunnerUp = InlineText<96>;   // "09R-27L:27L"

// One runway of the table: the facility record with the names of its ends,
// its key and what isNearRunway compares, all built by the constructor when
// the table is loaded. A runway is changed by replacing the entry, never by
// editing its fields in place (the built values would no longer fit).
struct TableRunway : FacilityRunway {
    explicit TableRunway(const FacilityRunway& runway);

    RunwayEndName primaryName;
    RunwayEndName secondaryName;
    RunwayKey key;  // "{primary}-{secondary}"

    // For isNearRunway: the centre as a unit vector and the squared chord of
    // the reach (half the length + 1500 m) on the same sphere as
    // gf_distanceNm; negative when the runway has no valid centre or length.
    // Comparing chords gives the same answer as comparing great-circle
    // distances without a haversine per runway.
    double centreX = 0.0, centreY = 0.0, centreZ = 0.0;
    double nearChordSquared = -1.0;
};

// The runways of the current park airport in the order the facility data gave
// them; empty while none could be read.
extern std::vector<TableRunway> g_runwayTable;

// The result of a lookup: one runway in one direction of travel.
struct RunwayMatch {
    RunwayKey key;
    RunwayEndName endName;     // the end in the direction of travel
    RunwayRunnerUp runnerUp;   // "{key}:{endName}" of the second-best candidate, or empty
    double headingDeg = 0.0;   // direction of travel, [0, 360)
    double headingDiffDeg = 0.0;  // |aircraft heading - headingDeg|, [0, 180]
    double crossTrackM = 0.0;  // right of the primary direction is positive, whatever the direction
    double alongTrackM = 0.0;  // from the centre, positive in the primary direction
    double fromThresholdM = 0.0;  // from the end where travel in this direction begins; negative before it
    double startWindowM = 0.0;    // min(0.4 x length, 1200)
    double lengthM = 0.0;
    double widthM = 0.0;
    double altitudeFt = 0.0;  // for this direction, after the spike filter
    LaLo farEnd{};            // the end travel in this direction leads to
    std::optional<double> pastThresholdM;  // beyond a usable displaced threshold
    std::optional<double> usableLengthM;   // length minus a usable displaced threshold
    double score = 0.0;          // |crossTrackM| + headingDiffDeg; smaller is better
    double runnerUpScore = 0.0;  // 0 when there was no runner-up
};

// A position in the flat frame of a runway: metres from its centre along the
// primary direction and to the right of it.
struct RunwayFrame {
    double alongM = 0.0;
    double crossM = 0.0;
};
RunwayFrame gf_runwayFrame(LaLo position, const FacilityRunway& runway) noexcept;

// Every caller passes this as the smallest cross-track tolerance.
inline constexpr double runwayCrossFloorM = 75.0;

// True when the position lies within half a runway's length + 1500 m of the
// centre of a runway of the table.
bool isNearRunway(LaLo position);
// The best runway end for the position and true heading (radians, [0, 2 pi)),
// with the runner-up named; empty when no runway is within reach.
// startWindowOnly keeps only directions whose start the position is at.
std::optional<RunwayMatch> findRunwayMatch(LaLo position, double headingRad, bool startWindowOnly,
                                           double crossFloorM);
// The match, when the position is lined up on a runway for its takeoff.
std::optional<RunwayMatch> findTakeoffRunway(LaLo position, double headingRad);
// The match, when the position is over a runway past a usable threshold.
std::optional<RunwayMatch> findLandingRunway(LaLo position, double headingRad);
// The name of the runway end the position and heading face, when unambiguous.
std::optional<RunwayEndName> runwayNameAt(LaLo position, double headingRad);

// Chooses between a runway's centre altitude (`value`) and the START altitude
// of one of its ends (`candidate`); `other` is the other end's START altitude.
// A candidate more than 50 ft off is a spike unless the other end lies more
// than 50 ft off on the opposite side (a real slope).
struct SpikeFilterResult {
    double result = 0.0;
    bool replaced = false;  // the candidate was refused as a spike
};
SpikeFilterResult gf_filterSpike(double value, std::optional<double> candidate, std::optional<double> other);
// The START altitude of a runway end, when the end has a START record.
std::optional<double> gf_startAltitude(const std::optional<FacilityStart>& start);

// ---- loading ----

// What the table was last loaded for: the airport code text and the source
// text of its airport file; both empty at start, after a failed read and
// after gf_clearRunwayTable.
struct RunwayTableAirport {
    std::string code;
    std::string source;
};
extern RunwayTableAirport g_runwayTableAirport;

// A runway that is out of use although the scenery of a source still has it.
struct IgnoredRunway {
    std::string_view source;
    std::string_view airport;
    std::int32_t primaryNumber = 0;
    std::int32_t primaryDesignator = 0;
    std::int32_t secondaryNumber = 0;
    std::int32_t secondaryDesignator = 0;
    std::string_view reason;
};
extern const std::vector<IgnoredRunway> g_ignoredRunways;

// Where the load reads an airport's runways; the facility reader unless a test
// installs another. An empty function restores the facility reader.
using RunwayReader = std::function<std::optional<FacilityRunwaySet>(std::string_view icao)>;
void gf_setRunwayReader(RunwayReader reader);

// Reads the runways of the airport into the table unless they are loaded for
// the same airport and source already. A failed read leaves the table empty
// and is tried again at the next call.
void loadAirportRunways(IcaoCode code, std::string_view source);
// Empties the table and what it was loaded for, so that the next load reads
// the facility data again (when the parked traffic of the airport ends).
void gf_clearRunwayTable();

// The checks of one load; each logs what it finds.
void checkRunwayHeadingData(std::string_view code, LaLo reference, const FacilityRunway& runway,
                            std::set<std::string>& keys);
void checkRunwayStartAltitude(std::string_view code, std::string_view key, const FacilityRunway& runway,
                              bool primaryEnd);
// True (and logged, and its key taken out of the set) when the runway is one
// of g_ignoredRunways for this source and airport.
bool logIgnoredRunway(std::string_view code, std::string_view source, const FacilityRunway& runway,
                      std::set<std::string>& keys);
