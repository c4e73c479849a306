#pragma once
// Flight options at stands: adding an option when a real aircraft is seen at
// a stand, extending its half-hours while it stays, the callsigns it was
// seen with, and the two quality ratings of an airport's stands.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "airports/airport.h"
#include "foundation/hash.h"
#include "foundation/lalo.h"
#include "foundation/time.h"
#include "liveries/ac_key.h"

struct AcInfo;

// Newest slot first; consumed from the back.
using SlotList = std::vector<std::uint32_t>;

// Options learned or extended since the learned stands were last saved.
extern std::uint32_t g_learnedOptionCount;

// Adds an option of one slot for the registration (number, true), or gives
// (0, false) for an empty registration or an option with the same
// registration, day and hours already there.
std::pair<std::uint32_t, bool> gf_addStandOption(std::vector<StandOption>& options, AcKey key, WeekTime now,
                                                 std::string_view callsign, std::string_view registration, bool cpl);

// Gives the option its first callsign, else a second different one, else
// replaces the second (the newest other callsign is kept).
void gf_addOptionCallsign(std::vector<StandOption>& options, std::uint32_t number, std::string_view callsign);

// Sets the slots of the list (emptied) in the option's hours; false when
// there is no such option.
bool updateOptions(std::vector<StandOption>& options, SlotList& slots, std::uint32_t number);
// The list runs across midnight: the slots of the day before (those after the
// newest slot, the list's first) go to the first option, today's to the second.
bool updateOptionsWrapped(std::vector<StandOption>& options, SlotList& slots, std::uint32_t first,
                          std::uint32_t second);

// n slots back from the given one (itself first), across days and the week's end.
SlotList gf_listPreviousSlots(WeekTime time, std::int32_t n);

// Extends the option from its last recorded time to now when the gap is
// within the aircraft's longest stay span (12 slots cargo, 8 heavy, else 6);
// across midnight today's part goes to a new option. False when it cannot.
bool lf_addStandOptionSpan(WeekTime now, std::vector<StandOption>& options, std::uint32_t number, WeekTime last,
                           const AcKey& key, std::uint32_t category, std::string_view callsign, bool cpl);

// Records that the real aircraft stands at the stand with that id of the
// engine's stand table now (the current week time): adds an option for it, or
// extends the option it was seen with while it stays. Only aircraft whose
// registration the aircraft database knows are recorded; their key becomes
// the database's. Kinds 2 and 3 mark the option as cpl.
void gf_addRealStandOption(std::int64_t standId, AcInfo& aircraft, std::int32_t kind);

// Gives a live aircraft the callsign pair (arriving and departing flight) of
// the first option of that day, of its airline, with a second callsign, one
// of whose callsigns is the aircraft's and whose hours meet the window of 10
// slots (14 for a heavy) around the week time's slot.
void gf_applyStandOptionCallsigns(const std::vector<Stand>& stands, WeekTime now, AcInfo& aircraft);

// The stand of the vector whose name holds the parking text's word (from its
// sixth character on) as a whole word, within 250 m; its id, else 0.
std::uint32_t gf_findStandByNameWord(const std::vector<Stand>& stands, std::string_view parkingText, LaLo position);

// gf_findStandByNameWord for many texts over one stand vector: the stands are
// listed by the words of their names once, so that each search tests only the
// stands whose names hold the text's word. The vector must outlive it and keep
// its stands and names while it is used.
class StandNameWords {
public:
    explicit StandNameWords(const std::vector<Stand>& stands);
    // The same answer as gf_findStandByNameWord(stands, parkingText, position).
    std::uint32_t find(std::string_view parkingText, LaLo position) const;

private:
    const std::vector<Stand>* stands_;
    // Each run of letters and digits of a name -> positions in the vector of
    // the stands whose names hold it, ascending.
    std::unordered_map<std::string, std::vector<std::uint32_t>, Fnv1aTextHash, std::equal_to<>> byToken_;
};

// The stand an aircraft at the position stands on: the nearest usable,
// fitting stand within 81.25 m and the aircraft's own stand radius, else
// (when allowed) the nearest within its wider radius that has a real option
// for it; distance in metres (100000 when none).
Stand* gf_findNearestStand(std::vector<Stand>& stands, LaLo position, const AcInfo& aircraft, double& distanceMetres,
                           bool allowFallback);

// gf_findNearestStand for many positions over one stand vector: the stands
// are filed in squares as wide as the search reaches (81.25 m), so that each
// search looks only at the stands of the squares around the position. The
// vector must outlive it and keep its stands and their positions while it is
// used.
class StandGrid {
public:
    explicit StandGrid(std::vector<Stand>& stands);
    // The same answer as gf_findNearestStand(stands, ...).
    Stand* findNearest(LaLo position, const AcInfo& aircraft, double& distanceMetres, bool allowFallback) const;

private:
    static constexpr double kCellLatDeg = 0.04387149028077754 / 60.0;  // 81.25 m of latitude
    static std::int64_t lf_row(double latitude);
    std::int64_t lf_column(double longitudeOffset) const;
    static std::uint64_t lf_cellKey(std::int64_t row, std::int64_t column);

    std::vector<Stand>* stands_;
    LaLo origin_{};  // the first stand: columns count from its longitude
    double cellLonDeg_ = 1.0;
    // (row, column) -> positions in the vector of its stands, ascending.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells_;
};

// Real-traffic rating (low 32 bits) and soft rating (high 32 bits), 0..100
// each; all bits set when no stand has an option.
std::uint64_t gf_rateAirportStands(const std::vector<Stand>& stands);
