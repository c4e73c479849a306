#pragma once
// The tables livery matching reads while traffic runs, built once per start
// from the scanned-liveries file: liveries by airline (and operator) and
// model, by kind, by model for any airline and by size category; the
// registration tables of the in-line and offline regcodes; the similar-model
// tables.
//
// Every title text lives in one process-wide store that only grows (a title
// is entered once and never freed while the process runs). The tables and
// every record elsewhere hold views into it, so a rebuild at the next start
// never leaves a view dangling.
//
// Built on the main thread before traffic runs; read without locks afterwards.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/hash.h"
#include "liveries/ac_key.h"

// --- the title store ------------------------------------------------------

// The stored copy of the title, entered when it is new. The view stays valid
// until the process ends. Any thread.
std::string_view gf_internLiveryTitle(std::string_view title);
// Number of distinct titles stored so far.
std::size_t gf_liveryTitleStoreSize();

// --- livery tables ----------------------------------------------------------

// The index of every pax/cargo pair of tables.
enum LiveryKind : std::uint8_t { Pax = 0, Cargo = 1 };

struct LiveryTitleEntry {
    std::string_view title;  // a view into the title store
    std::uint8_t cargo = 0;
};

template <class T>
using IndexMap = std::unordered_map<std::uint16_t, T, Fnv1aIndexHash>;
using ModelLiveryMap = IndexMap<std::vector<LiveryTitleEntry>>;
using ModelTitleMap = IndexMap<std::vector<std::string_view>>;
using TitleViewMap = std::unordered_map<std::string_view, std::string_view, Fnv1aTextHash, std::equal_to<>>;
using TitleViewSet = std::unordered_set<std::string_view, Fnv1aTextHash, std::equal_to<>>;

// Airline index (the airline of liveries without operator; for liveries with
// one, the combined airline+operator code and the operator) -> model -> titles.
extern IndexMap<ModelLiveryMap> liveryIndex;
// Title -> its canonical view; one entry per distinct non-empty title.
extern TitleViewMap liveryTitles;
// Per kind: airline index -> model -> titles.
extern std::array<IndexMap<ModelTitleMap>, 2> airlineModelTitles;
// Per kind: model -> titles over every key of liveryIndex.
extern std::array<ModelTitleMap, 2> modelTitles;
// The models with liveries per category, ascending and distinct, in the order
// of kCategoryListOrder.
extern std::array<std::vector<std::uint16_t>, 7> categoryModels;
inline constexpr std::array<std::uint8_t, 7> kCategoryListOrder{4 /*Heavy*/,    3 /*Large*/, 2 /*Bizjet*/,
                                                                1 /*TwoProps*/, 0 /*Light*/, 6 /*Rotorcraft*/,
                                                                5 /*HighPerf*/};

// --- registration tables ----------------------------------------------------

// Registration -> canonical title view.
extern std::unordered_map<std::string, std::string_view, Fnv1aTextHash, std::equal_to<>> regcodeTitles;
// Title -> registration (in-line regcodes only).
extern std::unordered_map<std::string_view, std::string, Fnv1aTextHash, std::equal_to<>> titleRegcodes;
// Titles of special records.
extern TitleViewSet specialTitles;
// Registrations of special records that list exactly one registration.
extern std::set<std::string, std::less<>> uniqueRegcodes;
// Lines of the offline processing, written to OfflineRegcodes.txt.
extern std::vector<std::string> regcodeMessages;

// --- similar models ---------------------------------------------------------

// Model -> its similar models with liveries of any airline (or the closest one).
extern IndexMap<std::vector<std::uint16_t>> similarModelsWithLiveries;
// Airline -> model the airline lacks -> similar models the airline has (or the closest one).
extern IndexMap<IndexMap<std::vector<std::uint16_t>>> similarModelsByAirline;

// --- operations ---------------------------------------------------------------

// Builds every table from the scanned-liveries file; throws runtime_error
// "{} could not be read completely" when the file cannot be read.
void gf_processScannedLiveries();
// Whether liveryIndex has liveries under the key's airline and model.
bool gf_hasAirlineModelLivery(const AcKey& key);
// Every key of liveryIndex, ascending.
std::set<std::uint16_t> lf_collectLiveryAirlines();

void gf_findSimilarModelsWithLiveries();
std::optional<std::uint16_t> lf_findClosestModel(std::uint16_t model, const std::vector<std::uint16_t>& candidates);
// ASCII letters and ASCII digits of the code, each in order.
std::pair<std::string, std::string> lf_splitModelCode(std::string_view code);
unsigned lf_editDistance(std::string_view left, std::string_view right);

// Registration tables (called by gf_processScannedLiveries).
void lf_processInlineRegcodes();
void lf_processOfflineRegcodes();
// Don't-use titles for the liveries scan: records without registrations.
void gf_readDontUseTitlesFile(const std::filesystem::path& path);
void gf_readDontUseTitlesFolder(const std::filesystem::path& folder);
