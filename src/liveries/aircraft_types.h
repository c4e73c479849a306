#pragma once
// Aircraft types, airlines and the aircraft database as the rest of the
// program sees them: keys of indices into the type and airline lists, the
// size category of a type, registration lookup, type fixes and known types.
//
// The lists grow while traffic runs (unknown codes are appended by the reader
// threads), so every function here is safe to call from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Identity of an aircraft kind: indices into the airline and type lists.
struct AcKey {
    std::uint16_t airline = 0;
    std::uint16_t operatorIndex = 0;  // 0 = none
    std::uint16_t type = 0;
    std::uint8_t cargo = 0;
    std::uint8_t second = 0;

    friend bool operator==(const AcKey&, const AcKey&) = default;
};

// Size category of a type; the numbers are stored in records and files.
enum ModelCategory : std::int32_t {
    Light = 0,
    TwoProps = 1,
    Bizjet = 2,
    Large = 3,
    Heavy = 4,
    HighPerf = 5,
    Rotorcraft = 6,
};

// "Light", "TwoProps", ... ; "?" for any other value.
std::string_view gf_modelCategoryName(std::int32_t category);

// Index of the airline code; an unknown code is appended. Never fails.
std::uint16_t gf_internAirlineCode(std::string_view code);
// Index of the type; a database fix may map the text to a type already
// listed, whose index is returned; an unknown type is appended.
std::uint16_t gf_internModelCode(std::string_view type);
// Same as gf_internModelCode.
std::uint16_t gf_getModelIndex(std::string_view type);

// The code texts behind the indices; an index out of range reads as "".
std::string gf_airlineCodeAt(std::uint16_t index);
std::string gf_modelCodeAt(std::uint16_t index);

// True when the key's type is a cargo type or its airline a cargo operator.
bool gf_isCargo(const AcKey& key);
// True when the airline code is a cargo operator.
bool gf_isCargoAirlineCode(std::string_view code);

// Size category of a type index; Light for a type the database has no class for.
ModelCategory gf_getModelCategory(std::uint16_t typeIndex);

// The key stored for a registration in the aircraft database. A
// registration of 5 or more characters with no '-' that does not start with
// 'N' is also tried with a '-' after its second, then after its first character.
std::optional<AcKey> gf_findRegistration(std::string_view registration);

// The type text to use for a reported type text, when the database fixes it
// (exact text).
std::optional<std::string> gf_findTypeFix(std::string_view reportedType);

// True when the aircraft database knows the ICAO type text (exact; "" false).
bool gf_isKnownModelCode(std::string_view type);

// Half the wing span of a type in nautical miles; the largest known half span
// for an index of 2700 or more (beyond the table), 0 for a type without a span.
double gf_getWingspan(std::uint16_t typeIndex);
// The largest half wing span of the database (nautical miles).
double gf_largestHalfWingSpan();

// Puts the lists back to the database's own content (forgets appended codes).
// Called when the tables are rebuilt; tests use it for a clean start.
void gf_resetAircraftTables();
