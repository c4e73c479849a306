#pragma once
// Reading the aircraft.cfg files of AI packages: the values of the few keys
// the liveries scan needs, the [fltsim.N] header check, the model code of a
// file (with the database's fixes), and the [fltsim.N] sections that become
// ScannedLivery records, for general packages and for IVAO packages.
//
// Runs on the thread of the liveries scan; the report lists, scanTitles and
// dontUseTitles are touched without locks, as only the scan uses them then.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scanned_liveries.h"

// The value (group 2) of a `key = value` line whose key is `key` (without
// letter case), blanks around the value removed; empty when the line has
// another shape.
std::string lf_matchCfgLine(std::string_view line, std::string_view key);

// Key readers: a found flag and the unquoted value through `value`.
bool lf_getCfgTitle(std::string_view line, std::string& value);
bool lf_getCfgTexture(std::string_view line, std::string& value);
// Found only for a value of at least 5 characters.
bool lf_getCfgAtcId(std::string_view line, std::string& value);
// Found whenever the line has the shape; "" and "ZZZZ" give "ZZZ", anything
// else is upper-cased.
bool lf_getCfgIcaoAirline(std::string_view line, std::string& value);
bool lf_getCfgAtcParkingTypes(std::string_view line, std::string& value);
// The value cut to 4 characters and upper-cased; empty when not found.
std::string lf_getCfgIcaoTypeDesignator(std::string_view line);
// The stock aircraft's code of a base_container value ("..\Asobo_A320_NEO"
// gives "A20N"); empty when not found or not a stock aircraft.
std::string lf_getCfgBaseContainer(std::string_view line);
// The number of a [fltsim.N] header: its digits; "-N" for a negative number;
// "10000" for a line that holds "[fltsim." without being a proper header;
// empty for other lines and comments (';' or "//" first).
std::string lf_getFltSimNumber(std::string_view line);

// Whether the line holds the word anywhere, ASCII letters without case.
bool lf_isAtcIdLine(std::string_view line);            // "atc_id="
bool lf_hasIcaoAirlineKey(std::string_view line);      // "icao_airline"
bool lf_hasAtcParkingTypesKey(std::string_view line);  // "atc_parking_types"

// Checks the file's [fltsim.N] headers; false (reported) when the file must
// be refused. A file without headers is listed and accepted.
bool lf_collectFltSimSections(const std::vector<std::string>& lines, const std::filesystem::path& file);

// The model code of a general package's file (may be empty).
std::string lf_fixModelCode(const std::filesystem::path& file, const std::vector<std::string>& lines);
std::string lf_fixModelFromContainer(const std::filesystem::path& file, const std::vector<std::string>& lines);
// The model code of an IVAO package's file, from its folder name.
std::string lf_fixIVAOModel(const std::filesystem::path& file);

// Position of the first ';', or -1 (also for an empty text).
int lf_findSemicolon(std::string_view text);

// The records of one aircraft.cfg.
std::vector<ScannedLivery> lf_searchLiveriesinFile(std::uint32_t priority, const std::filesystem::path& file);
std::vector<ScannedLivery> lf_searchLiveriesinIVAOFile(std::uint32_t priority, const std::filesystem::path& file);

std::vector<ScannedLivery> lf_processFltSimSections(std::uint32_t priority, const std::vector<std::string>& lines,
                                                    const std::string& model, const std::filesystem::path& file,
                                                    const std::filesystem::path& folder);
std::vector<ScannedLivery> lf_processIVAOFltSimSections(std::uint32_t priority,
                                                        const std::vector<std::string>& lines,
                                                        const std::string& model,
                                                        const std::filesystem::path& file);
// One section, its header line first: zero or one record.
std::vector<ScannedLivery> lf_procesFltSimSection(std::uint32_t priority, const std::vector<std::string>& section,
                                                  const std::string& model, const std::filesystem::path& file,
                                                  const std::filesystem::path& folder);
// One IVAO section: the record, or the empty record when refused.
ScannedLivery lf_procesIVAOFltSimSection(std::uint32_t priority, const std::vector<std::string>& section,
                                         const std::string& model, const std::filesystem::path& file);
