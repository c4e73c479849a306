// The user aircraft as the SimClient connection learns it: title, model (for
// the wing span and size category), on-ground state, position with attitude,
// speeds, lights and the simulator's Zulu time, and the stand it starts from.

#include <chrono>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/stands.h"
#include "feed/feed_state.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "services/gui.h"
#include "services/stop.h"
#include "simlink/sim_link_internal.h"

std::atomic<double> g_userHalfWingSpan{std::numeric_limits<double>::quiet_NaN()};
std::atomic<std::int32_t> g_userCategory{0};
std::atomic<bool> g_userOnGround{false};
std::atomic<std::int8_t> g_userOnGroundState{-1};
std::atomic<bool> g_userGroundDataSeen{false};
std::atomic<std::uint8_t> g_userInfoFlags{0};
std::atomic<std::int64_t> g_simTimeEpoch{kSimTimeInvalid};

namespace {

constexpr std::size_t kDataOffset = 40;
constexpr std::size_t kMaxTitleBytes = 48;

std::mutex l_userAircraftMutex;
UserAircraftState l_userAircraft;

std::mutex l_titleMutex;
std::string l_userAircraftTitle;

// SimClient thread only.
bool l_groundLineLogged = false;
bool l_invalidTimeLogged = false;
LaLo l_previousPosition{};

bool lf_unknown(double lat, double lon) { return std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001; }

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string lf_cutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::size_t end = limit;
    while (end > 0 && gf_isUtf8Continuation(static_cast<unsigned char>(text[end]))) --end;
    return std::string(text.substr(0, end));
}

// The half wing span (nautical miles) of a type of at most four characters;
// 0 when the database has none (the tables give the largest known span for
// an index beyond their wing radius table).
double lf_halfWingSpan(std::string_view model, std::uint16_t& index) {
    index = gf_internModelCode(model);
    return gf_getWingspan(index);
}

std::optional<std::int64_t> lf_zuluEpoch(std::int64_t year, std::int64_t day, std::int64_t seconds) {
    if (year < -32767 || year > 32767) return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day < 1 || day > (leap ? 366 : 365)) return std::nullopt;
    if (seconds < 0 || seconds > 86399) return std::nullopt;
    using namespace std::chrono;
    const sys_days first = sys_days{std::chrono::year{static_cast<int>(year)} / January / 1};
    return (static_cast<std::int64_t>(first.time_since_epoch().count()) + day - 1) * 86400 + seconds;
}

void lf_setModelFlag() { g_userInfoFlags.fetch_or(2); }

}  // namespace

UserAircraftState gf_getUserAircraftState() {
    std::lock_guard lock(l_userAircraftMutex);
    return l_userAircraft;
}

std::string gf_userAircraftTitle() {
    std::lock_guard lock(l_titleMutex);
    return l_userAircraftTitle;
}

void gf_onUserAircraftTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size) {
    if (!gf_checkPayloadSize(size, 41, "USER_AC_TITLE")) return;
    const char* text = reinterpret_cast<const char*>(data) + kDataOffset;
    const std::size_t room = size - kDataOffset;
    const std::size_t length = strnlen(text, room);
    if (length == room) {
        gf_logError("SimConnect USER_AC_TITLE is not null terminated");
    } else if (length == 0) {
        gf_log("! Title of your aircraft is empty?");
    } else {
        const std::string title = lf_cutUtf8(std::string_view(text, length), kMaxTitleBytes);
        bool changed = false;
        {
            std::lock_guard lock(l_titleMutex);
            if (title != l_userAircraftTitle) {
                l_userAircraftTitle = title;
                changed = true;
            }
        }
        if (changed) gf_logContinuation("SimConnect: user aircraft title: " + title);
    }
    g_userInfoFlags.fetch_or(1);
}

void gf_onUserAircraftModel(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size) {
    if (!gf_checkPayloadSize(size, 72, "USER_AC_MODEL")) return;
    struct FlagOnExit {
        ~FlagOnExit() { lf_setModelFlag(); }
    } flagOnExit;
    try {
        const char* raw = reinterpret_cast<const char*>(data) + kDataOffset;
        std::string model(raw, strnlen(raw, 32));
        gf_logContinuation(fmt::format("model raw: {}", model));
        const std::string title = gf_userAircraftTitle();
        if (const auto type = gf_normaliseUserModel(model, title); type && *type != model) {
            gf_logContinuation(fmt::format("model normalized: {}", *type));
            model = *type;
        }
        if (model.empty()) {
            Gui::enqueueUpdate(GuiUpdate::userWingspanKnown(false));
            Gui::addStatusLine(
                "171: No model info from your user aircraft received in SimConnect, max wing span is taken instead",
                true);
            g_userHalfWingSpan.store(gf_maxWingRadius());
            return;
        }
        if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
            std::uint16_t index = 0;
            const double span = lf_halfWingSpan("E190", index);
            Gui::enqueueUpdate(GuiUpdate::userWingspanKnown(true));
            g_userHalfWingSpan.store(span > 0 ? span : gf_maxWingRadius());
            g_userCategory.store(0);
            gf_logContinuation("SimConnect: User aircraft model: " + model);
            return;
        }
        std::uint16_t index = 0;
        double span = model.size() <= 4 ? lf_halfWingSpan(model, index) : 0.0;
        if (span <= 0) {
            span = 0;
            for (const char* a : {"A319", "A320", "A321"}) {
                if (title.starts_with(fmt::format("Aerosoft {}", a))) {
                    model = a;
                    gf_logContinuation("SimConnect: User aircraft model deduced from title: " + model);
                    index = gf_getModelIndex(model);
                    const double fromTitle = gf_getWingspan(index);
                    if (fromTitle > 0 && std::isfinite(fromTitle)) span = fromTitle;
                    break;
                }
            }
        }
        if (span <= 0) {
            Gui::enqueueUpdate(GuiUpdate::userWingspanKnown(false));
            Gui::addStatusLine("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
            g_userHalfWingSpan.store(gf_maxWingRadius());
            return;
        }
        Gui::enqueueUpdate(GuiUpdate::userWingspanKnown(true));
        g_userHalfWingSpan.store(span);
        const auto category = gf_getModelCategory(index);
        g_userCategory.store(category);
        gf_logContinuation(fmt::format("SimConnect: User aircraft model: {}, half wing span: {:.1F} meter, category: {}",
                                       model, span * 1852.0, gf_modelCategoryName(category)));
    } catch (const tavo::UserRelatedException&) {
        throw;
    } catch (...) {
        throw tavo::UserRelatedException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void gf_onUserOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size) {
    if (!gf_checkPayloadSize(size, 48, "USER_AC_ON_GROUND")) return;
    std::int64_t onGround = 0;
    std::memcpy(&onGround, reinterpret_cast<const std::byte*>(data) + kDataOffset, sizeof(onGround));
    const UserAircraftState state = gf_getUserAircraftState();
    if (lf_unknown(state.latitude, state.longitude)) {
        g_userGroundDataSeen.store(true);
        return;
    }
    if (!l_groundLineLogged) {
        l_groundLineLogged = true;
        gf_log(fmt::format("User ground data: SIM ON GROUND={}, AGL={:.0f} ft, altitude={:.0f} ft, groundspeed={:.0f} kt, "
                           "position={:.6f},{:.6f}",
                           onGround, state.altitudeAboveGround, state.altitude, state.groundVelocity, state.latitude,
                           state.longitude));
    }
    g_userOnGroundState.store(onGround != 0 ? 1 : 0);
    g_userOnGround.store(onGround != 0);
    g_userGroundDataSeen.store(true);
}

void gf_onUserPosition(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size) {
    if (!gf_checkPayloadSize(size, 160, "USER_AC_POSITION")) return;
    UserAircraftState state;
    std::memcpy(&state, reinterpret_cast<const std::byte*>(data) + kDataOffset, sizeof(state));
    if (state.altitude < 0) state.altitude = 0;
    {
        std::lock_guard lock(l_userAircraftMutex);
        l_userAircraft = state;
    }
    const LaLo position{state.latitude, state.longitude};
    if (!lf_unknown(l_previousPosition.lat, l_previousPosition.lon) && !lf_unknown(position.lat, position.lon) &&
        gf_distanceNm(l_previousPosition, position) > 10.0) {
        gf_log("Teleport");
        gf_requestNewFlight();
    }
    l_previousPosition = position;

    std::optional<std::string> stand;
    if (g_userOnGround.load()) stand = gf_standNameAtPosition(position);
    Gui::showUserPositionText(stand ? *stand : std::string());

    if (g_rtProfessional.load()) {
        if (const auto epoch = lf_zuluEpoch(state.zuluYear, state.zuluDayOfYear, state.zuluTime)) {
            g_simTimeEpoch.store(*epoch);
            l_invalidTimeLogged = false;
        } else {
            g_simTimeEpoch.store(kSimTimeInvalid);
            if (!l_invalidTimeLogged) {
                l_invalidTimeLogged = true;
                gf_logError(fmt::format("Invalid simulator Zulu time: year={}, day-of-year={}, seconds={}",
                                        state.zuluYear, state.zuluDayOfYear, state.zuluTime));
            }
        }
    } else {
        g_simTimeEpoch.store(kSimTimeInvalid);
    }
    gf_simLink().userObjectId.store(data->dwObjectID);
}

void gf_onFlightLoaded() {
    const UserAircraftState state = gf_getUserAircraftState();
    if (!g_userOnGround.load() || state.groundVelocity > 2.0) return;
    const auto stand = gf_standNameAtPosition({state.latitude, state.longitude});
    if (!stand) return;
    // The park airport the planner uses is the current airport.
    const auto airport = gf_currentAirport();
    if (!airport) return;
    gf_setParkAirportUserStand(airport->icao, *stand);
}

void gf_resetUserAircraft() {
    {
        std::lock_guard lock(l_titleMutex);
        l_userAircraftTitle.clear();
    }
    {
        std::lock_guard lock(l_userAircraftMutex);
        l_userAircraft = UserAircraftState{};
    }
    g_userOnGroundState.store(-1);
    g_userOnGround.store(false);
    g_userHalfWingSpan.store(std::numeric_limits<double>::quiet_NaN());
    l_groundLineLogged = false;
    l_invalidTimeLogged = false;
    l_previousPosition = LaLo{};
}
