#pragma once
// The aircraft database (input/dbase.enc): which model and airline codes
// exist, their size classes, cargo types and operators, similar models, wing
// spans, model-code fixes and the aircraft of real registrations. Read once at
// start-up into the code tables (liveries/code_tables.h) and the records here;
// read-only afterwards.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/ac_key.h"

// One aircraft of the database.
struct DbaseRecord {
    std::string registration;
    AcKey key;  // flag 1
};

// Reads dbaseEncFile into the code tables and the records. Throws
// std::runtime_error when the file is missing or cannot be decrypted, and
// tavo::UserRelatedException (61) when a required section is missing; false
// (logged) when the XML cannot be parsed or has no root.
bool gf_readDbase();
// The same from another file (tests and benchmarks read files of their own).
bool gf_readDbase(const std::filesystem::path& file);

// The key of the aircraft with this registration; a registration of 5 or
// more characters without '-' that does not begin with 'N' is first tried
// with a '-' after its second, then after its first character.
std::optional<AcKey> gf_findRegistration(std::string_view registration);

// The first registration of fewer than 6 characters (in registration order)
// that occurs in the text.
std::optional<std::string> gf_findRegistrationInText(std::string_view text);

// The records, sorted by registration, one per registration.
const std::vector<DbaseRecord>& gf_dbaseRecords();
// Groups of similar model codes, each sorted.
const std::vector<std::vector<std::string>>& gf_similarModelGroups();
// Model code -> wing radius (half the span, nautical miles).
const std::map<std::string, double, std::less<>>& gf_dbaseWingRadii();

// Tests only: empties the records and the code tables.
void gf_resetAircraftDatabaseForTest();
