#pragma once
// The aircraft code tables every thread shares: airline and model code texts
// interned into stable 16-bit indexes, and what the aircraft database tells
// about them (known codes, size classes, cargo, model fixes, wing radii).
//
// Interning may append a code from any thread at any time. Looking a code up
// and appending it when it is new is one critical section, so a code gets one
// index however many threads race; a hit and a read by index take no lock.
// Entries never move, so a text read by index stays valid for the whole run.
//
// The database part (AircraftCodeSets) is built by gf_readDbase and published
// as a whole; before that, every code is unknown, every model Light and no
// model has a wing radius.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/ac_key.h"

// Size class of a model; other subsystems use the value as an index 0..6.
enum ModelCategory : std::uint8_t {
    Light = 0,
    TwoProps = 1,
    Bizjet = 2,
    Large = 3,
    Heavy = 4,
    HighPerf = 5,
    Rotorcraft = 6,
};

// "Light", "TwoProps", ...; "?" for any other value.
std::string_view gf_modelCategoryName(int category);

// A table holds at most this many codes (indexes are 16-bit).
inline constexpr std::size_t kMaxCodesPerTable = 65536;
// Models with an index below this can have a wing radius.
inline constexpr std::size_t kWingRadiusTableSize = 2700;

// Index of the airline code, appending it when it is new. Index 0 is the
// empty text. A full table appends nothing more: a new code then gets 0.
std::uint16_t gf_internAirlineCode(std::string_view code);
// Index of the model code. A code that is not in the table yet and that the
// database's fixes map to a known code gets that code's index (the wrong code
// itself is never entered); any other new code is appended.
std::uint16_t gf_internModelCode(std::string_view code);
// The same as gf_internModelCode.
std::uint16_t gf_getModelIndex(std::string_view code);

// The code text of an index; an index at or beyond the end reads as "". The
// view stays valid for the whole run.
std::string_view gf_airlineCodeAt(std::uint16_t index);
std::string_view gf_modelCodeAt(std::uint16_t index);
// Number of codes in each table (the empty text included).
std::size_t gf_airlineCodeCount();
std::size_t gf_modelCodeCount();

// Whether the database lists the code (exact text; "" is never known).
bool gf_isKnownModelCode(std::string_view code);
bool gf_isKnownAirlineCode(std::string_view code);

// Class of a model: the first class set holding the index in the order large,
// heavy, bizjet, two-prop, rotorcraft, high-performance; Light for none.
ModelCategory gf_getModelCategory(std::uint16_t model);
// gf_getModelCategory of gf_internModelCode(code) (so it interns the code).
ModelCategory gf_getModelCodeCategory(std::string_view code);

// True when the key's model is a cargo type or its airline (not its
// operator) a cargo operator.
bool gf_isCargo(const AcKey& key);

// Half the wing span of the model in nautical miles; 0.0 when the database
// gives none. A model beyond the wing radius table gets the largest radius of
// the database, the safe side for stands and collision circles.
double gf_getWingspan(std::uint16_t model);
// The largest wing radius of the database (0.0 before it is read).
double gf_maxWingRadius();

// The code the database's fixes give for a wrong model code (exact text).
std::optional<std::string_view> gf_findTypeFix(std::string_view code);

// A set of code indexes (ordered: values() ascends).
class IndexSet {
public:
    void insert(std::uint16_t index);
    bool contains(std::uint16_t index) const { return bits_.test(index); }
    std::size_t size() const { return count_; }
    void clear();
    std::vector<std::uint16_t> values() const;

private:
    std::bitset<kMaxCodesPerTable> bits_;
    std::size_t count_ = 0;
};

using CodeSet = std::set<std::string, std::less<>>;

// What the aircraft database says about codes.
struct AircraftCodeSets {
    CodeSet icaoModelCodes;    // aircrafts
    CodeSet icaoAirlineCodes;  // ICAO_airlines
    CodeSet cargoTypes;        // cargo_types
    CodeSet cargoOperators;    // cargo_operators
    CodeSet heavy, large, bizjet, twoProps, highPerf, rotorcraft;

    IndexSet cargoTypeModels;        // model index of every cargo type
    IndexSet cargoOperatorAirlines;  // airline index of every cargo operator
    IndexSet heavyModels, largeModels, bizjetModels, twoPropsModels, highPerfModels, rotorcraftModels;

    // Wrong model code -> correct model code; applied once fixesActive is set.
    std::map<std::string, std::string, std::less<>> modelFixes;
    bool fixesActive = false;

    std::array<double, kWingRadiusTableSize> wingRadiusTable{};
    double maxWingRadius = 0.0;
};

// The published sets (empty ones before the database is read).
const AircraftCodeSets& gf_aircraftCodeSets();
// gf_internModelCode with the fixes of the given sets: the database reader
// interns with the sets it is still building.
std::uint16_t gf_internModelCode(std::string_view code, const AircraftCodeSets& sets);
// Makes the sets the ones every query reads. Earlier sets stay alive (a
// reader may still hold them), so the program publishes once per run.
void gf_publishAircraftCodeSets(std::unique_ptr<AircraftCodeSets> sets);

// Tests only: empties both tables (index 0 the empty text again) and
// publishes empty sets. No other thread may use the tables meanwhile, and
// every text view read before is gone. The program never resets the tables.
void gf_resetCodeTablesForTest();
