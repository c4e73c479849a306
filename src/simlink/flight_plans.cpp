// AI flight plans (MSFS 2020 only) and the small text rules used around the
// simulator: object ids in messages and the cleaning of the user aircraft's
// ATC MODEL value into an ICAO type.

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace fs = std::filesystem;

namespace {

std::mutex l_baseFolderMutex;
fs::path l_baseFolder;  // empty: the program's data folder

fs::path lf_baseFolder() {
    std::lock_guard lock(l_baseFolderMutex);
    return l_baseFolder.empty() ? programDataFolder() : l_baseFolder;
}

std::string lf_path(const fs::path& p) { return gf_pathToUtf8(p); }

struct UserModelRow {
    std::string_view model;
    std::string_view titlePart;
    std::string_view type;
};
constexpr UserModelRow kUserModels[] = {
    {"", "A340-300", "A343"},       {"737", "DG 737-600", "B736"}, {"737", "DG 737-700", "B737"},
    {"737", "DG 737-800", "B738"},  {"737", "DG 737-900", "B739"}, {"BA46", "146-100", "B461"},
    {"BA46", "146-200", "B462"},    {"BA46", "146-300", "B463"},
};

constexpr std::pair<std::string_view, std::string_view> kModelRenames[] = {
    {"414AW", "C414"},   {"777", "B772"},     {"A220-300", "BCS3"}, {"A330-200 (RR)", "A332"},
    {"A350-900", "A359"}, {"A380", "A388"},   {"BF109", "BF19"},    {"F-14A", "F14"},
    {"F-14B", "F14"},     {"F6F-5", "HCAT"},  {"GL6T", "GLEX"},     {"HA420", "HDJT"},
    {"Jaguar", "JAGR"},   {"KODIAK", "K100"}, {"MD11F", "MD11"},    {"N738B", "B38M"},
    {"P38L", "P38"},      {"Rafale C", "RFAL"}, {"RJ100", "RJ1H"},  {"SPITFIRE", "SPIT"},
    {"SR-71", "SR71"},    {"UH-1H", "UH1"},
};

}  // namespace

void gf_setFlightPlanBaseFolder(const fs::path& base) {
    std::lock_guard lock(l_baseFolderMutex);
    l_baseFolder = base;
}

std::optional<fs::path> gf_flightPlanFolder() {
    if (!isMSFS2020()) return std::nullopt;
    return lf_baseFolder() / "orig_dest";
}

bool gf_prepareFlightPlanFolder(const fs::path& folder) {
    std::error_code ec;
    // A file in the folder's place is named as such, not as a failed creation.
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        gf_log(fmt::format("Flight-plan path '{}' is not a directory", lf_path(folder)));
        return false;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        gf_log(fmt::format("Could not create flight-plan folder '{}': {}", lf_path(folder), ec.message()));
        return false;
    }
    const auto status = fs::status(folder, ec);
    if (ec) {
        gf_log(fmt::format("Could not inspect flight-plan folder '{}': {}", lf_path(folder), ec.message()));
        return false;
    }
    if (!fs::is_directory(status)) {
        gf_log(fmt::format("Flight-plan path '{}' is not a directory", lf_path(folder)));
        return false;
    }
    return true;
}

std::string gf_flightPlanFileName(std::uint32_t number) { return fmt::format("{}.pln", number); }

std::string gf_flightPlanText(const FlightPlanAircraft& aircraft) {
    const bool ifr = aircraft.category >= 1 && aircraft.category <= 4;
    return fmt::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">", "<FlightPlan.FlightPlan>", "<FPType>",
                       ifr ? "IFR" : "VFR", "</FPType>", "<DepartureID>", aircraft.origin, "</DepartureID>",
                       "<DestinationID>", aircraft.destination, "</DestinationID>", "</FlightPlan.FlightPlan>",
                       "</SimBase.Document>");
}

bool gf_writeFlightPlan(const fs::path& path, const FlightPlanAircraft& aircraft) {
    // Written beside the target and moved over it, so the simulator never
    // reads a half-written plan.
    fs::path temp = path;
    temp += ".tmp";
    const std::string text = gf_flightPlanText(aircraft);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.is_open()) {
            gf_log(fmt::format("Could not open flight plan '{}' for writing", lf_path(path)));
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        bool good = out.good();
        out.close();
        good = good && !out.fail();
        if (!good) {
            gf_log(fmt::format("Writing flight plan '{}' failed", lf_path(path)));
            std::error_code ec;
            fs::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        gf_log(fmt::format("Writing flight plan '{}' failed", lf_path(path)));
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool gf_removeFlightPlan(std::uint32_t number) {
    const auto folder = gf_flightPlanFolder();
    if (!folder) return false;
    std::error_code ec;
    if (!fs::is_directory(*folder, ec)) return false;
    const fs::path file = *folder / gf_flightPlanFileName(number);
    const bool removed = fs::remove(file, ec);
    if (ec) {
        gf_log(fmt::format("Could not remove flight plan '{}': {}", lf_path(file), ec.message()));
        return false;
    }
    return removed;
}

bool gf_removeFlightPlanFolder() {
    const auto folder = gf_flightPlanFolder();
    if (!folder) return true;
    std::error_code ec;
    if (!fs::exists(*folder, ec)) return true;
    fs::remove_all(*folder, ec);
    if (ec) {
        gf_log(fmt::format("Could not remove flight-plan folder '{}': {}", lf_path(*folder), ec.message()));
        return false;
    }
    const auto status = fs::status(*folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        gf_log(fmt::format("Could not inspect removed flight-plan folder '{}': {}", lf_path(*folder), ec.message()));
        return false;
    }
    return status.type() == fs::file_type::not_found;
}

std::string gf_objectIdText(std::uint32_t objectId) {
    return isMSFS2020() ? fmt::format("{}", objectId) : fmt::format("{:x}", objectId);
}

std::string gf_extractAtcModel(std::string_view text) {
    constexpr std::string_view prefix = "ATCCOM.AC_MODEL ";
    constexpr std::string_view suffix = ".0.text";
    constexpr std::string_view marker = "$$:";
    std::string_view s = gf_trimView(text, whiteSpaceCharacters);
    if (s.starts_with(prefix)) s.remove_prefix(prefix.size());
    if (s.ends_with(suffix)) s.remove_suffix(suffix.size());
    if (s.starts_with(marker)) s.remove_prefix(marker.size());
    return std::string(gf_trimView(s, whiteSpaceCharacters));
}

std::optional<std::string> gf_normaliseUserModel(std::string_view atcModel, std::string_view title) {
    std::string model = gf_extractAtcModel(atcModel);
    bool found = false;
    for (const auto& row : kUserModels) {
        if (row.model == model && title.find(row.titlePart) != std::string_view::npos) {
            model = row.type;
            found = true;
            break;
        }
    }
    if (!found) {
        const auto it = std::find_if(std::begin(kModelRenames), std::end(kModelRenames),
                                     [&](const auto& r) { return r.first == model; });
        if (it != std::end(kModelRenames)) {
            model = it->second;
        } else if (model.find("Phenom 300E") != std::string::npos) {
            model = "E55P";
        }
    }
    if (model.empty() || !gf_isKnownModelCode(model)) return std::nullopt;
    return model;
}
