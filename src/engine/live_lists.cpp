#include "engine/live_lists.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "engine/aircraft_ids.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr std::uint8_t kAirborneOnly = 1;
constexpr std::uint8_t kGroundOnly = 2;
// Cabin lights stay on in nine of ten parked passenger aircraft.
constexpr std::uint64_t kCabinDrawTop = 9;

LiveAc* lf_parkedWithObject(std::uint32_t hexid) {
    LiveAc* ac = gf_findLiveByHexid(hexid);
    // A parked record waiting to be created again has no object yet.
    return ac != nullptr && ac->phase == AcPhase::parked && ac->objectId >= kFirstObjectId ? ac : nullptr;
}

void lf_runParkedAction(const LiveAc& ac, std::uint32_t action, const SettingsSnapshot& settings) {
    switch (action) {
        case 0: gf_stopAiEngines(ac.objectId); break;
        case 1: gf_setAiLights(ac.objectId, {1, 0, 0, 1, 0, 1, 1}); break;
        case 2: {
            const std::uint32_t nav = settings.NAV_LIGHTS_WHILE_PARKED != 0 ? 1 : 0;
            const bool cabin = ac.isCargo == 0 && settings.RANDOM != 0 && threadRandomEngine().upTo(9) < kCabinDrawTop;
            gf_setAiLights(ac.objectId, {nav, 0, 0, 0, 0, 1, cabin ? 1u : 0u});
            break;
        }
        default: break;
    }
}

std::string_view lf_orNull(std::string_view text) { return text.empty() ? std::string_view("null") : text; }

}  // namespace

void gf_runParkedAcSchedule() {
    if (parkedActionSchedule.empty() || parkedActionSchedule.back().dueTick > tickCount.load()) return;
    const ParkedAcAction entry = parkedActionSchedule.back();
    parkedActionSchedule.pop_back();
    if (const LiveAc* ac = lf_parkedWithObject(entry.hexid))
        lf_runParkedAction(*ac, entry.action, *settingsSnapshot.load());
}

std::vector<std::string> gf_listActiveLiveAc() {
    const std::uint8_t selector = settingsSnapshot.load()->ALL_AIR_GND_SELECTOR;
    std::vector<std::string> texts;
    for (const LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active) continue;
        if ((selector == kAirborneOnly && ac.onGround != 0) || (selector == kGroundOnly && ac.onGround == 0)) continue;
        texts.push_back(fmt::format("{}, {}, {:x}, oid={}", lf_orNull(ac.callsign), lf_orNull(ac.registration),
                                    ac.hexid, gf_objectIdText(ac.objectId)));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

void gf_writeTrafficDump() {
    std::string content;
    for (const LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active) continue;
        fmt::format_to(std::back_inserter(content), "{};{};{};{};{};{};{}\n", gf_objectIdText(ac.objectId),
                       ac.callsign, ac.registration, gf_airlineCodeAt(ac.key.airline), gf_modelCodeAt(ac.key.model),
                       ac.onGround != 0 ? "GND" : "AIR", ac.phase == AcPhase::parked ? "PARKED" : "");
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(objectIdListFile, ec);
    const std::filesystem::path& path = ec ? objectIdListFile : absolute;
    // The folder may have been removed while the program runs.
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!gf_writeTextFile(content, path, false)) gf_logError(fmt::format("Failed to write {}", gf_pathToUtf8(path)));
}
