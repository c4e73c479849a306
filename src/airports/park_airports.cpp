#include "airports/park_airports.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "airports/airport_files.h"
#include "airports/airports_list.h"
#include "airports/current_airport.h"
#include "airports/parked_traffic_end.h"
#include "airports/parking_state.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/files.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace fs = std::filesystem;

std::mutex g_parkAirportsMutex;
std::deque<ParkAirport> g_parkAirports;

namespace {

// The bookkeeping beside the queue, all under g_parkAirportsMutex.
std::vector<std::string> l_preservedLines;
bool l_readingCompleted = false;
bool l_fileExisted = false;
LaLo l_lastCheck{};  // (0, 0): the next nearest check runs at once
double l_recheckRadiusNm = kParkAirportRecheckRadiusNm;

const char* lf_plural(std::size_t count) { return count == 1 ? "" : "s"; }

LaLo lf_positionOf(const ParkAirport& airport) { return LaLo{airport.latitude, airport.longitude}; }

// Flat distance squared (NM^2) with the cosine of the user's latitude.
double lf_flatSquaredNm(const LaLo& user, double cosUserLat, const LaLo& other) {
    const double north = (other.lat - user.lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(other.lon - user.lon) * 60.0 * cosUserLat;
    return north * north + east * east;
}

double lf_cosLat(const LaLo& position) { return std::cos(position.lat * degreesToRadians); }

// A code repeated on a later line is kept once, at its first place; the later
// line gives its stand (and position) only when the first had none.
void lf_addOrMerge(std::deque<ParkAirport>& queue, ParkAirport airport) {
    const auto it = std::find_if(queue.begin(), queue.end(),
                                 [&](const ParkAirport& a) { return a.icao == airport.icao; });
    if (it == queue.end()) {
        queue.push_back(std::move(airport));
        return;
    }
    if (it->userStand.empty() && !airport.userStand.empty()) {
        it->userStand = std::move(airport.userStand);
        it->latitude = airport.latitude;
        it->longitude = airport.longitude;
    }
}

// The lines of the file: park airports go to the queue, every line that
// cannot be used is kept as it was to be written back.
void lf_takeLines(const std::vector<std::string>& lines, const std::string& fileName, std::deque<ParkAirport>& queue,
                  std::vector<std::string>& preserved) {
    for (const std::string& line : lines) {
        const std::vector<std::string> items = gf_split(line, ',');
        if (items.empty()) {
            preserved.push_back(line);
            continue;
        }
        if (items.size() >= 3) {
            gf_logError(fmt::format("{}:{} wrong syntax, preserved", fileName, line));
            preserved.push_back(line);
            continue;
        }
        const std::optional<IcaoCode> code = lf_parseIcao(items[0]);
        if (!code) {
            gf_logError(fmt::format("{}:{} invalid ICAO code, preserved", fileName, line));
            preserved.push_back(line);
            continue;
        }
        const std::optional<AirportListEntry> entry = gf_findAirport(*code);
        if (!entry) {
            Gui::addStatusLine(fmt::format("airport {} is unknown", *code), true);
            preserved.push_back(line);
            continue;
        }
        lf_addOrMerge(queue, ParkAirport{items.size() == 2 ? items[1] : std::string(), entry->position.lat,
                                         entry->position.lon, *code});
    }
}

// The file's lines; false when it could not be opened or read (logged).
bool lf_readFileLines(const fs::path& path, std::vector<std::string>& lines) {
    ReadFailure why = ReadFailure::none;
    const std::optional<std::string> bytes = gf_readWholeFile(path, &why);
    if (!bytes) {
        const char* format = why == ReadFailure::notRead ? "Could not read '{}'" : "Could not open '{}'";
        gf_logError(fmt::format(fmt::runtime(format), gf_pathToUtf8(path)));
        return false;
    }
    gf_splitLines(*bytes, lines);
    return true;
}

void lf_makeCurrent(const IcaoCode& icao, const LaLo& position, const std::string* standName) {
    std::lock_guard lock(g_parkAirportsMutex);
    ParkAirport entry;
    entry.icao = icao;
    const auto it = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                 [&](const ParkAirport& a) { return a.icao == icao; });
    if (it != g_parkAirports.end()) {
        entry = std::move(*it);
        g_parkAirports.erase(it);
    }
    entry.latitude = position.lat;
    entry.longitude = position.lon;
    if (standName != nullptr) entry.userStand = *standName;
    g_parkAirports.push_front(std::move(entry));
    l_lastCheck = LaLo{};
    l_recheckRadiusNm = kParkAirportRecheckRadiusNm;
}

// The new current airport's parked traffic is prepared: the planner plans it
// at its next update, the parking panel waits for that.
void lf_prepareParkedTraffic() {
    g_parkingPlanRequested.store(true);
    gf_disableParkingControls();
    gf_clearTrafficMaps();
}

}  // namespace

const fs::path& gf_myParkAirportsFilePath() {
    static const fs::path path = airportsDir / "my_park_airports.txt";
    return path;
}

std::optional<IcaoCode> lf_parseIcao(std::string_view text) {
    if (!gf_isAirportCode(text)) return std::nullopt;
    return IcaoCode(text);
}

void gf_readMyParkAirportsFile() {
    const fs::path& path = gf_myParkAirportsFilePath();
    const std::string shown = gf_pathToUtf8(path);
    {
        std::lock_guard lock(g_parkAirportsMutex);
        l_readingCompleted = false;
    }
    try {
        std::deque<ParkAirport> queue;
        std::vector<std::string> preserved;
        bool existed = false;
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (status.type() == fs::file_type::not_found) {
            gf_log(fmt::format("No saved park airports file: '{}'", shown));
        } else if (ec) {
            gf_logError(fmt::format("Could not check '{}': {}", shown, ec.message()));
        } else {
            existed = true;
            std::vector<std::string> lines;
            if (lf_readFileLines(path, lines))
                lf_takeLines(lines, gf_pathToUtf8(path.filename()), queue, preserved);
        }
        if (existed)
            gf_log(fmt::format("\n{:5} park airport{} read from '{}'", queue.size(), lf_plural(queue.size()), shown));
        if (const std::size_t added = lf_addMyThirdpartyParkAirports(queue); added > 0)
            gf_log(fmt::format("{:5} park airport{} added from '{}'", added, lf_plural(added),
                               gf_pathToUtf8(myThirdpartyDir)));
        if (!queue.empty()) {
            gf_log(fmt::format("{:5} park airport{} available in total", queue.size(), lf_plural(queue.size())));
            if (queue.size() > kParkAirportsWarningCount)
                Gui::addStatusLine(fmt::format("Warning: There are a lot of park airports ({}), that will cost TAVO "
                                               "much cpu time and may cause stutters",
                                               queue.size()),
                                   true);
        }
        std::lock_guard lock(g_parkAirportsMutex);
        g_parkAirports = std::move(queue);
        l_preservedLines = std::move(preserved);
        l_fileExisted = existed;
        l_readingCompleted = true;
        l_recheckRadiusNm = kParkAirportRecheckRadiusNm;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "gf_readMyParkAirportsFile", e.what()));
    }
}

std::size_t lf_addMyThirdpartyParkAirports(std::deque<ParkAirport>& queue) {
    std::error_code ec;
    if (!fs::is_directory(myThirdpartyDir, ec)) return 0;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(myThirdpartyDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::size_t added = 0;
    for (const fs::path& file : files) {
        const std::optional<IcaoCode> code = lf_parseIcao(file.stem().string());
        if (!code) continue;
        if (std::any_of(queue.begin(), queue.end(), [&](const ParkAirport& a) { return a.icao == *code; })) continue;
        const std::optional<AirportListEntry> entry = gf_findAirport(*code);
        if (!entry) continue;
        queue.push_back(ParkAirport{std::string(), entry->position.lat, entry->position.lon, *code});
        ++added;
    }
    return added;
}

void gf_writeMyParkAirportsFile() {
    const fs::path& path = gf_myParkAirportsFilePath();
    std::deque<ParkAirport> queue;
    std::vector<std::string> preserved;
    bool existed = false;
    {
        std::lock_guard lock(g_parkAirportsMutex);
        if (!l_readingCompleted) {
            gf_log("Park airports file not saved: reading was not completed");
            return;
        }
        queue = g_parkAirports;
        preserved = l_preservedLines;
        existed = l_fileExisted;
        l_readingCompleted = false;
    }
    if (queue.empty() && preserved.empty()) {
        if (existed) gf_log(fmt::format("Park airports file left unchanged: '{}'", gf_pathToUtf8(path)));
        return;
    }
    std::deque<ParkAirport> merged;
    for (ParkAirport& airport : queue) lf_addOrMerge(merged, std::move(airport));
    std::vector<std::string> lines;
    lines.reserve(merged.size() + preserved.size());
    for (const ParkAirport& airport : merged) {
        std::string line(airport.icao.text());
        if (!airport.userStand.empty()) line += "," + airport.userStand;
        lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    lines.insert(lines.end(), std::make_move_iterator(preserved.begin()), std::make_move_iterator(preserved.end()));
    if (!gf_writeLinesToFile(lines, path)) gf_logError(fmt::format("Could not write '{}'", gf_pathToUtf8(path)));
}

std::optional<ParkAirport> lf_getCurrentParkAirport() {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty()) return std::nullopt;
    return g_parkAirports.front();
}

std::optional<std::pair<IcaoCode, LaLo>> gf_currentParkAirportPosition() {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty()) return std::nullopt;
    return std::pair{g_parkAirports.front().icao, lf_positionOf(g_parkAirports.front())};
}

std::optional<std::string> gf_getParkAirportUserStand() {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty() || g_parkAirports.front().userStand.empty()) return std::nullopt;
    return g_parkAirports.front().userStand;
}

std::optional<std::string> gf_findParkAirportUserStand(const IcaoCode& icao) {
    if (icao.isNone()) return std::nullopt;
    std::lock_guard lock(g_parkAirportsMutex);
    for (const ParkAirport& airport : g_parkAirports) {
        if (!(airport.icao == icao)) continue;
        if (airport.userStand.empty()) return std::nullopt;
        return airport.userStand;
    }
    return std::nullopt;
}

bool gf_setParkAirportUserStand(const IcaoCode& icao, const std::string& standName) {
    std::lock_guard lock(g_parkAirportsMutex);
    if (icao.isNone() || g_parkAirports.empty() || !(g_parkAirports.front().icao == icao)) return false;
    g_parkAirports.front().userStand = standName;
    return true;
}

void gf_makeCurrentParkAirport(const IcaoCode& icao, const LaLo& position) { lf_makeCurrent(icao, position, nullptr); }

void gf_makeCurrentParkAirportWithStand(const IcaoCode& icao, const LaLo& position, const std::string& standName) {
    lf_makeCurrent(icao, position, &standName);
}

void gf_clearParkAirports() {
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirports.clear();
    l_preservedLines.clear();
    l_readingCompleted = false;
    l_fileExisted = false;
    l_lastCheck = LaLo{};
    l_recheckRadiusNm = kParkAirportRecheckRadiusNm;
}

void lf_moveNearestParkAirportToFront(const LaLo& user) {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty()) return;
    const double cosLat = lf_cosLat(user);
    const bool checkedBefore = !(l_lastCheck.lat == 0.0 && l_lastCheck.lon == 0.0);
    if (checkedBefore &&
        l_recheckRadiusNm * l_recheckRadiusNm > lf_flatSquaredNm(user, cosLat, l_lastCheck))
        return;
    l_lastCheck = user;
    std::size_t nearest = g_parkAirports.size();
    double nearestSquared = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < g_parkAirports.size(); ++i) {
        const ParkAirport& airport = g_parkAirports[i];
        if (airport.latitude == 0.0 && airport.longitude == 0.0) continue;
        const double squared = lf_flatSquaredNm(user, cosLat, lf_positionOf(airport));
        if (squared < nearestSquared) {
            nearestSquared = squared;
            nearest = i;
        }
    }
    if (nearest < g_parkAirports.size() && nearest != 0) std::swap(g_parkAirports[0], g_parkAirports[nearest]);
    l_recheckRadiusNm =
        std::max(kParkAirportRecheckRadiusNm, gf_distanceNm(user, lf_positionOf(g_parkAirports.front())) / 2.0);
}

bool lf_isWithinReach(const LaLo& user, const LaLo& airport) {
    const auto settings = settingsSnapshot.load();
    // The simulator thread writes the user aircraft's state: read its locked copy.
    if (gf_getUserAircraftState().altitude > static_cast<double>(settings->AIRP_HEIGHT)) return false;
    const double reach = static_cast<double>(settings->AIRP_RANGE);
    return lf_flatSquaredNm(user, lf_cosLat(user), airport) <= reach * reach;
}

void lf_selectParkAirportOnGround(const LaLo& user) {
    if (!g_userOnGround.load()) {
        const std::optional<ParkAirport> front = lf_getCurrentParkAirport();
        if (!front || !lf_isWithinReach(user, lf_positionOf(*front))) return;
        const std::optional<AirportListEntry> entry = gf_findAirport(front->icao);
        if (!entry) {
            Gui::enqueueUpdate(GuiUpdate::parkAirportCode(IcaoCode{}));
            return;
        }
        gf_setCurrentAirport(*entry);
        gf_log(fmt::format("\nThe park airport is {}", entry->icao));
        Gui::enqueueUpdate(GuiUpdate::parkAirportCode(entry->icao));
        // RT Direct asks for parked traffic itself when the planner hands it over.
        if (!isRTDirect()) gf_requestParkedTraffic();
        Gui::addStatusLine(fmt::format("{} within reach", entry->icao), true);
        lf_prepareParkedTraffic();
        gf_flushLog();
        return;
    }
    const std::optional<AirportListEntry> entry = gf_findNearestAirport(user);
    if (!entry) {
        Gui::addStatusLine("User aircraft on the ground, no RT supported airport within reach", false);
        return;
    }
    if (!gf_hasAirportFile(entry->icao)) {
        Gui::addStatusLine(fmt::format("User aircraft on the ground at {}", entry->icao) + ", no airport file found",
                           false);
        return;
    }
    gf_log(fmt::format("User aircraft on the ground at {}", entry->icao));
    gf_setCurrentAirport(*entry);
    gf_logAndFlush(fmt::format("\nThe park airport is {}", entry->icao));
    Gui::enqueueUpdate(GuiUpdate::parkAirportCode(entry->icao));
    lf_prepareParkedTraffic();
}

void lf_checkParkAirportReach(const LaLo& user) {
    if (g_userOnGround.load()) return;
    const std::optional<AirportListEntry> current = gf_currentAirport();
    if (!current) return;
    if (!lf_isWithinReach(user, current->position)) {
        gf_logAndFlush(fmt::format("\n{} {} is no longer within reach, parked aircraft will be removed",
                                   gf_trafficTimeText(), current->icao));
        gf_endParkedTraffic();
        return;
    }
    const std::optional<ParkAirport> front = lf_getCurrentParkAirport();
    if (!front || front->icao == current->icao) return;
    const LaLo frontPosition = lf_positionOf(*front);
    if (!lf_isWithinReach(user, frontPosition)) return;
    const double cosLat = lf_cosLat(user);
    if (lf_flatSquaredNm(user, cosLat, frontPosition) > lf_flatSquaredNm(user, cosLat, current->position)) return;
    if (gf_distanceNm(user, frontPosition) > gf_distanceNm(user, current->position)) return;
    gf_logAndFlush(fmt::format("\n{} {} is within reach, parked aircraft at {} will be removed first",
                               gf_trafficTimeText(), front->icao, current->icao));
    gf_endParkedTraffic();
}
