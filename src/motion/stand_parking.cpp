#include "motion/stand_parking.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "airports/static_placement.h"
#include "engine/aircraft_ids.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/geometry.h"
#include "engine/life_cycle.h"
#include "engine/removal.h"
#include "engine/removal_policies.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/log.h"

namespace {

LaLo lf_standPosition(const Stand& stand) { return {stand.latitude, stand.longitude}; }

// Two circles of radii summing to `radiusSum` around the two positions
// overlap; the flat distance takes the first position's latitude.
bool lf_reaches(double radiusSum, LaLo from, LaLo to) {
    return radiusSum > 0.0 && radiusSum * radiusSum >= gf_flatDistanceSquaredNm(from, to);
}

std::string_view lf_withoutLast(std::string_view text) {
    return text.empty() ? text : text.substr(0, text.size() - 1);
}


// The first other live aircraft (another hexid) that holds the stand.
LiveAc* lf_otherLiveHolding(std::int32_t standId, std::uint32_t hexid) {
    for (LiveAc& other : g_liveAircraft)
        if (other.hexid != hexid && other.standId == standId && gf_isStandHoldingPhase(other.phase)) return &other;
    return nullptr;
}

// Takes a static's queued create back; true when it was still queued (the
// static is then erased with every other static whose create was taken back).
bool lf_takeBackQueuedStatic(AcBase& stat) {
    if (!gf_dropPendingCreate(staticCreateQueue, stat.hexid)) {
        stat.removeWhenCreated = 1;
        return false;
    }
    stat.createDropped = 1;
    return true;
}

void lf_eraseDroppedStatics() {
    std::erase_if(g_staticAircraft, [](const AcBase& s) {
        if (s.createDropped == 0) return false;
        gf_dropPendingSimObject(s.hexid, s.objectId);
        return true;
    });
}

}  // namespace

MakeWayResult makeWayAtStand(LiveAc& ac, const Stand& wanted, bool promotionAllowed) {
    MakeWayResult result;
    const auto wantedId = static_cast<std::int32_t>(wanted.id);
    const auto it = std::find_if(g_staticAircraft.begin(), g_staticAircraft.end(),
                                 [wantedId](const AcBase& s) { return s.standId == wantedId; });
    if (it != g_staticAircraft.end()) {
        AcBase& stat = *it;
        const bool sameVersion = stat.identity2 == ac.callsign || stat.registration == ac.registration;
        const std::string_view suffix = sameVersion ? " the same live version" : "";
        if (stat.simState == AcSimState::active) {
            if (promotionAllowed && stat.objectId >= kFirstObjectId && stat.removeWhenCreated == 0 &&
                !stat.registration.empty() && stat.registration == ac.registration) {
                result = {stat.hexid, true};
            } else {
                gf_log(fmt::format("{:14}: {:8} {} makes way for{} {} {}", wanted.name, stat.callsign,
                                   stat.registration, suffix, ac.callsign, ac.registration));
                removeAircraftFromSim(stat);
            }
        } else if (stat.simState == AcSimState::adding2sim) {
            // The line is written before the erase takes the record away.
            const std::string line = fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", wanted.name,
                                                 stat.callsign, stat.registration, suffix, ac.callsign,
                                                 ac.registration);
            if (lf_takeBackQueuedStatic(stat)) {
                gf_log(line);
                lf_eraseDroppedStatics();
            }
        }
    }
    for (const std::uint32_t excluded : wanted.excludes) makeWayAtExcludedStand(ac, excluded, wanted);
    return result;
}

void makeWayAtExcludedStand(LiveAc& ac, std::uint32_t excludedId, const Stand& wanted) {
    const Stand* excluded = gf_standById(excludedId);
    const LaLo from = excluded != nullptr ? lf_standPosition(*excluded) : LaLo{};
    const LaLo to = lf_standPosition(wanted);
    for (AcBase& stat : g_staticAircraft) {
        if (stat.simState != AcSimState::active || stat.standId != static_cast<std::int32_t>(excludedId)) continue;
        if (!lf_reaches(stat.collisionRadiusNm + ac.collisionRadiusNm, from, to)) continue;
        gf_log(fmt::format("{:14}: {:8} makes way for {} parking at excluded stand {}",
                           gf_standNameById(static_cast<std::int32_t>(excludedId)), stat.callsign, ac.callsign,
                           wanted.name));
        removeAircraftFromSim(stat);
        return;
    }
}

bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(std::int32_t standId, LiveAc& ac) {
    try {
        LiveAc* other = lf_otherLiveHolding(standId, ac.hexid);
        if (other == nullptr) return true;
        const std::string name = gf_standNameById(standId);
        if (other->callsign == ac.callsign) {
            gf_log(fmt::format("{:14}: {:8} ac with same callsign {} wants it, remove existing ... ", name,
                               other->callsign, ac.callsign));
        } else if (!ac.callsign.empty() && lf_withoutLast(ac.callsign) == other->callsign) {
            return false;  // this one is the other's ghost
        } else if ((!other->callsign.empty() && lf_withoutLast(other->callsign) == ac.callsign) ||
                   (gf_endsWithUnderscore(other->callsign) && !gf_endsWithUnderscore(ac.callsign))) {
            gf_log(fmt::format("{:14}: {:8} ghost, replace by {}", name, other->callsign, ac.callsign));
        } else if ((gf_endsWithUnderscore(ac.callsign) && !gf_endsWithUnderscore(other->callsign)) ||
                   other->motion.departurePending != 0) {
            return false;
        } else {
            gf_log(fmt::format("{:14}: {:8} removed because another live {} wants the stand ...", name,
                               other->callsign, ac.callsign));
        }
        removeAircraftFromSim(*other);
    } catch (...) {
        gf_reportTrafficException("lf_checkStandIsNotUsedByOtherLiveAircraftSub");
    }
    // An aircraft whose removal is still on its way keeps the stand until the
    // simulator confirms it.
    return gf_liveStandUse(standId, 0) == 0;
}

bool isLiveWingOverlapAtStand(const LiveAc& other, std::uint32_t standId, const LiveAc& ac, const Stand& wanted) {
    if (other.standId != static_cast<std::int32_t>(standId) || other.hexid == ac.hexid ||
        !gf_isStandHoldingPhase(other.phase))
        return false;
    const Stand* stand = gf_standById(standId);
    if (stand == nullptr || (stand->latitude == 0.0 && stand->longitude == 0.0)) return false;
    return lf_reaches(other.collisionRadiusNm + ac.collisionRadiusNm, lf_standPosition(*stand),
                      lf_standPosition(wanted));
}

void hp_handleGroundTraffic(LiveAc& ac, bool quiet) {
    ac.onGround = 1;
    gf_setGear(ac, true);
    // Created as its pushback begins (its kept reports show it): it leaves
    // as soon as it appears.
    if (ac.motion.leaving.pushback.empty()) ac.motion.departurePending = 0;
    if (ac.phase != AcPhase::parked) {
        ac.motion.takeoffCountdown = 1;
        return;
    }
    ac.parkTime = gf_currentParkTime();
    const std::string name = gf_standNameById(ac.standId);
    if (!quiet) gf_log(fmt::format("{:14}: {:8} parks", name, ac.callsign));
    std::erase_if(staticsToPlace, [&ac](const StaticToPlace& item) { return item.standId == ac.standId; });
    try {
        const auto stat = std::find_if(g_staticAircraft.begin(), g_staticAircraft.end(), [&ac](const AcBase& s) {
            return s.simState == AcSimState::active && s.standId == ac.standId;
        });
        if (stat != g_staticAircraft.end()) {
            gf_log(fmt::format("{:14}: {:8} parks over static {} , static will be removed", name, ac.callsign,
                               stat->callsign));
            removeAircraftFromSim(*stat);
        }
    } catch (...) {
        gf_reportTrafficException("hp_handleGroundTraffic");
    }
    ac.motion.takeoffCountdown = 1;
}
