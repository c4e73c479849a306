#include "engine/shown_places.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "engine/aircraft_ids.h"
#include "engine/engine_lists.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"

namespace {

// A standing aircraft's reports within this (m) of a place stand there: a
// pilot sees no further move than that in a parked aircraft's scatter.
constexpr double kStandsThereM = 15.0;

std::unordered_map<std::uint32_t, StandingPlace> l_shownPlaces;

bool lf_wasShown(const LiveAc& ac) {
    return ac.objectId >= kFirstObjectId && ac.onGround != 0 &&
           (ac.simState == AcSimState::active || ac.simState == AcSimState::removingfromsim ||
            ac.simState == AcSimState::liveryrespawn) &&
           gf_isValidLaLo({ac.pose.latitude, ac.pose.longitude});
}

// A helipad a rotorcraft standing at `at` stands on.
bool lf_onAHelipad(LaLo at) {
    return std::any_of(g_standTable.begin(), g_standTable.end(), [at](const Stand& pad) {
        if (!pad.heli || pad.blocked) return false;
        const double reachNm = std::max(pad.radius, kStandsThereM / metresPerNm);
        return gf_distanceNm(at, {pad.latitude, pad.longitude}) <= reachNm;
    });
}

}  // namespace

void gf_keepShownPlaces() {
    l_shownPlaces.clear();
    for (const LiveAc& ac : g_liveAircraft)
        if (lf_wasShown(ac))
            l_shownPlaces[ac.hexid] = {{ac.pose.latitude, ac.pose.longitude}, normalizeHeading(ac.pose.heading)};
}

void gf_forgetShownPlaces() { l_shownPlaces.clear(); }

std::optional<StandingPlace> gf_placeToStandWithoutStand(const LiveAc& ac, LaLo centre, double reportedNoseRad) {
    if (!gf_isValidLaLo(centre)) return std::nullopt;
    if (const auto kept = l_shownPlaces.find(ac.hexid);
        kept != l_shownPlaces.end() && gf_distanceNm(kept->second.at, centre) * metresPerNm <= kStandsThereM)
        return kept->second;
    if (ac.category == Rotorcraft && lf_onAHelipad(centre))
        return StandingPlace{centre, std::isfinite(reportedNoseRad) ? normalizeHeading(reportedNoseRad) : 0.0};
    return std::nullopt;
}

void gf_forgetShownPlace(std::uint32_t hexid) { l_shownPlaces.erase(hexid); }
