#pragma once
// What the airport scan writes for each add-on airport it finds: a link file
// that points to the program's archive, or an airport file generated from the
// simulator's facility data or, failing that, from the scenery's BGL file.
// Official airports ("simaddon") go to airports/my_simaddon, all others to
// airports/my_thirdparty. Runs on the scan's thread only; log lines go to the
// scan log unless said otherwise.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "airports/airport.h"
#include "scan/scan_log.h"

// The scan's two tests on a candidate code: the airports list knows it and
// it has weekly traffic.
IcaoFilters gf_scanCodeFilters();

// The number of regular files directly in the folder (0 when it cannot be
// listed).
std::uint64_t gf_countAirportFiles(const std::filesystem::path& folder);
// Posts the file counts of airports/my_simaddon (GUI update 15) and of
// airports/my_thirdparty (16), each when asked for.
void lf_postAirportFileCounts(bool simaddon, bool thirdparty);

// The facility path for a BGL file the folder walk found: true when the file
// is dealt with (linked, generated, or passed by rule), false when the BGL
// reader should try.
bool lf_readAirportFacilities(const std::filesystem::path& bglPath);
// The facility path for a streamed package whose airport (code, publisher,
// manifest) is prepared.
void lf_readPackageAirportFacilities(Airport& airport);

// The BGL path for one airport record, around the walk of its subrecords:
// the start finds its manifest, links it when the archive has it and checks
// its manifest publisher (true: read its stands); an airport whose file the
// facility path has just taken and checked against the archive is not
// checked again. The finish writes the stands read (at least one).
bool lf_startBglAirport(Airport& airport);
void lf_finishBglAirport(Airport& airport, int helipadCount);

// True when a link file was written (or a thirdparty archive match found).
bool lf_linkToArchive(Airport& airport);
// "archive/simaddon/<code>.enc" when the archive lists the code as simaddon.
std::optional<std::string> lf_findSimaddonArchiveFile(const IcaoCode& icao);
// "archive/thirdparty/<publisher, blanks as %20>/<entry>.enc" for the
// publisher's archive entry of the airport in its installed version.
std::optional<std::string> lf_findThirdpartyArchiveFile(const Airport& airport);
// The publisher as it stands in an archive path: each blank as "%20".
std::string lf_archivePublisherPath(std::string_view publisher);

// Facility data may name two parkings alike or give a stand no size, and the
// airport file refuses both: parkings get unique names as the BGL path gives
// them, and stands that cannot be written are dropped (logged), helipads
// from the count as well.
void lf_makeFacilityStandsWritable(Airport& airport, std::uint32_t& helipadCount);

// Sorts the stands by name and writes the generated airport file into the
// output folder of its publisher. A folder that cannot be made throws
// std::filesystem::filesystem_error; a failed write is logged.
void lf_writeGeneratedAirportFile(Airport& airport, int helipadCount);
