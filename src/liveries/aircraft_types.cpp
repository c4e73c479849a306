// A small aircraft database: enough types, airlines and registrations for the
// traffic feed to build records until the full database is read from its
// data file. The lists grow when traffic reports unknown codes, so they sit
// behind a reader-writer lock.

#include "liveries/aircraft_types.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct TypeEntry {
    std::string_view code;
    ModelCategory category;
    bool cargo;
    double spanMetres;  // full wing span
};

// Index 0 of each list is the empty code, so that a zero key means "none".
constexpr std::array<TypeEntry, 38> kTypes{{
    {"A319", Large, false, 35.8},  {"A320", Large, false, 35.8},  {"A321", Large, false, 35.8},
    {"A20N", Large, false, 35.8},  {"A21N", Large, false, 35.8},  {"A332", Heavy, false, 60.3},
    {"A333", Heavy, false, 60.3},  {"A359", Heavy, false, 64.75}, {"A388", Heavy, false, 79.75},
    {"B737", Large, false, 34.3},  {"B738", Large, false, 35.8},  {"B739", Large, false, 35.8},
    {"B38M", Large, false, 35.9},  {"B744", Heavy, false, 64.4},  {"B748", Heavy, false, 68.4},
    {"B752", Large, false, 38.05}, {"B763", Heavy, false, 47.57}, {"B772", Heavy, false, 60.9},
    {"B777", Heavy, false, 60.9},  {"B77W", Heavy, false, 64.8},  {"B77L", Heavy, false, 64.8},
    {"B77F", Heavy, true, 64.8},   {"B788", Heavy, false, 60.1},  {"B789", Heavy, false, 60.1},
    {"E190", Large, false, 28.72}, {"E195", Large, false, 28.72}, {"CRJ9", Large, false, 24.85},
    {"DH8D", TwoProps, false, 28.4}, {"AT76", TwoProps, false, 27.05}, {"C172", Light, false, 11.0},
    {"C208", Light, false, 15.87}, {"PC12", Light, false, 16.28}, {"C56X", Bizjet, false, 16.98},
    {"GLF5", Bizjet, false, 28.5}, {"F16", HighPerf, false, 9.96}, {"EC35", Rotorcraft, false, 10.2},
    {"B06", Rotorcraft, false, 10.16}, {"MD11", Heavy, false, 51.97},
}};

constexpr std::array<std::string_view, 16> kAirlines{
    "DLH", "KLM", "BAW", "AFR", "UAL", "DAL", "AAL", "RYR", "EZY", "SWR", "FDX", "UPS", "GTI", "CLX", "BOX", "PVT"};

constexpr std::array<std::string_view, 6> kCargoAirlines{"FDX", "UPS", "GTI", "CLX", "BOX", "ABW"};

// Reported type texts the database corrects.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kTypeFixes{{
    {"A32N", "A20N"}, {"B7M8", "B38M"}, {"EC135", "EC35"}, {"B77X", "B77W"}}};

struct RegistrationEntry {
    std::string_view registration;
    std::string_view airline;
    std::string_view operatorCode;
    std::string_view type;
};

// Sorted by registration for the binary search.
constexpr std::array<RegistrationEntry, 9> kRegistrations{{
    {"D-AIBA", "DLH", "", "A319"},
    {"D-AIMA", "DLH", "", "A388"},
    {"EI-DCL", "RYR", "", "B738"},
    {"G-EUPA", "BAW", "", "A319"},
    {"G-STBA", "BAW", "", "B77W"},
    {"HB-JNA", "SWR", "", "B77W"},
    {"N855FD", "FDX", "", "B77F"},
    {"PH-BXA", "KLM", "", "B738"},
    {"PH-EXA", "KLM", "KLC", "E190"},
}};

struct Tables {
    std::vector<std::string> airlines;
    std::unordered_map<std::string, std::uint16_t> airlineIndex;
    std::vector<std::string> types;
    std::unordered_map<std::string, std::uint16_t> typeIndex;
    std::map<std::string, std::string, std::less<>> typeFixes;
};

std::shared_mutex l_mutex;

Tables lf_buildTables() {
    Tables t;
    t.airlines.emplace_back();
    t.airlineIndex.emplace("", 0);
    for (auto code : kAirlines) {
        t.airlineIndex.emplace(std::string(code), static_cast<std::uint16_t>(t.airlines.size()));
        t.airlines.emplace_back(code);
    }
    t.types.emplace_back();
    t.typeIndex.emplace("", 0);
    for (const auto& e : kTypes) {
        t.typeIndex.emplace(std::string(e.code), static_cast<std::uint16_t>(t.types.size()));
        t.types.emplace_back(e.code);
    }
    for (const auto& [from, to] : kTypeFixes) t.typeFixes.emplace(std::string(from), std::string(to));
    return t;
}

Tables& lf_tables() {
    static Tables tables = lf_buildTables();
    return tables;
}

const TypeEntry* lf_typeEntry(std::string_view code) {
    for (const auto& e : kTypes)
        if (e.code == code) return &e;
    return nullptr;
}

std::uint16_t lf_intern(std::vector<std::string>& list, std::unordered_map<std::string, std::uint16_t>& index,
                        std::string_view code) {
    std::string key(code);
    if (auto it = index.find(key); it != index.end()) return it->second;
    // A list that has used every index keeps its codes; the new one reads as none.
    if (list.size() > 0xFFFF) return 0;
    auto next = static_cast<std::uint16_t>(list.size());
    list.push_back(key);
    index.emplace(std::move(key), next);
    return next;
}

std::uint16_t lf_lookupOrIntern(bool airline, std::string_view code) {
    auto& t = lf_tables();
    {
        std::shared_lock lock(l_mutex);
        const auto& index = airline ? t.airlineIndex : t.typeIndex;
        if (auto it = index.find(std::string(code)); it != index.end()) return it->second;
    }
    std::unique_lock lock(l_mutex);
    return airline ? lf_intern(t.airlines, t.airlineIndex, code) : lf_intern(t.types, t.typeIndex, code);
}

std::optional<AcKey> lf_findExact(std::string_view registration) {
    auto it = std::lower_bound(kRegistrations.begin(), kRegistrations.end(), registration,
                               [](const RegistrationEntry& e, std::string_view r) { return e.registration < r; });
    if (it == kRegistrations.end() || it->registration != registration) return std::nullopt;
    AcKey key;
    key.airline = gf_internAirlineCode(it->airline);
    key.operatorIndex = it->operatorCode.empty() ? 0 : gf_internAirlineCode(it->operatorCode);
    key.type = gf_internModelCode(it->type);
    key.cargo = gf_isCargo(key) ? 1 : 0;
    return key;
}

}  // namespace

std::string_view gf_modelCategoryName(std::int32_t category) {
    static constexpr std::array<std::string_view, 7> names{"Light", "TwoProps", "Bizjet", "Large",
                                                           "Heavy", "HighPerf", "Rotorcraft"};
    if (category < 0 || category >= static_cast<std::int32_t>(names.size())) return "?";
    return names[static_cast<std::size_t>(category)];
}

std::uint16_t gf_internAirlineCode(std::string_view code) { return lf_lookupOrIntern(true, code); }

std::uint16_t gf_internModelCode(std::string_view type) {
    if (auto fixed = gf_findTypeFix(type)) return lf_lookupOrIntern(false, *fixed);
    return lf_lookupOrIntern(false, type);
}

std::uint16_t gf_getModelIndex(std::string_view type) { return gf_internModelCode(type); }

std::string gf_airlineCodeAt(std::uint16_t index) {
    std::shared_lock lock(l_mutex);
    const auto& list = lf_tables().airlines;
    return index < list.size() ? list[index] : std::string{};
}

std::string gf_modelCodeAt(std::uint16_t index) {
    std::shared_lock lock(l_mutex);
    const auto& list = lf_tables().types;
    return index < list.size() ? list[index] : std::string{};
}

bool gf_isCargoAirlineCode(std::string_view code) {
    return std::find(kCargoAirlines.begin(), kCargoAirlines.end(), code) != kCargoAirlines.end();
}

bool gf_isCargo(const AcKey& key) {
    const auto* type = lf_typeEntry(gf_modelCodeAt(key.type));
    if (type != nullptr && type->cargo) return true;
    return key.airline != 0 && gf_isCargoAirlineCode(gf_airlineCodeAt(key.airline));
}

ModelCategory gf_getModelCategory(std::uint16_t typeIndex) {
    const auto* type = lf_typeEntry(gf_modelCodeAt(typeIndex));
    return type != nullptr ? type->category : Light;
}

std::optional<AcKey> gf_findRegistration(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    if (auto key = lf_findExact(registration)) return key;
    if (registration.size() >= 5 && registration.find('-') == std::string_view::npos && registration.front() != 'N') {
        for (std::size_t at : {std::size_t{2}, std::size_t{1}}) {
            std::string dashed(registration.substr(0, at));
            dashed += '-';
            dashed += registration.substr(at);
            if (auto key = lf_findExact(dashed)) return key;
        }
    }
    return std::nullopt;
}

std::optional<std::string> gf_findTypeFix(std::string_view reportedType) {
    std::shared_lock lock(l_mutex);
    const auto& fixes = lf_tables().typeFixes;
    if (auto it = fixes.find(reportedType); it != fixes.end()) return it->second;
    return std::nullopt;
}

bool gf_isKnownModelCode(std::string_view type) { return !type.empty() && lf_typeEntry(type) != nullptr; }

double gf_largestHalfWingSpan() {
    double largest = 0.0;
    for (const auto& e : kTypes) largest = std::max(largest, e.spanMetres * 0.5 / 1852.0);
    return largest;
}

double gf_getWingspan(std::uint16_t typeIndex) {
    // Indices beyond the database's table have no span of their own; the
    // largest known one keeps stands and collision circles on the safe side.
    if (typeIndex >= 2700) return gf_largestHalfWingSpan();
    const auto* type = lf_typeEntry(gf_modelCodeAt(typeIndex));
    return type != nullptr ? type->spanMetres * 0.5 / 1852.0 : 0.0;
}

void gf_resetAircraftTables() {
    std::unique_lock lock(l_mutex);
    lf_tables() = lf_buildTables();
}
