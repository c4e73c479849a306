#pragma once
// The archives data: scenery publishers (with the other names their packages
// appear under), manifest publisher values that tell nothing, the airports the
// archive holds as simaddon files and the thirdparty publishers' archive
// entries with their versions. Read at the start of every airport scan from
// input/archives.enc; used only on the scan's thread, so not locked.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/files.h"

struct ThirdpartyPublisher {
    std::string name;
    // (entry name, version text); the version is empty when no `ap` gives one.
    std::vector<std::pair<std::string, std::string>> entries;
};

struct PackageClass {
    // 0: a listed publisher (name set), 1: not listed, 2: empty package text.
    std::uint32_t kind = 1;
    std::string name;
};

struct ArchiveMatch {
    // 0 nothing, 1 the wanted version, 2 the wanted and a higher version,
    // 3 only a higher version.
    std::uint32_t status = 0;
    std::string entry;
    std::string higherVersion;
};

extern std::vector<std::vector<std::string>> g_publisherNames;
extern std::map<std::string, std::string> g_rejectedPublishers;
extern std::set<std::string> g_simaddonAirports;
extern std::vector<ThirdpartyPublisher> g_thirdpartyPublishers;

// Plaintext limit of the archives data file.
inline constexpr std::uint64_t archivesDataSizeLimit = 4194304;

// Reads input/archives.enc (under the working folder) into the four tables,
// the sections of MSFS 2020 or of MSFS 2024. A missing or undecryptable file
// throws std::runtime_error, a missing simaddon section
// tavo::UserRelatedException 61; a file that does not parse, or has no root,
// is logged and gives false.
bool gf_readPublishers(bool msfs2020);
// The same from any file (tests, fuzzing).
bool gf_readPublishersFrom(const std::filesystem::path& path, bool msfs2020);
// Empties the four tables (the scan's end guard calls it too).
void gf_clearPublisherData();

// Splits at every ',' and trims each piece; empty pieces are kept, an empty
// text gives no piece.
std::vector<std::string> lf_splitCommaList(std::string_view text);

PackageClass gf_classifyPackage(std::string_view packageText);
PackageClass gf_classifyPackage(const std::filesystem::path& package);
// True when the text contains the word, ASCII letters compared without case;
// an empty word is in every text.
bool gf_containsNoCase(std::string_view text, std::string_view word);
bool gf_containsNoCase(const std::filesystem::path& path, std::string_view word);
// The value trimmed and lower-cased is a rejected manifest publisher value.
bool gf_isRejectedPublisher(std::string_view value);
// The publisher's archive entry for the airport in the installed version: an
// entry without a version by its name (code + version without dots), one with
// a version by that version alone; and the highest version above it.
ArchiveMatch gf_findPackagePublisher(std::string_view publisher, const IcaoCode& icao, std::string_view version);
