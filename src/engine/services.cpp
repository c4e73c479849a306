#include "engine/services.h"

#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "foundation/text.h"

namespace {

bool lf_isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool gf_setAirlineFromCallsign(FlightIdentity& identity) {
    const std::string& cs = identity.callsign;
    if (cs.size() < 4 || !lf_isLetter(cs[0]) || !lf_isLetter(cs[1]) || !lf_isLetter(cs[2]) || cs[3] < '0' ||
        cs[3] > '9')
        return false;
    std::string prefix = cs.substr(0, 3);
    identity.key.airline = gf_internAirlineCode(gf_toUpperAscii(prefix));
    return true;
}

bool gf_isCategoryIncluded(std::int32_t category) {
    const auto settings = settingsSnapshot.load();
    switch (category) {
        case Bizjet:
        case Large:
        case Heavy: return true;
        case Light: return settings->LIGHT_AIRCRAFT != 0;
        case TwoProps: return settings->TWO_PROPS != 0;
        case HighPerf: return settings->HIGH_PERF_AIRCRAFT != 0;
        case Rotorcraft: return settings->HELICOPTERS != 0;
        default: return false;
    }
}
