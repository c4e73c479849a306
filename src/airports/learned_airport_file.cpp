#include "airports/learned_airport_file.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>

#include <fmt/format.h>

#include "airports/airport_file_format.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/xml.h"
#include "services/gui.h"
#include "settings/parameters_file.h"

namespace fs = std::filesystem;

namespace {

bool sameOption(const StandOption& a, const StandOption& b) {
    return a.day == b.day && (a.real != 0) == (b.real != 0) && a.registration == b.registration &&
           a.key.airline == b.key.airline && a.key.operatorIndex == b.key.operatorIndex &&
           a.key.model == b.key.model && a.key.cargo == b.key.cargo && (a.hours & b.hours).any();
}

template <typename T>
void logSetting(std::string_view name, const std::optional<T>& value) {
    if (value) gf_logContinuation(fmt::format("{:24}: {}", name, *value));
}

std::variant<LearnedAirportData, std::string> readLearned(const fs::path& path, const std::string& sourceName,
                                                          const std::vector<Stand>& sourceStands) {
    LearnedAirportData data;
    data.stands = sourceStands;
    const std::string shown = gf_pathToUtf8(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) return fmt::format("{} could not be opened", shown);
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load(in);
    if (!parsed) {
        gf_save1GenerationOf(path);
        gf_logError(fmt::format("{} found, not loaded: {}, saved as *.0.xml", shown, parsed.description()));
        return fmt::format("{} not loaded: {}", shown, parsed.description());
    }
    gf_log(fmt::format("Read from learned airport file: '{}'", shown));
    if (!gf_readDataFileMeta(document, true)) return fmt::format("{} has invalid metadata", shown);

    const std::string learnedName = gf_readStringXmlParameter(document, "airport_name").value_or("");
    if (learnedName != sourceName) {
        Gui::addStatusLine(fmt::format("Warning: learned file airport name: '{}' differs from archived file "
                                       "airport name: '{}'",
                                       learnedName, sourceName),
                           true);
    }
    data.parkingPercentage = gf_readIntXmlParameter(document, "parking_percentage");
    logSetting("parking_percentage", data.parkingPercentage);
    data.week = gf_readBoolXmlParameter(document, "WEEK");
    logSetting("WEEK", data.week);
    data.parkSoft = gf_readBoolXmlParameter(document, "PARK_SOFT");
    logSetting("PARK_SOFT", data.parkSoft);
    data.maxFit = gf_readIntXmlParameter(document, "MAX_FIT");
    logSetting("MAX_FIT", data.maxFit);
    data.rtParkTrafficOnly = gf_readBoolXmlParameter(document, "RT_PARKTRAFFIC_ONLY");
    logSetting("RT_PARKTRAFFIC_ONLY", data.rtParkTrafficOnly);
    data.autoPark = gf_readBoolXmlParameter(document, "AUTO_PARK").value_or(false);
    logSetting("AUTO_PARK", std::optional<bool>(data.autoPark));
    data.handmade = gf_readBoolXmlParameter(document, "handmade").value_or(false);

    if (data.handmade) {
        data.stands.clear();
        lf_readParkPositions(document, data.stands);
        logSetting("handmade", std::optional<bool>(true));
        return data;
    }
    const pugi::xml_node root = document.child("root");
    const pugi::xml_node parkpositions =
        (root ? root : static_cast<pugi::xml_node>(document)).child("parkpositions");
    if (!parkpositions) {
        gf_log(fmt::format("learned file {} has no '{}' section", shown, "parkpositions"));
        return data;
    }
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        const std::string id = parkpos.attribute("id").as_string();
        const bool manual = parkpos.attribute("manual").as_bool(false);
        const auto named = std::find_if(data.stands.begin(), data.stands.end(),
                                        [&](const Stand& stand) { return stand.name == id; });
        if (!manual) {
            if (named == data.stands.end()) {
                gf_log(fmt::format("learned stand {} in {} not found?", id, shown));
            } else {
                lf_mergeLearnedOptions(parkpos, id, *named);
            }
            continue;
        }
        if (named != data.stands.end()) {
            gf_logError(fmt::format("manually created standid {} already exists in {}", id, shown));
            continue;
        }
        const double latitude = parkpos.attribute("latitude").as_double(0.0);
        const double longitude = parkpos.attribute("longitude").as_double(0.0);
        const double radius = parkpos.attribute("radius").as_double(0.0);
        const bool valid = latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0 &&
                           !(std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001) &&
                           std::isfinite(radius) && radius > 0.0;
        if (!valid) {
            gf_logError(fmt::format("manually created standid {} misses correct attributes in {}", id, shown));
            continue;
        }
        if (lf_readParkpos(parkpos, id, 0, data.stands)) data.stands.back().manual = true;
    }
    return data;
}

}  // namespace

bool lf_mergeLearnedOptions(const pugi::xml_node& parkpos, const std::string& id, Stand& stand) {
    if (stand.name != id) return false;
    std::uint32_t number = stand.options.empty() ? 1 : stand.options.back().number + 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const HoursBitset hours = gf_hours2bitset(opt.attribute("hh").as_string());
        if (hours.none()) {
            gf_logError("empty bit set");
            continue;
        }
        StandOption option = lf_optionFromElement(opt, hours, number, 0);
        // An option no airport file can hold would fail every later save of
        // the airport, and learning there would stop for good.
        if (option.day < 1 || option.day > 7 || !gf_bitset2hours(option.hours)) {
            gf_logError(fmt::format("learned option {} of stand {} skipped: day {} hours '{}'", option.registration, id,
                                    option.day, opt.attribute("hh").as_string()));
            continue;
        }
        const bool repeated = std::any_of(stand.options.begin(), stand.options.end(),
                                          [&](const StandOption& existing) { return sameOption(existing, option); });
        if (repeated) continue;
        stand.options.push_back(std::move(option));
        ++number;
    }
    return true;
}

std::size_t lf_dropArchiveOptions(std::vector<StandOption>& options) {
    const auto removed = std::remove_if(options.begin(), options.end(), [](const StandOption& option) {
        return option.mark == 1 || option.number == 0;
    });
    const auto count = static_cast<std::size_t>(std::distance(removed, options.end()));
    options.erase(removed, options.end());
    return count;
}

std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const fs::path& path,
                                                                         const std::string& sourceName,
                                                                         const std::vector<Stand>& sourceStands) {
    try {
        return readLearned(path, sourceName, sourceStands);
    } catch (const std::exception& error) {
        return fmt::format("{}: {}", "gf_readLearnedAirportFile", error.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readLearnedAirportFile");
    }
}
