#include "airports/learned_airport_file.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <unordered_map>

#include <fmt/format.h>

#include "airports/airport_file_format.h"
#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/stand_options.h"
#include "foundation/files.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/xml.h"
#include "services/gui.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

namespace {

// Options of one stand that a learned option could repeat: same day, kind,
// registration and aircraft key. A new option repeats one of them exactly
// when it shares a slot with their union.
struct OptionIdentity {
    std::uint32_t day;
    bool real;
    std::string registration;
    std::uint16_t airline, operatorIndex, model;
    std::uint8_t cargo;
    friend bool operator==(const OptionIdentity&, const OptionIdentity&) = default;
};

struct OptionIdentityHash {
    std::size_t operator()(const OptionIdentity& identity) const noexcept {
        std::uint64_t h = Fnv1aTextHash{}(identity.registration);
        for (const std::uint64_t part : {std::uint64_t{identity.day}, std::uint64_t{identity.real},
                                         std::uint64_t{identity.airline}, std::uint64_t{identity.operatorIndex},
                                         std::uint64_t{identity.model}, std::uint64_t{identity.cargo}}) {
            h = (h ^ part) * 0x100000001b3ull;
        }
        return static_cast<std::size_t>(h);
    }
};

OptionIdentity identityOf(const StandOption& option) {
    return OptionIdentity{option.day,       option.real != 0,           option.registration, option.key.airline,
                          option.key.operatorIndex, option.key.model, option.key.cargo};
}

bool isWritableOption(const StandOption& option) {
    return option.day >= 1 && option.day <= 7 && gf_bitset2hours(option.hours).has_value();
}

void logSkippedOption(const StandOption& option, std::string_view stand, std::string_view hours) {
    gf_logError(fmt::format("learned option {} of stand {} skipped: day {} hours '{}'", option.registration, stand,
                            option.day, hours));
}

// The slots of a set as a comma list, as a hand-edited file would give them.
std::string slotList(const HoursBitset& hours) {
    std::string text;
    for (std::size_t slot = 0; slot < hours.size(); ++slot) {
        if (!hours.test(slot)) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(slot);
    }
    return text;
}

// Options read whole with a stand (a manual stand, a handmade file) that no
// airport file can hold are left out, as at the merge. The rest are numbered
// from 1 again: a new option takes the count plus 1 as its number.
void dropUnwritableOptions(Stand& stand) {
    const std::size_t removed = std::erase_if(stand.options, [&](const StandOption& option) {
        if (isWritableOption(option)) return false;
        logSkippedOption(option, stand.name, slotList(option.hours));
        return true;
    });
    if (removed == 0) return;
    std::uint32_t number = 1;
    for (StandOption& option : stand.options) option.number = number++;
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
        for (Stand& stand : data.stands) dropUnwritableOptions(stand);
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
        // A stand without a name could never be written again.
        if (id.empty() || !lf_isReadablePosition(latitude, longitude) || !lf_isReadableRadius(radius)) {
            gf_logError(fmt::format("manually created standid {} misses correct attributes in {}", id, shown));
            continue;
        }
        if (lf_readParkpos(parkpos, id, 0, data.stands)) {
            data.stands.back().manual = true;
            dropUnwritableOptions(data.stands.back());
        }
    }
    return data;
}

}  // namespace

bool lf_mergeLearnedOptions(const pugi::xml_node& parkpos, const std::string& id, Stand& stand) {
    if (stand.name != id) return false;
    std::uint32_t number = stand.options.empty() ? 1 : stand.options.back().number + 1;
    // The slots taken so far by each identity: one look-up per option keeps a
    // stand with thousands of learned options linear.
    std::unordered_map<OptionIdentity, HoursBitset, OptionIdentityHash> taken;
    taken.reserve(stand.options.size());
    for (const StandOption& existing : stand.options) taken[identityOf(existing)] |= existing.hours;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const HoursBitset hours = gf_hours2bitset(opt.attribute("hh").as_string());
        if (hours.none()) {
            gf_logError("empty bit set");
            continue;
        }
        StandOption option = lf_optionFromElement(opt, hours, number, 0);
        // An option no airport file can hold would fail every later save of
        // the airport, and learning there would stop for good.
        if (!isWritableOption(option)) {
            logSkippedOption(option, id, opt.attribute("hh").as_string());
            continue;
        }
        HoursBitset& slots = taken[identityOf(option)];
        if ((slots & option.hours).any()) continue;
        slots |= option.hours;
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

void gf_saveLearned(const std::vector<Stand>& stands, bool handmade) {
    const std::optional<AirportListEntry> current = gf_currentAirport();
    const LoadedAirport loaded = gf_loadedAirport();
    if (!current || current->icao.isNone() || !loaded.fileLoaded) {
        gf_logError("gf_saveLearned called without a loaded airport file");
        return;
    }
    Airport airport;
    airport.icao = current->icao;
    airport.iata = gf_noIataCode();
    airport.name = loaded.name;
    airport.publisher = loaded.publisher;
    airport.altitude = loaded.altitude;
    airport.stands.reserve(stands.size());
    for (const Stand& stand : stands) {
        if (handmade) {
            airport.stands.push_back(stand);
            continue;
        }
        Stand copy = stand;
        lf_dropArchiveOptions(copy.options);
        if (copy.manual || !copy.options.empty()) airport.stands.push_back(std::move(copy));
    }
    if (handmade) {
        const std::uint64_t ratings = gf_rateAirportStands(airport.stands);
        airport.qfReal = static_cast<std::int32_t>(static_cast<std::uint32_t>(ratings & 0xFFFFFFFFu));
        airport.qfSoft = static_cast<std::int32_t>(static_cast<std::uint32_t>(ratings >> 32));
    }
    // The path the load fixed: the learned file is read from and saved to the
    // same place, even when the publisher alone would lead elsewhere.
    if (!loaded.learnedPath) {
        gf_logError(fmt::format("cannot construct a safe learned path for publisher '{}'", loaded.publisher));
        return;
    }
    const fs::path& path = *loaded.learnedPath;
    const auto settings = settingsSnapshot.load();
    AirportParkingSettings parking;
    parking.parkingPercentage = settings->parking_percentage;
    parking.maxFit = settings->MAX_FIT;
    parking.rtParkTrafficOnly = settings->RT_PARKTRAFFIC_ONLY;
    parking.autoPark = settings->AUTO_PARK;
    parking.week = settings->WEEK;
    parking.parkSoft = settings->PARK_SOFT;
    const std::uint32_t simulator = startupChoice.load()->simulator;
    if (gf_writeApf(airport, path, kApfModeLearned, simulator, handmade, parking)) {
        const std::uint32_t updates = g_learnedOptionCount;
        gf_log(fmt::format("{} '{}' saved with {} update{}", handmade ? " handmade" : "", gf_pathToUtf8(path), updates,
                           updates == 1 ? "" : "s"));
    } else {
        gf_log(fmt::format("saving '{}' did not succeed", gf_pathToUtf8(path)));
    }
    g_learnedOptionCount = 0;
    Gui::enqueueUpdate(GuiUpdate::standOptionUpdates(0));
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
