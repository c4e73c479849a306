#pragma once
// After the liveries scan: merging the records of several AI packages by the
// packages' priority, sorting and removing duplicates, and the scan's report
// lists (codes the database does not know, fixes applied, refused files and
// sections), summarised in Log.txt and written to output/info and
// output/errors for the user.
//
// Main thread only, during the liveries scan; nothing is locked.

#include <array>
#include <cstddef>
#include <filesystem>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scanned_liveries.h"

// The report lists of one scan, emptied by lf_clearScanMessages.
extern std::list<std::string> scanNoSectionFiles;      // aircraft.cfg files without [fltsim] sections
extern std::list<std::string> scanInvalidAirlineCodes;  // "{:12} in {} " + the caller's text
extern std::list<std::string> scanInvalidModelCodes;    // "{:16} in {}"
extern std::vector<std::string> scanFixes;              // "Model fix: ..." in the order applied
extern std::list<std::string> scanInvalidCfgFiles;      // refused aircraft.cfg files
extern std::list<std::string> scanIncompleteSections;   // refused [fltsim.x] sections

// Indexes into lf_scanListFileName().
enum ScanListFile : std::size_t {
    noSectionFilesList = 0,     // info/AircraftCfgWithNoFltsimSection.txt
    dontUseTitlesList = 1,      // info/DontUseLiveries.txt
    invalidAirlineCodesList = 2,  // errors/InvalidAirlineCodes.txt
    invalidModelCodesList = 3,  // errors/InvalidAircraftCodes.txt
    fixesList = 4,              // errors/Fixes.txt
    invalidCfgFilesList = 5,    // errors/InvalidAircraftCfgFiles.txt
    incompleteSectionsList = 6,  // errors/IncompleFltsimSections.txt
};

// The seven report file paths, relative to the working folder.
const std::array<std::filesystem::path, 7>& lf_scanListFileName();

// Keeps, for every key (airline, operator, model, cargo flag), only the
// records of the best (lowest) priority that has any; the order of the rest
// stays. Returns the number of records removed.
std::size_t lf_prioritizeLiveries();
// The unique step over a range sorted by lf_compareScannedLiveries: equal
// title, key and registration (priority ignored) make a duplicate; the first
// of each run stays. Returns the new end; the caller erases the tail.
std::vector<ScannedLivery>::iterator lf_findDuplicateLivery(std::vector<ScannedLivery>::iterator first,
                                                           std::vector<ScannedLivery>::iterator last);
// Sorts scannedLiveries and removes its duplicates; returns how many went.
std::size_t lf_sortAndRemoveDuplicateLiveries();

// "{:12} in {} " of the code and the path, then the extra text, into the
// invalid-airline-codes list.
void lf_addScanMessage(std::string_view code, const std::filesystem::path& file, std::string_view extra);
// "{:16} in {}" of the code and the path, into the invalid-model-codes list.
void lf_addModelFixMessage(std::string_view code, const std::filesystem::path& file);

// Logs the summary of the lists and writes their report files.
void lf_writeScanReport();
// Writes one list, each entry followed by "\n", replacing the file. With
// createFolder the file's folder and its parents are made first. Failures
// are logged ("Error creating directories {}: {}", "Error writing file {}:
// {}") and never thrown.
void lf_writeScanListFile(const std::list<std::string>& lines, const std::filesystem::path& file,
                          bool createFolder = true);
void lf_writeScanListFile(const std::vector<std::string>& lines, const std::filesystem::path& file,
                          bool createFolder = true);
// The don't-use titles, in the set's own order.
void lf_writeScanListFile(const TitleSet& titles, const std::filesystem::path& file, bool createFolder = true);

// Empties the five lists, the fixes, scanTitles and dontUseTitles.
void lf_clearScanMessages();
