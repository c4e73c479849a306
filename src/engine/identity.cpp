#include "engine/identity.h"

#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "airports/stand_options.h"
#include "engine/aircraft_ids.h"
#include "engine/engine_lists.h"
#include "engine/livery_respawn.h"
#include "engine/removal_policies.h"
#include "engine/reports.h"
#include "engine/services.h"
#include "engine/spawn.h"
#include "foundation/log.h"
#include "liveries/dbase.h"
#include "liveries/livery_tables.h"
#include "motion/flight_phases.h"
#include "settings/snapshot.h"

namespace {

// Identity lines are indented under the aircraft's other lines.
constexpr std::string_view kIndent = "                ";
// Reports in a row that must carry a new route before it is taken.
constexpr std::uint32_t kRouteRepeats = 3;
// What a parked aircraft's stand use is recorded as when its key changes.
constexpr std::int32_t kStandOptionAtStand = 0;


void lf_clearRouteCandidate(LiveAc& ac) {
    ac.motion.routeCandidate.clear();
    ac.motion.routeCandidateCount = 0;
}

std::string lf_routeKey(const IataCode& origin, const IataCode& destination) {
    return origin.text() + ">" + destination.text();
}

// The current airport's code, read once per check and only when needed.
class CurrentIata {
public:
    const IataCode& get() {
        if (!m_read) {
            if (const auto airport = gf_currentAirport(); airport && !airport->icao.isNone()) m_code = airport->iata;
            m_read = true;
        }
        return m_code;
    }

private:
    IataCode m_code;
    bool m_read = false;
};

bool lf_touches(const IataCode& origin, const IataCode& destination, const IataCode& airport) {
    return airport.isSet() && (origin == airport || destination == airport);
}

}  // namespace

bool gf_isRespawnProtectedPhase(AcPhase phase) {
    switch (phase) {
        case AcPhase::pushing_back:
        case AcPhase::takeoff_roll:
        case AcPhase::takeoff:
        case AcPhase::landing:
        case AcPhase::landing_roll:
        case AcPhase::parking:
        case AcPhase::parked: return true;
        default: return false;
    }
}

void updateIdentityInBuffer(LiveAc& ac, const AcInfo& identity) {
    if (identity.destination.isSet() && identity.destination != ac.destination) ac.destination = identity.destination;
    if (identity.origin.isSet() && identity.origin != ac.origin) ac.origin = identity.origin;
    if (!identity.callsign.empty() && identity.callsign != ac.callsign) ac.callsign = identity.callsign;
    if (!identity.registration.empty() && identity.registration != ac.registration)
        ac.registration = identity.registration;
}

bool checkOrigDestChange(LiveAc& ac, const AcInfo& identity) {
    bool adopted = false;
    if (!ac.origin.isSet() && identity.origin.isSet()) {
        ac.origin = identity.origin;
        adopted = true;
    }
    if (!ac.destination.isSet() && identity.destination.isSet()) {
        ac.destination = identity.destination;
        adopted = true;
    }
    CurrentIata here;
    // Every way out reports what was adopted: a code filled in above counts
    // even when a changed pair is not (yet) taken.
    const auto finish = [&]() {
        if (adopted && ac.onGround != 0 && ac.phase == AcPhase::taxi) {
            const IataCode& airport = here.get();
            ac.arrivingHere = airport.isSet() && ac.destination == airport && ac.origin != airport ? 1 : 0;
        }
        return !adopted;
    };

    const bool destinationChanged =
        ac.destination.isSet() && identity.destination.isSet() && identity.destination != ac.destination;
    const bool originChanged = ac.origin.isSet() && identity.origin.isSet() && identity.origin != ac.origin;
    if (!destinationChanged && !originChanged) {
        lf_clearRouteCandidate(ac);
        return finish();
    }

    const IataCode& airport = here.get();
    // A flight at the current airport keeps its pair while it is here: a pair
    // elsewhere is another leg of the aircraft, not this flight.
    if (lf_touches(ac.origin, ac.destination, airport) && !lf_touches(identity.origin, identity.destination, airport)) {
        lf_clearRouteCandidate(ac);
        return finish();
    }
    if (destinationChanged && originChanged && airport.isSet() && ac.origin == airport &&
        identity.destination == ac.origin) {
        lf_clearRouteCandidate(ac);
        return finish();
    }

    const std::string stored = lf_routeKey(ac.origin, ac.destination);
    const std::string reported = lf_routeKey(identity.origin, identity.destination);
    if (stored == reported) {
        lf_clearRouteCandidate(ac);
        return finish();
    }
    if (reported != ac.motion.routeCandidate) {
        ac.motion.routeCandidate = reported;
        ac.motion.routeCandidateCount = 1;
        return finish();
    }
    if (++ac.motion.routeCandidateCount < kRouteRepeats) return finish();

    lf_clearRouteCandidate(ac);
    ac.origin = identity.origin;
    ac.destination = identity.destination;
    adopted = true;
    // A new flight of an aircraft on the ground starts from a taxi.
    if (ac.onGround != 0 && !gf_isRespawnProtectedPhase(ac.phase) && ac.extrapolationCount < 1) {
        if (ac.phase != AcPhase::taxi) setFlightPhase(ac, AcPhase::taxi);
        ac.motion.groundHeading = ac.pose.heading;
    }
    return finish();
}

bool checkRegcodeLivery(LiveAc& ac, const AcInfo& identity) {
    const std::string& registration = identity.registration;
    if (const auto entry = regcodeTitles.find(std::string_view(registration));
        entry != regcodeTitles.end() && !entry->second.empty()) {
        if (entry->second == ac.liveryTitle) return false;
        if (const auto key = gf_findRegistration(registration)) ac.key = *key;
        return true;
    }
    if (registration.empty() || registration == ac.registration) return false;
    const auto key = gf_findRegistration(registration);
    if (!key || *key == ac.key) return false;
    ac.key = *key;
    return true;
}

bool checkRegistrationChange(LiveAc& ac, const AcInfo& identity, bool regWasCallsign, bool& resetDue) {
    const std::string& reported = identity.registration;
    if (reported.empty()) return true;
    const bool changed = ac.registration != reported;
    std::optional<AcKey> standKey;
    if (ac.registration.empty() || (regWasCallsign && changed)) {
        if (checkRegcodeLivery(ac, identity)) resetDue = true;
    } else if (changed) {
        const auto key = gf_findRegistration(reported);
        if (key && *key != ac.key) {
            // Only a key of the airline the callsign names: a registration
            // alone may be a data error of the feed.
            FlightIdentity named = identity;
            if (gf_setAirlineFromCallsign(named) &&
                (named.key.airline == key->airline || named.key.airline == key->operatorIndex)) {
                ac.key = *key;
                resetDue = true;
                if (ac.phase == AcPhase::parked && ac.standId > 0) standKey = *key;
            }
        }
    }
    if (changed) ac.registration = reported;
    // The stand use is recorded under the new registration: recorded under
    // the old one it would learn the old aircraft again and take back its key.
    if (standKey) gf_addRealStandOption(ac.standId, ac, kStandOptionAtStand);
    return !changed;
}

void resetForRespawn(LiveAc& ac) {
    gf_forgetLiveryOfHexid(ac.hexid);
    ac.liveryTitle = {};
    // Leaving landing this way also ends its landing state.
    if (ac.phase != AcPhase::birth) setFlightPhase(ac, AcPhase::birth);
}

bool lf_checkIdentityChange(LiveAc& ac, const AcInfo& identity) {
    if (ac.simState == AcSimState::buffer) {
        updateIdentityInBuffer(ac, identity);
        return true;
    }
    const bool regWasCallsign = ac.registration == ac.callsign;

    if (!identity.callsign.empty() && identity.callsign != ac.callsign && identity.callsign != ac.registration) {
        if (gf_endsWithUnderscore(identity.callsign)) {
            // The ghost of a flight that is shown already.
            if (lf_hasLiveWithCallsignStem(identity.callsign)) return false;
        } else {
            lf_removeGhostWithUnderscoreIfPresent(identity.callsign);
        }
        std::string old = std::move(ac.callsign);
        ac.callsign = identity.callsign;
        ac.identity2 = identity.callsign;
        ac.identity3.clear();
        gf_log(fmt::format("{}callsign changed {} -> {}", kIndent, old, ac.callsign));
    }

    if (ac.simState != AcSimState::active) return true;
    const bool msfs2020 = isMSFS2020();
    if (!msfs2020 && !checkOrigDestChange(ac, identity))
        gf_log(fmt::format("{}{} {} orig-dest changed", kIndent, ac.callsign, gf_routeText(ac)));
    if (gf_isRespawnProtectedPhase(ac.phase)) return true;
    if (ac.extrapolationCount >= 1) return true;

    // The 2020 simulator flies the aircraft by a flight plan of its route:
    // a new route needs a new object with a new plan.
    const bool routeReason = msfs2020 && !checkOrigDestChange(ac, identity);
    bool resetDue = false;
    const bool registrationReason = !checkRegistrationChange(ac, identity, regWasCallsign, resetDue);
    if (!routeReason && !registrationReason) return true;
    if (settingsSnapshot.load()->GUID_CHANGES == 0) return true;

    std::string reasons;
    if (routeReason) reasons = "orig-dest change";
    if (registrationReason) reasons += reasons.empty() ? "regcode change" : ", regcode change";
    gf_log(fmt::format("{}{} respawns because of {}", kIndent,
                       gf_formatWithAcKey("{:8} {:12} {}", ac.callsign, ac.registration, ac.key), reasons));
    liveryRespawn(ac, resetDue);
    return false;
}
