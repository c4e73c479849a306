#pragma once
// Loading the park airport's airport file: the file is found for the current
// airport, fetched from the download server when it is an archive file
// (unless the plain copy of the last load, airports/park_airport.xml, is the
// same file), decrypted when it is encrypted, checked and read with its
// learned file; the stands that overlap exclude each other; the stands fill
// the engine's stand table and the user aircraft's stand is recorded.
// The destination reads use the same preparation and document load.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport.h"
#include "foundation/encrypted.h"
#include "foundation/files.h"

// Where the file read came from.
inline constexpr std::uint32_t kAirportSourceLocal = 0;    // a file on disk, read in place
inline constexpr std::uint32_t kAirportSourceArchive = 1;  // fetched from the download server
inline constexpr std::uint32_t kAirportSourceCache = 2;    // the plain copy of the last load

// One airport file read, with the learned file over it.
struct AirportReadResult {
    std::string name;       // airport_name; empty when absent
    std::string publisher;  // empty when absent
    std::int32_t altitude = 0;  // feet
    std::optional<std::string> version;
    std::int32_t qfReal = 0;
    std::int32_t qfSoft = 0;
    std::vector<Stand> stands;  // numbered 1, 2, ... with their exclusions
    std::filesystem::path requestedPath;
    std::filesystem::path readPath;  // the cache, a downloaded temporary file or the requested file
    // Where this airport's learned file is read from and saved to (it may not
    // exist yet); none when no safe path can be made.
    std::optional<std::filesystem::path> learnedPath;
    std::int32_t rtTrafficWeek = 0;  // RT_traffic_week; 0 when absent
    std::uint32_t sourceKind = kAirportSourceLocal;
    bool learnedRead = false;
    bool handmade = false;
    // The learned file's parking settings (only with learnedRead).
    std::optional<std::int32_t> parkingPercentage;
    std::optional<std::int32_t> maxFit;
    std::optional<bool> rtParkTrafficOnly;
    bool autoPark = false;  // a learned file always says (false when it has no AUTO_PARK)
    std::optional<bool> week;
    std::optional<bool> parkSoft;
};

// The result, or the error text of a load that failed.
using AirportRead = std::variant<AirportReadResult, std::string>;

// Reads the airport file at the path (the cache when it holds the same
// archive file). Every failure is an error text, the missing `altitude`
// parameter included; only a tavo::UserRelatedException of a deeper reader
// passes. A file downloaded for the load is gone when the call returns.
AirportRead gf_readAirportFile(const std::filesystem::path& path);

// The file to read for a path: the path itself, or the archive file
// downloaded into airports/ under a name no other load uses. The holder
// removes a downloaded file when it goes.
struct PreparedFile {
    std::filesystem::path path;
    bool isArchive = false;
    bool isEncrypted = false;
    std::unique_ptr<TempFileGuard> download;
};
// Refuses every file while the download server announces maintenance. The
// temporary names begin with "park_airport" for the park airport, "airport"
// for the destination reads.
std::variant<PreparedFile, std::string> lf_prepareArchiveFile(const std::filesystem::path& path, bool forParkAirport);

// Downloads the archive path from the server folder of the simulator in use
// to the target; empty on success, else the error text (also shown as a
// highlighted status line), and no target is left.
std::string lf_downloadArchiveFile(const std::filesystem::path& archivePath, const std::filesystem::path& target,
                                   bool encrypted);

// Loads the document, decrypting an encrypted file into the buffer (which the
// document then parses in place, so it must outlive the document's use).
// Nothing on success, else the error text.
std::optional<std::string> lf_loadAirportDocument(const std::filesystem::path& path, bool encrypted,
                                                  SecureBuffer& buffer, pugi::xml_document& document);

// What a loaded document gives, in result (whose requestedPath names the
// file): the checks of its meta block and elevation, its parameters and
// stands, the learned file over them and the exclusions. Nothing on success,
// else the error text.
std::optional<std::string> lf_readAirportContent(const pugi::xml_document& document, AirportReadResult& result);

// Numbers the stands 1, 2, ... and makes every two stands that overlap (1.1
// times their flat distance below the sum of their radii) exclude each other.
void lf_computeStandExclusions(std::vector<Stand>& stands);

// The planner's entry: loads the current airport's file into the loaded-
// airport state, the settings and the engine's stand table, and records the
// user aircraft's stand when it stands on the ground.
struct ParkedFileResult {
    bool success = false;
    std::string error;  // the text to show when the load failed
};
ParkedFileResult lf_readParkedFile();

// A "/" for every "\" of a path written on Windows (pointer files), so that
// its parts are found here too.
std::filesystem::path lf_portableAirportPath(const std::filesystem::path& path);
