#pragma once
// The liveries the simulator can create as AI aircraft, as the liveries scan
// finds them, and the scanned-liveries file that hands them over to the livery
// tables: output/LiveriesScanned_MSFS2020.xml or _MSFS2024.xml. The file holds
// the result of the last successful scan until a new scan replaces it whole.
//
// Everything here runs on the main thread during start-up, before traffic
// runs; nothing is locked.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "foundation/hash.h"
#include "liveries/ac_key.h"

// One livery: the title the simulator creates the aircraft under, the
// registration of its section (may be empty), its codes and the rank of the
// package it came from (lower is preferred; 0 in records read from the file).
struct ScannedLivery {
    std::string title;
    std::string registration;
    AcKey key;  // flag byte always 0
    std::int16_t priority = 0;

    friend bool operator==(const ScannedLivery&, const ScannedLivery&) = default;
};

// A set of titles hashed with FNV-1a.
using TitleSet = std::unordered_set<std::string, Fnv1aTextHash, std::equal_to<>>;

// The result of the current scan (reserved for 30,000 records by the scan).
extern std::vector<ScannedLivery> scannedLiveries;
// The titles taken in the current scan: a title makes one record only.
extern TitleSet scanTitles;
// The titles that must never be used; the don't-use readers fill it.
extern TitleSet dontUseTitles;
// The records read back from the file, sorted; the livery tables read and
// empty it.
extern std::vector<ScannedLivery> liveryTable;

// Three-way order (-1, 0, 1): airline, operator, model, cargo flag (indexes
// compared unsigned), then title, then registration (byte-wise). Priority and
// the flag byte take no part.
int lf_compareScannedLiveries(const ScannedLivery& left, const ScannedLivery& right);
// True when the airline or the model index is 0.
bool lf_isInvalidScannedLivery(const ScannedLivery& livery);
// The record with the four values when the title is new to scanTitles (it is
// taken there); the empty, invalid record when the title was taken already.
ScannedLivery lf_makeIVAOLivery(std::int16_t priority, const AcKey& key, std::string title,
                                std::string registration);

// Writes scannedLiveries to the file of the current simulator through
// "<file>.scan_tmp", saved, validated and moved over the file with
// write-through. True only when the file was replaced; every failure is
// logged and leaves the old file as it was, with no temporary file left.
bool gf_writeScannedLiveries();
// Whether the written file parses, has root/liveries, every `l` carries a, m
// and t, and the number of `l` elements is the expected count.
bool lf_validateScannedLiveriesFile(const std::filesystem::path& path, std::size_t expectedCount);
// Puts the temporary file in the place of the file (a rename with
// write-through, whether the file exists or not).
bool lf_replaceScannedLiveriesFile(const std::filesystem::path& tempPath, const std::filesystem::path& filePath);

// Reads the file of the current simulator into liveryTable, sorted. False
// (logged, liveryTable unchanged) when the file cannot be read whole; never
// throws.
bool gf_readScannedLiveries();
// The same from another file (fuzzing and benchmarks).
bool gf_readScannedLiveries(const std::filesystem::path& path);

// --- seam for tests ----------------------------------------------------------

// Saves the document to the temporary path; the default is gf_saveXmlDocument.
using ScannedLiveriesSaver = std::function<bool(pugi::xml_document&, const std::filesystem::path&)>;
// Replaces the saver (an empty one restores the default), so a test can make
// the save fail half-way or save a document the validation must refuse.
void gf_setScannedLiveriesSaverForTest(ScannedLiveriesSaver saver);
