#pragma once
// The program's folder and file names, the four-character airport code, and
// the file operations all subsystems share. Operations report failure by a
// false result and one error line in the log; they throw only where noted.

#include <array>
#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "platform/os/os.h"

// Folder and file names, all relative: they resolve against the installation
// folder, which is the working folder. Inline, so every translation unit that
// includes this header sees them initialised before its own globals.
inline const std::filesystem::path stockDir{"stock"};
inline const std::filesystem::path simaddonDir{"simaddon"};
inline const std::filesystem::path thirdpartyDir{"thirdparty"};
inline const std::filesystem::path archiveDir{"archive"};
inline const std::filesystem::path airportsDir{"airports"};
inline const std::filesystem::path inputDir{"input"};
inline const std::filesystem::path outputDir{"output"};
inline const std::filesystem::path infoDir{"info"};
inline const std::filesystem::path errorsDir{"errors"};
inline const std::filesystem::path learnedDir{"learned"};
inline const std::filesystem::path docsDir{"docs"};
inline const std::filesystem::path insideSystemsDir{"InsideSystems"};
inline const std::filesystem::path newVersionDir{"new_version"};
inline const std::filesystem::path tbloDir{"tblo"};
inline const std::filesystem::path tbloZipFile{"tblo.zip"};
inline const std::filesystem::path parkAirportFileName{"park_airport.xml"};
inline const std::filesystem::path outputInfoDir = outputDir / infoDir;
inline const std::filesystem::path outputErrorsDir = outputDir / errorsDir;
inline const std::filesystem::path parkAirportFile = airportsDir / parkAirportFileName;
inline const std::filesystem::path myRegcodesPath = inputDir / "my_regcodes";
inline const std::filesystem::path objectIdListFile = outputDir / infoDir / "ObjectIdList.txt";
inline const std::filesystem::path learnedAirportsDir = airportsDir / learnedDir;
inline const std::filesystem::path learnedStockDir = airportsDir / learnedDir / stockDir;
inline const std::filesystem::path learnedSimaddonDir = airportsDir / learnedDir / simaddonDir;
inline const std::filesystem::path learnedThirdpartyDir = airportsDir / learnedDir / thirdpartyDir;
inline const std::filesystem::path mySimaddonDir = airportsDir / "my_simaddon";
inline const std::filesystem::path myThirdpartyDir = airportsDir / "my_thirdparty";
inline const std::filesystem::path liveriesScanned2020File = outputDir / "LiveriesScanned_MSFS2020.xml";
inline const std::filesystem::path liveriesScanned2024File = outputDir / "LiveriesScanned_MSFS2024.xml";

// The five data files: plain and encrypted names (also the names on the
// download server), and their places in the input folder.
inline constexpr std::string_view dbaseXmlName = "dbase.xml";
inline constexpr std::string_view dbaseEncName = "dbase.enc";
inline constexpr std::string_view regcodesXmlName = "AIG-regcodes.xml";
inline constexpr std::string_view regcodesEncName = "AIG-regcodes.enc";
inline constexpr std::string_view airportsXmlName = "airports.xml";
inline constexpr std::string_view airportsEncName = "airports.enc";
inline constexpr std::string_view archivesXmlName = "archives.xml";
inline constexpr std::string_view archivesEncName = "archives.enc";
inline constexpr std::string_view wktrafficXmlName = "wktraffic.xml";
inline constexpr std::string_view wktrafficEncName = "wktraffic.enc";
inline const std::filesystem::path dbaseXmlFile = inputDir / dbaseXmlName;
inline const std::filesystem::path dbaseEncFile = inputDir / dbaseEncName;
inline const std::filesystem::path regcodesXmlFile = inputDir / regcodesXmlName;
inline const std::filesystem::path regcodesEncFile = inputDir / regcodesEncName;
inline const std::filesystem::path airportsXmlFile = inputDir / airportsXmlName;
inline const std::filesystem::path airportsEncFile = inputDir / airportsEncName;
inline const std::filesystem::path archivesXmlFile = inputDir / archivesXmlName;
inline const std::filesystem::path archivesEncFile = inputDir / archivesEncName;
inline const std::filesystem::path wktrafficXmlFile = inputDir / wktrafficXmlName;
inline const std::filesystem::path wktrafficEncFile = inputDir / wktrafficEncName;

// A character of an airport code as the program keeps it: A-Z or 0-9.
constexpr bool gf_isAirportCodeChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
// An airport code as files and paths write it: exactly four ASCII letters
// (either case) or digits. The one check every reader of such codes uses.
bool gf_isAirportCode(std::string_view text);

// A four-character airport code, A-Z and 0-9, packed so that numeric order is
// alphabetical order (digits before letters). A default-built code is "none"
// (packed 0, empty text).
struct IcaoCode {
    IcaoCode() = default;
    // Exactly four characters; a-z are upper-cased. Anything else throws
    // std::invalid_argument "'<text>' IcaoCode: invalid string".
    explicit IcaoCode(std::string_view text);

    bool isNone() const { return packed == 0; }
    // The four characters, or an empty text for "none".
    std::string_view text() const { return isNone() ? std::string_view{} : std::string_view{chars.data(), 4}; }

    friend bool operator==(const IcaoCode& a, const IcaoCode& b) { return a.packed == b.packed; }
    friend std::strong_ordering operator<=>(const IcaoCode& a, const IcaoCode& b) { return a.packed <=> b.packed; }

    std::uint32_t packed = 0;
    std::array<char, 4> chars{};
};

template <>
struct fmt::formatter<IcaoCode> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const IcaoCode& code, FormatContext& ctx) const {
        return fmt::formatter<std::string_view>::format(code.text(), ctx);
    }
};

// Removes the file at `path` when destroyed while armed; a missing file is no
// error, and nothing is reported.
struct TempFileGuard {
    explicit TempFileGuard(std::filesystem::path path_, bool armed_ = true)
        : path(std::move(path_)), armed(armed_) {}
    ~TempFileGuard();
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    void disarm() { armed = false; }

    std::filesystem::path path;
    bool armed = true;
};


// Moves a file over its target; when the rename cannot, copies and removes.
bool gf_moveFile(const std::filesystem::path& from, const std::filesystem::path& to);
// "<stem>0<ext>" beside the file (Log.txt -> Log0.txt): its kept generation.
std::filesystem::path gf_generationPathOf(const std::filesystem::path& path);
// Copies an existing file over "<stem>0<ext>" beside it (Log.txt -> Log0.txt).
// True when there was nothing to keep or the copy succeeded.
bool gf_save1GenerationOf(const std::filesystem::path& path);
// Removes the regular files directly in the folder; sub-folders stay.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// Removes the ".xml" files (any letter case) directly in the tblo folder.
void gf_removeXMLFilesFromDirectory();
// The codes of the files "<code>.xml" (any letter case) directly in the
// folder, in directory order. Stems that are not codes are skipped. A folder
// whose status cannot be read throws std::filesystem::filesystem_error.
std::vector<IcaoCode> gf_listIcaoFiles(const std::filesystem::path& folder);

std::optional<std::filesystem::path> gf_getKnownFolderPath(KnownFolder folder);
// The user's roaming and local data folders; empty (and logged) on failure.
std::filesystem::path gf_getAppDataPath();
std::filesystem::path gf_getLocalAppDataPath();

// Opens the folder that holds `path` in the file manager. False when the path
// does not exist, has no parent or the file manager cannot be started; a path
// whose status cannot be read throws std::filesystem::filesystem_error.
bool gf_openInShell(const std::filesystem::path& path);

// The whole file as bytes; nothing when it is not a regular file (a folder of
// that name included, which a stream opens and then fails on) or cannot be
// opened or read, and then `why`, when given, tells which. Logs nothing:
// callers say what a missing file means.
enum class ReadFailure { none, notOpened, notRead };
std::optional<std::string> gf_readWholeFile(const std::filesystem::path& path, ReadFailure* why = nullptr);

// Writes the lines, each followed by "\n", as the file's new content through
// a temporary file; on failure (logged) the old file stays as it was.
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
