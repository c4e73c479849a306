#pragma once
// Learned airport files: what was learned at an airport (options seen at its
// stands, stands made by hand, the parking settings in force) read back over
// the stands of the airport's source file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport.h"

struct LearnedAirportData {
    std::vector<Stand> stands;
    std::optional<std::int32_t> parkingPercentage;
    std::optional<std::int32_t> maxFit;
    std::optional<bool> rtParkTrafficOnly;
    bool autoPark = false;  // false when the file does not say
    std::optional<bool> week;
    std::optional<bool> parkSoft;
    bool handmade = false;
};

// The learned data, or an error text. A file that does not parse is kept
// beside itself as <stem>0.xml before the error is returned.
std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const std::filesystem::path& path,
                                                                         const std::string& sourceName,
                                                                         const std::vector<Stand>& sourceStands);

// Merges the options of a learned parkpos into the stand of exactly that name
// (false for another stand). Options that repeat one the stand has (same day,
// kind, registration and key, sharing a slot) are not added; options that no
// airport file could hold (a day outside 1..7, hours that are not one run)
// are logged and left out.
bool lf_mergeLearnedOptions(const pugi::xml_node& parkpos, const std::string& id, Stand& stand);

// Saves the learned file of the loaded airport (the loaded-airport state and
// the current airport) from the stands: a learned save keeps the options
// learned here and the manual stands, a handmade save every stand whole with
// the airport's ratings. The file goes to the learned path fixed when the
// airport was loaded; without one nothing is saved. The learned-options
// counter starts again at 0 after every save that was tried.
void gf_saveLearned(const std::vector<Stand>& stands, bool handmade);

// Removes the options read from a source file (mark 1) and the void ones
// (number 0), keeping the order of the rest; the count removed.
std::size_t lf_dropArchiveOptions(std::vector<StandOption>& options);
