#pragma once
// Where each airport's file lives: file names made from a code, the user's
// handmade files and the pointer files that lead to them, the archive that
// ships with the program, the learned file that belongs to a source file, and
// the publisher and version an archive path carries. Paths only, all relative
// to the working folder; none of this reads an airport file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/files.h"

// The archive path of an airport file, taken apart.
struct ArchivePathInfo {
    IcaoCode icao;
    std::string publisher;  // "stock", "simaddon" or the decoded publisher name
    std::string version;    // the digits after the code in the stem; may be empty
};

// "<code>.xml", "<code>.enc", "<code>.txt"; the extension alone for no code.
std::string gf_icaoXmlFileName(const IcaoCode& icao);
std::string gf_icaoEncFileName(const IcaoCode& icao);
std::string gf_icaoTxtFileName(const IcaoCode& icao);

// True when a handmade file or pointer file exists for the code (my_thirdparty
// .xml, .txt, then my_simaddon .xml, .txt; a pointer file counts unread), else
// whether the airports list knows the code.
bool gf_hasAirportFile(const IcaoCode& icao);

// The file the airport is to be read from: a handmade one (my_thirdparty, then
// my_simaddon), else archive/stock/<code>.enc for a known code (not tested for
// existence), else nothing.
std::optional<std::filesystem::path> gf_findAirportSourcePath(const IcaoCode& icao);

// In one handmade folder: the path a pointer file <code>.txt names, else
// <code>.xml when it exists, else nothing.
std::optional<std::filesystem::path> lf_findHandmadeAirportFile(const IcaoCode& icao,
                                                                const std::filesystem::path& folder);

// The first line of a pointer file, trimmed, when it names an ".xml" or ".enc"
// file (any letter case) and is at least 4 characters long; else nothing.
std::optional<std::filesystem::path> lf_readAirportPointerFile(const std::filesystem::path& path);

// archive/stock|simaddon/<file> or archive/thirdparty/<percent-encoded
// publisher>/<file>, <file> being the code, optional version digits and
// ".xml" or ".enc" (folder names and letters in any case).
std::optional<ArchivePathInfo> lf_parseArchivePath(const std::filesystem::path& path);

// The learned file (always .xml) that belongs to a source airport file; the
// publisher is the name from the file's metadata (used for my_thirdparty
// files). Nothing for paths outside the known folders, for an empty folder
// name, and for a publisher that is not UTF-8 (logged).
std::optional<std::filesystem::path> lf_locateAirportFile(const std::filesystem::path& source,
                                                          std::string_view publisher);

// True when the path's extension equals the text, letters in any case.
bool lf_hasExtension(const std::filesystem::path& path, std::string_view extension);

// "%XX" (two hexadecimal digits) becomes that byte; any other '%' stays.
std::string lf_percentDecode(std::string_view text);

// A publisher name made fit to be a folder name: control characters and
// < > : " / \ | ? * become blanks, white space is trimmed at both ends, and
// "." or ".." becomes empty.
std::string lf_publisherFolderName(std::string_view name);
