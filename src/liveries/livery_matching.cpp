#include "liveries/livery_matching.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "airports/airport.h"
#include "engine/records.h"
#include "engine/reports.h"
#include "engine/user_position.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "settings/random_choice.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_tables.h"
#include "settings/snapshot.h"

std::array<std::atomic<std::int32_t>, 9> matchStepCounts{};

namespace {

// The codes matching asks for by name, turned into indexes once. The engine
// and the planner may both be first, so the first use is guarded.
struct SpecialCodes {
    std::uint16_t pvt = 0;   // airline of private aircraft
    std::uint16_t zzz = 0;   // generic airline of liveries without a real operator
    std::uint16_t b738 = 0;  // last-resort models
    std::uint16_t a320 = 0;
};

std::mutex l_specialCodesMutex;
std::atomic<bool> l_specialCodesReady{false};
SpecialCodes l_specialCodes;

const SpecialCodes& lf_specialCodes() {
    if (!l_specialCodesReady.load(std::memory_order_acquire)) {
        std::lock_guard lock(l_specialCodesMutex);
        if (!l_specialCodesReady.load(std::memory_order_relaxed)) {
            l_specialCodes = {gf_internAirlineCode("PVT"), gf_internAirlineCode("ZZZ"), gf_internModelCode("B738"),
                              gf_internModelCode("A320")};
            l_specialCodesReady.store(true, std::memory_order_release);
        }
    }
    return l_specialCodes;
}

using ShortNameTable = std::unordered_map<std::string_view, std::string_view, Fnv1aTextHash, std::equal_to<>>;

// The names under which the big airlines appear in livery titles, where a
// package files a regional or partner operator's livery under the operator.
constexpr std::array<std::pair<std::string_view, std::string_view>, 72> kShortNamePairs{{
            {"AAL", "American"},        {"AAR", "Asiana"},          {"AAY", "Allegiant"},
            {"ACA", "Air Canada"},      {"AFR", "Air France"},      {"AIC", "Air India"},
            {"ANA", "ANA"},             {"ANZ", "Air New Zealand"}, {"ASA", "Alaska"},
            {"ASH", "Mesa"},            {"AUA", "Austrian"},        {"AVA", "Avianca"},
            {"BAW", "British Airways"}, {"BEL", "Brussels"},        {"BOX", "AeroLogic"},
            {"CAI", "Corendon"},        {"CCA", "Air China"},       {"CES", "China Eastern"},
            {"CFE", "BA CityFlyer"},    {"CHH", "Hainan"},          {"CPA", "Cathay"},
            {"CSN", "China Southern"},  {"DAE", "DHL Aero"},        {"DAL", "Delta"},
            {"DHK", "DHL Air"},         {"DLH", "Lufthansa"},       {"EDV", "Endeavor"},
            {"EIN", "Aer Lingus"},      {"ETH", "Ethiopian"},       {"ETD", "Etihad"},
            {"EVA", "EVA Air"},         {"EZY", "easyJet"},         {"FDX", "FedEx"},
            {"FFT", "Frontier"},        {"FIN", "Finnair"},         {"FJO", "Flexjet"},
            {"GJS", "GoJet"},           {"IBE", "Iberia"},          {"JAL", "Japan Airlines"},
            {"JBU", "JetBlue"},         {"JIA", "PSA Airlines"},    {"JZA", "Jazz"},
            {"KAL", "Korean Air"},      {"KLC", "Cityhopper"},      {"KLM", "KLM"},
            {"LAN", "LATAM"},           {"LOT", "LOT"},             {"LRC", "Avianca"},
            {"NKS", "Spirit"},          {"PDT", "Piedmont"},        {"PRM", "Prime Air"},
            {"QFA", "Qantas"},          {"QLK", "QantasLink"},      {"QTR", "Qatar"},
            {"QXE", "Horizon"},         {"RPA", "Republic"},        {"RYR", "Ryanair"},
            {"SAS", "Scandinavian"},    {"SIA", "Singapore"},       {"SKW", "SkyWest"},
            {"SWA", "Southwest"},       {"SWR", "Swiss"},           {"TAP", "TAP"},
            {"THY", "Turkish"},         {"TVF", "Transavia"},       {"UAL", "United"},
            {"UAE", "Emirates"},        {"UPS", "UPS"},             {"VIR", "Virgin Atlantic"},
            {"VJT", "VistaJet"},        {"VLG", "Vueling"},         {"WJA", "WestJet"},
}};
// A pair left out would be an empty entry, not a compile error.
static_assert(std::ranges::none_of(kShortNamePairs, [](const auto& pair) { return pair.second.empty(); }));

const ShortNameTable& airlineShortNames() {
    static const ShortNameTable table(kShortNamePairs.begin(), kShortNamePairs.end());
    return table;
}

// The short name of an airline code; empty for a code without one.
std::string_view lf_buildAirlineShortNames(std::string_view code) {
    const ShortNameTable& names = airlineShortNames();
    const auto found = names.find(code);
    return found != names.end() ? found->second : std::string_view();
}

// Log lines of an accepted match stand indented under the engine's lines.
constexpr std::string_view kMatchIndent = "                ";
static_assert(kMatchIndent.size() == 16);

LiveryKind lf_kindOf(std::uint8_t cargo) { return cargo != 0 ? Cargo : Pax; }

// ASCII letters only: a byte of a multi-byte character is never folded.
unsigned char lf_upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

bool lf_containsIgnoringCase(std::string_view text, std::string_view piece) {
    const auto at = std::search(text.begin(), text.end(), piece.begin(), piece.end(), [](char a, char b) {
        return lf_upper(static_cast<unsigned char>(a)) == lf_upper(static_cast<unsigned char>(b));
    });
    return at != text.end() || piece.empty();
}

bool lf_isSmallCategory(std::uint32_t category) {
    return category == Light || category == TwoProps || category == Bizjet || category == Rotorcraft;
}

// The titles of one airline and model of one kind; nullptr when there are none.
const std::vector<std::string_view>* lf_airlineModelList(LiveryKind kind, std::uint16_t airline, std::uint16_t model) {
    const auto& byAirline = airlineModelTitles[kind];
    const auto models = byAirline.find(airline);
    if (models == byAirline.end()) return nullptr;
    const auto titles = models->second.find(model);
    return titles == models->second.end() ? nullptr : &titles->second;
}

// A random title of the list that is not a special livery: special liveries
// belong to the aircraft of their registration only.
void lf_pickLiveryTitle(AcInfo& ac, const std::vector<std::string_view>& titles) {
    if (titles.empty()) return;
    for (int draw = 0; draw < 5; ++draw) {
        const std::string_view title = titles[static_cast<std::size_t>(gf_randomIndex(titles.size()))];
        if (!specialTitles.contains(title)) {
            ac.liveryTitle = title;
            return;
        }
    }
    // Mostly special titles: a uniform choice among the others, one pass.
    std::uint64_t seen = 0;
    const std::string_view* taken = nullptr;
    for (const std::string_view& title : titles) {
        if (specialTitles.contains(title)) continue;
        if (gf_randomIndex(++seen) == 0) taken = &title;
    }
    if (taken != nullptr) ac.liveryTitle = *taken;
}

bool lf_findTitlesByAirline(AcInfo& ac, LiveryKind kind, const AcKey& key) {
    const std::vector<std::string_view>* titles = lf_airlineModelList(kind, key.airline, key.model);
    if (titles == nullptr) return false;
    lf_pickLiveryTitle(ac, *titles);
    return !ac.liveryTitle.empty();
}

// The first title of the key's list that names the airline of nameCode.
bool lf_findTitlesByAirlineName(AcInfo& ac, LiveryKind kind, const AcKey& key, std::string_view nameCode) {
    const std::vector<std::string_view>* titles = lf_airlineModelList(kind, key.airline, key.model);
    if (titles == nullptr) return false;
    const std::string_view shortName = lf_buildAirlineShortNames(nameCode);
    if (shortName.empty()) return false;
    for (const std::string_view title : *titles) {
        if (lf_containsIgnoringCase(title, shortName)) {
            ac.liveryTitle = title;
            return true;
        }
    }
    return false;
}

// A flight operated for an airline by another (a regional partner) may be
// filed under both codes together, under the operator with the airline's name
// in the title, under the airline with the operator's name, under the
// operator alone or under the airline alone; the first that has a livery wins.
bool lf_findAirlineModelLivery(AcInfo& ac, const AcKey& key, LiveryKind kind) {
    if (key.operatorIndex == 0) return lf_findTitlesByAirline(ac, kind, key);
    const std::string_view airlineCode = gf_airlineCodeAt(key.airline);
    const std::string_view operatorCode = gf_airlineCodeAt(key.operatorIndex);

    const std::uint16_t combined = gf_internAirlineCode(fmt::format("{}{}", airlineCode, operatorCode));
    if (lf_findTitlesByAirline(ac, kind, AcKey{combined, 0, key.model, key.cargo, key.flag})) return true;
    const AcKey byOperator{key.operatorIndex, 0, key.model, key.cargo, key.flag};
    if (lf_findTitlesByAirlineName(ac, kind, byOperator, airlineCode)) return true;
    if (lf_findTitlesByAirlineName(ac, kind, key, operatorCode)) return true;
    if (lf_findTitlesByAirline(ac, kind, byOperator)) return true;
    return lf_findTitlesByAirline(ac, kind, key);
}

// A freighter may fly in its airline's passenger livery; a passenger aircraft
// is never shown as a freighter here.
bool lf_matchAirlineModel(AcInfo& ac, const AcKey& key) {
    if (lf_findAirlineModelLivery(ac, key, lf_kindOf(key.cargo))) return true;
    return key.cargo != 0 && lf_findAirlineModelLivery(ac, key, Pax);
}

bool lf_matchModelAnyAirline(AcInfo& ac, std::uint16_t model, LiveryKind kind) {
    const auto titles = modelTitles[kind].find(model);
    if (titles == modelTitles[kind].end() || titles->second.empty()) return false;
    lf_pickLiveryTitle(ac, titles->second);
    return !ac.liveryTitle.empty();
}

// A model of the same size class that the airline (or operator) has; the list
// is shuffled where it stands, so one airline's aircraft spread over its
// similar models from call to call.
bool lf_matchRelatedModel(AcInfo& ac, const AcKey& key) {
    const std::uint16_t owner = key.operatorIndex != 0 ? key.operatorIndex : key.airline;
    const auto byModel = similarModelsByAirline.find(owner);
    if (byModel == similarModelsByAirline.end()) return false;
    const auto candidates = byModel->second.find(key.model);
    if (candidates == byModel->second.end()) return false;
    std::vector<std::uint16_t>& list = candidates->second;
    gf_shuffle(list);
    for (const std::uint16_t model : list) {
        if (gf_getModelCategory(model) != ac.category) continue;
        AcKey candidate = key;
        candidate.model = model;
        if (lf_findAirlineModelLivery(ac, candidate, lf_kindOf(key.cargo))) return true;
        if (key.cargo != 0 && lf_findAirlineModelLivery(ac, candidate, Pax)) return true;
    }
    return false;
}

bool lf_matchRegcode(AcInfo& ac) {
    if (ac.registration.empty()) return false;
    const auto found = regcodeTitles.find(std::string_view(ac.registration));
    ac.liveryTitle = found != regcodeTitles.end() ? found->second : std::string_view();
    return !ac.liveryTitle.empty();
}

int lf_regcodeStep(const AcInfo& ac) { return uniqueRegcodes.contains(ac.registration) ? 0 : 1; }

// The key of the generic liveries (airline "ZZZ") of the key's type: the
// operator is "ZZZ" as well in the fallback and none for a private aircraft.
AcKey lf_genericKey(AcKey key, bool genericOperator) {
    const SpecialCodes& codes = lf_specialCodes();
    key.airline = codes.zzz;
    key.operatorIndex = genericOperator ? codes.zzz : std::uint16_t(0);
    return key;
}

// A private aircraft ("PVT") has no airline livery of its own: it takes a
// generic livery of its type before anything else. True when one was found.
bool lf_matchPrivateAsGeneric(AcInfo& ac, const AcKey& key) {
    return key.airline == lf_specialCodes().pvt && lf_matchAirlineModel(ac, lf_genericKey(key, false));
}

// Steps 4 to 8. A title found here is final: the caller's acceptance may still
// refuse it, and then the aircraft stays without livery.
void lf_matchLiveryFallback(AcInfo& ac, int depth, bool extraCargo, int& step) {
    if (!ac.liveryTitle.empty()) return;
    const SpecialCodes& codes = lf_specialCodes();
    const std::uint8_t ownCargo = ac.key.cargo;

    AcKey generic = lf_genericKey(ac.key, true);
    generic.cargo = (ownCargo != 0 || extraCargo) ? 1 : 0;
    if (lf_matchAirlineModel(ac, generic)) {
        step = 4;
        return;
    }

    const bool small = lf_isSmallCategory(ac.category);
    const auto allowed = [&](int s) { return small || depth >= s; };
    const LiveryKind ownKind = lf_kindOf(ownCargo);

    if (!allowed(5)) return;
    if (lf_matchModelAnyAirline(ac, ac.key.model, ownKind)) {
        step = 5;
        return;
    }

    if (!allowed(6)) return;
    if (const auto similar = similarModelsWithLiveries.find(ac.key.model); similar != similarModelsWithLiveries.end()) {
        std::vector<std::uint16_t>& list = similar->second;
        gf_shuffle(list);
        for (const std::uint16_t model : list) {
            if (lf_matchModelAnyAirline(ac, model, ownKind)) {
                step = 6;
                return;
            }
        }
    }

    if (!allowed(7)) return;
    // The class of the model itself, which the stored category may differ
    // from; the list is copied, the table's order stays.
    const ModelCategory category = gf_getModelCategory(ac.key.model);
    const auto slot = std::find(kCategoryListOrder.begin(), kCategoryListOrder.end(), category);
    if (slot != kCategoryListOrder.end()) {
        std::vector<std::uint16_t> models = categoryModels[static_cast<std::size_t>(slot - kCategoryListOrder.begin())];
        gf_shuffle(models);
        const LiveryKind first = lf_kindOf((ownCargo != 0 || extraCargo) ? 1 : 0);
        const LiveryKind other = first == Cargo ? Pax : Cargo;
        for (const std::uint16_t model : models) {
            // A type the database does not know is Light only for want of a
            // class (a freighter jet as well as a trainer): it stands in for
            // no other type, though its liveries still serve its own.
            if (model != ac.key.model && !gf_isKnownModelCode(gf_modelCodeAt(model))) continue;
            if (lf_matchModelAnyAirline(ac, model, first) || lf_matchModelAnyAirline(ac, model, other)) {
                step = 7;
                return;
            }
        }
    }

    if (depth != 8) return;
    if (lf_matchModelAnyAirline(ac, codes.b738, ownKind) || lf_matchModelAnyAirline(ac, codes.a320, ownKind)) {
        step = 8;
    }
}

// A title the simulator failed to create before would fail again: it is
// cleared and the match not accepted.
bool lf_acceptParkedLiveryMatch(AcInfo& ac, int /*step*/) {
    if (gf_isLiveryKnownToFail(ac.liveryTitle)) {
        ac.liveryTitle = {};
        return false;
    }
    return true;
}

// The least matching depth at which a step is reached: a private aircraft's
// generic livery from depth 2, a small aircraft's steps 5 to 7 from depth 4,
// the last resort (step 8) only at the depth forced above the TCAS level, any
// other step from its own number.
int lf_leastDepthOf(const AcInfo& ac, int step, bool privateGeneric) {
    if (privateGeneric) return 2;
    if (step >= 5 && step <= 7 && lf_isSmallCategory(ac.category)) return 4;
    return step;
}

// The parked acceptance, then the count, the log line and the flags. A match
// is weak when the depth set by the user would not have reached it: only the
// depth forced above the TCAS level did, and the aircraft is taken off again
// once it flies below that level. Counting every step past the setting as weak
// took off, every 30 s, the small aircraft and private ones matched at the
// depth the setting allows them, and created them again at the next report.
bool lf_recordLiveryMatch(AcInfo& ac, int step, bool privateGeneric = false) {
    if (!lf_acceptParkedLiveryMatch(ac, step)) return false;
    matchStepCounts[static_cast<std::size_t>(step)].fetch_add(1, std::memory_order_relaxed);
    gf_log(fmt::format("{}{} ={}= {}", kMatchIndent, gf_describeAc(ac), step, ac.liveryTitle));
    ac.isFsltlLivery = ac.liveryTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
    if (lf_leastDepthOf(ac, step, privateGeneric) > settingsSnapshot.load()->MATCHING_DEPTH) ac.weakLiveryMatch = 1;
    return true;
}

void lf_logParkedNoMatch(const AcInfo& ac, const Stand& stand) {
    gf_log(fmt::format("{:14}: {} no livery match ...", stand.name,
                       gf_formatWithAcKey("{:8} {} {}", ac.callsign, ac.registration, ac.key)));
}

}  // namespace

void gf_matchLiveryLive(AcInfo& ac, double altitudeFt) {
    // Whatever the record held before (a title the simulator refused, say)
    // must neither survive a failed match nor be counted as a new one.
    ac.liveryTitle = {};
    const SettingsSnapshotPtr settings = settingsSnapshot.load();
    int depth = settings->MATCHING_DEPTH;
    const double limitFt = settings->TCAS_FL * 100.0;
    if (g_userAltitudeFt.load() > limitFt && altitudeFt > limitFt) depth = 8;

    if (lf_matchRegcode(ac) && lf_recordLiveryMatch(ac, lf_regcodeStep(ac))) return;
    if (depth < 2) return;

    if (lf_matchPrivateAsGeneric(ac, ac.key) && lf_recordLiveryMatch(ac, 4, true)) return;
    if (lf_matchAirlineModel(ac, ac.key) && lf_recordLiveryMatch(ac, 2)) return;

    if (depth < 3) return;
    if (lf_matchRelatedModel(ac, ac.key) && lf_recordLiveryMatch(ac, 3)) return;

    if (depth < 4) return;
    int step = 0;
    lf_matchLiveryFallback(ac, depth, false, step);
    if (!ac.liveryTitle.empty()) lf_recordLiveryMatch(ac, step);
}

bool gf_matchLiveryParked(AcInfo& ac, const Stand& stand) {
    if (!ac.liveryTitle.empty()) {
        gf_log(fmt::format("{}{} =s= {}", kMatchIndent, gf_describeAc(ac), ac.liveryTitle));
        return true;
    }
    const int depth = settingsSnapshot.load()->MATCHING_DEPTH;
    AcKey key = ac.key;
    key.cargo = stand.cargo ? 1 : 0;

    if (!ac.registration.empty() && lf_matchRegcode(ac) && lf_acceptParkedLiveryMatch(ac, lf_regcodeStep(ac)))
        return true;
    if (depth >= 2) {
        if (lf_matchPrivateAsGeneric(ac, key) && lf_acceptParkedLiveryMatch(ac, 4)) return true;
        if (lf_matchAirlineModel(ac, key) && lf_acceptParkedLiveryMatch(ac, 2)) return true;
        if (depth >= 3) {
            if (lf_matchRelatedModel(ac, key) && lf_acceptParkedLiveryMatch(ac, 3)) return true;
            if (depth >= 4) {
                int step = 0;
                lf_matchLiveryFallback(ac, depth, stand.cargo, step);
                if (!ac.liveryTitle.empty() && lf_acceptParkedLiveryMatch(ac, step)) return true;
            }
        }
    }
    lf_logParkedNoMatch(ac, stand);
    return false;
}

void gf_logLiveryMatchingSummary() {
    const std::vector<std::string> failed = gf_listFailedLiveries();
    std::array<std::int32_t, 9> counts{};
    bool any = false;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        counts[i] = matchStepCounts[i].load(std::memory_order_relaxed);
        any = any || counts[i] != 0;
    }
    if (!any) return;

    constexpr std::string_view title = "live traffic livery matching summary";
    const auto width = static_cast<std::int64_t>(title.size());
    std::vector<std::string> lines;
    lines.reserve(256);
    lines.push_back(gf_makeBanner(100 - width, 0, true, false, title));
    lines.emplace_back("Matches at step: ");
    for (std::size_t i = 0; i < counts.size(); ++i) lines.push_back(fmt::format("  {}: {}", i, counts[i]));
    if (!failed.empty()) {
        lines.emplace_back("\nCould not be created");
        lines.insert(lines.end(), failed.begin(), failed.end());
    }
    lines.push_back(gf_makeBanner(100 - width, width, false, true, ""));
    for (const std::string& line : lines) gf_log(line);
}

void gf_resetLiveryMatchingForTest() {
    for (auto& count : matchStepCounts) count.store(0);
    std::lock_guard lock(l_specialCodesMutex);
    l_specialCodesReady.store(false);
}
